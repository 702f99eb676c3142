// Takes screenshots of the real windows for people to look at: the start
// page, the main window after a scan with its result tree expanded (and,
// given a second list, after a scan that meets a refusing list, a dead list,
// a host that does not resolve and an IPv6 address; given a third, e-mail
// addresses and a host with two addresses, scanned with its lists and with
// every list switched off), and the add-addresses dialog with green and red
// entries. Run it through
// tools/screenshots, which starts a test blacklist server and a display.
#include "app/Application.h"
#include "app/DesktopSession.h"
#include "app/ProgramIdentity.h"
#include "app/SilentPrompts.h"
#include "common/AppInfo.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "export/TableFileWriter.h"
#include "export/TablePainter.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "storage/HistoryStore.h"
#include "ui/AddAddressesForm.h"
#include "ui/AddEditServer.h"
#include "ui/HistoryView.h"
#include "ui/MainForm.h"
#include "ui/ResultsTable.h"
#include "ui/SettingsForm.h"
#include "ui/WidgetPrompts.h"

#include <QApplication>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <cstdio>
#include <optional>

using namespace quarlo;

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A month of daily scans of one address: listed by one list, then by a
// second, delisted by the first; the history view draws it.
bool writeSampleHistory(const QString& path, const QString& target)
{
    HistoryStore store;
    if (!store.Open(path)) return false;
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
    const auto seen = [&](const char* zone, const char* name, bool listed, const char* reason) {
        ScanObservation o;
        o.target = target;
        o.zone = QString::fromLatin1(zone);
        o.listName = QString::fromLatin1(name);
        o.outcome = listed ? ScanObservation::Outcome::Listed : ScanObservation::Outcome::NotListed;
        if (listed) {
            o.codes = QStringList{QStringLiteral("127.0.0.2")};
            o.reasons = QStringList{QString::fromLatin1(reason)};
        }
        return o;
    };
    for (int day = 0; day <= 30; ++day) {
        ScanRecord scan;
        scan.started = start.addDays(day);
        scan.finished = scan.started.addSecs(20);
        scan.source = QStringLiteral("window");
        scan.targets = 1;
        scan.observations = {seen("bl.test", "Test BL", day >= 6 && day < 22, "Spam source"),
                             seen("combined.test", "Combined", day >= 12, "Open relay")};
        if (!store.Record(scan, nullptr)) return false;
    }
    return true;
}

// Scans the list and waits for the end of the scan and its late TXT replies.
void scan(Application& app, Addresslist& list, MainForm& window, const QString& path)
{
    app.FileOpen(path);
    QEventLoop done;
    QObject::connect(&list, &Addresslist::ScanComplete, &done, &QEventLoop::quit);
    app.StartScan();
    QTimer::singleShot(20000, &done, &QEventLoop::quit);
    done.exec();
    wait(1500);
    window.Table().expandAll();
    window.Table().resizeColumnToContents(1);
    window.Table().resizeColumnToContents(2);
}

bool shoot(QWidget& widget, const QString& path)
{
    wait(300);
    // The window manager's frame is not part of the picture; the window's
    // own contents are.
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// The File menu open with its Export submenu, as the screen shows them
// over the window (menus are windows of their own): captions and
// accelerators in the user's language.
bool shootMenus(QMainWindow& window, const QString& path)
{
    auto* file = window.findChild<QMenu*>(QStringLiteral("Main:FileMenu"));
    auto* exports = window.findChild<QMenu*>(QStringLiteral("Main:ExportMenu"));
    if (!file || !exports) {
        std::printf("FAILED %s (no File or Export menu)\n", qPrintable(path));
        return false;
    }
    window.activateWindow();
    window.menuBar()->setActiveAction(file->menuAction());
    wait(400);
    file->setActiveAction(exports->menuAction());
    exports->popup(file->mapToGlobal(file->actionGeometry(exports->menuAction()).topRight()));
    wait(400);
    const QRect area = window.frameGeometry().united(file->geometry()).united(exports->geometry());
    const QPixmap screen = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const bool saved = screen.save(path);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
    exports->hide();
    file->hide();
    wait(200);
    return saved;
}

// The next message box the program shows is pictured (the whole screen, so
// the dialog it belongs to shows behind it) and answered with No or OK.
void shootNextMessageBox(const QString& path, bool& ok)
{
    QTimer::singleShot(600, [path, &ok] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            std::printf("FAILED %s (no message box)\n", qPrintable(path));
            ok = false;
            return;
        }
        const QPixmap screen = box->screen()->grabWindow(0);
        const bool saved = screen.save(path);
        std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
        ok = saved && ok;
        QAbstractButton* answer = box->button(QMessageBox::No);
        if (!answer) answer = box->button(QMessageBox::Ok);
        if (answer) answer->click();
    });
}

