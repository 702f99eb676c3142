#include "ui/FormPlacement.h"

#include "common/AppInfo.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "common/WindowPlacement.h"
#include "support/QtPrinters.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

class FormPlacementTest : public ::testing::Test {
protected:
    QString stored(const QString& prefix)
    {
        const auto value = backend_.read(RegistryRoot::CurrentUser, PlacementKeyPath(), prefix + "MainForm" + suffix_);
        return value ? value->text : QStringLiteral("<none>");
    }

    const QString suffix_ = DisplayTitle();
    VolatileRegistryBackend backend_;
    Registry registry_{backend_};
};

} // namespace

// Where a window opens for what was stored (the first run included) is
// WindowPlacementTest's; here the pixels a real window gives and gets.
// Stored in twips, so a normal window and a maximised one's normal
// rectangle come back where they were at the next start.
TEST_F(FormPlacementTest, NormalAndMaximisedWindowsRoundTripInTwips)
{
    const QRect normal(100, 80, 400, 300);
    for (const bool maximised : {false, true}) {
        SCOPED_TRACE(maximised ? "maximised" : "normal");
        QWidget closing;
        closing.setGeometry(normal);
        closing.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&closing, 20000));
        if (maximised) {
            SaveFormSize(closing, "MainForm", suffix_, registry_);
            closing.showMaximized();
        }
        // Closed in one run, opened in the next.
        SaveFormSize(closing, "MainForm", suffix_, registry_);
        QWidget opening;
        RestoreFormSize(opening, "MainForm", suffix_, false, registry_);
        EXPECT_EQ(stored("FormSize_"), "1500,1200,6000,4500");
        EXPECT_EQ(stored("WindowState_"), maximised ? "2" : "0");
        EXPECT_EQ(bool(opening.windowState() & Qt::WindowMaximized), maximised);
        EXPECT_FALSE(opening.windowState() & Qt::WindowMinimized);
        opening.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&opening, 20000));
        EXPECT_EQ(opening.normalGeometry(), normal);
        // Un-maximised, it goes back to that rectangle.
        opening.showNormal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return opening.geometry() == normal; }, 20000));
    }
}
