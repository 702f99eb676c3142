// The desktop program: creates the program-wide objects, shows the main
// window (which says when the blacklist server configuration could not be
// loaded, and then scans nothing) and opens a list named on the command line.
#include "app/Application.h"
#include "app/DesktopSession.h"
#include "app/AutomationServer.h"
#include "app/CommandLine.h"
#include "app/DesktopExports.h"
#include "app/ProgramIdentity.h"
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
#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>

using namespace quarlo;

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    SetProgramIdentity();

    const CommandLine commandLine(QApplication::arguments().mid(1));
    const QString executable = QApplication::applicationFilePath();
    const QString programDir = QApplication::applicationDirPath();

    RegFileBackend registryBackend(DefaultRegistryDirectory());
    Registry registry(registryBackend);
    WidgetPrompts prompts;
    const ConfigLocation location = ConfigLocation::ForExecutable(executable, ServerConfigFile::PathForExecutable(executable));
    // A configuration that could not be loaded does not stop the program:
    // the user can still open lists, and set up and save the servers.
    DesktopSession session(registry, prompts, {.configPath = location.ReadPath(), .savePath = location.SavePath()});
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
    // The scan's results stand whatever happens to the history; the user
    // only hears that it was not written, and why.
    QObject::connect(&recorder, &ScanRecorder::RecordFailed, &window, [&window](const QString& message) {
        window.statusBar()->showMessage(QStringLiteral("History not written: ") + message, 15000);
    });
    // The history view and the grid's tooltips read what the recorder
    // writes; a change found tells the desktop too (when it has a
    // notifications service).
    window.setHistoryPath(recorder.historyPath());
    DesktopNotifier notifier;
    QObject::connect(&recorder, &ScanRecorder::Recorded, &window,
                     [&window, &notifier](const std::vector<HistoryChange>& changes) {
                         window.HistoryRecorded(changes);
                         notifier.Notify(changes);
                     });

    // Clients on the session bus work on the same objects as the window. A
    // second copy of the program finds the name taken and runs without.
    automation.setWindow(&window);
    if (!automation.Start()) qInfo("quarlo: automation is not available: %s", qPrintable(automation.StartError()));

    // Started by an automation client, it skips what only makes sense for a
    // person who started it. A list named on the command line loads from
    // the event loop, with the window up to show its progress and
    // questions; the tips come after it.
    if (!commandLine.StartedByAutomation()) {
        QTimer::singleShot(0, &window, [&application, &window, path = commandLine.ListPath()] {
            window.ShowStartupWarnings();
            if (!path.isEmpty()) application.OpenList(path);
            window.Help().ShowTips(HelpMenu::TipCategory(), false);
        });
    }
    RegisterFileType(registry, executable, QStringLiteral(".BlackList"),
                     QStringLiteral("Automated SPAM Whitelist / Blacklist verification"),
                     // An installed copy's type comes with its package.
                     location.Portable() ? ConfigLocation::UserDataDirectory() : QString());
    return qapp.exec();
}
