#include "ui/MainForm.h"

#include "common/AppInfo.h"
#include "common/AtomicFileWriter.h"
#include "common/ErrorText.h"
#include "common/IpRange.h"
#include "common/NameFunctions.h"
#include "common/URL.h"
#include "common/UserPrompts.h"
#include "export/ExportEngine.h"
#include "export/ExportMenus.h"
#include "export/ResultsSnapshot.h"
#include "export/TableSnapshot.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "storage/HistoryStore.h"
#include "ui/AccessibleNames.h"
#include "ui/AddAddressesForm.h"
#include "ui/ButtonIcons.h"
#include "ui/ElidedLabel.h"
#include "ui/FormPlacement.h"
#include "ui/HistoryTips.h"
#include "ui/HistoryView.h"
#include "ui/ListCommands.h"
#include "ui/ResultsTable.h"
#include "ui/SettingsForm.h"
#include "ui/WindowText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace quarlo {
namespace {

// Captions and help texts are the English source texts, translated where
// they are shown; the ids are what automation and layout files know.
struct ToolDefinition {
    const char* id;
    const char* caption;
    const char* category;
    const char* description;
};

const ToolDefinition kTools[] = {
    {"Main:New", QT_TRANSLATE_NOOP("quarlo::MainForm", "&New Address List ..."), "File",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Creates a new document.")},
    {"Main:Open", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Open Address List ..."), "File",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Opens an existing document.")},
    {"Main:Save", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Save"), "File",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Saves the active document.")},
    {"Main:SaveAs", QT_TRANSLATE_NOOP("quarlo::MainForm", "Save &As ..."), "File", ""},
    {"Main:Close", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Close"), "File",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Closes the active document.")},
    {"Main:Print", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Print"), "Print",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Prints the selected text to the default printer.")},
    {"Main:PrintPreview", QT_TRANSLATE_NOOP("quarlo::MainForm", "Print Pre&view ..."), "Print", ""},
    {"Main:Exit", QT_TRANSLATE_NOOP("quarlo::MainForm", "E&xit"), "File",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Exits the application.")},
    {"Main:Publish", QT_TRANSLATE_NOOP("quarlo::MainForm", "Publish to &Web ..."), "Export", ""},
    {"Main:Settings", QT_TRANSLATE_NOOP("quarlo::MainForm", "Settin&gs ..."), "General", ""},
    {"Main:Scan", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Start Blacklist Scan"), "General", ""},
    {"Main:StopScan", QT_TRANSLATE_NOOP("quarlo::MainForm", "S&top Blacklist Scan"), "General", ""},
    {"View:History", QT_TRANSLATE_NOOP("quarlo::MainForm", "&History"), "View",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Shows how the selected address was listed and delisted over time.")},
    {"Edit:Add", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Add Address  ..."), "Edit", ""},
    {"Edit:Copy", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Copy"), "Edit",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Copies the selected text to the Clipboard.")},
    {"Edit:Delete", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Delete"), "Edit", ""},
    {"Edit:SelectAll", QT_TRANSLATE_NOOP("quarlo::MainForm", "Select A&ll"), "Edit", ""},
    {"Export:HTML", QT_TRANSLATE_NOOP("quarlo::MainForm", "Export to &HTML File ..."), "Export", ""},
    {"Export:Text", QT_TRANSLATE_NOOP("quarlo::MainForm", "Export to &Text File ..."), "Export", ""},
    {"Export:CDF", QT_TRANSLATE_NOOP("quarlo::MainForm", "Export to &Comma Delimited File ..."), "Export", ""},
    {"Export:EXCEL", QT_TRANSLATE_NOOP("quarlo::MainForm", "Export directly to E&xcel ..."), "Export", ""},
    {"Export:XLS", QT_TRANSLATE_NOOP("quarlo::MainForm", "Export to &Excel file ..."), "Export", ""},
    {"Export:PDF", QT_TRANSLATE_NOOP("quarlo::MainForm", "Export to &PDF .."), "Export", ""},
    {"Help:Contents", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Contents ..."), "Help", ""},
    {"Help:Selection", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Help on Quarlo ..."), "Help", ""},
    {"Help:QuickStart", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Quick Start"), "Help", ""},
    {"Help:TipOfTheDay", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Tip of the Day ..."), "Help", ""},
    {"Help:About", QT_TRANSLATE_NOOP("quarlo::MainForm", "&About Quarlo ..."), "Help", ""},
    {"Web:Updates", QT_TRANSLATE_NOOP("quarlo::MainForm", "Software &Updates ..."), "Help", ""},
    {"Web:FAQ", QT_TRANSLATE_NOOP("quarlo::MainForm", "&Frequently Asked Questions ..."), "Help", ""},
    {"Web:Feedback", QT_TRANSLATE_NOOP("quarlo::MainForm", "Provide Feed&back ..."), "Help", ""},
};

struct MenuDefinition {
    const char* id;
    const char* caption;
    std::vector<const char*> entries; // "" is a separator
};

const MenuDefinition kMenus[] = {
    {"Main:ExportMenu",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "&Export"),
     {"Export:HTML", "Export:Text", "Export:CDF", "Export:EXCEL", "Export:XLS", "Export:PDF"}},
    {"Menu:SendTo", QT_TRANSLATE_NOOP("quarlo::MainForm", "Send &To"), {}},
    {"Main:WebMenu",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "Vantorel &Web Site"),
     {"Web:Updates", "Web:FAQ", "", "Web:Feedback"}},
    {"Main:FileMenu",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "&File"),
     {"Main:New", "Main:Open", "Main:Save", "Main:SaveAs", "Main:Close", "", "Main:ExportMenu", "Menu:SendTo", "",
      "Main:Publish", "", "Main:PrintPreview", "Main:Print", "", "Main:Settings", "", "Main:Exit"}},
    {"Main:EditMenu",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "&Edit"),
     {"Edit:Add", "Edit:Delete", "", "Edit:Copy", "Edit:SelectAll"}},
    {"Main:AddressMenu",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "&Address"),
     {"Main:Scan", "Main:StopScan", "Edit:Add", "", "View:History"}},
    {"Main:HelpMenu",
     QT_TRANSLATE_NOOP("quarlo::MainForm", "&Help"),
     {"Help:Contents", "Help:Selection", "Help:QuickStart", "", "Help:TipOfTheDay", "", "Main:WebMenu", "",
      "Help:About"}},
    {"Main:Popup", QT_TRANSLATE_NOOP("quarlo::MainForm", "Popup Menu"), {"Edit:Copy", "", "Edit:Add", "Edit:Delete"}},
};

// Rows of the zone problem panel shown without scrolling: enough for the
// usual one or two, without pushing the grid away when every list failed.
constexpr int kZoneProblemRows = 4;

// Layout files older than this come from an incompatible toolbar layout.
const QDateTime kOldestLayout(QDate(2004, 8, 25), QTime(0, 0));

} // namespace

MainForm::MainForm(const Services& services, QWidget* parent)
    : QMainWindow(parent), s_(services),
      help_(services.registry, services.dataDir.isEmpty() ? services.programDir : services.dataDir, this)
{
    setObjectName(QStringLiteral("MainForm"));
    runDialog_ = [](QDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    // Help pages and dialogs go the same way as the window's own.
    help_.setUrlOpener([this](const QUrl& url) { return openAddress(url); });
    help_.setDialogRunner([this](QDialog& dialog) { return runDialog_(dialog) ? 1 : 0; });
    startProgram_ = [this](const QString& path) {
        QDir::setCurrent(s_.programDir);
        return QFileInfo(path).isExecutable() && QProcess::startDetached(path, {}, s_.programDir);
    };

    s_.application.setGridSource([this] { return gridForExport(); });
    buildTools();
    buildMenusAndBars();
    buildCentral();
    buildStatusBar();
    buildHistory();
    resize(1000, 650);

    // Window load: each step on its own, so one failing leaves the rest working.
    connectList();
    webBrowser_->setSource(
        QUrl::fromLocalFile((s_.dataDir.isEmpty() ? s_.programDir : s_.dataDir) + QStringLiteral("/Help/Quarlo.htm")));
    loadLayout();
    RestoreFormSize(*this, QStringLiteral("MainForm"), DisplayTitle(), false, s_.registry);
    outstanding_->setText(QStringLiteral("0"));
    table_->GridReset();
    SetupForm();
    loadSendToMenu();
    NameBuiltInButtons(*this);

    displayTimer_.setInterval(1000);
    connect(&displayTimer_, &QTimer::timeout, this, &MainForm::showOutstanding);
    redrawTimer_.setSingleShot(true);
    redrawTimer_.setInterval(kRedrawMs);
    connect(&redrawTimer_, &QTimer::timeout, this, &MainForm::flushDirty);
}

MainForm::~MainForm() = default;

void MainForm::buildTools()
{
    for (const ToolDefinition& def : kTools) {
        const QString caption = tr(def.caption);
        auto* action = new QAction(caption, this);
        action->setObjectName(QString::fromUtf8(def.id));
        action->setProperty("category", QString::fromUtf8(def.category));
        if (*def.description) action->setStatusTip(tr(def.description));
        action->setToolTip(QString(caption).remove(QLatin1Char('&')));
        const QString id = action->objectName();
        connect(action, &QAction::triggered, this, [this, id] { RunTool(id); });
        tools_.insert(id, action);
    }
    tools_.value(QStringLiteral("Main:Open"))->setShortcut(QKeySequence::Open);
    tools_.value(QStringLiteral("Main:Save"))->setShortcut(QKeySequence::Save);
    tools_.value(QStringLiteral("Main:New"))->setShortcut(QKeySequence::New);
    tools_.value(QStringLiteral("Main:Print"))->setShortcut(QKeySequence::Print);
    tools_.value(QStringLiteral("Edit:SelectAll"))->setShortcut(QKeySequence::SelectAll);
    tools_.value(QStringLiteral("Edit:Copy"))->setShortcut(QKeySequence::Copy);
    tools_.value(QStringLiteral("Edit:Add"))->setShortcut(QKeySequence(Qt::Key_Insert));
    tools_.value(QStringLiteral("Main:Scan"))->setShortcut(QKeySequence(Qt::Key_F5));
    tools_.value(QStringLiteral("Help:Contents"))->setShortcut(QKeySequence::HelpContents);
    // The rest of the keyboard list in the help pages.
    tools_.value(QStringLiteral("Main:SaveAs"))->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    tools_.value(QStringLiteral("Main:Close"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    tools_.value(QStringLiteral("Main:StopScan"))->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    tools_.value(QStringLiteral("View:History"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    // Shortcuts must work while the grid has the focus, not only in menus.
    for (QAction* action : std::as_const(tools_)) addAction(action);
    // The desktop theme's icons where it has them, drawn ones otherwise, so
    // the window reads the same with or without a theme.
    tools_.value(QStringLiteral("Main:Open"))->setIcon(ButtonIcons::Open());
    tools_.value(QStringLiteral("Main:Save"))->setIcon(ButtonIcons::Save());
    tools_.value(QStringLiteral("Main:Print"))->setIcon(ButtonIcons::Print());
    tools_.value(QStringLiteral("Main:PrintPreview"))->setIcon(ButtonIcons::PrintPreview());
    tools_.value(QStringLiteral("Edit:Add"))->setIcon(ButtonIcons::AddAddresses());
    tools_.value(QStringLiteral("Edit:Copy"))->setIcon(ButtonIcons::Copy());
    tools_.value(QStringLiteral("Edit:Delete"))->setIcon(ButtonIcons::Delete());
    tools_.value(QStringLiteral("Main:Settings"))->setIcon(ButtonIcons::Settings());
}

void MainForm::buildMenusAndBars()
{
    for (const MenuDefinition& def : kMenus) {
        auto* menu = new QMenu(tr(def.caption), this);
        menu->setObjectName(QString::fromUtf8(def.id));
        for (const char* entry : def.entries) {
            const QString id = QString::fromUtf8(entry);
            if (id.isEmpty())
                menu->addSeparator();
            else if (QMenu* sub = menus_.value(id))
                menu->addMenu(sub);
            else if (QAction* tool = tools_.value(id))
                menu->addAction(tool);
        }
        menu->menuAction()->setObjectName(menu->objectName());
        menus_.insert(menu->objectName(), menu);
    }
    for (const char* id : {"Main:FileMenu", "Main:EditMenu", "Main:AddressMenu", "Main:HelpMenu"})
        menuBar()->addMenu(menus_.value(QString::fromUtf8(id)));

    auto addBar = [this](const QString& name, const QString& title, const std::vector<const char*>& entries) {
        QToolBar* bar = addToolBar(title);
        bar->setObjectName(name);
        for (const char* entry : entries) {
            if (!*entry)
                bar->addSeparator();
            else
                bar->addAction(tools_.value(QString::fromUtf8(entry)));
        }
    };
    addBar(QStringLiteral("Toolbar"), tr("Toolbar"),
           {"Main:Open", "Main:Save", "", "Main:Print", "Main:PrintPreview", "", "Edit:Add", "Edit:Copy", "Edit:Delete",
            "", "Main:Settings"});
    addBar(QStringLiteral("Edit"), tr("Edit"), {"Edit:Copy", "Edit:Delete", "", "Edit:Add"});
}

void MainForm::buildCentral()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* panel = new QWidget(central);
    panel->setObjectName(QStringLiteral("ToolbarPanel"));
    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(6, 4, 6, 4);
    auto makeButton = [&](const QString& name, const QString& text, const QIcon& icon, const QString& tip) {
        auto* button = new QToolButton(panel);
        button->setObjectName(name);
        button->setText(text);
        button->setToolTip(tip);
        button->setIcon(icon);
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setMinimumWidth(84);
        buttons->addWidget(button);
        return button;
    };
    cmdNew_ =
        makeButton(QStringLiteral("cmdNew"), tr("New List"), ButtonIcons::NewList(), tr("Start a new address list"));
    // The button's object name is the one automation and layouts know it by.
    cmdAddAddresses_ = makeButton(QStringLiteral("cmdAddServers"), tr("Add Addresses"), ButtonIcons::AddAddresses(),
                                  tr("Add addresses to the list"));
    cmdScan_ = makeButton(QStringLiteral("cmdScan"), tr("Start Scan"), ButtonIcons::StartScan(),
                          tr("Check every address against the blacklists"));
    cmdStop_ =
        makeButton(QStringLiteral("cmdStop"), tr("Stop Scan"), ButtonIcons::StopScan(), tr("Stop the running scan"));
    buttons->addStretch();
    connect(cmdNew_, &QToolButton::clicked, this, [this] {
        pressButton(cmdNew_, [this] {
            s_.application.FileNew();
            SetupForm();
        });
    });
    connect(cmdScan_, &QToolButton::clicked, this, [this] { pressButton(cmdScan_, [this] { startScan(); }); });
    connect(cmdStop_, &QToolButton::clicked, this,
            [this] { pressButton(cmdStop_, [this] { s_.application.StopScan(); }); });
    connect(cmdAddAddresses_, &QToolButton::clicked, this,
            [this] { pressButton(cmdAddAddresses_, [this] { AddAddresses(); }); });
    layout->addWidget(panel);

    // The warning panel: a server configuration that could not be loaded or
    // has no list enabled, then the lists that failed their test before the
    // scan, one line each. Told here rather than in a box per list; it never
    // takes the focus.
    zoneProblems_ = new QListWidget(central);
    zoneProblems_->setObjectName(QStringLiteral("ZoneProblems"));
    zoneProblems_->setFocusPolicy(Qt::NoFocus);
    zoneProblems_->setSelectionMode(QAbstractItemView::NoSelection);
    zoneProblems_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    zoneProblems_->setTextElideMode(Qt::ElideRight);
    zoneProblems_->setIconSize(QSize(16, 16));
    zoneProblems_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    zoneProblems_->setStyleSheet(QStringLiteral(
        "QListWidget#ZoneProblems { background: rgb(255, 244, 214); color: rgb(110, 60, 0);"
        " border: none; border-top: 1px solid rgb(220, 170, 80); border-bottom: 1px solid rgb(220, 170, 80); }"));
    zoneProblems_->hide();
    layout->addWidget(zoneProblems_);

    stack_ = new QStackedWidget(central);
    table_ = new ResultsTable(s_.list, stack_);
    table_->setObjectName(QStringLiteral("Table"));
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->installEventFilter(this);
    // Right button presses reach the viewport, where the view would replace
    // the selection with the cell under the mouse before the popup shows.
    table_->viewport()->installEventFilter(this);
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        menus_.value(QStringLiteral("Main:Popup"))->popup(table_->viewport()->mapToGlobal(pos));
    });
    connect(table_, &ResultsTable::LinkClicked, this, [this](const QString& link) { openAddress(QUrl(link)); });
    webBrowser_ = new QTextBrowser(stack_);
    webBrowser_->setObjectName(QStringLiteral("WebBrowser"));
    webBrowser_->setOpenLinks(false);
    connect(webBrowser_, &QTextBrowser::anchorClicked, this, &MainForm::startPageLink);
    stack_->addWidget(table_);
    stack_->addWidget(webBrowser_);
    layout->addWidget(stack_, 1);
    setCentralWidget(central);
}

void MainForm::buildHistory()
{
    history_ = new HistoryView(this);
    history_->setHistoryPath(HistoryStore::DefaultPath());
    history_->setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    // Below the grid, where a timeline has the width it needs.
    addDockWidget(Qt::BottomDockWidgetArea, history_);
    // Hidden until asked for; the saved layout shows it again if it was open.
    history_->hide();
    QAction* tool = tools_.value(QStringLiteral("View:History"));
    tool->setCheckable(true);
    connect(history_, &QDockWidget::visibilityChanged, tool, [this, tool] { tool->setChecked(!history_->isHidden()); });
    // The view follows the grid's cursor, to the address of whatever row it is on.
    connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        QModelIndex row = current;
        while (row.parent().isValid()) row = row.parent();
        history_->setTarget(row.data(ResultsModel::KeyRole).toString());
    });
    historyTips_ = std::make_unique<HistoryTips>(HistoryStore::DefaultPath());
    table_->resultsModel().setAddressToolTipLines([this](const QString& key) { return historyTips_->Lines(key); });
}

void MainForm::setHistoryPath(const QString& path)
{
    history_->setHistoryPath(path);
    historyTips_->setPath(path);
}

void MainForm::HistoryRecorded(const std::vector<HistoryChange>&)
{
    historyTips_->Clear();
    history_->reload();
}

void MainForm::buildStatusBar()
{
    // Long notes are cut to the room left; the tooltip holds them whole.
    statusText_ = new ElidedLabel(this);
    statusText_->setObjectName(QStringLiteral("Statusbar"));
    auto* queriesLabel = new QLabel(tr("Outstanding Queries"), this);
    queriesLabel->setObjectName(QStringLiteral("QueriesLabel"));
    outstanding_ = new QLabel(QStringLiteral("0"), this);
    outstanding_->setObjectName(QStringLiteral("Outstanding"));
    outstanding_->setMinimumWidth(outstanding_->fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    outstanding_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Deviation on purpose: no bar of open lookups. The scan keeps as many
    // lookups open as it may, so such a bar stands full for the whole scan;
    // the bar shows the addresses done instead, beside the count of open
    // lookups. These are permanent widgets of fixed width, so a menu entry's
    // status tip neither hides nor moves them.
    progressText_ = new QLabel(this);
    progressText_->setObjectName(QStringLiteral("ScanProgressText"));
    progressText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ScanProgress"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedWidth(160);
    statusBar()->addWidget(statusText_, 1);
    statusBar()->addPermanentWidget(progressText_);
    statusBar()->addPermanentWidget(progress_);
    statusBar()->addPermanentWidget(queriesLabel);
    statusBar()->addPermanentWidget(outstanding_);
}

void MainForm::connectList()
{
    Addresslist& list = s_.list;
    connect(&list, &Addresslist::AddAddress, this, [this](const AddressPtr& address) {
        table_->UpdateRow(address);
        SetupForm();
    });
    connect(&list, &Addresslist::DeleteAddress, this, [this](const AddressPtr& address) {
        dirty_.remove(address.get());
        table_->resultsModel().removeAddress(address->Key());
        SetupForm();
    });
    connect(&list, &Addresslist::NewFile, this, [this] {
        dirty_.clear();
        // An emptied or replaced list drops what the last scan met; a list
        // saved under a new name keeps it.
        if (s_.list.Count() == 0) clearScanNotes();
        // The count of checked addresses stays only for the same, renamed
        // list; a loaded one has not been scanned yet.
        bool scanned = false;
        for (const AddressPtr& address : s_.list) scanned = scanned || address->Verdict() != Verdict::NotScanned;
        scanRan_ = scanRan_ && scanned;
        showProgress();
        SetupForm();
        table_->GridReset();
        RefreshData();
    });
    connect(&list, &Addresslist::ScanStarted, this, [this] {
        dirty_.clear();
        scanRan_ = true;
        scanWithoutLists_ = !anyListEnabled();
        scanTime_.start();
        scanClock_.start(0, s_.list.Count());
        clearScanNotes();
        table_->setCursor(Qt::BusyCursor);
        table_->GridReset();
        RefreshData();
        showOutstanding();
        SetupForm();
        displayTimer_.start();
    });
    connect(&list, &Addresslist::UpdateAddress, this, [this](const AddressPtr& address) {
        dirty_.insert(address.get(), address);
        if (!redrawTimer_.isActive()) redrawTimer_.start();
    });
    connect(&list, &Addresslist::ZoneTestComplete, this, &MainForm::showZoneProblems);
    connect(&list, &Addresslist::LoadProgress, this, &MainForm::showLoadProgress);
    connect(&list, &Addresslist::LoadFinished, this, [this] {
        // Perhaps from inside the dialog's own Cancel; the next load gets a
        // dialog of its own.
        if (QProgressDialog* dialog = loadProgress_) {
            loadProgress_ = nullptr;
            dialog->hide();
            dialog->deleteLater();
        }
    });
    auto finished = [this](bool complete) {
        displayTimer_.stop();
        redrawTimer_.stop();
        table_->unsetCursor();
        // Every change an address reported is drawn now; the end of a scan
        // changes some verdicts without a report (a stop, an address with
        // nothing left to ask).
        flushDirty();
        table_->RefreshVerdicts();
        showZoneProblems();
        if (complete) noteScanSummary();
        // The panel said so before; the status bar says what came of it.
        if (scanWithoutLists_) {
            scanNote_ = tr("The scan checked nothing: no blacklist server is enabled");
            scanNoteToolTip_.clear();
        }
        // The status bar says it whether or not the box is shown.
        scanEnd_ = complete ? tr("Blacklist scan complete") : tr("Blacklist scan canceled");
        showOutstanding();
        SetupForm();
        unsetCursor();
        if (!complete) {
            s_.prompts.Message(scanEnd_, DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
        } else if (s_.settings.ShowScanComplete()) {
            bool optedOut = false;
            s_.prompts.MessageWithOptOut(scanEnd_, DisplayTitle(), UserPrompts::Icon::Information,
                                         tr("Don't show this again"), optedOut);
            if (optedOut) s_.settings.setShowScanComplete(false);
        }
    };
    connect(&list, &Addresslist::ScanComplete, this, [finished] { finished(true); });
    connect(&list, &Addresslist::ScanCanceled, this, [finished] { finished(false); });
}

void MainForm::SetupForm()
{
    const Addresslist& list = s_.list;
    const bool open = !list.Filename().isEmpty();
    const bool scanning = open && list.ScanActive();

    if (!open) {
        setWindowTitle(QStringLiteral("Quarlo"));
    } else {
        setWindowTitle(QStringLiteral("Quarlo [") + FileName(list.Filename(), true)
                       + (list.Changed() ? QStringLiteral(" *") : QString()) + QLatin1Char(']'));
    }
    stack_->setCurrentWidget(open ? static_cast<QWidget*>(table_) : webBrowser_);

    cmdNew_->setEnabled(!scanning);
    cmdAddAddresses_->setEnabled(open && !scanning);
    cmdScan_->setEnabled(open && !scanning && table_->AddressRowCount() > 0);
    cmdStop_->setEnabled(scanning);
    tools_.value(QStringLiteral("Main:Scan"))->setEnabled(open && !scanning);
    tools_.value(QStringLiteral("Main:StopScan"))->setEnabled(scanning);
    statusText_->setText(scanning ? tr("Scanning Blacklist servers ...")
                                  : (scanNote_.isEmpty() ? scanEnd_ : scanNote_));
    statusText_->setToolTip(scanning ? QString() : scanNoteToolTip_);
    // The note is a warning; the scanning text is not.
    statusText_->setStyleSheet(!scanning && !scanNote_.isEmpty() ? QStringLiteral("color: rgb(150, 75, 0);")
                                                                 : QString());
    showWarnings();
    reserveProgressWidth();
    // Nothing to show before the list's first scan.
    progressText_->setVisible(open && scanRan_);
    progress_->setVisible(open && scanRan_);

    for (const char* id : {"Main:SaveAs", "Main:Save", "Main:Close", "Main:Print", "Main:PrintPreview", "Main:Publish"})
        tools_.value(QString::fromUtf8(id))->setEnabled(open);
    menus_.value(QStringLiteral("Main:ExportMenu"))->menuAction()->setEnabled(open);
    menus_.value(QStringLiteral("Main:EditMenu"))->menuAction()->setVisible(open);
    menus_.value(QStringLiteral("Main:AddressMenu"))->menuAction()->setVisible(open);

    // Tools outside the Web:, Help: and Main: families need an open list.
    auto needsList = [](const QString& id) {
        return !id.startsWith(QLatin1String("Web:")) && !id.startsWith(QLatin1String("Help:"))
            && !id.startsWith(QLatin1String("Main:"));
    };
    for (auto it = tools_.cbegin(); it != tools_.cend(); ++it)
        if (needsList(it.key())) it.value()->setEnabled(open);
    for (auto it = menus_.cbegin(); it != menus_.cend(); ++it)
        if (needsList(it.key())) it.value()->menuAction()->setEnabled(open);
}

void MainForm::RefreshData()
{
    table_->RefreshData();
}

void MainForm::showLoadProgress(qint64 done, qint64 total)
{
    if (!loadProgress_) {
        // Window-modal: the list must not change under the load, and the
        // window still redraws.
        loadProgress_ = new QProgressDialog(this);
        loadProgress_->setObjectName(QStringLiteral("LoadProgress"));
        loadProgress_->setWindowTitle(tr("Load Address List"));
        loadProgress_->setWindowModality(Qt::WindowModal);
        loadProgress_->setAutoClose(false);
        loadProgress_->setAutoReset(false);
        // Loads of a moment show nothing.
        loadProgress_->setMinimumDuration(400);
        loadProgress_->setRange(0, static_cast<int>(total));
        // Cancel, the window's close button and Escape.
        connect(loadProgress_, &QProgressDialog::canceled, &s_.list, &Addresslist::CancelLoad);
        connect(loadProgress_, &QDialog::rejected, &s_.list, &Addresslist::CancelLoad);
    }
    loadProgress_->setLabelText(
        tr("Loading %1 of %2 addresses ...").arg(IpRange::Grouped(done), IpRange::Grouped(total)));
    loadProgress_->setValue(static_cast<int>(std::min(done, total)));
}

void MainForm::noteScanSummary()
{
    const ScanSummary& summary = s_.list.Summary();
    scanNote_.clear();
    scanNoteToolTip_.clear();
    if (!summary.refusingZones.isEmpty()) {
        QStringList names;
        QStringList reasons;
        for (auto it = summary.refusingZones.cbegin(); it != summary.refusingZones.cend(); ++it) {
            const ServerPtr server = s_.settings.BlacklistServers().Item(it.key());
            const QString name = server && !server->Name().trimmed().isEmpty() ? server->Name() : it.key();
            names << name;
            reasons << name + QStringLiteral(": ") + (it.value().isEmpty() ? tr("refused") : it.value());
        }
        scanNote_ = tr("Your DNS resolver is refused by %1; use your own resolver (DNS Servers option)")
                        .arg(names.join(QStringLiteral(", ")));
        scanNoteToolTip_ = reasons.join(QLatin1Char('\n'));
    } else if (summary.NoDnsAnswered()) {
        scanNote_ = tr("No DNS server answered; check your network or the DNS Servers option");
    }
    if (const QString stall = WindowText::Of(StallWarning(summary)); !stall.isEmpty()) {
        scanNote_ =
            scanNote_.isEmpty() ? stall : scanNote_ + QStringLiteral("; ") + stall.left(1).toLower() + stall.mid(1);
        scanNoteToolTip_ = scanNoteToolTip_.isEmpty() ? stall : scanNoteToolTip_ + QLatin1Char('\n') + stall;
    }
}

void MainForm::showZoneProblems()
{
    zoneLines_.clear();
    for (const ZoneTest& test : s_.list.ZoneTests()) {
        const ZoneTest::Health health = test.health();
        if (health == ZoneTest::Health::Ok || health == ZoneTest::Health::Pending) continue;
        const QString line = WindowText::Of(test.description());
        if (!line.isEmpty()) zoneLines_ << line;
    }
    showWarnings();
}

bool MainForm::anyListEnabled() const
{
    for (const ServerPtr& server : s_.settings.BlacklistServers())
        if (server && server->Enabled()) return true;
    return false;
}

QStringList MainForm::configurationWarnings() const
{
    const ListCommands::ServerConfigProblem problem = s_.application.ServerConfigurationProblem();
    if (!problem.isEmpty()) {
        // One line of the reader's message; the row's tooltip holds it all.
        QString message = ErrorText{WindowText::Lines(problem.message.what), WindowText::Lines(problem.message.why)}
                              .OneLine()
                              .replace(QLatin1Char('\n'), QLatin1Char(' '));
        return {tr("No scan runs: %1").arg(message)};
    }
    if (!anyListEnabled())
        return {tr("No blacklist server is enabled: a scan checks nothing. Enable or add servers under "
                   "Settings.")};
    return {};
}

void MainForm::showWarnings()
{
    const QStringList warnings = configurationWarnings();
    const QStringList lines = warnings + zoneLines_;
    QStringList held;
    for (int row = 0; row < zoneProblems_->count(); ++row) held << zoneProblems_->item(row)->text();
    if (lines != held) {
        zoneProblems_->clear();
        const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
        for (const QString& line : lines) {
            auto* item = new QListWidgetItem(warning, line, zoneProblems_);
            item->setToolTip(line); // the row may be cut off
        }
        if (!lines.isEmpty()) {
            const int rows = std::min(static_cast<int>(lines.size()), kZoneProblemRows);
            const int frame = zoneProblems_->frameWidth() * 2 + 2;
            zoneProblems_->setFixedHeight(rows * zoneProblems_->sizeHintForRow(0) + frame);
        }
    }
    // What is wrong with the configuration shows on the start page too.
    zoneProblems_->setVisible(!warnings.isEmpty() || (!lines.isEmpty() && !StartPageShown()));
}

void MainForm::clearScanNotes()
{
    scanNote_.clear();
    scanEnd_.clear();
    scanNoteToolTip_.clear();
    zoneLines_.clear();
    showWarnings();
    statusText_->setToolTip(QString());
}

void MainForm::startScan()
{
    s_.application.StartScan();
    const ListCommands::ServerConfigProblem problem = s_.application.ServerConfigurationProblem();
    if (problem.isEmpty() || s_.list.ScanActive()) return;
    scanNote_ = tr("No scan: the blacklist servers could not be loaded");
    scanNoteToolTip_ = problem.message.Boxed();
    SetupForm();
}

void MainForm::ShowStartupWarnings()
{
    const ListCommands::ServerConfigProblem problem = s_.application.ServerConfigurationProblem();
    if (problem.isEmpty()) return;
    s_.prompts.Message(Paragraphs({problem.message.Boxed(),
                                   tr("No scan can run until the file is corrected and the program started again, or "
                                      "the servers are set up under Settings and saved.")}),
                       DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Critical);
}

void MainForm::flushDirty()
{
    // At most a slice of rows per redraw (some 20 ms); the rest wait for
    // the next one, so a burst of replies never freezes the window.
    constexpr qsizetype kRowsPerRedraw = 2000;
    std::vector<AddressPtr> addresses;
    addresses.reserve(static_cast<size_t>(std::min(dirty_.size(), kRowsPerRedraw)));
    for (auto it = dirty_.begin(); it != dirty_.end() && qsizetype(addresses.size()) < kRowsPerRedraw;) {
        if (AddressPtr address = it.value().lock()) addresses.push_back(std::move(address));
        it = dirty_.erase(it);
    }
    QElapsedTimer clock;
    clock.start();
    table_->UpdateRows(addresses);
    // A big grid costs a walk over every row to lay out after a batch: the
    // busier the redraw, the longer the window rests between redraws, so
    // it keeps answering the user.
    const qint64 busyMs = clock.elapsed() + table_->LastLayoutMs();
    redrawTimer_.setInterval(static_cast<int>(std::clamp<qint64>(3 * busyMs, kRedrawMs, 1000)));
    if (!dirty_.isEmpty()) redrawTimer_.start();
    showOutstanding();
}
void MainForm::UpdateRow(const AddressPtr& address)
{
    table_->UpdateRow(address);
}

void MainForm::RunTool(const QString& id)
{
    emit ToolRun(id);
    const qsizetype colon = id.indexOf(QLatin1Char(':'));
    const QString family = id.left(colon).toUpper();
    const QString command = colon < 0 ? QString() : id.mid(colon + 1);
    const QString upper = command.toUpper();
    ListCommands& app = s_.application;

    if (family == QLatin1String("MAIN")) {
        if (upper == QLatin1String("OPEN")) app.ShowFileOpenDialog();
        // The list is told unchanged only after the emptying that redraws
        // the window; the title follows that.
        else if (upper == QLatin1String("NEW")) {
            app.FileNew();
            SetupForm();
        } else if (upper == QLatin1String("CLOSE")) {
            app.FileClose();
            SetupForm();
        } else if (upper == QLatin1String("SAVE")) {
            if (app.FileSave()) SetupForm();
        } else if (upper == QLatin1String("SAVEAS")) {
            // A failed save gives the list its old name back.
            app.ShowFileSaveDialog();
            SetupForm();
        } else if (upper == QLatin1String("PRINT"))
            app.PrintList();
        else if (upper == QLatin1String("PRINTPREVIEW"))
            app.PrintPreview();
        else if (upper == QLatin1String("EXIT"))
            close();
        else if (upper == QLatin1String("SCAN"))
            startScan();
        else if (upper == QLatin1String("STOPSCAN"))
            app.StopScan();
        else if (upper == QLatin1String("SETTINGS")) {
            SettingsForm dialog(s_.settings, s_.prompts, this);
            const ListCommands::ServerConfigProblem problem = app.ServerConfigurationProblem();
            if (!problem.savedOver.isEmpty())
                dialog.setDamagedConfiguration(problem.savedOver, problem.message.Boxed());
            runDialog_(dialog);
            // Saved whole, the list is the file's again; the panel follows
            // the servers enabled now.
            if (dialog.ServersSaved()) app.ServerConfigSaved();
            SetupForm();
        } else if (upper == QLatin1String("PUBLISH"))
            ExportTable(QStringLiteral("HTML"));
    } else if (family == QLatin1String("VIEW")) {
        if (upper == QLatin1String("HISTORY")) history_->setVisible(!history_->isVisible());
    } else if (family == QLatin1String("EXPORT")) {
        ExportTable(command);
    } else if (family == QLatin1String("SENDTO")) {
        ProcessSendTo(id.mid(7));
    } else if (family == QLatin1String("EDIT")) {
        // Only the button starts a scan after adding: a scan started here
        // would also throw away what a running scan has found so far.
        if (upper == QLatin1String("ADD"))
            runAddDialog(false);
        else if (upper == QLatin1String("COPY"))
            CopySelection();
        else if (upper == QLatin1String("DELETE"))
            DeleteSelectedRows();
        else if (upper == QLatin1String("SELECTALL"))
            SelectAll();
    } else if (family == QLatin1String("HELP") || family == QLatin1String("WEB")) {
        if (upper == QLatin1String("QUICKSTART")) {
            app.FileClose();
            SetupForm();
        } else if (upper == QLatin1String("ABOUT"))
            help_.About(windowIcon());
        else if (upper == QLatin1String("CONTENTS"))
            help_.Contents();
        else if (upper == QLatin1String("SELECTION"))
            help_.Selection();
        else if (upper == QLatin1String("TIPOFTHEDAY"))
            help_.TipOfTheDay(true);
        else
            help_.Web(upper); // UPDATES, FAQ, FEEDBACK; anything else opens nothing
    }
}

void MainForm::loadSendToMenu()
{
    QMenu* menu = menus_.value(QStringLiteral("Menu:SendTo"));
    if (!menu) return;
    // Theme icons for the destinations the engine names.
    const auto icons = [](const QString& name) {
        static const QHash<QString, QString> themed{
            {QStringLiteral("mail"), QStringLiteral("mail-send")},
            {QStringLiteral("documents"), QStringLiteral("folder-documents")},
            {QStringLiteral("desktop"), QStringLiteral("user-desktop")},
            {QStringLiteral("spreadsheet"), QStringLiteral("x-office-spreadsheet")}};
        const QString theme = themed.value(name.toLower());
        return theme.isEmpty() ? QIcon() : QIcon::fromTheme(theme);
    };
    const bool open = !s_.list.Filename().isEmpty();
    for (QAction* action :
         ExportMenus::LoadSendToMenu(s_.application.Exports(), menu, QStringLiteral("SendTo:"), icons)) {
        const QString id = action->objectName();
        action->setEnabled(open);
        tools_.insert(id, action);
        connect(action, &QAction::triggered, this, [this, id] { RunTool(id); });
    }
}

void MainForm::prepareExport()
{
    ExportEngine& engine = s_.application.Exports();
    const QString filename = s_.list.Filename();
    engine.setTargetFilename(filename.contains(QLatin1Char('/')) ? filename
                                                                 : s_.programDir + QLatin1Char('/') + filename);
    engine.setTitle(ResultsSnapshot::Title(FileName(filename, true), s_.list, s_.settings));
}

void MainForm::ExportTable(const QString& format)
{
    prepareExport();
    s_.application.Exports().ExportTable(gridForExport(), format);
}

void MainForm::ProcessSendTo(const QString& destination)
{
    prepareExport();
    s_.application.Exports().ExportAndSendTable(gridForExport(), destination);
}

QVariant MainForm::gridForExport() const
{
    // The grid as shown, with the lists that gave an address no answer
    // named under it, as every report has them.
    auto snapshot = std::make_shared<TableSnapshot>(table_->Snapshot());
    ResultsSnapshot::AddNoteRows(*snapshot, s_.list, s_.settings);
    return QVariant::fromValue(TableSnapshotPtr(std::move(snapshot)));
}

bool MainForm::runAddDialog(bool autoStart)
{
    AddAddressesForm dialog(s_.list, s_.settings, this);
    dialog.setPrompts(s_.prompts);
    dialog.setAutoStartOffered(autoStart);
    runDialog_(dialog);
    return !dialog.Canceled();
}

void MainForm::AddAddresses()
{
    if (runAddDialog(true) && s_.settings.AutoStartScan()) startScan();
}

void MainForm::pressButton(QToolButton* button, const std::function<void()>& action)
{
    button->setDown(true);
    action();
    button->setDown(false);
}

void MainForm::CopySelection()
{
    QString text = table_->SelectionText();
    QApplication::clipboard()->clear();
    QApplication::clipboard()->setText(text);
}

void MainForm::DeleteSelectedRows()
{
    const QStringList keys = table_->SelectedKeys();
    table_->setCurrentIndex(QModelIndex());
    table_->clearSelection();
    for (const QString& key : keys) {
        if (!key.contains(QLatin1Char(':')))
            s_.list.Remove(key);
        else
            table_->resultsModel().removeRow(key);
    }
}

void MainForm::SelectAll()
{
    table_->SelectAll();
}

void MainForm::rightButtonDown(const QPoint& pos)
{
    const QModelIndexList selected = table_->selectionModel()->selectedIndexes();
    bool oneRow = true;
    int lastColumn = selected.isEmpty() ? std::max(table_->currentIndex().column(), 0) : 0;
    for (const QModelIndex& index : selected) {
        if (index.row() != selected.first().row() || index.parent() != selected.first().parent()) oneRow = false;
        lastColumn = std::max(lastColumn, index.column());
    }
    const QModelIndex at = table_->indexAt(pos);
    if (oneRow && lastColumn == 0 && at.isValid()) table_->setCurrentIndex(at);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            rightButtonDown(mouse->position().toPoint());
            return true; // the popup follows with the context menu event
        }
    }
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            if (table_->currentIndex().column() == 0) DeleteSelectedRows();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainForm::showOutstanding()
{
    const int pending = s_.list.PendingDNSLookups();
    outstanding_->setText(QString::number(pending));
    showProgress();
}

void MainForm::reserveProgressWidth()
{
    // Wide enough for the longest count of this list, so the text never
    // pushes its neighbours about while the numbers grow.
    const QString widest = tr("Checked %1 of %2 addresses").arg(s_.list.Count()).arg(s_.list.Count());
    const int width = progressText_->fontMetrics().horizontalAdvance(widest) + 8;
    if (width > progressText_->minimumWidth()) progressText_->setMinimumWidth(width);
}

void MainForm::showProgress()
{
    const int total = s_.list.Count();
    int done = 0;
    for (const AddressPtr& address : s_.list) {
        const Verdict verdict = address->Verdict();
        // An address the scan was stopped at has not been checked; one that
        // no enabled list could check has.
        if (verdict != Verdict::Scanning && verdict != Verdict::NotScanned && !address->Stopped()) ++done;
    }
    reserveProgressWidth();
    progressText_->setText(scanRan_ ? tr("Checked %1 of %2 addresses").arg(done).arg(total) : QString());
    // While scanning, the bar tells the time left at the recent rate.
    qint64 left = -1;
    if (s_.list.ScanActive() && scanTime_.isValid()) {
        scanClock_.update(scanTime_.elapsed(), done);
        left = scanClock_.remainingMs();
    }
    progress_->setTextVisible(left > 0);
    progress_->setFormat(left > 0 ? tr("about %1 left").arg(ScanProgress::formatDuration(left)) : QString());
    progress_->setToolTip(left > 0 ? scanClock_.text() : QString());
    progress_->setRange(0, std::max(total, 1));
    progress_->setValue(scanRan_ ? done : 0);
}

QString MainForm::StatusText() const
{
    return statusText_->text();
}
QString MainForm::StatusToolTip() const
{
    return statusText_->toolTip();
}

QStringList MainForm::ZoneProblems() const
{
    QStringList lines;
    if (zoneProblems_->isHidden()) return lines;
    for (int row = 0; row < zoneProblems_->count(); ++row) lines << zoneProblems_->item(row)->text();
    return lines;
}
QString MainForm::OutstandingText() const
{
    return outstanding_->text();
}
bool MainForm::StartPageShown() const
{
    return stack_->currentWidget() == webBrowser_;
}

void MainForm::startPageLink(const QUrl& url)
{
    URL parsed;
    parsed.setURL(url.toString());
    if (!parsed.Internal()) {
        openAddress(url);
        return;
    }
    const QString path = parsed.URLPath();
    if (path.toUpper() == QLatin1String("EXECUTE")) {
        // Only a program of the program folder, named without a path: the
        // page must not start whatever a search of PATH finds first.
        const QString program = parsed.ParameterValue(QStringLiteral("PROGRAM")).trimmed();
        if (program.isEmpty() || program.contains(QLatin1Char('/')) || program.contains(QLatin1Char('\\'))
            || program == QLatin1String("..") || program == QLatin1String("."))
            return;
        if (!startProgram_(QDir(s_.programDir).filePath(program)))
            s_.prompts.Message(tr("Cannot start %1 from %2").arg(program, QDir::toNativeSeparators(s_.programDir)),
                               DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
        return;
    }
    if (tools_.contains(path)) RunTool(path);
}

bool MainForm::openAddress(const QUrl& url)
{
    if (openUrl_(url)) return true;
    const QString address = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
    s_.prompts.Message(
        tr("No web browser could be started to show\n%1\n\nOpen it in a browser of your choice.").arg(address),
        DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
    return false;
}

QString MainForm::ToolbarLayoutPath() const
{
    return (s_.configDir.isEmpty() ? s_.programDir : s_.configDir) + QLatin1Char('/') + s_.programName
        + QStringLiteral(".Toolbars");
}

void MainForm::loadLayout()
{
    const QString path = ToolbarLayoutPath();
    QFileInfo info(path);
    if (!info.exists()) return;
    // Linux keeps no reliable creation time (a copied file is "born" anew),
    // so the time the layout was written stands in for it.
    if (info.lastModified() < kOldestLayout) QFile::remove(path);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) restoreState(file.readAll());
}

void MainForm::saveLayout()
{
    // Best effort: a layout that cannot be saved keeps the previous one.
    QString error;
    const QString path = ToolbarLayoutPath();
    // The user's configuration folder may not exist yet.
    QDir().mkpath(QFileInfo(path).absolutePath());
    AtomicFileWriter::Replace(path, saveState(), error, AtomicFileWriter::Links::Follow);
}

void MainForm::closeEvent(QCloseEvent* event)
{
    // Yes means the changes are wanted, so the window stays open when they
    // were not saved after all (save dialog cancelled, write failed).
    if (!s_.application.SaveChangesPrompt(true)) {
        event->ignore();
        return;
    }
    if (!unloaded_) {
        unloaded_ = true;
        s_.list.CancelLookups();
        for (auto it = tools_.begin(); it != tools_.end();) {
            if (it.key().startsWith(QLatin1String("SendTo:"), Qt::CaseInsensitive)) {
                delete it.value();
                it = tools_.erase(it);
            } else {
                ++it;
            }
        }
        saveLayout();
        SaveFormSize(*this, QStringLiteral("MainForm"), DisplayTitle(), s_.registry);
        disconnect(&s_.list, nullptr, this, nullptr);
    }
    event->accept();
}

} // namespace quarlo
