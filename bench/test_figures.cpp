#include "figures.h"

#include <gtest/gtest.h>

namespace {

TEST(Figures, MedianOfOddAndEvenCountsAndTheSpread)
{
    const bench::Summary odd = bench::Summarise({9, 1, 5});
    EXPECT_DOUBLE_EQ(odd.median, 5);
    EXPECT_DOUBLE_EQ(odd.low, 1);
    EXPECT_DOUBLE_EQ(odd.high, 9);
    const bench::Summary even = bench::Summarise({4, 1, 3, 100});
    EXPECT_DOUBLE_EQ(even.median, 3.5);
    EXPECT_DOUBLE_EQ(even.high, 100);
    const bench::Summary none = bench::Summarise({});
    EXPECT_DOUBLE_EQ(none.median, 0);
}

TEST(Figures, TurnsSkipWarmUpAndAlternateTheOrder)
{
    std::vector<char> order;
    int toolCalls = 0;
    int floorCalls = 0;
    const bench::Pairs pairs = bench::RunInTurns(
        2, 3,
        [&] {
            order.push_back('t');
            return static_cast<double>(++toolCalls);
        },
        [&] {
            order.push_back('f');
            return static_cast<double>(100 + ++floorCalls);
        });
    EXPECT_EQ(pairs.tool, (std::vector<double>{3, 4, 5}));
    EXPECT_EQ(pairs.floor, (std::vector<double>{103, 104, 105}));
    EXPECT_EQ(std::string(order.begin(), order.end()), "tftftffttf");
    EXPECT_TRUE(pairs.toolSystem.empty());
    const bench::Pairs timed = bench::RunInTurns(
        0, 2, [] { return 1.0; }, [] { return 2.0; }, [&, now = 0.0]() mutable { return now += 5; });
    EXPECT_EQ(timed.toolSystem, (std::vector<double>{5, 5}));
    EXPECT_EQ(timed.floorSystem, (std::vector<double>{5, 5}));
}

TEST(Figures, PairedRowsJudgeTheMedianOfThePerPairRatios)
{
    const bench::Quartiles q = bench::QuartilesOf({4, 1, 3, 2, 5});
    EXPECT_DOUBLE_EQ(q.median, 3);
    EXPECT_DOUBLE_EQ(q.first, 2);
    EXPECT_DOUBLE_EQ(q.third, 4);
    EXPECT_DOUBLE_EQ(bench::QuartilesOf({1, 2}).first, 1.25);
    // The pairs' ratios, not the ratio of the medians: a slow stretch weighs on one pair.
    bench::Pairs pairs;
    pairs.tool = {50, 60, 500};
    pairs.floor = {100, 100, 400};
    pairs.toolSystem = {10, 10, 10};
    pairs.floorSystem = {40, 40, 40};
    EXPECT_EQ(pairs.ratios(), (std::vector<double>{0.5, 0.6, 1.25}));
    EXPECT_EQ(bench::PairedRow("Swap", pairs, 0.55, 0.3),
              "| Swap | 3 | 60 ms (55-280) | 100 ms (100-250) | 0.60 (0.55-0.93) | at most 0.55 | MISSED "
              "| 10 ms / 40 ms = 0.25 (at most 0.30: met) |");
}

TEST(Figures, RowGivesTheRatioOfMediansAndJudgesTheGoal)
{
    const bench::Summary tool{120, 110, 130};
    const bench::Summary floor{100, 95, 105};
    EXPECT_EQ(bench::TableRow("Start", "ms", tool, floor, 1.25),
              "| Start | 120 ms (110-130) | 100 ms (95-105) | 1.20 | at most 1.25 | met |");
    EXPECT_EQ(bench::TableRow("Start", "MiB", {30.5, 30.25, 31}, {20, 19.5, 20.5}, 1.15),
              "| Start | 30.5 MiB (30.2-31.0) | 20.0 MiB (19.5-20.5) | 1.52 | at most 1.15 | MISSED |");
    // A floor that measured nothing cannot meet a goal.
    EXPECT_NE(bench::TableRow("x", "ms", tool, {}, 2).find("MISSED"), std::string::npos);
}

TEST(Figures, ArgumentsByName)
{
    char prog[] = "bench", dirName[] = "--dir", dirValue[] = "/tmp/x", nName[] = "--repeats", nValue[] = "7";
    char* argv[] = {prog, dirName, dirValue, nName, nValue};
    EXPECT_EQ(bench::ArgText(5, argv, "--dir", "none"), "/tmp/x");
    EXPECT_EQ(bench::ArgNumber(5, argv, "--repeats", 3), 7);
    EXPECT_EQ(bench::ArgNumber(5, argv, "--warm-up", 3), 3);
    // A name in the last place has no value.
    EXPECT_EQ(bench::ArgText(4, argv, "--repeats", "none"), "none");
}

} // namespace
