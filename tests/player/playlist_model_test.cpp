// The playlist model on its own: the editing commands' changes, the
// selection and the playing entry through them, ids that keep two entries
// of one file apart, and the order listeners hear of it all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playlist_model.h"

using namespace quillet;

namespace {

TPlaylistEntry Item(const std::string& title, const std::string& path) {
    TPlaylistEntry e;
    e.Title = title;
    e.FilePath = path;
    return e;
}

// Writes down what it hears, with the list's size at that moment.
struct Recorder : TPlaylistListener {
    explicit Recorder(const TPlaylistModel& list) : L(list) {}
    const TPlaylistModel& L;
    std::vector<std::string> Heard;
    void Note(const std::string& what) { Heard.push_back(what + "@" + std::to_string(L.size())); }
    void BeforeInsert(int f, int c) override {
        Note("+" + std::to_string(f) + "x" + std::to_string(c));
    }
    void AfterInsert(int, int) override { Note("inserted"); }
    void BeforeRemove(int i) override { Note("-" + std::to_string(i)); }
    void AfterRemove(int, TEntryId) override { Note("removed"); }
    void BeforeReset() override { Note("reset"); }
    void AfterReset() override { Note("was reset"); }
    void EntryChanged(int i) override { Note("changed " + std::to_string(i)); }
    void SelectionChanged() override { Note("selection"); }
    void PlayingChanged() override { Note("playing"); }
};

TEST(PlaylistModel, EditingKeepsIdsSelectionAndThePlayingEntry) {
    TPlaylistModel list;
    Recorder rec(list);
    list.AddListener(&rec);
    const std::string longName(200, 'n');
    EXPECT_EQ(list.Append({Item("a.wav", "/m/a.wav"), Item(longName, "/m/a.wav"),
                           Item("b.wav", "/m/b.wav")},
                          {"a.wav", longName, "b.wav"}),
              0);
    ASSERT_EQ(list.size(), 3u);
    // The same file twice is two entries.
    EXPECT_NE(list[0].Id, list[1].Id);
    EXPECT_EQ(list[1].Title, std::string(150, 'n'));
    EXPECT_EQ(list[1].RowText, longName);
    const TEntryId second = list[1].Id, third = list[2].Id;

    list.SetPlaying(second);
    list.Select(2);
    EXPECT_EQ(list.SelectedId(), third);
    // Edits around the playing entry keep it; removing a row clears the
    // selection, wherever it was.
    list.Remove(0);
    EXPECT_EQ(list.PlayingId(), second);
    EXPECT_EQ(list.PlayingIndex(), 0);
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(list.IndexOf(third), 1);
    list.Append({Item("c.wav", "/m/c.wav")});
    EXPECT_EQ(list.PlayingIndex(), 0);
    list.Rename(0, "Night song");
    EXPECT_EQ(list[0].Title, "Night song");
    EXPECT_EQ(list.PlayingId(), second);
    // Removed, it plays no more in the list; its id is never given again.
    list.Remove(0);
    EXPECT_EQ(list.PlayingId(), kNoEntry);
    EXPECT_EQ(list.IndexOf(second), -1);
    list.Append({Item("d.wav", "/m/d.wav")});
    EXPECT_NE(list[2].Id, second);
    list.Clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.IndexOf(third), -1);

    EXPECT_EQ(rec.Heard,
              (std::vector<std::string>{"+0x3@0", "inserted@3", "playing@3", "selection@3", "-0@3",
                                        "removed@2", "selection@2", "+2x1@2", "inserted@3",
                                        "changed 0@3", "-0@3", "removed@2", "playing@2", "+2x1@2",
                                        "inserted@3", "reset@3", "was reset@0"}));
    list.RemoveListener(&rec);
}

TEST(PlaylistModel, TagsRetitleOnlyRowsStillShowingTheirFileName) {
    TPlaylistModel list;
    list.Append({Item("a.mp3", "/m/a.mp3"), Item("From a playlist", "/m/b.mp3"),
                 Item("c.mp3", "/m/c.mp3")});
    list.Rename(2, "Mine");
    EXPECT_TRUE(list.RetitleFromTags(list[0].Id, "Artist - Song"));
    EXPECT_FALSE(list.RetitleFromTags(list[1].Id, "Artist - Other"));
    EXPECT_FALSE(list.RetitleFromTags(list[2].Id, "Artist - Third"));
    EXPECT_FALSE(list.RetitleFromTags(list[0].Id + 99, "Nobody"));
    EXPECT_EQ(list[0].RowText, "Artist - Song");
    EXPECT_EQ(list[1].Title, "From a playlist");
    EXPECT_EQ(list[2].RowText, "Mine");
}

}  // namespace
