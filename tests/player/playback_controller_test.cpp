// The playback controller over the real output on the simulated device, with
// synthetic inputs standing for files: what plays after what, what is heard
// (and shown) while the end of a track still plays after the next was
// handed over, edits at awkward moments, entries that cannot be opened, and
// a slow open that never holds the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "playback_controller.h"
#include "simulated_device.h"
#include "synthetic.h"

using namespace quillet;
using namespace quillet::test;
using namespace std::chrono_literals;

namespace {

// The files of a test: a synthetic format per name; an unknown name cannot
// be opened.
struct Files {
    std::mutex Lock;
    std::map<std::string, SyntheticFormat> Formats;
    std::atomic<int> OpenDelayMs{0};
    std::atomic<int> Opens{0};
};

// A source that takes its format from its file name, as a decoder would.
class NamedSource : public SyntheticSource {
  public:
    explicit NamedSource(Files& files) : FFiles(files) {}

  protected:
    void OpenSource() override {
        std::lock_guard<std::recursive_mutex> l(FOpenLock);
        if (FOpenCount == 0) {
            {
                std::lock_guard<std::mutex> g(FFiles.Lock);
                const auto it = FFiles.Formats.find(FFileName);
                F = it != FFiles.Formats.end() ? it->second
                                               : SyntheticFormat{.openError = "File not found"};
            }
            ++FFiles.Opens;
            if (const int ms = FFiles.OpenDelayMs.load(); ms > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
        SyntheticSource::OpenSource();
    }

  private:
    Files& FFiles;
};

class Player : public ::testing::Test {
  protected:
    void SetUp() override {
        // About 1 s of sound in 20 ms of real time; while the output waits
        // for an answer about the next track, its clock waits too.
        Sound->SetOnSleep([this](uint32_t ms) {
            for (int i = 0; i < 2000 && (Control->Output().AwaitingNext() || Hold); ++i)
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(std::chrono::microseconds(ms * 20));
            Sound->Advance(ms);
        });
        Control = MakeController();
        Control->Inputs().SetFactory([this](TInputKind) { return new NamedSource(Disk); });
        Control->Inputs().Install(TInputKind::ikWave, new NamedSource(Disk));
        Control->Output().SetPollingInterval(20);
        Control->Output().SetOnThreadException([this](TComponent*) { ++Errors; });
        Heard.C = Control.get();
        Heard.L = &List;
        Control->AddListener(&Heard);
    }
    void TearDown() override {
        Control->RemoveListener(&Heard);
        Control.reset();
    }
    virtual std::unique_ptr<TPlaybackController> MakeController() {
        return std::make_unique<TPlaybackController>(List, Sound);
    }

    // Files of `seconds` each, named n0.wav, n1.wav... as entries.
    void AddFiles(const std::string& prefix, int count, double seconds,
                  SyntheticFormat f = {.blockBytes = 4096}) {
        std::vector<TPlaylistEntry> items;
        for (int i = 0; i < count; ++i) {
            const std::string name = prefix + std::to_string(i) + ".wav";
            f.frames = static_cast<int64_t>(seconds * f.rate);
            {
                std::lock_guard<std::mutex> g(Disk.Lock);
                Disk.Formats[name] = f;
            }
            TPlaylistEntry& e = items.emplace_back();
            e.Title = name;
            e.FilePath = name;
        }
        List.Append(std::move(items));
    }
    void AddEntry(const std::string& name) {
        TPlaylistEntry e;
        e.Title = e.FilePath = name;
        List.Append({e});
    }
    void PlayRow(int row) {
        List.Select(row);
        Control->Play();
    }
    // The titles of the entries heard, in order, as the controller told them.
    struct HeardLog : TPlaybackListener {
        TPlaybackController* C = nullptr;
        TPlaylistModel* L = nullptr;
        std::vector<std::string> Titles;
        std::vector<std::string> Messages;
        int Seeks = 0;
        void Seeked() override { ++Seeks; }
        void PlaybackChanged() override {
            const TEntry* e = L->Find(C->HeardEntry());
            if (e != nullptr && (Titles.empty() || Titles.back() != e->Title))
                Titles.push_back(e->Title);
        }
        void Message(const std::string& text) override { Messages.push_back(text); }
    };

    TPlaylistModel List;
    Files Disk;
    std::shared_ptr<SimulatedSoundSystem> Sound = std::make_shared<SimulatedSoundSystem>();
    std::unique_ptr<TPlaybackController> Control;
    HeardLog Heard;
    std::atomic<bool> Hold{false};
    std::atomic<int> Errors{0};
};

// End of track, Next and Previous go by the play order; two entries of one
// file are two places in it; a file no input plays says so.
TEST_F(Player, PlaysThroughTheOrderAndTellsSameFilesApart) {
    AddFiles("s", 3, 0.5);
    AddEntry("s1.wav");  // the same file again, at the end
    Control->SetRepeat(TRepeat::StopAtEnd);
    PlayRow(1);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"s1.wav", "s2.wav", "s1.wav"}));
    EXPECT_EQ(List.Selected(), 3) << "the second entry of the file, not the first";
    EXPECT_EQ(Sound->OpenCount(), 1) << "one run: the tracks joined";

