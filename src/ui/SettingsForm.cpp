#include "ui/SettingsForm.h"

#include "common/AppInfo.h"
#include "common/ErrorText.h"
#include "common/Registry.h"
#include "common/UserPrompts.h"
#include "model/ServerDefinition.h"
#include "model/Settings.h"
#include "scan/DnsServers.h"
#include "ui/AddEditServer.h"
#include "ui/FormPlacement.h"
#include "ui/WindowText.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace quarlo {
namespace {

const QString kGeneralKey = QStringLiteral("GENERAL");
const QString kServersKey = QStringLiteral("SERVERS");

// The zone of a row's server, kept on the check-box cell.
constexpr int kZoneRole = Qt::UserRole + 1;

const QString kDnsServersOption = QStringLiteral("DNS Servers");

const char* const kExpansionOptions[] = {QT_TRANSLATE_NOOP("SettingsForm", "No Expansion"),
                                         QT_TRANSLATE_NOOP("SettingsForm", "Expand Servers"),
                                         QT_TRANSLATE_NOOP("SettingsForm", "Expand Servers and Responses")};
constexpr int kExpansionCount = int(std::size(kExpansionOptions));

QString badDnsServerText(const QString& entry)
{
    return QCoreApplication::translate(
               "SettingsForm",
               "\"%1\" is not a DNS server address. Enter IP addresses, each with an optional port, "
               "separated by commas (for example 192.0.2.1, 192.0.2.1:5353 or [2001:db8::1]:53), "
               "or leave the field empty to use the system's resolvers.")
        .arg(entry);
}

} // namespace

// The server list asks for room for all of its columns and the vertical
// scroll bar, so the dialog opens wide enough to show the Domain column
// without scrolling sideways.
class SettingsForm::ServerList : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

    QSize sizeHint() const override
    {
        int width = 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        for (int column = 0; column < columnCount(); ++column) width += columnWidth(column);
        return {width, QTableWidget::sizeHint().height()};
    }
};

// Draws the check box of column 0 in the middle of its cell; item views put
// it at the left edge. Toggling is the form's (a click anywhere in the cell),
// so the items are not user-checkable and the view never toggles them itself.
class SettingsForm::CheckDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem cell(option);
        initStyleOption(&cell, index);
        const bool ticked = cell.checkState == Qt::Checked;
        cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        const QWidget* widget = cell.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

        QStyleOptionViewItem check(cell);
        const QSize box(style->pixelMetric(QStyle::PM_IndicatorWidth, &cell, widget),
                        style->pixelMetric(QStyle::PM_IndicatorHeight, &cell, widget));
        check.rect = QStyle::alignedRect(cell.direction, Qt::AlignCenter, box, cell.rect);
        check.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange);
        check.state |= ticked ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);
    }
};