struct Options {
    QString config;
    QString list;
    QString out;
    std::optional<QString> warningsList; // the window's warnings, when given
    std::optional<QString> mailList;     // e-mail addresses and a host with two addresses, when given
};

// False after saying how the program is called.
bool parseOptions(int argc, char** argv, Options& options)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s CONFIG LIST OUTDIR [WARNINGS-LIST [MAIL-LIST]]\n", argv[0]);
        return false;
    }
    options.config = QString::fromLocal8Bit(argv[1]);
    options.list = QString::fromLocal8Bit(argv[2]);
    options.out = QString::fromLocal8Bit(argv[3]);
    if (argc > 4) options.warningsList = QString::fromLocal8Bit(argv[4]);
    if (argc > 5) options.mailList = QString::fromLocal8Bit(argv[5]);
    return true;
}

// The program's translation for the locale (LANG), from the build's
// compiled translations, and Qt's own buttons and dialogs, as the program
// loads them.
void installTranslators(QTranslator& program, QTranslator& qt)
{
    const QString translations = qEnvironmentVariable("QUARLO_TRANSLATIONS_DIR");
    if (!translations.isEmpty() && program.load(QLocale(), QStringLiteral("quarlo"), QStringLiteral("_"), translations))
        QCoreApplication::installTranslator(&program);
    if (qt.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
}

// What the pictures are taken of, where they go, and whether every one was
// saved.
struct Shots {
    QString out;
    Settings& settings;
    Addresslist& list;
    Application& app;
    MainForm& window;
    UserPrompts& prompts;
    bool ok = true;

    QString path(const char* name) const { return out + QLatin1Char('/') + QLatin1String(name); }
    void take(QWidget& widget, const char* name) { ok = shoot(widget, path(name)) && ok; }
};

void scanAndShoot(Shots& shots, const QString& list, const char* name)
{
    scan(shots.app, shots.list, shots.window, list);
    shots.take(shots.window, name);
}

// The same grid printed: the preview the Print Preview command shows, and
// the PDF export (the script renders its first page to a PNG).
void shootPrintedGrid(Shots& shots)
{
    ExportLayout layout;
    layout.title = QStringLiteral("Sample Blacklist scan results");
    layout.programName = DisplayTitle();
    layout.programVersion = ProgramVersion();
    const TableSnapshot snapshot = shots.window.Table().Snapshot();
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, &shots.window);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, [&](QPrinter* target) {
        QString error;
        if (TablePainter::Paint(snapshot, layout, *target, &error) == 0)
            std::printf("preview FAILED: %s\n", qPrintable(error));
    });
    preview.resize(900, 760);
    preview.show();
    shots.take(preview, "print-preview.png");
    preview.hide();
    QString error;
    const QString pdf = shots.path("results.pdf");
    const bool written = TableFileWriter::Write(snapshot, layout, TableFileWriter::Format::Pdf, pdf, &error);
    std::printf("%s %s %s\n", written ? "saved" : "FAILED", qPrintable(pdf), qPrintable(error));
    shots.ok = written && shots.ok;
}

// dead.test is served by nobody: its test fails and every address reads as
// not completely checked.
void shootWarnings(Shots& shots, const QString& list)
{
    if (const ServerPtr dead = shots.settings.BlacklistServers().Item(QStringLiteral("dead.test")))
        dead->setEnabled(true);
    scanAndShoot(shots, list, "main-window-warnings.png");
    if (const ServerPtr dead = shots.settings.BlacklistServers().Item(QStringLiteral("dead.test")))
        dead->setEnabled(false);
}

