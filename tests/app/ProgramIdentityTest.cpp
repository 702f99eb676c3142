#include "app/ProgramIdentity.h"
#include "app/ModalDialogs.h"
#include "ui/MainFormWorld.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

// Qt's rule for the title a desktop shows for a window (QtGui exports it; its
// private header is not installed): the application display name, when one
// is set, is appended to every title that does not already end with it.
class QPlatformWindow {
public:
    static QString formatWindowTitle(const QString& title, const QString& separator);
};

using namespace quarlo;

namespace {

QString ShownTitle(const QWidget& window)
{
    return QPlatformWindow::formatWindowTitle(window.windowHandle()->title(), QStringLiteral(" \u2014 "));
}

} // namespace

TEST(ApplicationIdentity, WindowsAndDialogsAreTitledWithTheProgramsOwnTextOnly)
{
    SetProgramIdentity();
    EXPECT_EQ(QApplication::applicationName(), "Quarlo");
    EXPECT_FALSE(QApplication::windowIcon().isNull());

    MainFormWorld<> world;
    MainForm form(world.services());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 20000));
    form.RunTool("Main:New");
    EXPECT_EQ(ShownTitle(form), "Quarlo [New List]");
    EXPECT_FALSE(form.windowIcon().isNull());

    QString dialogTitle;
    ModalDialogs dialogs;
    dialogs.expect([&](QWidget& dialog) {
        dialogTitle = ShownTitle(dialog);
        static_cast<QDialog&>(dialog).reject();
    });
    form.Tool("Main:Settings")->trigger();
    EXPECT_TRUE(dialogs.allHandled());
    EXPECT_EQ(dialogTitle, "Quarlo Settings");
    form.close();
}