SettingsForm::SettingsForm(Settings& settings, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), settings_(settings), prompts_(prompts)
{
    setWindowTitle(tr("Quarlo Settings"));
    setModal(true);
    runEditor_ = [](AddEditServer& editor) { editor.exec(); };

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("Tabs"));

    // General tab.
    auto* general = new QWidget(tabs_);
    auto* load = new QGroupBox(tr("Network Load"), general);
    hsbMaxQueries_ = new QScrollBar(Qt::Horizontal, load);
    hsbMaxQueries_->setObjectName(QStringLiteral("hsbMaxQueries"));
    hsbMaxQueries_->setRange(Settings::kMinQueries, Settings::kMaxQueries);
    // Arrows fine-tune by one query; a click beside the thumb moves by 50,
    // about one sixteenth of the range.
    hsbMaxQueries_->setSingleStep(1);
    hsbMaxQueries_->setPageStep(50);
    // Tracking (the default) reports every value while the thumb is dragged.
    hsbMaxQueries_->setTracking(true);
    // Scroll bars take no focus by default; this one is a control of its own
    // and is set with the arrow keys.
    hsbMaxQueries_->setFocusPolicy(Qt::StrongFocus);
    // Scroll bars invert their keys by default; here Right and Up raise the
    // limit, as on a slider.
    hsbMaxQueries_->setInvertedControls(false);
    lblQueries_ = new QLabel(load);
    lblQueries_->setObjectName(QStringLiteral("lblQueries"));
    lblQueries_->setMinimumWidth(fontMetrics().horizontalAdvance(tr("%1 Queries").arg(8888)));
    connect(hsbMaxQueries_, &QScrollBar::valueChanged, this, &SettingsForm::ShowQueries);
    auto* loadLayout = new QGridLayout(load);
    loadLayout->addWidget(new QLabel(tr("Maximum Concurrent Queries"), load), 0, 0, 1, 2);
    loadLayout->addWidget(hsbMaxQueries_, 1, 0);
    loadLayout->addWidget(lblQueries_, 1, 1);
    loadLayout->setColumnStretch(0, 1);

    auto* expansion = new QGroupBox(tr("Address Tree Auto Expansion Level"), general);
    expansion_ = new QButtonGroup(this);
    auto* expansionLayout = new QVBoxLayout(expansion);
    for (int i = 0; i < kExpansionCount; ++i) {
        auto* option = new QRadioButton(tr(kExpansionOptions[i]), expansion);
        option->setObjectName(QStringLiteral("optExpansion") + QString::number(i));
        expansion_->addButton(option, i);
        expansionLayout->addWidget(option);
    }

    chkCheckLists_ = new QCheckBox(tr("Check lists before scanning"), general);
    chkCheckLists_->setObjectName(QStringLiteral("chkCheckLists"));
    chkCheckLists_->setToolTip(tr("Before each scan, ask every enabled blacklist for its test entries "
                                  "and leave out the lists that do not answer them correctly"));

    chkShowScanComplete_ = new QCheckBox(tr("Show a message when a scan is complete"), general);
    chkShowScanComplete_->setObjectName(QStringLiteral("chkShowScanComplete"));
    chkShowScanComplete_->setToolTip(tr("The status bar tells the end of every scan either way"));

    auto* dns = new QGroupBox(tr("Name Resolution"), general);
    txtDnsServers_ = new QLineEdit(dns);
    txtDnsServers_->setObjectName(QStringLiteral("txtDnsServers"));
    txtDnsServers_->setPlaceholderText(tr("the system's resolvers"));
    auto* dnsLabel = new QLabel(tr("&DNS servers"), dns);
    dnsLabel->setBuddy(txtDnsServers_);
    // The engine picks its servers once, when the program starts.
    QString hintText = tr("IP addresses with an optional port, separated by commas; empty uses the system's resolvers. "
                          "Several blacklists refuse queries that come from public resolvers, so give your own or your "
                          "provider's. A change applies at the next start.");
    if (!qEnvironmentVariable("QUARLO_DNS_SERVERS").trimmed().isEmpty())
        hintText += tr(" QUARLO_DNS_SERVERS is set and takes precedence.");
    auto* dnsHint = new QLabel(hintText, dns);
    dnsHint->setObjectName(QStringLiteral("lblDnsServersHint"));
    dnsHint->setWordWrap(true);
    auto* dnsLayout = new QGridLayout(dns);
    dnsLayout->addWidget(dnsLabel, 0, 0);
    dnsLayout->addWidget(txtDnsServers_, 0, 1);
    dnsLayout->addWidget(dnsHint, 1, 0, 1, 2);
    dnsLayout->setColumnStretch(1, 1);

    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(load);
    generalLayout->addWidget(expansion);
    generalLayout->addWidget(chkCheckLists_);
    generalLayout->addWidget(chkShowScanComplete_);
    generalLayout->addWidget(dns);
    generalLayout->addStretch(1);

    // Servers tab.
    auto* servers = new QWidget(tabs_);
    lstServers_ = new ServerList(0, 4, servers);
    lstServers_->setObjectName(QStringLiteral("lstServers"));
    lstServers_->setHorizontalHeaderLabels({QString(), tr("Blacklist Service"), tr("Domain"), tr("Kind")});
    lstServers_->verticalHeader()->hide();
    lstServers_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstServers_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstServers_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstServers_->setItemDelegateForColumn(0, new CheckDelegate(lstServers_));
    lstServers_->horizontalHeader()->setStretchLastSection(true);
    lstServers_->viewport()->installEventFilter(this);
    lstServers_->installEventFilter(this); // Space
    // Tab leaves the list for the buttons instead of walking its cells.
    lstServers_->setTabKeyNavigation(false);
    auto* serversLayout = new QVBoxLayout(servers);
    serversLayout->addWidget(lstServers_);

    tabs_->addTab(general, tr("General"));
    tabs_->tabBar()->setTabData(0, kGeneralKey);
    tabs_->addTab(servers, tr("Blacklist Servers"));
    tabs_->tabBar()->setTabData(1, kServersKey);

    add_ = new QAction(tr("&Add"), this);
    add_->setObjectName(QStringLiteral("Add"));
    edit_ = new QAction(tr("&Edit"), this);
    edit_->setObjectName(QStringLiteral("Edit"));
    delete_ = new QAction(tr("&Delete"), this);
    delete_->setObjectName(QStringLiteral("Delete"));
    connect(add_, &QAction::triggered, this, &SettingsForm::AddServer);
    connect(edit_, &QAction::triggered, this, &SettingsForm::EditServer);
    connect(delete_, &QAction::triggered, this, &SettingsForm::DeleteServer);
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("ServerPopup"));
    popup_->addActions({add_, edit_, delete_});

    cmdOK_ = new QPushButton(tr("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel_ = new QPushButton(tr("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdAdd_ = new QPushButton(tr("Add"), this);
    cmdAdd_->setObjectName(QStringLiteral("cmdAdd"));
    cmdEdit_ = new QPushButton(tr("Edit..."), this);
    cmdEdit_->setObjectName(QStringLiteral("cmdEdit"));
    cmdEdit_->setToolTip(tr("Edit the selected blacklist server (F2 or a double click)"));
    cmdDelete_ = new QPushButton(tr("Delete"), this);
    cmdDelete_->setObjectName(QStringLiteral("cmdDelete"));
    cmdDelete_->setToolTip(tr("Delete the selected blacklist server (Delete)"));
    // Enter presses no button of its own accord; Escape still cancels
    // (QDialog's reject).
    for (QPushButton* button : {cmdOK_, cmdCancel_, cmdAdd_, cmdEdit_, cmdDelete_}) button->setAutoDefault(false);
    connect(cmdOK_, &QPushButton::clicked, this, &SettingsForm::okClicked);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdAdd_, &QPushButton::clicked, this, &SettingsForm::AddServer);
    connect(cmdEdit_, &QPushButton::clicked, this, [this] { EditRow(lstServers_->currentRow()); });
    connect(cmdDelete_, &QPushButton::clicked, this, [this] { DeleteRow(lstServers_->currentRow()); });
    // Double-clicking the tick box toggles it twice; elsewhere it edits.
    connect(lstServers_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column != 0) EditRow(row);
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdAdd_);
    buttons->addWidget(cmdEdit_);
    buttons->addWidget(cmdDelete_);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);
    tabs_->setCurrentIndex(0);
    for (QPushButton* button : {cmdAdd_, cmdEdit_, cmdDelete_}) button->hide();
    connect(tabs_, &QTabWidget::currentChanged, this, &SettingsForm::tabChanged);

    // Tab follows the layout: the General controls top to bottom, the list,
    // then the buttons from left to right.
    // (The tab bar already comes first; naming the tab widget here would
    // chain its focus proxy apart from the rest.)
    QList<QWidget*> order = {hsbMaxQueries_};
    for (QAbstractButton* option : expansion_->buttons()) order << option;
    order << chkCheckLists_ << chkShowScanComplete_ << txtDnsServers_ << lstServers_ << cmdAdd_ << cmdEdit_
          << cmdDelete_ << cmdOK_ << cmdCancel_;
    for (int i = 1; i < order.size(); ++i) QWidget::setTabOrder(order.at(i - 1), order.at(i));

    for (const ServerPtr& server : settings_.BlacklistServers()) opening_.append({server, CopyServer(*server)});
    FillServerList();
    PlaceDialog(*this, QStringLiteral("SettingsForm"), QSize(460, 380), &settings_.OptionRegistry());

    // Max Queries is read from the registry without limits, so it may lie
    // outside the bar. The bar shows the nearest value it can hold and the
    // label the real number until the user moves the bar; OK then stores
    // the bar's value, which is what the setter's clamping would give anyway.
    const int maxQueries = settings_.MaxQueries();
    hsbMaxQueries_->setValue(std::clamp(maxQueries, Settings::kMinQueries, Settings::kMaxQueries));
    ShowQueries(maxQueries);

    const int level = std::clamp(settings_.ExpansionLevel(), 0, kExpansionCount - 1);
    expansion_->button(level)->setChecked(true);
    // Tab reaches the group at its selected option (the buttons do the same
    // among themselves once one of them has had the focus).
    for (QAbstractButton* option : expansion_->buttons())
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus
                                                   : Qt::FocusPolicy(Qt::StrongFocus & ~Qt::TabFocus));
    chkCheckLists_->setChecked(settings_.CheckListsBeforeScanning());
    chkShowScanComplete_->setChecked(settings_.ShowScanComplete());
    txtDnsServers_->setText(settings_.RetrieveOption(kDnsServersOption));
}

