#include "common/AppInfo.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "common/WindowPlacement.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace quarlo;

inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << '(' << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height() << ')';
}

namespace {

// A 1280 x 800 pixel screen.
const QRect kScreen(0, 0, 19200, 12000);
const QRect kFirstRunPlacement(400, 400, 19200 - 800, 12000 - 1500);

RestoredPlacement Plan(const QString& size, const QString& state = "0", bool keepDesign = false)
{
    return PlanRestore(size, state, kScreen, keepDesign);
}

} // namespace

// ---- where a window opens ------------------------------------------------------

TEST(PlanRestore, FirstRunGetsTheScreenLessMargins)
{
    const RestoredPlacement plan = Plan("0,0,0,0");
    EXPECT_EQ(plan.geometry, kFirstRunPlacement);
    EXPECT_FALSE(plan.maximise);

    // The margins are measured from the corner of the screen it opens on.
    const RestoredPlacement offset = PlanRestore("0,0,0,0", "0", QRect(3000, 450, 9000, 6000), false);
    EXPECT_EQ(offset.geometry, QRect(3400, 850, 8200, 4500));

    // With keepDesign the window keeps what it was designed with.
    EXPECT_EQ(Plan("0,0,0,0", "0", true).geometry, std::nullopt);
}

TEST(PlanRestore, ARectangleOnTheScreenIsRestoredExactly)
{
    EXPECT_EQ(Plan("1500,900,9000,6000").geometry, QRect(1500, 900, 9000, 6000));
    EXPECT_EQ(Plan("0,0,19200,12000").geometry, kScreen);
    // Mostly off screen still counts as long as more than 400 twips show.
    EXPECT_EQ(Plan("-5599,11599,6000,4000").geometry, QRect(-5599, 11599, 6000, 4000));
    EXPECT_EQ(Plan("1500,900,9000,6000", "0", true).geometry, QRect(1500, 900, 9000, 6000));
}

TEST(PlanRestore, ARectangleShowingTooLittleKeepsItsSizeAtTheDefaultCorner)
{
    // 300 twips of it show horizontally (moved left off the screen).
    EXPECT_EQ(Plan("-5700,1500,6000,4000").geometry, QRect(400, 400, 6000, 4000));
    // Exactly 400 is not enough, in either direction.
    EXPECT_EQ(Plan("-5600,1500,6000,4000").geometry, QRect(400, 400, 6000, 4000));
    EXPECT_EQ(Plan("1000,11600,6000,4000").geometry, QRect(400, 400, 6000, 4000));
    // keepDesign does not stop this: the saved size is still wanted.
    EXPECT_EQ(Plan("-5700,1500,6000,4000", "0", true).geometry, QRect(400, 400, 6000, 4000));
}

TEST(PlanRestore, ARectangleOffTheScreenGetsTheFirstRunPlacement)
{
    // A second monitor that is gone, and rectangles that only touch an edge.
    for (const QString size : {"25000,1000,9000,6000", "-9000,0,9000,6000", "0,12000,9000,6000", "19200,0,100,100"}) {
        SCOPED_TRACE(size.toStdString());
        EXPECT_EQ(Plan(size).geometry, kFirstRunPlacement);
        EXPECT_EQ(Plan(size, "0", true).geometry, std::nullopt);
    }
}

TEST(PlanRestore, TextThatIsNotFourNumbersIsNothingStored)
{
    for (const QString size : {"", "garbage", "1,2,3", "1,2,3,4,5", "1500,900,9000,six", "1500;900;9000;6000",
                               "1500.5,900,9000,6000", "1500,900,-9000,6000", "1500,900,9000,0"}) {
        SCOPED_TRACE(size.toStdString());
        EXPECT_EQ(Plan(size).geometry, kFirstRunPlacement);
        EXPECT_FALSE(Plan(size).maximise);
    }
}

TEST(PlanRestore, MaximisedWindowsGetTheirNormalRectangleAndAreMaximised)
{
    RestoredPlacement plan = Plan("1500,900,9000,6000", "2");
    EXPECT_EQ(plan.geometry, QRect(1500, 900, 9000, 6000));
    EXPECT_TRUE(plan.maximise);

    // Maximising ends the procedure: no default or corner placement first.
    plan = Plan("0,0,0,0", "2");
    EXPECT_EQ(plan.geometry, std::nullopt);
    EXPECT_TRUE(plan.maximise);
    plan = Plan("-5700,1500,6000,4000", "2");
    EXPECT_EQ(plan.geometry, std::nullopt);
    EXPECT_TRUE(plan.maximise);
}

