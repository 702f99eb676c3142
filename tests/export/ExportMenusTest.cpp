#include "export/ExportMenus.h"
#include "export/ExportEngine.h"
#include "support/QtPrinters.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

QIcon Swatch()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return QIcon(pixmap);
}

} // namespace

TEST(ExportMenus, FillNamesActionsByToolIdWithGroupsAndIcons)
{
    QMenu menu;
    const QList<ExportMenuEntry> entries = {
        {"SendTo:Outlook.MAPIMAIL", "Microsoft Outlook Recipient", "Outlook.MAPIMAIL", {"Outlook"}, false},
        {"SendTo:MailContent", "Mail Recipient", "MailContent", {"Mail", "Missing"}, true},
        {"SendTo:Shell:MyDocuments", "My Documents", "Shell:MyDocuments", {"My", "MyDocuments"}, true},
    };
    const auto added = ExportMenus::Fill(
        &menu, entries, [](const QString& name) { return name == "MyDocuments" ? Swatch() : QIcon(); });

    ASSERT_EQ(added.size(), 3);
    QStringList layout;
    for (auto* action : menu.actions()) layout << (action->isSeparator() ? "-" : action->objectName());
    EXPECT_EQ(layout,
              (QStringList{"SendTo:Outlook.MAPIMAIL", "-", "SendTo:MailContent", "-", "SendTo:Shell:MyDocuments"}));
    EXPECT_EQ(QVariantList({added[1]->text(), added[1]->data()}), QVariantList({"Mail Recipient", "MailContent"}));
    // An icon from the first of its names the theme has.
    EXPECT_EQ(QList<bool>({added[0]->icon().isNull(), added[2]->icon().isNull()}), QList<bool>({true, false}));
}

TEST(ExportMenus, EngineThatCannotStartAddsNothing)
{
    ExportEngine engine([](QString*) -> std::unique_ptr<ExportBackend> { return nullptr; });
    int messages = 0;
    engine.setMessageSink([&](const QString&, const QString&, ExportEngine::Icon) { ++messages; });
    QMenu menu;
    EXPECT_TRUE(ExportMenus::LoadSendToMenu(engine, &menu).isEmpty());
    EXPECT_TRUE(ExportMenus::LoadExportsMenu(engine, &menu).isEmpty());
    EXPECT_TRUE(menu.actions().isEmpty());
    EXPECT_EQ(messages, 0);
    EXPECT_TRUE(ExportMenus::Fill(nullptr, {{"SendTo:x", "x", "x", {}, true}}).isEmpty());
}
