#include "export/ExportEngine.h"
#include "common/AppInfo.h"
#include "support/QtPrinters.h"
#include "support/RecordingExportBackend.h"

#include <QDir>
#include <QFileInfo>
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

const QStringList kOrder = {"ProgramName",
                            "ProgramVersion",
                            "Title",
                            "SubTitle",
                            "Paragraph",
                            "Footer",
                            "ImageHeight",
                            "ImageWidth",
                            "ImageFormat",
                            "FileFormat",
                            "Orientation",
                            "TargetFilename",
                            "InitDir",
                            "ColumnList",
                            "SelectMethod",
                            "SkipFieldSelection",
                            "SkipFilenameSelection",
                            "Quiet",
                            "DefaultPrinter"};

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

TEST(ExportEngine, ExportAndSendTableChoosesFormatByDestination)
{
    struct Case {
        QString destination, method, fileFormat;
        bool selectMethod;
    };
    const Case cases[] = {
        {"Outlook.MAPIMAIL", "MHTML", "MHTML", true},
        {"MailContent", "TXT", "TXT", false}, // the body is the aligned text table
        {"MyDocuments", "HTML", "HTML", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination.toStdString());
        Fixture f;
        f.engine.setTitle("T");
        f.engine.ExportAndSendTable(QStringLiteral("grid"), c.destination);
        ASSERT_EQ(f.log.exports.size(), 1u);
        const auto& done = f.log.exports[0];
        EXPECT_EQ(QVariantList({done.method, done.settings["FileFormat"], done.settings["SelectMethod"],
                                done.settings["SkipFilenameSelection"], done.settings["Quiet"]}),
                  QVariantList({c.method, c.fileFormat, c.selectMethod, true, true}));
        EXPECT_EQ(f.log.sent, (std::vector<std::pair<QString, QString>>{{"/out/written.html", c.destination}}));
        QDir(QFileInfo(done.settings["TargetFilename"].toString()).path()).removeRecursively();
        EXPECT_EQ(QStringList({f.engine.FileFormat(), f.engine.TargetFilename()}), QStringList({"", ""}))
            << "reset after sending";
    }
}

TEST(ExportEngine, ExportAndSendWritesIntoAFreshTemporaryFolderAndSendsOnlyAfterSuccess)
{
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation) + "/quarlo-exports/";
    Fixture f;
    f.log.exportResult = false;
    f.engine.ExportAndSendTable(QStringLiteral("grid"), "Outlook.MAPIMAIL");
    const QString first = f.log.exports.back().settings["TargetFilename"].toString();
    EXPECT_TRUE(first.startsWith(temp)) << first.toStdString();
    EXPECT_TRUE(first.endsWith("/Export")) << first.toStdString();
    EXPECT_TRUE(f.log.sent.empty());

    // Named like the list, never beside it.
    f.log.exportResult = true;
    f.engine.setTargetFilename("/home/user/lists/Sample.BlackList");
    f.engine.ExportAndSendTable(QStringLiteral("grid"), "MyDocuments");
    const QString second = f.log.exports.back().settings["TargetFilename"].toString();
    EXPECT_TRUE(second.startsWith(temp)) << second.toStdString();
    EXPECT_TRUE(second.endsWith("/Sample.BlackList")) << second.toStdString();
    EXPECT_NE(QFileInfo(first).path(), QFileInfo(second).path());
    EXPECT_TRUE(QFileInfo(QFileInfo(second).path()).isDir());
    EXPECT_EQ(f.log.sent.size(), 1u);
    EXPECT_EQ(f.log.alive, 0);
    QDir(QFileInfo(first).path()).removeRecursively();
    QDir(QFileInfo(second).path()).removeRecursively();
}

TEST(ExportEngine, BestExportMethodByDestination)
{
    const std::pair<QString, QString> cases[] = {
        {"MyDocuments", "HTML"}, {"x.MapiMail", "MHTML"}, {"x.MAPIMAIL", "MHTML"}, {"EXCEL.EXE", "HTML"}};
    for (const auto& [destination, expected] : cases)
        EXPECT_EQ(ExportEngine::BestExportMethod(destination), expected) << destination.toStdString();
}

TEST(ExportEngine, EngineThatCannotStart)
{
    std::vector<Shown> shown;
    ExportEngine engine([](QString* error) -> std::unique_ptr<ExportBackend> {
        *error = "class not registered";
        return nullptr;
    });
    engine.setMessageSink([&](const QString& t, const QString& ti, ExportEngine::Icon i) {
        shown.push_back({t, ti, i});
    });
    engine.setTitle("kept");

    EXPECT_FALSE(engine.ExportTable(QStringLiteral("grid"), "HTML"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(
        QVariantList({shown[0].text, shown[0].title, int(shown[0].icon)}),
        QVariantList({"Cannot start Vantorel Export Engine.\r\nYou may need to reinstall the Vantorel software.\r\n\r\n"
                      "Error= class not registered",
                      DisplayTitle(), int(ExportEngine::Icon::Exclamation)}));
    EXPECT_EQ(engine.Title(), "kept");
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
