#include "MainFormWorld.h"
#include "ServerEditorDriver.h"
#include "support/ModelBuilders.h"
#include "support/ScriptedPrompts.h"
#include "ui/AddAddressesForm.h"
#include "ui/AddEditServer.h"
#include "ui/MainForm.h"
#include "ui/SettingsForm.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// A button that shows a picture and no words: a screen reader has only its
// accessible name to say, a sighted user only its tooltip.
bool iconOnly(const QAbstractButton& button)
{
    if (button.icon().isNull()) return false;
    if (button.text().trimmed().isEmpty()) return true;
    const auto* tool = qobject_cast<const QToolButton*>(&button);
    return tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly;
}

// Every icon-only button below window lacking an accessible name or a
// tooltip, by object name (or class).
QStringList unnamedIconButtons(QWidget& window)
{
    QStringList out;
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (!iconOnly(*button)) continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        const QString name = accessible ? accessible->text(QAccessible::Name).trimmed() : QString();
        if (name.isEmpty() || button->toolTip().trimmed().isEmpty())
            out << (button->objectName().isEmpty() ? QString::fromUtf8(button->metaObject()->className())
                                                   : button->objectName());
    }
    return out;
}

QString helpFolder()
{
    return QDir::cleanPath(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/../../data/Help"));
}

// The keys the Keyboard page lists in the table with the given id, as
// portable key sequence texts ("Ctrl+Shift+S").
QSet<QString> documentedKeys(const QString& tableId)
{
    QFile page(helpFolder() + "/Keyboard.htm");
    if (!page.open(QIODevice::ReadOnly)) return {};
    const QString html = QString::fromUtf8(page.readAll());
    const qsizetype start = html.indexOf("<table id=\"" + tableId + "\"");
    const qsizetype end = html.indexOf("</table>", start);
    if (start < 0 || end < 0) return {};
    QSet<QString> keys;
    static const QRegularExpression cell("<tr><td>(.*?)</td>");
    static const QRegularExpression tag("<[^>]+>");
    for (const QRegularExpressionMatch& m : cell.globalMatch(html.mid(start, end - start))) {
        // "A or B" lists two keys for one command.
        for (QString key : m.captured(1).split(" or ")) {
            key.remove(tag);
            keys.insert(QKeySequence::fromString(key.trimmed(), QKeySequence::PortableText)
                            .toString(QKeySequence::PortableText));
        }
    }
    return keys;
}

class AccessibilityTest : public ::testing::Test, protected MainFormWorld<ScriptedPrompts> {
protected:
    AccessibilityTest()
    {
        settings.BlacklistServers().Add(makeServer("a.test", true, {{"127.0.0.2", "Listed"}}, false, "A BL"));
    }
};

} // namespace

// The main window (with a list open, so every tool and dock is there) and
// every dialog the user reaches from it.
TEST_F(AccessibilityTest, EveryIconOnlyButtonHasAnAccessibleNameAndATooltip)
{
    std::unique_ptr<MainForm> form = makeForm();
    form->show();
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    form->SetupForm();
    EXPECT_EQ(unnamedIconButtons(*form), QStringList());

    AddAddressesForm add(list, settings);
    EXPECT_EQ(unnamedIconButtons(add), QStringList());
    AddEditServer editor(prompts);
    EXPECT_EQ(unnamedIconButtons(editor), QStringList());
    SettingsForm dialog(settings, prompts);
    EXPECT_EQ(unnamedIconButtons(dialog), QStringList());

    // The check itself: a button with only a picture and nothing to say is found.
    QToolButton bare(&dialog);
    bare.setObjectName("bare");
    bare.setIcon(form->windowIcon().isNull() ? QIcon(QPixmap(16, 16)) : form->windowIcon());
    EXPECT_EQ(unnamedIconButtons(dialog), QStringList({"bare"}));
    bare.setToolTip("Does something");
    bare.setAccessibleName("Does something");
    EXPECT_EQ(unnamedIconButtons(dialog), QStringList());
}

// The Keyboard help page and the window agree: every shortcut of a window
// command is listed, and every key listed for the window runs a command.
TEST_F(AccessibilityTest, TheKeyboardPageListsEveryShortcutOfTheWindow)
{
    std::unique_ptr<MainForm> form = makeForm();
    const QSet<QString> listed = documentedKeys("main");
    ASSERT_FALSE(listed.isEmpty()) << helpFolder().toStdString();
    QSet<QString> bound;
    for (QAction* action : form->findChildren<QAction*>())
        for (const QKeySequence& key : action->shortcuts()) bound.insert(key.toString(QKeySequence::PortableText));
    for (const QString& key : bound)
        EXPECT_TRUE(listed.contains(key)) << "not on the Keyboard page: " << key.toStdString();
    // Keys the grid or the menus handle themselves rather than an action.
    QSet<QString> handledElsewhere;
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)})
        handledElsewhere.insert(key.toString(QKeySequence::PortableText));
    for (const QString& key : listed)
        EXPECT_TRUE(bound.contains(key) || handledElsewhere.contains(key)) << "no command for " << key.toStdString();
}
