#include "export/ExportEngine.h"
#include "common/AppInfo.h"
#include "export/ExportMenus.h"
#include "support/QtPrinters.h"
#include "support/RecordingExportBackend.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPixmap>
#include <QSet>
#include <QStandardPaths>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace quarlo;

namespace {

struct Shown {
    QString text, title;
    ExportEngine::Icon icon;
};

struct Fixture {
    EngineLog log;
    std::vector<Shown> shown;
    ExportEngine engine{[this](QString*) { return std::make_unique<RecordingBackend>(log); }};
    Fixture()
    {
        engine.setProgramDir(QStringLiteral("/opt/quarlo"));
        engine.setMessageSink([this](const QString& t, const QString& ti, ExportEngine::Icon i) {
            shown.push_back({t, ti, i});
        });
    }
};

// The order the engine hands its settings to a backend.
const QStringList kOrder =
    QString("ProgramName ProgramVersion Title SubTitle Paragraph Footer ImageHeight ImageWidth ImageFormat FileFormat "
            "Orientation TargetFilename InitDir ColumnList SelectMethod SkipFieldSelection SkipFilenameSelection "
            "Quiet DefaultPrinter")
        .split(' ');

QStringList withSetPrefix(QStringList names)
{
    for (auto& n : names) n.prepend("set:");
    return names;
}

} // namespace

TEST(ExportEngine, SettingsReachTheEngineInOrderSkippingRefusedOnes)
{
    Fixture f;
    f.log.refuse = {"Paragraph", "InitDir"};
    f.engine.setTitle("Results");
    f.engine.setOrientation(2);
    f.engine.setQuiet(true);
    EXPECT_TRUE(f.engine.ExportTable(QStringLiteral("grid"), "HTML"));

    QStringList expected = kOrder;
    expected.removeAll("Paragraph");
    expected.removeAll("InitDir");
    EXPECT_EQ(f.log.calls, withSetPrefix(expected) << "export");
    EXPECT_EQ(QVariantList({f.log.settings["Title"], f.log.settings["Orientation"], f.log.settings["Quiet"],
                            f.log.settings["ImageFormat"]}),
              QVariantList({"Results", 2, true, "GIF"}));

    // Sending passes every setting the same way, then forgets them.
    f.log.refuse.clear();
    f.log.calls.clear();
    f.engine.setTitle("T");
    EXPECT_EQ(f.engine.SendTo("/tmp/a.html", "MyDocuments"), "sent");
    EXPECT_EQ(f.log.calls, withSetPrefix(kOrder) << "sendto");
    EXPECT_EQ(f.engine.Title(), "");
}

TEST(ExportEngine, PreviewPassesSettingsThenResetsAndKeepsEngineTarget)
{
    Fixture f;
    f.engine.setTitle("Vantorel Quarlo Blacklist scan results");
    f.engine.setTargetFilename("/mine.html");
    EXPECT_TRUE(f.engine.PrintTable(QStringLiteral("grid"), true));
    ASSERT_EQ(f.log.exports.size(), 1u);
    const auto& done = f.log.exports[0];
    EXPECT_EQ(QVariantList({done.method, done.dir, done.settings["Title"], done.settings["TargetFilename"]}),
              QVariantList({"PREVIEW", "/opt/quarlo", "Vantorel Quarlo Blacklist scan results", "/mine.html"}));
    // The settings are forgotten, the engine's own target kept.
    EXPECT_EQ(QStringList({f.engine.Title(), f.engine.TargetFilename()}), QStringList({"", "/out/written.html"}));
    EXPECT_EQ(f.log.alive, 0);

    f.log.exportResult = false;
    EXPECT_FALSE(f.engine.PrintTable(QStringLiteral("grid")));
    EXPECT_EQ(f.log.exports[1].method, "PRINTER");
}

