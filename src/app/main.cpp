// The desktop program: creates the program-wide objects, shows the main
// window (which says when the blacklist server configuration could not be
// loaded, and then scans nothing) and opens a list named on the command line.
// --help and --version answer without a window.
#include "app/Application.h"
#include "app/AutomationServer.h"
#include "app/CommandLine.h"
#include "app/DesktopExports.h"
#include "app/DesktopSession.h"
#include "app/ProgramIdentity.h"
#include "common/AppInfo.h"
#include "common/ConfigLocation.h"
#include "common/FileTypeRegistration.h"
#include "common/RegFileBackend.h"
#include "common/Registry.h"
#include "common/RegistryLocation.h"
#include "export/ExportEngine.h"
#include "scan/ScanRecorder.h"
#include "storage/ServerConfigFile.h"
#include "ui/DesktopNotifier.h"
#include "ui/MainForm.h"
#include "ui/WidgetPrompts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <optional>

using namespace quarlo;

namespace {

// The program's texts and Qt's own (Yes, No, Cancel, the file dialogs, the
// usage lines of --help) in the user's language (LANG), where translations
// exist: ours are compiled in, Qt's come with its translations package. A
// missing one leaves those texts English. Made after the application object,
// gone before it.
class Translations {
public:
    Translations()
    {
        if (ours_.load(QLocale(), QStringLiteral("quarlo"), QStringLiteral("_"), QStringLiteral(":/i18n")))
            QCoreApplication::installTranslator(&ours_);
        if (qt_.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qt_);
    }
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

private:
    QTranslator ours_;
    QTranslator qt_;
};

struct Options {
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption automation;
};

// The options --help describes, in the language installed.
Options describe(QCommandLineParser& parser)
{
    // Qt's own options are single-dash words ("-reverse", "-stylesheet"):
    // read as letters they would hold -v and -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QCoreApplication::translate(
        "main",
        "Checks IP addresses, host names and e-mail addresses against DNS blacklists, in a\n"
        "window.\n"
        "A command line that mentions \".BlackList\" (any letter case) is the path of a\n"
        "list to open at start-up; quotes in it are dropped. Qt's options (-platform,\n"
        "-style, ...) are accepted. quarlo-check checks from the command line."));
    Options options{
        QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                           QCoreApplication::translate("main", "Show these options and exit.")),
        QCommandLineOption({QStringLiteral("v"), QStringLiteral("version")},
                           QCoreApplication::translate("main", "Show the program's version and exit.")),
        QCommandLineOption(QStringLiteral("automation"),
                           QCoreApplication::translate("main",
                                                       "Started by an automation client over the session bus "
                                                       "(first argument only): no list is opened and no tip "
                                                       "is shown.")),
    };
    parser.addOptions({options.help, options.version, options.automation});
    parser.addPositionalArgument(QStringLiteral("list"),
                                 QCoreApplication::translate("main", "A .BlackList address list to open."),
                                 QStringLiteral("[FILE.BlackList]"));
    return options;
}

// Answers --help and --version, before the QApplication: that one needs a
// display, which a terminal or a package's check may not have. Returns the
// exit status when it answered; nothing for every other command line, which
// CommandLine reads as it always has (arguments it does not know, Qt's own
// such as -platform among them, are no error).
std::optional<int> answerWithoutWindow(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    {
        QCommandLineParser parser;
        const Options options = describe(parser);
        parser.parse(arguments);
        if (!parser.isSet(options.help) && !parser.isSet(options.version)) return std::nullopt;
    }

    // The usage line names the program as it was started; the texts are
    // described again now that their translations are in.
    QCoreApplication core(argc, argv);
    const Translations translations;
    QCommandLineParser parser;
    const Options options = describe(parser);
    parser.parse(arguments);
    const QByteArray text = parser.isSet(options.help)
        ? parser.helpText().toLocal8Bit()
        : QStringLiteral("quarlo %1\n").arg(ProgramVersion()).toLocal8Bit();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// The scan's results stand whatever happens to the history; the user only
// hears that it was not written, and why. The history view and the grid's
// tooltips read what the recorder writes; a change found tells the desktop
// too (when it has a notifications service).
void showHistoryIn(MainForm& window, ScanRecorder& recorder, DesktopNotifier& notifier)
{
    QObject::connect(&recorder, &ScanRecorder::RecordFailed, &window, [&window](const QString& message) {
        window.statusBar()->showMessage(QCoreApplication::translate("main", "History not written: %1").arg(message),
                                        15000);
    });
    window.setHistoryPath(recorder.historyPath());
    QObject::connect(&recorder, &ScanRecorder::Recorded, &window,
                     [&window, &notifier](const std::vector<HistoryChange>& changes) {
                         window.HistoryRecorded(changes);
                         notifier.Notify(changes);
                     });
}

// Started by an automation client, the program skips what only makes sense
// for a person who started it. A list named on the command line loads from
// the event loop, with the window up to show its progress and questions;
// the tips come after it.
void greetPerson(const CommandLine& commandLine, Application& application, MainForm& window)
{
    if (commandLine.StartedByAutomation()) return;
    QTimer::singleShot(0, &window, [&application, &window, path = commandLine.ListPath()] {
        window.ShowStartupWarnings();
        if (!path.isEmpty()) application.OpenList(path);
        window.Help().ShowTips(HelpMenu::TipCategory(), false);
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = answerWithoutWindow(argc, argv)) return *status;
    QApplication qapp(argc, argv);
    SetProgramIdentity();
    const Translations translations;

    const CommandLine commandLine(QApplication::arguments().mid(1));
    const QString executable = QApplication::applicationFilePath();
    const QString programDir = QApplication::applicationDirPath();

    RegFileBackend registryBackend(DefaultRegistryDirectory());
    Registry registry(registryBackend);
    WidgetPrompts prompts;
    const ConfigLocation location =
        ConfigLocation::ForExecutable(executable, ServerConfigFile::PathForExecutable(executable));
    // A configuration that could not be loaded does not stop the program:
    // the user can still open lists, and set up and save the servers.
    // The packaged servers with the user's differences over them.
    DesktopSession session(registry, prompts, {.configPath = location.DefaultsPath(), .savePath = location.SavePath()});
    Addresslist& list = session.Addresslist();
    Application& application = session.Application();
    // Every finished scan, from the window or an automation client, goes
    // into the history.
    ScanRecorder recorder(list, QStringLiteral("window"));
    // Before the window: its load fills the send-to menu from the engine.
    DesktopExports::Install(ExportEngine::Instance(), prompts, programDir);

    AutomationServer automation(application, commandLine.StartedByAutomation());
    MainForm::Services services = session.WindowServices(programDir, QFileInfo(executable).completeBaseName());
    services.configDir = location.WritableDirectory();
    services.dataDir = location.DataDirectory();
    MainForm window(services);
    prompts.setParent(&window);
    window.show();
    DesktopNotifier notifier;
    showHistoryIn(window, recorder, notifier);

    // Clients on the session bus work on the same objects as the window. A
    // second copy of the program finds the name taken and runs without.
    automation.setWindow(&window);
    if (!automation.Start()) qInfo("quarlo: automation is not available: %s", qPrintable(automation.StartError()));

    greetPerson(commandLine, application, window);
    RegisterFileType(registry, executable, QStringLiteral(".BlackList"),
                     QStringLiteral("Automated SPAM Whitelist / Blacklist verification"),
                     // An installed copy's type comes with its package.
                     location.Portable() ? ConfigLocation::UserDataDirectory() : QString());
    return qapp.exec();
}