    Control->SetRepeat(TRepeat::List);
    List.Select(3);
    Control->Next();  // wraps round
    EXPECT_EQ(List.Selected(), 0);
    EXPECT_EQ(Control->HeardEntry(), List[0].Id);
    Control->Previous();
    EXPECT_EQ(List.Selected(), 3);
    Control->Stop();
    EXPECT_EQ(Control->HeardEntry(), kNoEntry);
    EXPECT_EQ(List.PlayingId(), kNoEntry);

    AddEntry("noext");
    PlayRow(4);
    EXPECT_EQ(Heard.Messages, std::vector<std::string>{"Format not supported"});
    EXPECT_FALSE(Control->Active());
}

// A queued entry that no longer follows (removed, another selected, another
// mode) is replaced before it is handed over.
TEST_F(Player, TheQueuedEntryFollowsTheListsChanges) {
    AddFiles("q", 4, 2.0);
    PlayRow(0);
    ASSERT_TRUE(PumpUntil([&] { return Control->Output().QueuedNext() != nullptr; }));
    Hold = true;     // the old track's end stays ahead while the list changes
    List.Remove(1);  // the queued q1
    ASSERT_NE(Control->Output().QueuedNext(), nullptr);
    EXPECT_EQ(static_cast<TAuFileIn*>(Control->Output().QueuedNext())->FileName(), "q2.wav");
    Control->SetRepeat(TRepeat::One);
    EXPECT_EQ(static_cast<TAuFileIn*>(Control->Output().QueuedNext())->FileName(), "q0.wav");
    Control->SetRepeat(TRepeat::StopAfterTrack);
    EXPECT_EQ(Control->Output().QueuedNext(), nullptr);
    Control->SetRepeat(TRepeat::List);
    Hold = false;
    ASSERT_TRUE(PumpUntil([&] { return Heard.Titles.size() >= 2; }));
    Control->Stop();
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"q0.wav", "q2.wav"}));
}

// Removing the row after the one playing (which also clears the selection)
// leads on from the entry playing, never from the top of the list: at the
// end of the track, and on Next.
TEST_F(Player, AfterADeleteTheEntryAfterTheOnePlayingFollows) {
    for (const int start : {0, 2}) {
        SCOPED_TRACE(start);
        List.Clear();
        AddFiles("s0", 6, 0.4);
        Heard.Titles.clear();
        PlayRow(start);
        List.Select(start + 1);  // Down
        List.Remove(start + 1);  // Delete
        ASSERT_TRUE(PumpUntil([&] { return Heard.Titles.size() >= 2; }));
        Control->Stop();
        const std::string expected = start == 0 ? "s02.wav" : "s04.wav";
        EXPECT_EQ(Heard.Titles[1], expected);
    }
    List.Clear();
    AddFiles("n", 4, 2.0);
    PlayRow(1);
    List.Select(2);
    List.Remove(2);
    Control->Next();
    EXPECT_EQ(List[static_cast<size_t>(List.Selected())].Title, "n3.wav");
    Control->Stop();
    List.Select(1);
    List.Select(-1);
    Control->Next();  // nothing heard, nothing selected: the first row
    EXPECT_EQ(List.Selected(), 0);
    Control->Stop();
}