// The history view beside the grid, on a made-up month of one address (the
// sample's own history is only one scan long).
void shootHistoryView(Shots& shots)
{
    MainForm& window = shots.window;
    QTemporaryDir historyDir;
    QString target = QStringLiteral("192.0.2.10");
    if (!window.Table().resultsModel().indexOfKey(target).isValid() && shots.list.Count() > 0)
        target = (*shots.list.begin())->Key();
    const QString historyPath = historyDir.filePath(QStringLiteral("history.sqlite"));
    if (!writeSampleHistory(historyPath, target)) {
        std::printf("FAILED history for %s\n", qPrintable(historyPath));
        shots.ok = false;
        return;
    }
    window.setHistoryPath(historyPath);
    window.RunTool(QStringLiteral("View:History"));
    window.Table().setCurrentIndex(window.Table().resultsModel().indexOfKey(target));
    wait(500);
    shots.take(window, "history-view.png");
    window.RunTool(QStringLiteral("View:History"));
    window.setHistoryPath(HistoryStore::DefaultPath());
}

// E-mail addresses (a listed mail server, a failing MX lookup, a null MX, a
// domain without MX) and a host with two addresses; then with every list
// switched off, where nothing is called clean; then the first list again.
void shootMail(Shots& shots, const QString& mailList, const QString& firstList)
{
    scanAndShoot(shots, mailList, "main-window-mail.png");
    std::vector<ServerPtr> switchedOff;
    for (const ServerPtr& server : shots.settings.BlacklistServers())
        if (server->Enabled()) switchedOff.push_back(server);
    for (const ServerPtr& server : switchedOff) server->setEnabled(false);
    scanAndShoot(shots, mailList, "main-window-no-lists.png");
    for (const ServerPtr& server : switchedOff) server->setEnabled(true);
    scan(shots.app, shots.list, shots.window, firstList);
}

// The main window as small as a 640x480 screen allows.
void shootSmallWindow(Shots& shots)
{
    shots.window.resize(640, 480);
    shots.take(shots.window, "main-window-640x480.png");
    shots.window.resize(1180, 720);
}

