#include "scan/ScanProgress.h"

#include <gtest/gtest.h>

namespace quarlo {
namespace {

TEST(ScanProgressTest, FormatsDurations)
{
    const struct {
        qint64 ms;
        const char* text;
    } cases[] = {
        {0, "1 s"},
        {400, "1 s"},
        {1499, "1 s"},
        {1500, "2 s"},
        {59'400, "59 s"},
        {60'000, "1 min"},
        {130'000, "2 min 10 s"},
        {3'599'000, "59 min 59 s"},
        {3'600'000, "1 h 00 min"},
        {3'900'000, "1 h 05 min"},
        {2 * 3'600'000 + 59 * 60'000 + 45'000, "3 h 00 min"},
    };
    for (const auto& c : cases) EXPECT_EQ(ScanProgress::formatDuration(c.ms), QString::fromLatin1(c.text)) << c.ms;
}

TEST(ScanProgressTest, NoEstimateUntilTheRateIsKnownAndCountsStayInRange)
{
    ScanProgress progress;
    progress.start(5000, 100);
    EXPECT_EQ(progress.remainingMs(), -1);
    EXPECT_EQ(progress.text(), QStringLiteral("Checked 0 of 100 addresses"));
    progress.update(5500, 10); // too early to tell
    EXPECT_EQ(progress.remainingMs(), -1);
    progress.update(7000, 0); // a second passed, nothing done
    EXPECT_EQ(progress.remainingMs(), -1);
    // Nothing to scan: nothing to estimate.
    progress.start(0, 0);
    progress.update(5000, 0);
    EXPECT_EQ(progress.remainingMs(), -1);
    EXPECT_EQ(progress.text(), QStringLiteral("Checked 0 of 0 addresses"));
    // More reported done than there are: all done.
    progress.start(0, 10);
    progress.update(3000, 12);
    EXPECT_EQ(progress.done(), 10);
    EXPECT_EQ(progress.remainingMs(), 0);
    EXPECT_EQ(progress.text(), QStringLiteral("Checked 10 of 10 addresses"));
}

TEST(ScanProgressTest, EstimatesFromTheRecentRate)
{
    ScanProgress progress;
    progress.start(0, 1000);
    // 10 addresses a second for 20 s...
    for (int s = 1; s <= 20; ++s) progress.update(s * 1000, s * 10);
    EXPECT_EQ(progress.done(), 200);
    EXPECT_EQ(progress.remainingMs(), 80'000);
    EXPECT_EQ(progress.text(), QStringLiteral("Checked 200 of 1000 addresses, about 1 min 20 s left"));
    // ...then 5 a second: within a window the estimate follows the new rate.
    for (int s = 1; s <= 10; ++s) progress.update(20'000 + s * 1000, 200 + s * 5);
    EXPECT_EQ(progress.remainingMs(), (1000 - 250) * 200);
    // ...then a dead zone holds the rest: a stalled window falls back to the
    // whole scan, 250 in 42 s.
    for (int s = 1; s <= 12; ++s) progress.update(30'000 + s * 1000, 250);
    EXPECT_EQ(progress.remainingMs(), (1000 - 250) * 42'000 / 250);
}

} // namespace
} // namespace quarlo