// What is heard leads: a track handed over a ring ahead becomes the one
// playing only when its first sample is heard; until then the time is the
// old track's, a seek moves in the old track, and an edit that changes
// what follows takes effect.
TEST_F(Player, EverythingFollowsTheTrackHeardNotTheOneHandedOver) {
    AddFiles("t", 3, 1.0);
    PlayRow(0);
    // Handed over (a 1 s track is shorter than the ring), its end still
    // playing: a 1 s track shows where it is.
    ASSERT_TRUE(PumpUntil([&] {
        return Control->Output().TrackChangesPending() > 0 && Control->PlayPoint().Frame > 0;
    }));
    Hold = true;
    EXPECT_EQ(Control->HeardEntry(), List[0].Id);
    EXPECT_EQ(List.PlayingIndex(), 0);
    EXPECT_EQ(Control->PlayPoint().Length, 44100);
    // Deleting the next entry now: it is never heard.
    List.Remove(1);
    Hold = false;
    ASSERT_TRUE(PumpUntil([&] { return Heard.Titles.size() >= 2; }));
    EXPECT_EQ(Heard.Titles[1], "t2.wav");

    // A seek back in the old track's end plays the old track from there.
    ASSERT_TRUE(PumpUntil([&] { return Control->Output().TrackChangesPending() > 0; }));
    Hold = true;
    const TEntryId old = Control->HeardEntry();
    Control->SeekTo(200000);  // 0.2 s
    EXPECT_EQ(Control->HeardEntry(), old);
    EXPECT_EQ(Control->Output().TrackChangesPending(), 0);
    Hold = false;
    ASSERT_TRUE(PumpUntil([&] { return Control->PlayPoint().Rate != 0; }));
    const TAuOutput::TPlayPoint back = Control->PlayPoint();
    EXPECT_EQ(back.Length, 44100);
    EXPECT_GE(back.Frame, 8820 - 64);  // the device's cursor steps
    EXPECT_EQ(Control->HeardEntry(), old);
    Control->Stop();
    EXPECT_EQ(Errors.load(), 0);
}

// A missing or empty file between two of the same format is passed over
// before the join: one run, and the failure shows on its entry.
TEST_F(Player, BrokenEntriesArePassedOverWithoutBreakingTheJoin) {
    AddFiles("g", 1, 0.5);
    AddEntry("missing.wav");
    {
        std::lock_guard<std::mutex> g(Disk.Lock);
        Disk.Formats["empty.wav"] = {.frames = 0};
    }
    AddEntry("empty.wav");
    AddFiles("h", 1, 0.5);
    Control->SetRepeat(TRepeat::StopAtEnd);
    PlayRow(0);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"g0.wav", "h0.wav"}));
    EXPECT_EQ(Sound->OpenCount(), 1) << "the join held";
    EXPECT_EQ(List[1].Info.State, TEntryState::Failed);
    EXPECT_EQ(List[1].Info.Error, "File not found");
    EXPECT_EQ(List[2].Info.State, TEntryState::Failed);

    // A list of nothing but broken entries ends instead of going round.
    List.Clear();
    AddEntry("missing.wav");
    AddEntry("gone.wav");
    Control->SetRepeat(TRepeat::List);
    PlayRow(0);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }, 10s));
}

// Queued entries play next, in the order queued, whatever is edited around
// them (ids, not rows); then the order resumes after the last one played.
TEST_F(Player, QueuedEntriesPlayFirstThroughEdits) {
    AddFiles("p", 8, 0.3);
    Control->SetRepeat(TRepeat::StopAtEnd);
    PlayRow(0);
    const TEntryId p2 = List[2].Id, p4 = List[4].Id, p6 = List[6].Id;
    Control->Enqueue(p4);
    Control->Enqueue(p2);
    Control->Enqueue(p6);
    Control->Enqueue(p4);  // already queued: stays where it is
    EXPECT_EQ(Control->Queue().Ids(), (std::vector<TEntryId>{p4, p2, p6}));
    List.Remove(2);         // a queued row leaves the queue
    List.Remove(0);         // the row playing: it plays on, the queue follows it
    AddFiles("r", 1, 0.3);  // rows added never change what is queued
    EXPECT_EQ(Control->Queue().Ids(), (std::vector<TEntryId>{p4, p6}));
    Control->Dequeue(p4);  // perhaps handed over already: the chain follows
    EXPECT_EQ(Control->Queue().Ids(), std::vector<TEntryId>{p6});
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"p0.wav", "p6.wav", "p7.wav", "r0.wav"}));
    EXPECT_TRUE(Control->Queue().empty());
    EXPECT_EQ(Sound->OpenCount(), 1) << "queued tracks join gaplessly";

    // Next goes to the head; "stop after this track" stops and keeps the
    // queue; "repeat track" plays the queued entry, then repeats that one; a
    // new list empties the queue.
    Control->Enqueue(List[1].Id);
    List.Select(4);
    Control->Next();
    EXPECT_EQ(List.Selected(), 1);
    EXPECT_TRUE(Control->Queue().empty());
    Control->Enqueue(List[3].Id);
    Control->SetRepeat(TRepeat::StopAfterTrack);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    EXPECT_EQ(Control->Queue().Position(List[3].Id), 1);
    Heard.Titles.clear();
    Control->SetRepeat(TRepeat::One);
    PlayRow(0);
    ASSERT_TRUE(PumpUntil([&] { return Heard.Titles.size() >= 2 && Control->Queue().empty(); }));
    ASSERT_TRUE(PumpUntil([&] { return Control->Output().QueuedNext() != nullptr; }));
    EXPECT_EQ(static_cast<TAuFileIn*>(Control->Output().QueuedNext())->FileName(), "p5.wav");
    Control->Stop();
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"p1.wav", "p5.wav"}));
    Control->Enqueue(List[2].Id);
    List.Clear();
    EXPECT_TRUE(Control->Queue().empty());
}