// The add-addresses dialog with green and red entries typed in, then the
// question Escape asks with entries typed (No keeps them).
void shootAddAddresses(Shots& shots)
{
    AddAddressesForm dialog(shots.list, shots.settings, &shots.window);
    dialog.resize(520, 420);
    dialog.show();
    auto* grid = dialog.findChild<QTableWidget*>(QStringLiteral("Table"));
    for (const char* entry : {"192.0.2.55", "mx1.hosts.test", "no-such-host.hosts.test", "postmaster@hosts.test",
                              "info@nomail.hosts.test"}) {
        const int row = grid->rowCount() - 1;
        grid->setCurrentCell(row, 0);
        grid->editItem(grid->item(row, 0));
        if (QWidget* editor = grid->findChild<QLineEdit*>()) {
            static_cast<QLineEdit*>(editor)->setText(QString::fromUtf8(entry));
            QMetaObject::invokeMethod(grid, "commitData", Q_ARG(QWidget*, editor));
            QMetaObject::invokeMethod(grid, "closeEditor", Q_ARG(QWidget*, editor),
                                      Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
        }
        wait(100);
    }
    wait(1500);
    shots.take(dialog, "add-addresses.png");
    WidgetPrompts boxes(&dialog);
    dialog.setPrompts(boxes);
    shootNextMessageBox(shots.path("add-addresses-discard.png"), shots.ok);
    dialog.reject();
    dialog.done(QDialog::Rejected);
}

void shootSettings(Shots& shots)
{
    SettingsForm settingsForm(shots.settings, shots.prompts, &shots.window);
    // Shown at the size the dialog picks for itself.
    settingsForm.show();
    shots.take(settingsForm, "settings-general.png");
    if (auto* tabs = settingsForm.findChild<QTabWidget*>(QStringLiteral("Tabs"))) tabs->setCurrentIndex(1);
    shots.take(settingsForm, "settings-servers.png");
    settingsForm.reject();
}

// A list's editor; a key-based list with its key masked, then without one,
// where the editor says the list is skipped; and a new server with its
// placeholders untouched, where OK names the field to fill.
void shootServerEditors(Shots& shots)
{
    AddEditServer editor(shots.prompts, &shots.window);
    const ServerPtr server = shots.settings.BlacklistServers().Item(2);
    editor.setServerName(server->Name());
    editor.setServer(server->Zone());
    editor.setURL(server->URL());
    editor.setBitMapped(server->BitMapCodedResults());
    editor.LoadResultCodes(server->ResultCodes());
    editor.resize(520, 460);
    editor.show();
    shots.take(editor, "server-editor.png");
    editor.reject();

    AddEditServer keyed(shots.prompts, &shots.window);
    keyed.setServerName(QStringLiteral("Keyed Spam BL"));
    keyed.setServer(QStringLiteral("{key}.zen.spam.test"));
    keyed.setURL(QStringLiteral("https://spam.test/"));
    keyed.setPublic(true);
    keyed.setDnsServers(QStringLiteral("192.0.2.53, 192.0.2.54:5353"));
    keyed.setKeyName(QStringLiteral("spam"));
    keyed.setAccessKey(QStringLiteral("a1b2c3d4e5"));
    keyed.LoadResultCodes(server->ResultCodes());
    keyed.resize(520, 560);
    keyed.show();
    shots.take(keyed, "server-editor-key.png");
    keyed.setAccessKey(QString());
    shots.take(keyed, "server-editor-no-key.png");
    keyed.hide();

    WidgetPrompts editorBoxes;
    AddEditServer fresh(editorBoxes, &shots.window);
    fresh.show();
    wait(300);
    shootNextMessageBox(shots.path("server-editor-refusal.png"), shots.ok);
    if (auto* okButton = fresh.findChild<QPushButton*>(QStringLiteral("cmdOK"))) okButton->click();
    fresh.hide();
}

// A dialog of the Help menu, through the window's own command.
void shootHelpDialog(Shots& shots, const char* tool, const char* name)
{
    shots.window.Help().setDialogRunner([&shots, name](QDialog& shown) {
        shown.show();
        shots.take(shown, name);
        shown.hide();
        return 0;
    });
    shots.window.RunTool(QString::fromLatin1(tool));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    quarlo::SetProgramIdentity(); // the real program's name and icon, as main() sets them
    QTranslator translator, qtTranslator;
    installTranslators(translator, qtTranslator);
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;

    VolatileRegistryBackend backend;
    Registry registry(backend);
    SilentPrompts prompts;
    prompts.onMessage = [](const QString& text) { std::printf("message: %s\n", qPrintable(text)); };
    DesktopSession desktop(registry, prompts, {.configPath = options.config});
    desktop.Settings().setExpansionLevel(2);
    MainForm::Services services = desktop.WindowServices(QApplication::applicationDirPath(), QStringLiteral("quarlo"));
    // A window layout saved by an earlier run must not change the pictures.
    QTemporaryDir layoutDir;
    services.configDir = layoutDir.path();
    MainForm window(services);
    window.resize(1180, 720);
    window.show();

    Shots shots{options.out, desktop.Settings(), desktop.Addresslist(), desktop.Application(), window, prompts};
    shots.take(window, "start-page.png");
    scanAndShoot(shots, options.list, "main-window.png");
    shots.ok = shootMenus(window, shots.path("menus.png")) && shots.ok;
    shootPrintedGrid(shots);
    if (options.warningsList) shootWarnings(shots, *options.warningsList);
    shootHistoryView(shots);
    if (options.mailList) shootMail(shots, *options.mailList, options.list);
    shootSmallWindow(shots);
    shootAddAddresses(shots);
    shootSettings(shots);
    shootServerEditors(shots);
    shootHelpDialog(shots, "Help:About", "about.png");
    shootHelpDialog(shots, "Help:TipOfTheDay", "tip-of-the-day.png");
    shots.list.setChanged(false);
    return shots.ok ? 0 : 1;
}
