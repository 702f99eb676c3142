#include "common/WindowPlacement.h"
#include "common/AppInfo.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
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

} // namespace

// Where a window opens for the size and state texts stored when it closed.
TEST(PlanRestore, StoredTextsGiveThePlacement)
{
    const QRect normal(1500, 900, 9000, 6000);
    const QRect corner(400, 400, 6000, 4000); // the saved size at the default corner
    struct Case {
        QString size, state;
        bool keepDesign;
        std::optional<QRect> geometry; // nullopt: what the window was designed with
        bool maximise;
    };
    const Case cases[] = {
        // First run: the screen less margins, or the design.
        {"0,0,0,0", "0", false, kFirstRunPlacement, false},
        {"0,0,0,0", "0", true, std::nullopt, false},
        // On the screen: restored exactly, even mostly off it while more than 400 twips show.
        {"1500,900,9000,6000", "0", false, normal, false},
        {"0,0,19200,12000", "0", false, kScreen, false},
        {"-5599,11599,6000,4000", "0", false, QRect(-5599, 11599, 6000, 4000), false},
        // 300 or exactly 400 twips showing is too little, in either direction.
        {"-5700,1500,6000,4000", "0", false, corner, false},
        {"-5600,1500,6000,4000", "0", false, corner, false},
        {"1000,11600,6000,4000", "0", false, corner, false},
        {"-5700,1500,6000,4000", "0", true, corner, false},
        // A second monitor that is gone, and rectangles that only touch an edge.
        {"25000,1000,9000,6000", "0", false, kFirstRunPlacement, false},
        {"-9000,0,9000,6000", "0", true, std::nullopt, false},
        {"0,12000,9000,6000", "0", false, kFirstRunPlacement, false},
        {"19200,0,100,100", "0", false, kFirstRunPlacement, false},
        // Not four numbers: nothing stored.
        {"", "0", false, kFirstRunPlacement, false},
        {"1,2,3", "0", false, kFirstRunPlacement, false},
        {"1500,900,9000,six", "0", false, kFirstRunPlacement, false},
        {"1500.5,900,9000,6000", "0", false, kFirstRunPlacement, false},
        {"1500,900,-9000,6000", "0", false, kFirstRunPlacement, false},
        {"1500,900,9000,0", "0", false, kFirstRunPlacement, false},
        // Maximised: the normal rectangle, else no placement before maximising.
        {"1500,900,9000,6000", "2", false, normal, true},
        {"0,0,0,0", "2", false, std::nullopt, true},
        {"-5700,1500,6000,4000", "2", false, std::nullopt, true},
        // Minimised and unknown states open normal.
        {"1500,900,9000,6000", "1", false, normal, false},
        {"1500,900,9000,6000", "x", false, normal, false},
        {"1500,900,9000,6000", "3", false, normal, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.size + " / " + c.state).toStdString() + (c.keepDesign ? " keeping the design" : ""));
        const RestoredPlacement plan = PlanRestore(c.size, c.state, kScreen, c.keepDesign);
        EXPECT_EQ(plan.geometry, c.geometry);
        EXPECT_EQ(plan.maximise, c.maximise);
    }
    // The margins are measured from the corner of the screen it opens on.
    EXPECT_EQ(PlanRestore("0,0,0,0", "0", QRect(3000, 450, 9000, 6000), false).geometry, QRect(3400, 850, 8200, 4500));
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

// Text values named after the form and the suffix; a minimised window's own
// rectangle is not stored, so the next start gets the last normal one. (A
// maximised window, in a real window's pixels: FormPlacementTest.)
TEST_F(PlacementStoreTest, TextValuesPerFormAndSuffixKeepTheNormalRectangle)
{
    StorePlacement(registry_, "MainForm", suffix_, QRect(-1500, 900, 9000, 6000), WindowShowState::Normal);
    StorePlacement(registry_, "MainForm", suffix_, QRect(-32000, -32000, 2400, 400), WindowShowState::Minimised);
    EXPECT_EQ(stored("FormSize_MainForm" + suffix_), "-1500,900,9000,6000");
    EXPECT_EQ(stored("WindowState_MainForm" + suffix_), "1");
    const RestoredPlacement plan = LoadPlacement(registry_, "MainForm", suffix_, kScreen, false);
    EXPECT_EQ(plan.geometry, QRect(-1500, 900, 9000, 6000));
    EXPECT_FALSE(plan.maximise);
    // Another form or suffix has its own values: none yet, so the first run's.
    EXPECT_EQ(stored("FormSize_MainForm"), "<none>");
    EXPECT_EQ(LoadPlacement(registry_, "OtherForm", suffix_, kScreen, false).geometry, kFirstRunPlacement);
}