// With shuffle the queued entries come first and count as played: the lap
// still plays every row once.
TEST_F(Player, QueuedEntriesJoinAShuffledLap) {
    AddFiles("z", 7, 0.2);
    Control->SetRepeat(TRepeat::StopAtEnd);
    Control->SetShuffle(true);
    PlayRow(3);
    Control->Enqueue(List[5].Id);
    Control->Enqueue(List[0].Id);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    ASSERT_EQ(Heard.Titles.size(), 7u);
    EXPECT_EQ(Heard.Titles[1], "z5.wav");
    EXPECT_EQ(Heard.Titles[2], "z0.wav");
    std::vector<std::string> sorted = Heard.Titles;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end()) << "each row once";
}

// A stream is never opened ahead of its turn (that would connect while the
// track before still plays): that track's run ends and the stream starts a
// run of its own when reached. It has no length, so no seek touches it.
TEST_F(Player, AStreamStartsWhenReachedAndIsNeverSought) {
    Control->Inputs().Install(TInputKind::ikStream, new NamedSource(Disk));
    AddFiles("f", 1, 0.5);
    const std::string url = "http://radio.test/live";
    {
        std::lock_guard<std::mutex> g(Disk.Lock);
        Disk.Formats[url] = {.frames = 44100 * 600, .blockBytes = 4096};
    }
    AddEntry(url);
    Control->SetRepeat(TRepeat::StopAtEnd);
    PlayRow(0);
    bool queued = false;
    ASSERT_TRUE(PumpUntil([&] {
        queued = queued || Control->Output().QueuedNext() != nullptr;
        return Heard.Titles.size() >= 2 && Control->PlayPoint().Frame > 0;
    }));
    EXPECT_FALSE(queued);
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"f0.wav", url}));
    EXPECT_EQ(Sound->OpenCount(), 2) << "a run of its own, not a join";
    Control->SeekBySeconds(5);
    Control->SeekTo(30'000'000);
    Control->SeekPercent(50);
    EXPECT_EQ(Heard.Seeks, 0);
    EXPECT_FALSE(Control->CanSeek());
    EXPECT_EQ(Control->HeardEntry(), List[1].Id);
    Control->Stop();
    EXPECT_EQ(Errors.load(), 0);
}

// The next entry's open takes 2 s: selection changes meanwhile (which may
// replace the queued entry) never wait for it.
TEST_F(Player, ASlowOpenNeverHoldsTheCaller) {
    AddFiles("w", 4, 3.0);
    Disk.OpenDelayMs = 2000;
    PlayRow(0);
    // The first open is the run's own; the second, the next entry's, ahead
    // of time.
    ASSERT_TRUE(PumpUntil([&] { return Disk.Opens >= 2; }));
    const auto opened = std::chrono::steady_clock::now();
    auto longest = std::chrono::nanoseconds(0);
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        List.Select(i % 4);
        longest = std::max(longest, std::chrono::steady_clock::now() - start);
        CheckSynchronize(10ms);
    }
    Disk.OpenDelayMs = 0;
    // Well inside the open: the clicks did not wait for it (a bound loose
    // enough for a loaded machine; the time is a bench figure).
    EXPECT_LT(std::chrono::steady_clock::now() - opened, 1500ms);
    EXPECT_LT(longest, 250ms);
    std::printf("longest selection change during a 2 s open: %.1f ms\n",
                std::chrono::duration<double, std::milli>(longest).count());
    Control->Stop();
}

}  // namespace

