#include "GermanTranslation.h"
#include "app/DesktopSession.h"
#include "app/ModalDialogs.h"
#include "common/AtomicFileWriter.h"
#include "common/RegFileBackend.h"
#include "common/Registry.h"
#include "export/ExportEngine.h"
#include "export/ResultCells.h"
#include "export/TableSnapshot.h"
#include "model/Address.h"
#include "model/DnsFailure.h"
#include "model/Responses.h"
#include "model/Settings.h"
#include "scan/TargetResolver.h"
#include "scan/ZoneTest.h"
#include "storage/AddressListFile.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"
#include "support/MemoryRegistryBackend.h"
#include "support/RbldnsdServer.h"
#include "support/RecordingExportBackend.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/VerdictTable.h"
#include "ui/ElidedLabel.h"
#include "ui/MainForm.h"
#include "ui/ResultsModel.h"
#include "ui/ResultsTable.h"
#include "ui/WidgetPrompts.h"
#include "ui/WindowText.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>

using namespace quarlo;

namespace {

// What the German translation says for a marked source; the test fails
// when it says nothing new.
QString german(const char* context, const char* source)
{
    const QString translated = QCoreApplication::translate(context, source);
    EXPECT_NE(translated, QString::fromUtf8(source)) << "no German for " << source;
    return translated;
}
QString engineGerman(const char* source)
{
    return german("quarlo::EngineText", source);
}
QString cellsGerman(const char* source)
{
    return german("quarlo::ResultCells", source);
}

QStringList warningLines(const MainForm& window)
{
    QStringList lines;
    if (auto* panel = window.findChild<QListWidget*>(QStringLiteral("ZoneProblems")))
        for (int row = 0; row < panel->count(); ++row) lines << panel->item(row)->text();
    return lines;
}

// The real message boxes, with the save dialog answered by the test.
class SavingPrompts : public WidgetPrompts {
public:
    QString savePath;
    std::optional<QString> SaveFileIn(const QString&, const QString&, const QString&) override { return savePath; }
};

} // namespace