SettingsForm::~SettingsForm() = default;

void SettingsForm::ShowQueries(int value)
{
    lblQueries_->setText(tr("%1 Queries").arg(value));
}

void SettingsForm::tabChanged(int index)
{
    const bool servers = tabs_->tabBar()->tabData(index).toString() == kServersKey;
    for (QPushButton* button : {cmdAdd_, cmdEdit_, cmdDelete_}) button->setVisible(servers);
}

void SettingsForm::FillServerList()
{
    const QFontMetrics metrics = fontMetrics();
    QHeaderView* header = lstServers_->horizontalHeader();
    header->resizeSection(0, metrics.horizontalAdvance(QStringLiteral("XXXX")));
    const int wide = metrics.horizontalAdvance(QString(21, QLatin1Char('X')));
    header->resizeSection(1, wide);
    header->resizeSection(2, wide);

    for (const ServerPtr& server : settings_.BlacklistServers()) {
        AppendRow(server->Zone(), server->Enabled(), server->Name());
        SetRowKind(lstServers_->rowCount() - 1, *server);
    }
    lstServers_->resizeColumnToContents(1);
}

void SettingsForm::AppendRow(const QString& zone, bool ticked, const QString& name)
{
    const int row = lstServers_->rowCount();
    lstServers_->insertRow(row);
    for (int column = 0; column < 4; ++column) {
        auto* item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        lstServers_->setItem(row, column, item);
    }
    SetRow(row, zone, ticked, name);
}