// With a crossfade chosen, the next track of one album in order still joins
// sample for sample, and a change of album overlaps by the crossfade:
// three 2 s tracks with a 1 s crossfade are heard in 5 s.
TEST_F(Player, ACrossfadeChangesAlbumsButNeverSplitsOne) {
    AddFiles("x", 3, 2.0);
    const char* albums[] = {"One", "One", "Two"};
    for (size_t i = 0; i < 3; ++i) {
        TEntryInfo info;
        info.Tags.Album = albums[i];
        List.SetInfo(List[i].Id, info);
    }
    Control->Dsp().Crossfade().Set({.Seconds = 1});
    Control->SetRepeat(TRepeat::StopAtEnd);
    PlayRow(0);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"x0.wav", "x1.wav", "x2.wav"}));
    std::vector<uint8_t> played;
    {
        std::lock_guard<std::mutex> g(Sound->Ring()->Lock);
        played = Sound->Ring()->Played;
    }
    size_t sound = played.size();  // up to the trailing silence
    while (sound >= 4 && std::all_of(played.begin() + static_cast<ptrdiff_t>(sound - 4),
                                     played.begin() + static_cast<ptrdiff_t>(sound),
                                     [](uint8_t b) { return b == 0; }))
        sound -= 4;
    played.erase(played.begin() + static_cast<ptrdiff_t>(sound), played.end());
    EXPECT_EQ(played.size(), 5u * 44100 * 4);
    std::vector<uint8_t> joined = PatternBytes(0, 2 * 44100 * 4);
    const std::vector<uint8_t> second = PatternBytes(0, 44100 * 4);
    joined.insert(joined.end(), second.begin(), second.end());
    ASSERT_GE(played.size(), joined.size());
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), played.begin()))
        << "the album's tracks join sample for sample";
}

// Two lists: the chain, the play order and the queue follow the list
// playing while the other is shown and edited; a queued entry of the other
// list waits for its list; closing the playing list stops it.
class PlayerLists : public Player {
  protected:
    void SetUp() override {
        Set.Add("B");
        Player::SetUp();
        Heard.L = &Set.List(0);
    }
    std::unique_ptr<TPlaybackController> MakeController() override {
        return std::make_unique<TPlaybackController>(Set, Sound);
    }
    void Fill(TPlaylistModel& list, const std::string& prefix) {
        for (int i = 0; i < 3; ++i) {
            const std::string name = prefix + std::to_string(i) + ".wav";
            {
                std::lock_guard<std::mutex> g(Disk.Lock);
                Disk.Formats[name] = {.frames = 44100 * 2 / 5, .blockBytes = 4096};
            }
            list.Append({{name, name}});
        }
    }
    TPlaylistSet Set{"A"};
};

TEST_F(PlayerLists, TheChainStaysInThePlayingList) {
    TPlaylistModel& a = Set.List(0);
    TPlaylistModel& b = Set.List(1);
    Fill(a, "a");
    Fill(b, "b");
    Control->SetRepeat(TRepeat::StopAtEnd);
    a.Select(0);
    Control->PlayShown();
    Set.Show(1);
    EXPECT_EQ(&Control->List(), &a) << "showing another list changes nothing that plays";
    b.Remove(0);
    b.Append({{"b9.wav", "b9.wav"}});
    Control->Enqueue(b[0].Id);  // b1: waits for its list
    EXPECT_EQ(Control->Queue().Ids().size(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return !Control->Playing(); }));
    EXPECT_EQ(Heard.Titles, (std::vector<std::string>{"a0.wav", "a1.wav", "a2.wav"}));

    // Played from the list shown now.
    Heard.L = &b;
    b.Select(1);
    Control->PlayShown();
    EXPECT_EQ(&Control->List(), &b);
    EXPECT_EQ(Control->HeardEntry(), b[1].Id);
    // The entry queued while the other list played comes next.
    ASSERT_TRUE(PumpUntil([&] { return Heard.Titles.size() >= 5; }));
    EXPECT_EQ(Heard.Titles[3], "b2.wav");
    EXPECT_EQ(Heard.Titles[4], "b1.wav");
    EXPECT_TRUE(Control->Queue().Ids().empty());

    // Closing the list playing stops it; its queued entries leave the queue.
    Control->Enqueue(b[1].Id);
    Set.Close(1);
    EXPECT_FALSE(Control->Playing());
    EXPECT_TRUE(Control->Queue().Ids().empty());
    EXPECT_EQ(&Control->List(), &a);
    // Undone, the list comes back as it was.
    EXPECT_TRUE(Set.UndoLatest());
    ASSERT_EQ(Set.Count(), 2);
    EXPECT_EQ(Set.List(1).Count(), 3);
}