// A German user's window after a real scan against a DNS server on
// loopback: a listed address, a host name that does not exist, a mail
// domain whose MX lookup is refused, a list that refuses one address and a
// list nobody serves. The grid's captions and statuses, their tooltips, the
// warning panel and the status bar are German, the engine's reasons in them
// included; the report of the same scan stays English.
TEST(GermanWindowTest, RealScanShowsTheEnginesTextsInGermanAndReportsInEnglish)
{
    RbldnsdServer server;
    VerdictTable::AddZones(server);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    QTemporaryDir dir;
    const QString config = dir.filePath("servers.cfg");
    // dead.test is served by nobody: its test query is refused.
    spit(
        config,
        VerdictTable::ConfigXml().replace("</BlackListServers>",
                                          "<Server Server=\"dead.test\" Enabled=\"TRUE\" Name=\"Retired\"><ResultCodes>"
                                          "<ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes>"
                                          "</Server></BlackListServers>"));
    MemoryRegistryBackend backend;
    Registry registry(backend);
    ScriptedPrompts prompts;
    DesktopSession desktop(registry, prompts, {.configPath = config, .dnsServers = server.serverSpec()});
    EngineLog log;
    ExportEngine engine([&](QString*) { return std::make_unique<RecordingBackend>(log); });
    desktop.Application().setExports(engine);

    const GermanTranslation translation;
    ASSERT_TRUE(translation.loaded()) << QUARLO_TRANSLATIONS_DIR;
    MainForm::Services services = desktop.WindowServices(dir.path(), QStringLiteral("quarlo"));
    services.configDir = dir.path();
    MainForm window(services);
    window.show();

    Addresslist& list = desktop.Addresslist();
    window.RunTool(QStringLiteral("Main:New"));
    for (const char* target : {"192.0.2.1", "192.0.2.8", "missing.chosts.test", "postmaster@nozone.example"})
        ASSERT_NE(list.AddTarget(QString::fromUtf8(target)), nullptr) << target;
    window.RefreshData();
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    window.RunTool(QStringLiteral("Main:Scan"));
    ASSERT_TRUE(complete.count() == 1 || complete.wait(60000)) << "the scan did not end";
    QCoreApplication::processEvents();
    window.RefreshData();

    const ResultsModel& model = window.Table().resultsModel();
    ASSERT_EQ(model.rowCount(), 4);
    const auto shown = [&](const QString& key, int column, int role = Qt::DisplayRole) {
        return model.indexOfKey(key, column).data(role).toString();
    };
    const QString notFound = engineGerman("name not found (NXDOMAIN)");
    const QString refusedByDns = engineGerman("refused by the DNS server");

    // The host name that does not exist: its caption, status and tooltip.
    EXPECT_EQ(shown("missing.chosts.test", ResultsModel::kTargetColumn),
              "missing.chosts.test (" + engineGerman("Unresolvable") + ")");
    EXPECT_EQ(shown("missing.chosts.test", ResultsModel::kReasonColumn),
              german("quarlo::ResultsModel", "Host name not found"));
    EXPECT_EQ(shown("missing.chosts.test", ResultsModel::kReasonColumn, Qt::ToolTipRole),
              cellsGerman(ResultCells::kHostLookupText).arg(notFound));
    // The mail domain whose lookup failed: three texts within each other.
    EXPECT_EQ(shown("postmaster@nozone.example", ResultsModel::kReasonColumn),
              cellsGerman(ResultCells::kIncompleteBecauseText)
                  .arg(engineGerman(TargetResolver::kMxFailedText).arg(refusedByDns)));

    // The list nobody serves, in the warning panel and in the listed
    // address's tooltip; its name stays as the user gave it.
    const QString skipped = engineGerman(ZoneTest::kFailedText).arg("Retired (dead.test)", refusedByDns);
    EXPECT_TRUE(warningLines(window).contains(skipped)) << warningLines(window).join('\n').toStdString();
    const QStringList tip = shown("192.0.2.1", ResultsModel::kReasonColumn, Qt::ToolTipRole).split('\n');
    EXPECT_TRUE(tip.contains(skipped)) << tip.join('\n').toStdString();
    EXPECT_FALSE(tip.join('\n').contains("skipped in this scan")) << tip.join('\n').toStdString();

    // The list that refused 192.0.2.8 names itself in the status bar.
    const auto* status = window.findChild<ElidedLabel*>(QStringLiteral("Statusbar"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(
        status->text(),
        german("quarlo::MainForm", "Your DNS resolver is refused by %1; use your own resolver (DNS Servers option)")
            .arg("Mask"));

    // The report of the same scan: English, the same words as ever.
    window.RunTool(QStringLiteral("Export:XLS"));
    ASSERT_EQ(log.exports.size(), 1u);
    const auto report = log.exports[0].item.value<TableSnapshotPtr>();
    ASSERT_TRUE(report);
    QStringList reported;
    for (const SnapshotRow& row : report->rows)
        for (const auto& cell : row.cells) reported << cell.text.trimmed();
    for (const QString& english :
         {QStringLiteral("missing.chosts.test (Unresolvable)"), QStringLiteral("Host name not found"),
          QStringLiteral("Not completely checked: MX lookup failed: refused by the DNS server")})
        EXPECT_TRUE(reported.contains(english)) << english.toStdString() << " not in\n"
                                                << reported.join('\n').toStdString();
    for (const QString& cell : reported)
        EXPECT_FALSE(cell.contains(engineGerman("Unresolvable")) || cell.contains(refusedByDns)) << cell.toStdString();

    // A list file that is not there: the window's message says so in
    // German, while LastError, what automation reads, stays English.
    const QString missing = dir.filePath("gone.BlackList");
    ASSERT_FALSE(list.PrepareLoad(missing));
    EXPECT_EQ(list.LastError(), "Cannot load Address List from " + missing + "\r\n\r\nThe file does not exist.");
    EXPECT_EQ(WindowText::Lines(list.LastError()),
              engineGerman(AddressListFile::kCannotLoadText).arg(missing) + "\r\n\r\n"
                  + engineGerman("The file does not exist."));
}

// The parts of a text are read back only where the text has them: a list
// named like a text of the program keeps its name, a count stays a count,
// and what the program does not know is shown as it is.
TEST(GermanWindowTest, OnlyTheProgramsOwnWordsAreTranslated)
{
    const GermanTranslation translation;
    ASSERT_TRUE(translation.loaded()) << QUARLO_TRANSLATIONS_DIR;
    const QString timedOut = engineGerman("timed out");

    // A list called "Spam and more" is not "%1 more" with a count.
    EXPECT_EQ(WindowText::Of("Spam and more: no usable answer (timed out)"),
              cellsGerman(ResultCells::kNoAnswerBecauseText).arg("Spam and more", timedOut));
    EXPECT_EQ(WindowText::Caption("big.example (192.0.2.1, 192.0.2.2, 192.0.2.3, 192.0.2.4, 12 more)"),
              "big.example (192.0.2.1, 192.0.2.2, 192.0.2.3, 192.0.2.4, "
                  + engineGerman(Address::kMoreAddressesText).arg(12) + ")");
    // Problems of one lookup come joined; each is read on its own.
    EXPECT_EQ(
        WindowText::Of("mx.example: A lookup failed: timed out; an MX record names \"1.2.3.4\", which is no host name"),
        engineGerman(TargetResolver::kHostLookupFailedText).arg("mx.example", "A", timedOut) + "; "
            + engineGerman(TargetResolver::kBadMxNameText).arg("1.2.3.4"));
    // An answer's reason is the list's own, unless the list defined none.
    EXPECT_EQ(WindowText::AnswerReason("      Undefined return code of 127.0.0.9"),
              "      " + engineGerman(kUndefinedCodeText).arg("127.0.0.9"));
    EXPECT_EQ(WindowText::AnswerReason("      Not checked: timed out"), "      Not checked: timed out");
    // A failure without a text of its own keeps its number.
    EXPECT_EQ(WindowText::Of(DnsFailure::Text(4242)), engineGerman(DnsFailure::kOtherErrorText).arg(4242));
    for (const char* foreign : {"Listed for spam, see https://bl.example/?ip=192.0.2.1",
                                "Not checked:", "Spam and more", "Blacklisted by many servers", ""})
        EXPECT_EQ(WindowText::Of(QString::fromUtf8(foreign)), QString::fromUtf8(foreign)) << foreign;
}

// A save that fails, through the window's Save As: the message box gives the
// reason in German, the system's own words and the path as they are, while
// LastError, what automation reads, stays English. The option and server
// saves fail as the settings dialog would find them, their reasons nested
// two and three deep.
TEST(GermanWindowTest, FailedSavesTellWhyInGermanAndLastErrorInEnglish)
{
    QTemporaryDir dir;
    const QString config = dir.filePath("servers.cfg");
    spit(config, VerdictTable::ConfigXml());
    MemoryRegistryBackend backend;
    Registry registry(backend);
    SavingPrompts prompts;
    DesktopSession desktop(registry, prompts, {.configPath = config, .dnsServers = QStringLiteral("127.0.0.1:9")});
    const GermanTranslation translation;
    ASSERT_TRUE(translation.loaded()) << QUARLO_TRANSLATIONS_DIR;
    MainForm::Services services = desktop.WindowServices(dir.path(), QStringLiteral("quarlo"));
    services.configDir = dir.path();
    MainForm window(services);
    prompts.setParent(&window);
    window.show();

    Addresslist& list = desktop.Addresslist();
    window.RunTool(QStringLiteral("Main:New"));
    ASSERT_NE(list.AddTarget(QStringLiteral("192.0.2.1")), nullptr);
    // A folder that is not there: no extension typed, so the window adds it.
    const QString folder = dir.filePath("gone");
    const QString path = folder + "/mine.BlackList";
    prompts.savePath = folder + "/mine";
    QString shown;
    ModalDialogs modals;
    modals.expect([&](QWidget& box) {
        auto* message = qobject_cast<QMessageBox*>(&box);
        ASSERT_NE(message, nullptr) << box.metaObject()->className();
        shown = message->text();
        message->button(QMessageBox::Ok)->click();
    });
    window.RunTool(QStringLiteral("Main:SaveAs"));
    EXPECT_TRUE(modals.allHandled());
    EXPECT_EQ(modals.unexpected, 0);
    const QString why = qt_error_string(ENOENT);
    EXPECT_EQ(list.LastError(),
              "Cannot save Address List to " + path + "\r\n\r\nCannot open the folder "
                  + QDir::toNativeSeparators(folder) + ": " + why + "; nothing was written.");
    EXPECT_EQ(shown,
              engineGerman(AddressListFile::kCannotSaveText).arg(path) + "\r\n\r\n"
                  + engineGerman(AtomicFileWriter::kCannotOpenFolderText).arg(QDir::toNativeSeparators(folder), why));
    EXPECT_FALSE(QFileInfo::exists(path));

    // The options' store in a folder that cannot be made (a file is in the
    // way), the servers' file where a folder stands.
    spit(dir.filePath("blocker"), {});
    RegFileBackend files(dir.filePath("blocker/settings"));
    Registry fileRegistry(files);
    const QString serversFolder = dir.filePath("servers-folder");
    ASSERT_TRUE(QDir().mkpath(serversFolder));
    ServerConfigStore store(serversFolder);
    Settings settings(fileRegistry, &store);
    ASSERT_FALSE(settings.SaveOption(QStringLiteral("Max Queries"), 20));
    const QString settingsFolder = QDir::toNativeSeparators(dir.filePath("blocker/settings"));
    EXPECT_EQ(settings.LastError(),
              "Cannot save the option \"Max Queries\": Cannot create the folder " + settingsFolder + ".");
    EXPECT_EQ(WindowText::Lines(settings.LastError()),
              engineGerman(Settings::kCannotSaveOptionBecauseText)
                  .arg("Max Queries", engineGerman(RegFileBackend::kCannotCreateFolderText).arg(settingsFolder)));

    Servers& servers = settings.BlacklistServers();
    ASSERT_FALSE(servers.Sync());
    const QString directory = QStringLiteral("It is a directory, not a file; nothing was written.");
    EXPECT_EQ(servers.LastError(), "Cannot save " + serversFolder + "\r\n\r\n" + directory);
    EXPECT_EQ(WindowText::Lines(servers.LastError()),
              engineGerman(ServerConfigFile::kCannotSaveText).arg(serversFolder) + "\r\n\r\n"
                  + engineGerman(directory.toUtf8().constData()));
    EXPECT_TRUE(QFileInfo(serversFolder).isDir());
}
