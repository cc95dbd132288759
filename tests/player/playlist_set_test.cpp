// Undo and redo of list edits, the set of lists and its own undo, and a
// kept list's file read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "list_file.h"
#include "playlist_set.h"

using namespace quillet;

namespace {

std::vector<std::string> RowsOf(const TPlaylistModel& list) {
    std::vector<std::string> rows;
    for (const TEntry& e : list) rows.push_back(e.RowText);
    return rows;
}

std::vector<TPlaylistEntry> Files(int count, const std::string& prefix = "f") {
    std::vector<TPlaylistEntry> items;
    for (int i = 0; i < count; ++i)
        items.push_back({prefix + std::to_string(i), "/m/" + prefix + std::to_string(i)});
    return items;
}

}  // namespace

// Every edit comes back with Undo and goes again with Redo, ids, what the
// files told and the selection included; a long list's clear is one step.
TEST(ListUndo, EveryEditUndoesAndRedoes) {
    TPlaylistModel list;
    list.Append(Files(100));
    list.SetInfo(list[5].Id,
                 {TEntryState::Playable, {}, {"T", "A", "B"}, 7 * kFlicksPerSecond, false});
    list.Select(5);
    const std::vector<std::string> before = RowsOf(list);
    const TEntryId id5 = list[5].Id;

    list.Clear();  // New playlist
    ASSERT_TRUE(list.empty());
    ASSERT_TRUE(list.Undo());
    EXPECT_EQ(RowsOf(list), before) << "row for row";
    EXPECT_EQ(list[5].Id, id5);
    EXPECT_EQ(list[5].Info.Tags.Artist, "A");
    EXPECT_EQ(list.Selected(), 5);

    list.Remove(3);
    list.Rename(0, "renamed");
    list.ReplaceAll(Files(2, "p"));  // Open playlist
    list.Append(Files(1, "x"));
    EXPECT_EQ(list.Count(), 3);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(list.Undo());
    EXPECT_EQ(RowsOf(list), before);
    EXPECT_FALSE(list.Undo() && list.Undo()) << "only the steps recorded";
    while (list.Redo()) {
    }
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0].RowText, "p0");
}

// At least 50 steps are kept, and a step holds only what it changed.
TEST(ListUndo, FiftyStepsAtLeast) {
    TPlaylistModel list;
    list.Append(Files(10));
    list.ClearHistory();
    for (int i = 0; i < 60; ++i) list.Rename(i % 10, "n" + std::to_string(i));
    EXPECT_GE(list.UndoSteps(), 50u);
    int undone = 0;
    while (list.Undo()) ++undone;
    EXPECT_EQ(undone, 60);
    EXPECT_EQ(list[0].RowText, "f0");
}

// The set: lists added, renamed, moved and closed, each undone in turn
// with the shown list's own edits, in the order they happened.
TEST(ListSet, ChangesUndoInTheOrderTheyHappened) {
    TPlaylistSet set("A");
    set.List(0).Append(Files(3));
    const int b = set.Add("B");
    set.Show(b);
    set.List(b).Append(Files(2, "b"));
    set.Rename(b, "Beta");
    set.Move(1, 0);
    EXPECT_EQ(set.Name(0), "Beta");
    set.Close(0);
    ASSERT_EQ(set.Count(), 1);
    EXPECT_EQ(set.Name(set.ShownIndex()), "A");
    EXPECT_EQ(set.ListOfEntry(set.List(0)[0].Id), 0);

    ASSERT_TRUE(set.UndoLatest());  // the close
    ASSERT_EQ(set.Count(), 2);
    EXPECT_EQ(set.Name(set.ShownIndex()), "Beta");
    EXPECT_EQ(set.Shown().Count(), 2) << "its rows came back with it";
    ASSERT_TRUE(set.UndoLatest());  // the move
    EXPECT_EQ(set.Name(1), "Beta");
    ASSERT_TRUE(set.UndoLatest());  // the rename
    EXPECT_EQ(set.Name(1), "B");
    ASSERT_TRUE(set.UndoLatest());  // B's rows
    EXPECT_TRUE(set.List(1).empty());
    ASSERT_TRUE(set.RedoLatest());
    EXPECT_EQ(set.List(1).Count(), 2);
    // The last list is never closed: its rows go instead.
    TPlaylistSet one("only");
    one.List(0).Append(Files(2));
    one.Close(0);
    EXPECT_EQ(one.Count(), 1);
    EXPECT_TRUE(one.List(0).empty());
    EXPECT_TRUE(one.UndoLatest());
    EXPECT_EQ(one.List(0).Count(), 2);
}

// A kept list gives back titles, row texts, tags, lengths, a CUE track's own
// tags and a stream's station; a file that changed since is read again; a
// damaged line loses its entry only; lengths are whole seconds for other
// players.
TEST(ListFile, KeepsWhatWasReadUntilTheFileChanges) {
    const std::string dir = ::testing::TempDir();
    const std::string audio = dir + "kept.flac";
    std::ofstream(audio) << "sound";
    TPlaylistModel list;
    TPlaylistEntry track{"Track\tone", audio};
    track.Range = {0, 90 * kFlicksPerSecond};
    auto sheet = std::make_shared<TEntryTags>();
    sheet->Track = 2;
    sheet->Artist = "Sheet Artist";
    sheet->Album = "Sheet Album";
    sheet->Gain.Track = TGainInfo{-6.5, 0.9};
    track.Tags = sheet;
    list.Append({track, {"Radio", "http://127.0.0.1:1/live"}, {"Gone", dir + "gone.mp3"}});
    list.SetInfo(list[0].Id, {TEntryState::Playable,
                              {},
                              {"T", "A", "Al"},
                              90 * kFlicksPerSecond,
                              false,
                              StampOf(audio)});
    list.ShowLiveTags(list[1].Id, "Song", {"Song", "", "Station X"});
    list.SetInfo(list[2].Id, {TEntryState::Playable, {}, {}, 5 * kFlicksPerSecond, false, {1, 1}});
    std::vector<const TEntry*> entries;
    for (const TEntry& e : list) entries.push_back(&e);
    std::string text = ListFileText(entries);
    EXPECT_NE(text.find("#EXTINF:90,Track\tone"), std::string::npos);
    EXPECT_NE(text.find("#EXTINF:-1,Radio"), std::string::npos);
    text += "#EXTQUILLET:broken\\x\t1\r\n";
    const std::string path = dir + "kept.m3u8";
    std::ofstream(path, std::ios::binary) << text;

    const std::vector<TKeptEntry> kept = ReadListFile(path);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].Entry.Title, "Track\tone");
    EXPECT_EQ(kept[0].Info.State, TEntryState::Playable);
    EXPECT_EQ(kept[0].Info.Tags.Artist, "A");
    EXPECT_EQ(kept[0].Entry.Seconds, 90);
    EXPECT_EQ(TagsOf(kept[0].Entry), *sheet);
    EXPECT_EQ(kept[0].Entry.Range, track.Range);
    EXPECT_EQ(kept[1].Info.Tags.Album, "Station X");
    EXPECT_EQ(kept[2].Info.State, TEntryState::Unread) << "its file is not as it was";

    std::ofstream(audio, std::ios::app) << "more";
    EXPECT_EQ(ReadListFile(path)[0].Info.State, TEntryState::Unread);
    std::remove(audio.c_str());
    std::remove(path.c_str());
}