TEST(PlanRestore, MinimisedAndUnknownStatesOpenNormal)
{
    for (const QString state : {"1", "", "x", "3", "-2"}) {
        SCOPED_TRACE(state.toStdString());
        const RestoredPlacement plan = Plan("1500,900,9000,6000", state);
        EXPECT_EQ(plan.geometry, QRect(1500, 900, 9000, 6000));
        EXPECT_FALSE(plan.maximise);
    }
}

// ---- through the registry, across runs -------------------------------------------

class PlacementStoreTest : public ::testing::Test {
protected:
    QString stored(const QString& valueName)
    {
        const auto value = backend_.read(RegistryRoot::CurrentUser, key_, valueName);
        return value && value->type == RegistryValue::Type::String ? value->text : QStringLiteral("<none>");
    }

    const QString key_ = "Software\\Vantorel\\" + DisplayTitle() + "\\Settings";
    const QString suffix_ = DisplayTitle();
    VolatileRegistryBackend backend_;
    Registry registry_{backend_};
};

TEST_F(PlacementStoreTest, FirstRunThenTextValuesNamedAfterFormAndSuffix)
{
    RestoredPlacement plan = LoadPlacement(registry_, "MainForm", suffix_, kScreen, false);
    EXPECT_EQ(plan.geometry, kFirstRunPlacement);
    EXPECT_FALSE(plan.maximise);

    EXPECT_EQ(PlacementKeyPath(), key_);
    StorePlacement(registry_, "MainForm", suffix_, QRect(-1500, 900, 9000, 6000), WindowShowState::Normal);
    EXPECT_EQ(stored("FormSize_MainForm" + suffix_), "-1500,900,9000,6000");
    EXPECT_EQ(stored("WindowState_MainForm" + suffix_), "0");
    EXPECT_EQ(LoadPlacement(registry_, "MainForm", suffix_, kScreen, false).geometry, QRect(-1500, 900, 9000, 6000));
    // Another form or suffix has its own values.
    EXPECT_EQ(stored("FormSize_MainForm"), "<none>");
    EXPECT_EQ(LoadPlacement(registry_, "OtherForm", suffix_, kScreen, false).geometry, kFirstRunPlacement);
}

TEST_F(PlacementStoreTest, ClosedMaximisedKeepsTheNormalRectangleForTheNextStart)
{
    StorePlacement(registry_, "MainForm", suffix_, QRect(1500, 900, 9000, 6000), WindowShowState::Normal);
    // What a maximised window reports as its normal rectangle is not stored.
    StorePlacement(registry_, "MainForm", suffix_, QRect(0, 0, 1, 1), WindowShowState::Maximised);
    EXPECT_EQ(stored("FormSize_MainForm" + suffix_), "1500,900,9000,6000");
    EXPECT_EQ(stored("WindowState_MainForm" + suffix_), "2");

    const RestoredPlacement plan = LoadPlacement(registry_, "MainForm", suffix_, kScreen, false);
    EXPECT_EQ(plan.geometry, QRect(1500, 900, 9000, 6000));
    EXPECT_TRUE(plan.maximise);
}

TEST_F(PlacementStoreTest, ClosedMinimisedOpensNormalAtTheLastNormalRectangle)
{
    StorePlacement(registry_, "MainForm", suffix_, QRect(1500, 900, 9000, 6000), WindowShowState::Normal);
    StorePlacement(registry_, "MainForm", suffix_, QRect(-32000, -32000, 2400, 400), WindowShowState::Minimised);
    EXPECT_EQ(stored("FormSize_MainForm" + suffix_), "1500,900,9000,6000");
    EXPECT_EQ(stored("WindowState_MainForm" + suffix_), "1");

    const RestoredPlacement plan = LoadPlacement(registry_, "MainForm", suffix_, kScreen, false);
    EXPECT_EQ(plan.geometry, QRect(1500, 900, 9000, 6000));
    EXPECT_FALSE(plan.maximise);
}
