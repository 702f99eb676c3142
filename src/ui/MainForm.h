#pragma once

#include "model/Address.h"
#include "model/HistoryChange.h"
#include "scan/ScanProgress.h"
#include "ui/HelpMenu.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QProgressDialog;
class QStackedWidget;
class QTextBrowser;
class QToolButton;
class QUrl;

namespace quarlo {

class Addresslist;
class ListCommands;
class HistoryTips;
class HistoryView;
class Registry;
class ResultsTable;
class Settings;
class UserPrompts;

// The program's main window: the results grid (or the start page while no
// list is open), menus and toolbars whose every command is a tool with an
// ID, four big buttons, and a status bar with the open DNS lookups.
class MainForm : public QMainWindow {
    Q_OBJECT
public:
    struct Services {
        ListCommands& application;
        Addresslist& list;
        Settings& settings;
        Registry& registry;
        UserPrompts& prompts;
        // Where the start page, the layout file and helper programs live.
        QString programDir;
        QString programName; // executable base name, for the layout file
        // Where the layout file goes and where "Help" is; empty: programDir.
        QString configDir = QString();
        QString dataDir = QString();
    };

    explicit MainForm(const Services& services, QWidget* parent = nullptr);
    ~MainForm() override;

    // Window title, shown controls and enabled commands from the list's state.
    void SetupForm();
    void RefreshData();
    void UpdateRow(const AddressPtr& address);
    // Runs the command of a tool ID as if it had been clicked.
    void RunTool(const QString& id);
    // Exports the grid in a format of the export engine ("HTML", "PDF", ...).
    void ExportTable(const QString& format);
    // Exports the grid and hands the file to a send-to destination.
    void ProcessSendTo(const QString& destination);

    QAction* Tool(const QString& id) const { return tools_.value(id); }
    HelpMenu& Help() { return help_; }
    ResultsTable& Table() { return *table_; }
    // The dock with the scan history of the grid's current address.
    HistoryView& History() { return *history_; }
    // Where the scan history is read (HistoryStore::DefaultPath() unless
    // set; the window's recorder writes there).
    void setHistoryPath(const QString& path);
    // A scan was recorded: the history view and the grid's history
    // tooltips read the file again.
    void HistoryRecorded(const std::vector<HistoryChange>& changes);
    QString StatusText() const;
    QString StatusToolTip() const;
    // The lines of the warning panel above the grid, empty when it is
    // hidden: what is wrong with the servers' configuration (it could not be
    // loaded, no list is enabled), then the lists that failed their test
    // before the scan.
    QStringList ZoneProblems() const;
    // Tells the person who started the program, in a box, what the panel
    // says of a server configuration that could not be loaded.
    void ShowStartupWarnings();
    QString OutstandingText() const;
    bool StartPageShown() const;
    QString ToolbarLayoutPath() const;

    // Grid editing, also run by the Edit tools.
    void CopySelection();
    void DeleteSelectedRows();
    void SelectAll();

    // The Add Addresses button: shows the add-addresses dialog and starts a
    // scan afterwards when the user confirmed it and scans start
    // automatically. The Add Address command shows the dialog only. Tests
    // replace how the dialog is run.
    void AddAddresses();
    using DialogRunner = std::function<bool(QDialog&)>; // true: accepted
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    // What opening a web address does (the desktop's browser by default);
    // false when nothing could show it, which the window then tells the user.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    // What an "internal:EXECUTE?Program=" link starts: it is given the
    // program's full path in the program folder; false when it did not start.
    void setProgramStarter(std::function<bool(const QString&)> starter) { startProgram_ = std::move(starter); }

signals:
    void ToolRun(const QString& id);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTools();
    void buildMenusAndBars();
    void buildCentral();
    void buildStatusBar();
    void loadSendToMenu();
    // The export engine's target and title for the open list.
    void prepareExport();
    // A snapshot of the grid as the export engine takes it.
    QVariant gridForExport() const;
    void connectList();
    void loadLayout();
    void saveLayout();
    void showOutstanding();
    // "Checked N of M addresses" and its bar, from the addresses' verdicts.
    void showProgress();
    void reserveProgressWidth();
    // Opens a web address; tells the user (with the address) when no browser
    // could be started.
    bool openAddress(const QUrl& url);
    // Right button down on the grid: the selection stays unless it is one
    // cell-wide range in the first column of one row.
    void rightButtonDown(const QPoint& pos);
    // true: the user confirmed the dialog; autoStart: its "Auto Start Scan" box is offered
    bool runAddDialog(bool autoStart);
    // What the whole scan met, told once in the status bar.
    void noteScanSummary();
    // A list loading a slice at a time: its progress, with Cancel.
    void showLoadProgress(qint64 done, qint64 total);
    void showZoneProblems();
    // Fills the warning panel: the configuration's warnings, then the zone
    // tests' lines last shown.
    void showWarnings();
    QStringList configurationWarnings() const;
    bool anyListEnabled() const;
    // The window's way to start a scan: a refused one is noted in the
    // status bar.
    void startScan();
    void clearScanNotes();
    void startPageLink(const QUrl& url);
    void pressButton(QToolButton* button, const std::function<void()>& action);

    Services s_;
    HelpMenu help_;
    QHash<QString, QAction*> tools_;
    QHash<QString, QMenu*> menus_;
    ResultsTable* table_ = nullptr;
    HistoryView* history_ = nullptr;
    std::unique_ptr<HistoryTips> historyTips_;
    void buildHistory();
    QTextBrowser* webBrowser_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QToolButton* cmdNew_ = nullptr;
    QToolButton* cmdAddAddresses_ = nullptr;
    QToolButton* cmdScan_ = nullptr;
    QToolButton* cmdStop_ = nullptr;
    QLabel* statusText_ = nullptr;
    QString scanNote_;
    // How the last scan ended, shown when there is no note.
    QString scanEnd_;
    QString scanNoteToolTip_;
    QListWidget* zoneProblems_ = nullptr;
    QStringList zoneLines_;         // the zone tests' lines, until the next scan or list
    bool scanWithoutLists_ = false; // the running or last scan started with no list enabled
    QLabel* outstanding_ = nullptr;
    QLabel* progressText_ = nullptr;
    QProgressBar* progress_ = nullptr;
    bool scanRan_ = false;   // the list has been scanned since it was loaded or emptied
    ScanProgress scanClock_; // the running scan's rate, for the time left
    QElapsedTimer scanTime_;
    QTimer displayTimer_;
    // Replies during a scan arrive by the thousand per second; their rows are
    // redrawn in batches so the window paints a few times a second instead
    // of after every reply.
    QTimer redrawTimer_;
    static constexpr qint64 kRedrawMs = 100; // the shortest time between two redraws of changed rows
    QHash<Address*, std::weak_ptr<Address>> dirty_;
    void flushDirty();
    DialogRunner runDialog_;
    std::function<bool(const QUrl&)> openUrl_;
    std::function<bool(const QString&)> startProgram_;
    bool unloaded_ = false;
    QPointer<QProgressDialog> loadProgress_;
};

} // namespace quarlo