void SettingsForm::SetRow(int row, const QString& zone, bool ticked, const QString& name)
{
    QTableWidgetItem* check = lstServers_->item(row, 0);
    check->setData(kZoneRole, zone);
    check->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    lstServers_->item(row, 1)->setText(name);
    lstServers_->item(row, 2)->setText(zone);
}

void SettingsForm::SetRowKind(int row, const Server& server)
{
    QString kind = server.IsDomainList() ? tr("Domain list") : tr("IP list");
    if (!server.IsDomainList() && server.AnswersIPv6()) kind += tr(", IPv6");
    // The scan leaves such a list out with only a note; here the user sees
    // it before scanning.
    const bool keyMissing = server.NeedsKey() && settings_.ZoneToAsk(server).isEmpty();
    if (keyMissing) kind += tr(", no key");
    QTableWidgetItem* kindItem = lstServers_->item(row, 3);
    kindItem->setText(kind);
    kindItem->setIcon(keyMissing ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    const QString tip = keyMissing ? tr("No access key %1 is set: this list is skipped until one is. Edit the "
                                        "server to set it.")
                                         .arg(server.KeyName())
                                   : QString();
    for (int column = 1; column < lstServers_->columnCount(); ++column) lstServers_->item(row, column)->setToolTip(tip);
}

void SettingsForm::LoadEditor(AddEditServer& editor, const Server& server) const
{
    editor.setServerName(server.Name());
    editor.setURL(server.URL());
    editor.setBitMapped(server.BitMapCodedResults());
    editor.setDomainList(server.IsDomainList());
    editor.setAnswersIPv6(server.AnswersIPv6());
    editor.setSelfTest(server.SelfTest());
    editor.setPublic(server.Public());
    editor.setDnsServers(server.DnsServers());
    editor.setKeyName(server.StoredKeyName());
    editor.LoadResultCodes(server.ResultCodes());
}

void SettingsForm::ReadEditor(const AddEditServer& editor, Server& server) const
{
    server.setName(editor.ServerName());
    server.setURL(editor.URL());
    server.setBitMapCodedResults(editor.BitMapped());
    server.setKind(editor.DomainList() ? Server::ListKind::DomainList : Server::ListKind::IPList);
    server.setAnswersIPv6(editor.AnswersIPv6());
    server.setSelfTest(editor.SelfTest());
    server.setPublic(editor.Public());
    server.setDnsServers(editor.DnsServers());
    // The key name means something only beside the placeholder.
    if (editor.NeedsKey()) server.setKeyName(editor.KeyName());
    editor.SyncResultCodes(server.ResultCodes());
}

void SettingsForm::StoreKey(const AddEditServer& editor, const Server& server)
{
    if (!server.NeedsKey() || !editor.AccessKeyChanged()) return;
    const QString name = server.KeyName();
    openingKeys_.append({name, settings_.StoredAccessKey(name)});
    if (!settings_.SaveAccessKey(name, editor.AccessKey()))
        prompts_.Message(tr("The access key %1 could not be stored: %2")
                             .arg(name, WindowText::Of(settings_.OptionRegistry().LastError())),
                         DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
}

QString SettingsForm::RowZone(int row) const
{
    return lstServers_->item(row, 0)->data(kZoneRole).toString();
}

bool SettingsForm::RowTicked(int row) const
{
    return lstServers_->item(row, 0)->checkState() == Qt::Checked;
}

void SettingsForm::ToggleRow(int row)
{
    QTableWidgetItem* check = lstServers_->item(row, 0);
    check->setCheckState(check->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void SettingsForm::AddServer()
{
    AddEditServer editor(prompts_, this);
    editor.setPlacementRegistry(&settings_.OptionRegistry());
    Servers& held = settings_.BlacklistServers();
    editor.setZoneTaken([&held](const QString& zone) { return held.Item(zone) != nullptr; });
    runEditor_(editor);
    if (editor.result() != QDialog::Accepted) return;

    AppendRow(editor.Server(), true, editor.ServerName());
    const int row = lstServers_->rowCount() - 1;
    lstServers_->setCurrentCell(row, 1);
    lstServers_->scrollToItem(lstServers_->item(row, 1));
    auto server = std::make_shared<Server>();
    server->setZone(editor.Server());
    server->setEnabled(true);
    ReadEditor(editor, *server);
    held.Add(server);
    StoreKey(editor, *server);
    SetRowKind(row, *server);
}

// The collection files a server under the zone it was added with, while the
// rows, OK, Delete, later edits and the scan's result look-ups all find it by
// its current zone. So an edit that changes the zone refiles the server
// under the new zone in place (Servers::ChangeZone), keeping its position and
// every reference to it. The editor itself refuses a zone another server
// holds, with the checks an added server gets. A row whose zone no longer
// finds a server is skipped.
void SettingsForm::EditServer()
{
    EditRow(rememberedRow_);
}

void SettingsForm::EditRow(int row)
{
    if (row < 0 || row >= lstServers_->rowCount()) return;
    Servers& servers = settings_.BlacklistServers();
    const ServerPtr server = servers.Item(RowZone(row));
    if (!server) return;

    AddEditServer editor(prompts_, this);
    editor.setPlacementRegistry(&settings_.OptionRegistry());
    editor.setServer(server->Zone());
    LoadEditor(editor, *server);
    editor.setAccessKey(settings_.StoredAccessKey(server->KeyName()));
    editor.setKeyGivenElsewhere(settings_.StoredAccessKey(server->KeyName()).isEmpty()
                                && !settings_.AccessKey(server->KeyName()).isEmpty());
    editor.setZoneTaken([&servers, server](const QString& zone) {
        const ServerPtr holder = servers.Item(zone);
        return holder && holder != server;
    });
    runEditor_(editor);
    if (editor.result() != QDialog::Accepted || !editor.Dirty()) return;
    const QString zone = editor.Server().trimmed();
    if (!servers.ChangeZone(server, zone)) return;
    // An edited server is one the user wants asked.
    SetRow(row, zone, true, editor.ServerName());
    ReadEditor(editor, *server);
    StoreKey(editor, *server);
    SetRowKind(row, *server);
}

void SettingsForm::DeleteServer()
{
    DeleteRow(rememberedRow_);
    rememberedRow_ = -1;
}

void SettingsForm::DeleteRow(int row)
{
    if (row < 0 || row >= lstServers_->rowCount()) return;
    const QString zone = RowZone(row);
    const QString name = lstServers_->item(row, 1)->text();
    if (prompts_.Message(tr("Delete the blacklist server %1 (%2)?").arg(name, zone), DisplayTitle(),
                         UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question)
        != UserPrompts::Answer::Yes)
        return;
    lstServers_->removeRow(row);
    settings_.BlacklistServers().Remove(zone);
}

void SettingsForm::done(int result)
{
    KeepDialogPlace(*this, QStringLiteral("SettingsForm"), &settings_.OptionRegistry());
    QDialog::done(result);
}

void SettingsForm::reject()
{
    // Adds, edits and deletions went to the live collection as they were
    // made; Cancel takes every one of them back, in the order of opening.
    Servers& servers = settings_.BlacklistServers();
    servers.Clear();
    for (const KeptServer& kept : std::as_const(opening_)) {
        AssignServer(*kept.server, *kept.values);
        servers.Add(kept.server);
    }
    for (auto key = openingKeys_.crbegin(); key != openingKeys_.crend(); ++key)
        settings_.SaveAccessKey(key->first, key->second);
    openingKeys_.clear();
    QDialog::reject();
}

std::optional<QString> SettingsForm::CheckedDnsServers()
{
    const QStringList entries = SplitDnsServers(txtDnsServers_->text());
    if (const std::optional<QString> bad = FirstBadDnsServer(txtDnsServers_->text())) {
        prompts_.Message(badDnsServerText(*bad), DisplayTitle(), UserPrompts::Buttons::Ok,
                         UserPrompts::Icon::Exclamation);
        tabs_->setCurrentIndex(0);
        txtDnsServers_->setFocus(Qt::OtherFocusReason);
        return std::nullopt;
    }
    return entries.join(QStringLiteral(", "));
}

void SettingsForm::okClicked()
{
    // Checked first, so a wrong entry leaves every option as it was.
    const std::optional<QString> dnsServers = CheckedDnsServers();
    if (!dnsServers) return;

    settings_.ClearLastError();
    settings_.setMaxQueries(hsbMaxQueries_->value());
    settings_.setExpansionLevel(std::max(expansion_->checkedId(), 0));
    settings_.setCheckListsBeforeScanning(chkCheckLists_->isChecked());
    settings_.setShowScanComplete(chkShowScanComplete_->isChecked());
    if (*dnsServers != settings_.RetrieveOption(kDnsServersOption))
        settings_.SaveOption(kDnsServersOption, *dnsServers);
    // The options hold for this run either way; the user must know they
    // will not be there at the next start.
    if (!settings_.LastError().isEmpty())
        prompts_.Message(settings_.LastError(), DisplayTitle(), UserPrompts::Buttons::Ok,
                         UserPrompts::Icon::Exclamation);
    Servers& servers = settings_.BlacklistServers();
    for (int row = 0; row < lstServers_->rowCount(); ++row)
        if (const ServerPtr server = servers.Item(RowZone(row))) server->setEnabled(RowTicked(row));
    // The file holds the user's servers in a form the program could not
    // read: it is replaced only when the user says so, and kept aside then.
    if (!damagedFile_.isEmpty()) {
        const QString question =
            Paragraphs({damage_,
                        tr("Save the server list shown here over this file? The file as it is now is kept as %1.")
                            .arg(damagedFile_ + QStringLiteral(".bak")),
                        tr("No keeps the file; the server changes then hold until the program ends.")});
        if (prompts_.Message(question, DisplayTitle(), UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question)
            != UserPrompts::Answer::Yes) {
            accept();
            return;
        }
    }
    // Said out loud on purpose: a silent failure would lose every server
    // change at the next start. The dialog stays open to try again; Cancel
    // then takes the changes back.
    if (!servers.Sync()) {
        prompts_.Message(servers.LastError()
                             + tr("\n\nThe server changes are not saved. Press OK to try again, or Cancel to "
                                  "drop them."),
                         DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
        return;
    }
    serversSaved_ = true;
    damagedFile_.clear();
    accept();
}

void SettingsForm::setDamagedConfiguration(const QString& file, const QString& problem)
{
    damagedFile_ = file;
    damage_ = problem;
}

bool SettingsForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstServers_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            if (lstServers_->currentRow() >= 0) ToggleRow(lstServers_->currentRow());
            return true;
        }
        if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
            EditRow(lstServers_->currentRow());
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            DeleteRow(lstServers_->currentRow());
            return true;
        }
    }
    if (watched != lstServers_->viewport()) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // Every click counts, so a quick second click toggles back.
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = lstServers_->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && index.isValid() && index.column() == 0) ToggleRow(index.row());
        break;
    }
    case QEvent::ContextMenu: {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        int row = -1;
        QPoint at;
        if (menuEvent->reason() == QContextMenuEvent::Mouse) {
            row = lstServers_->rowAt(menuEvent->pos().y());
            at = menuEvent->globalPos();
        } else if ((row = lstServers_->currentRow()) >= 0) {
            // The menu key works on the current row.
            at = lstServers_->viewport()->mapToGlobal(
                lstServers_->visualRect(lstServers_->model()->index(row, 1)).center());
        }
        // The heading is a widget of its own; below the rows there is no row.
        if (row >= 0) {
            rememberedRow_ = row;
            popup_->popup(at);
        }
        return true;
    }
    default: break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quarlo
