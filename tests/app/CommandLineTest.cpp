#include "app/CommandLine.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quarlo;

TEST(CommandLine, OpensOnlyListFilesWithQuotesRemoved)
{
    // A quoted path with blanks arrives split into several arguments.
    EXPECT_EQ(CommandLine({"\"/home/ann/My", "Lists/relays.BlackList\""}).ListPath(),
              "/home/ann/My Lists/relays.BlackList");
    EXPECT_EQ(CommandLine({"/tmp/OLD.BLACKLIST"}).ListPath(), "/tmp/OLD.BLACKLIST");
    EXPECT_EQ(CommandLine({"/tmp/notes.txt"}).ListPath(), "");
    EXPECT_EQ(CommandLine({}).ListPath(), "");
    EXPECT_FALSE(CommandLine({"/tmp/a.BlackList"}).StartedByAutomation());
    EXPECT_TRUE(CommandLine({"--automation"}).StartedByAutomation());
    EXPECT_FALSE(CommandLine({"x", "--automation"}).StartedByAutomation());
}
