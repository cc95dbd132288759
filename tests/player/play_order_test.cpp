// The play order over a five-row list: what follows a track in each mode,
// shuffled laps (each row once, a new order each lap, edits mid-lap), and
// Previous going back through the rows played.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "play_order.h"

namespace quillet::test {
namespace {

using Rows = std::vector<int>;

// Lets tracks end by themselves from `row` on: the rows that follow, up to
// `steps`, ending with -1 where playback stops.
Rows PlayOn(TPlayOrder& order, int row, int steps) {
    order.Started(row);
    Rows played;
    for (int i = 0; i < steps; ++i) {
        row = order.AfterTrack({row, row});
        played.push_back(row);
        if (row < 0) break;
        order.Started(row);
    }
    return played;
}

TEST(PlayOrderTest, EachModeDecidesWhatFollowsATrack) {
    struct Case {
        TRepeat Mode;
        int From;
        Rows Want;
    };
    const Case cases[] = {
        {TRepeat::List, 2, {3, 4, 0, 1, 2, 3}}, {TRepeat::One, 2, {2, 2, 2, 2, 2, 2}},
        {TRepeat::StopAfterTrack, 2, {-1}},     {TRepeat::StopAtEnd, 2, {3, 4, -1}},
        {TRepeat::StopAtEnd, 4, {-1}},
    };
    for (const Case& c : cases) {
        TPlayOrder order(1);
        order.Reset(5);
        order.SetRepeat(c.Mode);
        EXPECT_EQ(PlayOn(order, c.From, 6), c.Want) << RepeatName(c.Mode) << " from " << c.From;
        // Next and Previous keep to the list's order, wrapping, in every mode;
        // with nothing selected, Previous names no row at all.
        EXPECT_EQ(order.Next(4), 0);
        EXPECT_EQ(order.Next(-1), 0);
        EXPECT_EQ(order.Previous(0), 4);
        EXPECT_EQ(order.Previous(-1), -2);
        EXPECT_EQ(RepeatNamed(RepeatName(c.Mode)), c.Mode);
    }
    // Nothing selected: the list starts at its top; repeat one has no track.
    TPlayOrder order(1);
    order.Reset(5);
    EXPECT_EQ(order.AfterTrack({-1, -1}), 0);
    order.SetRepeat(TRepeat::One);
    EXPECT_EQ(order.AfterTrack({-1, -1}), -1);
    EXPECT_EQ(order.AfterTrack({1, 3}), 3) << "the track playing repeats, not the selection";
    // Rows added while the last plays are still to come at the end of the list.
    order.SetRepeat(TRepeat::StopAtEnd);
    EXPECT_EQ(order.AfterTrack({4, 4}), -1);
    order.Appended(2);
    EXPECT_EQ(PlayOn(order, 4, 4), (Rows{5, 6, -1}));
    for (const char* bad : {"", "List", "stop", "one "}) EXPECT_FALSE(RepeatNamed(bad)) << bad;
}

TEST(PlayOrderTest, ShuffledLapsPlayEveryRowOnceInANewOrder) {
    for (uint64_t seed = 1; seed <= 50; ++seed) {
        TPlayOrder order(seed);
        order.Reset(5);
        order.SetShuffle(true);
        const int first = order.Next(-1);
        const Rows rest = PlayOn(order, first, 14);
        Rows played{first};
        played.insert(played.end(), rest.begin(), rest.end());
        ASSERT_EQ(played.size(), 15u);
        std::vector<Rows> laps;
        for (size_t lap = 0; lap < 3; ++lap) {
            Rows rows(played.begin() + static_cast<long>(lap * 5),
                      played.begin() + static_cast<long>(lap * 5 + 5));
            laps.push_back(rows);
            std::sort(rows.begin(), rows.end());
            EXPECT_EQ(rows, (Rows{0, 1, 2, 3, 4})) << "seed " << seed << " lap " << lap;
        }
        EXPECT_NE(laps[0], laps[1]) << "seed " << seed;
        EXPECT_NE(laps[1], laps[2]) << "seed " << seed;
        EXPECT_EQ(std::adjacent_find(played.begin(), played.end()), played.end())
            << "a row twice in a row, seed " << seed;
        // A row added once the next lap has been looked at plays first, and
        // in that next lap as well.
        order.AfterTrack({played.back(), played.back()});
        order.Appended(1);
        Rows more = PlayOn(order, played.back(), 7);
        EXPECT_EQ(more.front(), 5) << "seed " << seed;
        std::sort(more.begin() + 1, more.end());
        EXPECT_EQ(Rows(more.begin() + 1, more.end()), (Rows{0, 1, 2, 3, 4, 5})) << "seed " << seed;
    }
    // Rows added mid-lap come in among the rows still to come, whose order stays.
    TPlayOrder edited(3);
    edited.SetRepeat(TRepeat::StopAtEnd);
    edited.SetShuffle(true);
    edited.Reset(5);
    const int start = edited.Next(-1);
    TPlayOrder kept = edited;
    edited.Appended(2);
    const Rows before = PlayOn(kept, start, 9);
    Rows after = PlayOn(edited, start, 9);
    EXPECT_EQ(std::erase_if(after, [](int row) { return row >= 5; }), 2u);
    EXPECT_EQ(after, before);
    // A list loaded while shuffle is on starts anywhere, not at its top.
    std::set<int> firsts;
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        TPlayOrder order(seed);
        order.SetShuffle(true);
        order.Reset(5);
        firsts.insert(order.Next(-1));
    }
    EXPECT_GT(firsts.size(), 2u);
}

TEST(PlayOrderTest, AShuffledLapSurvivesEditsMidLap) {
    for (uint64_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TPlayOrder order(seed);
        order.SetShuffle(true);
        order.SetRepeat(TRepeat::StopAtEnd);
        order.Reset(5);
        std::vector<std::string> list{"a", "b", "c", "d", "e"}, played;
        int row = order.Next(-1);
        auto play = [&] {
            order.Started(row);
            played.push_back(list[static_cast<size_t>(row)]);
        };
        play();
        row = order.AfterTrack({row, row});
        play();
        // Mid-lap a row not played yet goes, a played one goes, two come.
        const std::string playing = played.back();
        auto remove = [&](bool wasPlayed) {
            for (size_t i = 0; i < list.size(); ++i) {
                const bool was = std::count(played.begin(), played.end(), list[i]) > 0;
                if (list[i] == playing || was != wasPlayed) continue;
                order.Removed(static_cast<int>(i));
                list.erase(list.begin() + static_cast<long>(i));
                return;
            }
        };
        remove(false);
        remove(true);
        list.insert(list.end(), {"f", "g"});
        order.Appended(2);
        row = static_cast<int>(std::find(list.begin(), list.end(), playing) - list.begin());
        while ((row = order.AfterTrack({row, row})) >= 0) play();
        // Every row still listed played once; the one removed unplayed never.
        std::vector<std::string> heard(played.begin() + 2, played.end()), rest;
        for (const std::string& name : list)
            if (std::count(played.begin(), played.begin() + 2, name) == 0) rest.push_back(name);
        std::sort(heard.begin(), heard.end());
        std::sort(rest.begin(), rest.end());
        EXPECT_EQ(heard, rest);
        // A row added once the lap's last track plays still comes before the end.
        list.push_back("h");
        order.Appended(1);
        EXPECT_EQ(order.AfterTrack({}), static_cast<int>(list.size()) - 1);
    }
}

TEST(PlayOrderTest, PreviousGoesBackThroughTheRowsPlayed) {
    TPlayOrder order(7);
    order.Reset(5);
    order.SetShuffle(true);
    EXPECT_FALSE(order.CanGoPrevious(-1));
    Rows played;
    for (int i = 0; i < 4; ++i) {
        played.push_back(order.Next(-1));
        order.Started(played.back());
    }
    // Back through what was played, newest first; the first row starts again.
    for (int i = 2; i >= 0; --i) {
        const int row = order.Previous(-1);
        EXPECT_EQ(row, played[static_cast<size_t>(i)]);
        order.Started(row);
    }
    EXPECT_EQ(order.Previous(-1), played[0]);
    EXPECT_TRUE(order.CanGoPrevious(-1));
    // Next goes forward again over the same rows.
    for (int i = 1; i < 4; ++i) {
        const int row = order.Next(-1);
        EXPECT_EQ(row, played[static_cast<size_t>(i)]);
        order.Started(row);
    }
    // The fifth row is the one left of the lap; a row removed from the list
    // leaves the way back too.
    const int last = order.Next(-1);
    EXPECT_EQ(std::count(played.begin(), played.end(), last), 0);
    order.Removed(played[2]);
    auto renumbered = [&](int r) { return r > played[2] ? r - 1 : r; };
    EXPECT_EQ(order.Previous(-1), renumbered(played[1]));
    // A lap in a list of one row, with the chain two tracks ahead.
    order.Reset(1);
    EXPECT_EQ(order.AfterTrack({0, 0}, {0, 0}), 0);
    order.SetRepeat(TRepeat::StopAtEnd);
    order.Started(0);
    EXPECT_EQ(order.AfterTrack({0, 0}), -1);
    // Rows already chosen to follow are passed over.
    order.Reset(5);
    order.SetRepeat(TRepeat::List);
    const int a = order.AfterTrack({}, {});
    const int b = order.AfterTrack({a, a}, {a});
    EXPECT_NE(a, b);
    EXPECT_EQ(order.AfterTrack({b, b}, {a, b}), order.AfterTrack({}, {b, a}));
    order.Started(a);
    EXPECT_EQ(order.AfterTrack({a, a}), b) << "the chosen row follows once the first is heard";
}

}  // namespace
}  // namespace quillet::test