// What is sent is first written, in the format its destination takes, into a
// fresh temporary folder named like the list (never beside it); it is sent
// only once written, and the settings are forgotten afterwards.
TEST(ExportEngine, ExportAndSendWritesTheDestinationsFormatIntoAFreshTemporaryFolder)
{
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation) + "/quarlo-exports/";
    const struct {
        QString destination, method, list;
        bool written;
    } cases[] = {
        {"Outlook.MAPIMAIL", "MHTML", "", false},
        {"x.MapiMail", "MHTML", "/home/user/lists/Sample.BlackList", true},
        {"MailContent", "TXT", "", true}, // the body is the aligned text table
        {"MyDocuments", "HTML", "/home/user/lists/Sample.BlackList", true},
        {"EXCEL.EXE", "HTML", "", true},
    };
    Fixture f;
    QStringList folders;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination.toStdString());
        f.log.exportResult = c.written;
        f.log.sent.clear();
        if (!c.list.isEmpty()) f.engine.setTargetFilename(c.list);
        f.engine.ExportAndSendTable(QStringLiteral("grid"), c.destination);
        const auto& done = f.log.exports.back();
        EXPECT_EQ(QVariantList({done.method, done.settings["FileFormat"], done.settings["SelectMethod"],
                                done.settings["SkipFilenameSelection"], done.settings["Quiet"]}),
                  QVariantList({c.method, c.method, c.method != "TXT", true, true}));
        const QString target = done.settings["TargetFilename"].toString();
        EXPECT_TRUE(target.startsWith(temp) && target.endsWith(c.list.isEmpty() ? "/Export" : "/Sample.BlackList"))
            << target.toStdString();
        folders << QFileInfo(target).path();
        EXPECT_TRUE(QFileInfo(folders.last()).isDir());
        QDir(folders.last()).removeRecursively();
        EXPECT_EQ(f.log.sent,
                  (std::vector<std::pair<QString, QString>>(c.written ? 1 : 0, {"/out/written.html", c.destination})));
        EXPECT_EQ(QStringList({f.engine.FileFormat(), f.engine.TargetFilename()}), QStringList({"", ""}))
            << "reset after sending";
        EXPECT_EQ(f.log.alive, 0);
    }
    folders.removeDuplicates();
    EXPECT_EQ(folders.size(), qsizetype(std::size(cases)));
}

TEST(ExportEngine, EngineThatCannotStart)
{
    Fixture f;
    f.engine.setBackendFactory([](QString* error) -> std::unique_ptr<ExportBackend> {
        *error = "class not registered";
        return nullptr;
    });
    f.engine.setTitle("kept");
    EXPECT_FALSE(f.engine.ExportTable(QStringLiteral("grid"), "HTML"));
    ASSERT_EQ(f.shown.size(), 1u);
    EXPECT_EQ(
        QVariantList({f.shown[0].text, f.shown[0].title, int(f.shown[0].icon)}),
        QVariantList({"Cannot start Vantorel Export Engine.\r\nYou may need to reinstall the Vantorel software.\r\n\r\n"
                      "Error= class not registered",
                      DisplayTitle(), int(ExportEngine::Icon::Exclamation)}));
    EXPECT_EQ(f.engine.Title(), "kept");
}

TEST(ExportEngine, MenuEntriesNameTheirDestinationOrMethod)
{
    Fixture f;
    f.log.destinations = {{"Outlook.MAPIMAIL", "Microsoft Outlook Recipient"},
                          {"MailContent", "&Mail Recipient (as content)"},
                          {"Shell:MyDocuments", "My Documents"}};
    const auto describe = [](const QList<ExportMenuEntry>& entries) {
        QStringList out;
        for (const auto& e : entries)
            out << QStringList{e.id, e.tag, e.caption, e.imageKeys.join(','), e.beginGroup ? "group" : ""}.join('|');
        return out;
    };
    // Icons are named after the destination's program, else after its key.
    EXPECT_EQ(describe(f.engine.SendToMenuEntries("Tools:")),
              (QStringList{"Tools:Outlook.MAPIMAIL|Outlook.MAPIMAIL|Microsoft Outlook Recipient|Outlook|",
                           "Tools:MailContent|MailContent|&Mail Recipient (as content)|Mail|group",
                           "Tools:Shell:MyDocuments|Shell:MyDocuments|My Documents|My,MyDocuments|group"}));

    f.log.methods = {{"HTML", "Web page"}, {"MailContent", "Mail"}};
    EXPECT_EQ(describe(f.engine.ExportsMenuEntries()),
              (QStringList{"Export:HTML|HTML|Web page|Web page,HTML|",
                           "Export:MailContent|MailContent|Mail|Mail,MailContent|"}));
}

TEST(ExportEngine, NoPrinters)
{
    Fixture f;
    EXPECT_FALSE(f.engine.NoPrinters()); // cannot tell: let the print dialog decide
    f.engine.setPrinterSource([] { return QStringList{"lp"}; });
    EXPECT_FALSE(f.engine.NoPrinters());
    EXPECT_TRUE(f.shown.empty());
    f.engine.setPrinterSource([] { return QStringList{}; });
    EXPECT_TRUE(f.engine.NoPrinters());
    ASSERT_EQ(f.shown.size(), 1u);
    EXPECT_EQ(f.shown[0].text,
              "You do not have a Printer installed.\r\nYou must install a Printer before you can print.");
    EXPECT_EQ(f.shown[0].icon, ExportEngine::Icon::Critical);

    // With a way to ask, the user is offered a PDF instead, and says.
    for (const bool answer : {true, false}) {
        QStringList asked;
        f.engine.setQuestionSink([&](const QString& text, const QString&) {
            asked << text;
            return answer;
        });
        bool printToPdf = !answer;
        EXPECT_TRUE(f.engine.NoPrinters(&printToPdf));
        EXPECT_EQ(printToPdf, answer);
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].contains("Print to PDF")) << asked[0].toStdString();
    }
    EXPECT_EQ(f.shown.size(), 1u);
}

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
