#include "ui/AddAddressesForm.h"

#include "common/IpFunctions.h"
#include "common/IpRange.h"
#include "common/NameFunctions.h"
#include "model/Settings.h"
#include "model/TargetResolution.h"
#include "scan/Addresslist.h"
#include "scan/TargetLookup.h"
#include "ui/AccessibleNames.h"
#include "ui/ButtonIcons.h"
#include "ui/EntryGrid.h"
#include "ui/FormPlacement.h"
#include "ui/WidgetPrompts.h"
#include "ui/WindowText.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace quarlo {
namespace {

const QColor kGreen(0x00, 0x88, 0x00);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

// Kept beside the text in each cell; shown as the tooltip of its row.
constexpr int kExplanationRole = Qt::UserRole + 1;
// The serial number of the row's entry; none while the row is blank or being
// edited.
constexpr int kSerialRole = Qt::UserRole + 2;

QString emptyRowHint()
{
    return QCoreApplication::translate("AddAddressesForm",
                                       "Enter a hostname or IP address and then press Enter or Tab");
}

QString validIpText()
{
    return QCoreApplication::translate("AddAddressesForm", "This is green because you entered a valid IP address");
}

QString resolvedText(const QString& name, const QString& answer)
{
    return QCoreApplication::translate("AddAddressesForm", "This is green because '%1' resolves to %2")
        .arg(name, answer);
}

QString unresolvedText(const QString& name)
{
    return QCoreApplication::translate("AddAddressesForm",
                                       "This is red because DNS could not resolve '%1' to an IP address. You probably "
                                       "want to change this hostname before clicking on the OK button")
        .arg(name);
}

QString nullMxText(const QString& domain)
{
    return QCoreApplication::translate("AddAddressesForm",
                                       "This is red because '%1' accepts no mail: its mail exchanger record is a null "
                                       "MX (\".\"), so there is no mail server to check")
        .arg(domain);
}

// The DNS text itself stays out of the tooltip: it is the sender's choice,
// and tooltips render what looks like markup.
QString invalidMxText(const QString& domain)
{
    return QCoreApplication::translate("AddAddressesForm",
                                       "This is red because '%1' has no valid mail exchanger: its "
                                       "mail exchanger record does not name a host")
        .arg(domain);
}

} // namespace

AddAddressesForm::AddAddressesForm(Addresslist& list, Settings& settings, QWidget* parent)
    : QDialog(parent), list_(list), settings_(settings), lookup_(list.NewTargetLookup()),
      widgetPrompts_(std::make_unique<WidgetPrompts>(this)), prompts_(widgetPrompts_.get())
{
    setWindowTitle(tr("Add New Addresses ..."));
    setModal(true);

    title_ = new QLabel(tr("Enter Hostnames or IP Addresses of E-Mail servers, firewalls, etc. to check. "
                           "You may also enter E-Mail addresses."),
                        this);
    title_->setObjectName(QStringLiteral("Title"));
    title_->setWordWrap(true);

    table_ = new EntryGrid(1, 1, false, this);
    table_->setObjectName(QStringLiteral("Table"));
    table_->horizontalHeader()->hide();
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
                            | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    // Tab inside an editor ends the entry; outside one it leaves the grid.
    table_->setTabKeyNavigation(false);
    table_->setMouseTracking(true);
    table_->viewport()->setMouseTracking(true);
    table_->viewport()->installEventFilter(this);
    table_->editStarted = [this](int row) { EditStarted(row); };
    table_->editEnded = [this](const QModelIndex& index, bool) { EditEnded(index.row()); };

    const auto makeTool = [this](const QString& name, const QString& caption, const QString& icon,
                                 QKeySequence::StandardKey key, void (AddAddressesForm::*handler)()) {
        auto* action = new QAction(ButtonIcons::Named(icon), caption, this);
        action->setObjectName(name);
        action->setProperty("category", QStringLiteral("Edit"));
        action->setShortcut(key);
        // The shortcuts belong to the grid; elsewhere (the check box) they
        // would surprise.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, handler);
        table_->addAction(action);
        return action;
    };
    cut_ = makeTool(QStringLiteral("Cut"), tr("C&ut"), QStringLiteral("edit-cut"), QKeySequence::Cut,
                    &AddAddressesForm::cutEntry);
    copy_ = makeTool(QStringLiteral("Copy"), tr("&Copy"), QStringLiteral("edit-copy"), QKeySequence::Copy,
                     &AddAddressesForm::copyEntry);
    paste_ = makeTool(QStringLiteral("Paste"), tr("&Paste"), QStringLiteral("edit-paste"), QKeySequence::Paste,
                      &AddAddressesForm::pasteEntries);
    delete_ = makeTool(QStringLiteral("Delete"), tr("&Delete"), QStringLiteral("edit-delete"), QKeySequence::Delete,
                       &AddAddressesForm::deleteEntry);

    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("Toolbar"));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar_->addActions({cut_, copy_, paste_, delete_});

    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("AddEditPopup"));
    popup_->addActions({cut_, copy_, paste_, delete_});

    chkAutoStartScan_ = new QCheckBox(tr("Auto Start Scan"), this);
    chkAutoStartScan_->setObjectName(QStringLiteral("chkAutoStartScan"));
    chkAddIPv6_ = new QCheckBox(tr("Add IPv6 Addresses"), this);
    chkAddIPv6_->setObjectName(QStringLiteral("chkAddIPv6"));
    chkAddIPv6_->setToolTip(tr("Also add the IPv6 addresses of the host names and mail servers you enter"));

    cmdOK_ = new QPushButton(tr("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setToolTip(tr("OK to add these host(s) to the watch list"));
    cmdCancel_ = new QPushButton(tr("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel_->setToolTip(tr("Abort adding these host(s) to the watch lists"));
    // Enter finishes an entry in the grid; it must not also close the dialog.
    cmdOK_->setAutoDefault(false);
    cmdCancel_->setAutoDefault(false);
    connect(cmdOK_, &QPushButton::clicked, this, &AddAddressesForm::okClicked);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(chkAutoStartScan_);
    buttons->addWidget(chkAddIPv6_);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar_);
    layout->addWidget(title_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    PlaceDialog(*this, QStringLiteral("AddAddressesForm"), QSize(460, 360), &settings_.OptionRegistry());

    connect(lookup_.get(), &TargetLookup::Looked, this, &AddAddressesForm::onLooked);
    chkAutoStartScan_->setChecked(settings_.AutoStartScan());
    chkAddIPv6_->setChecked(settings_.RetrieveOption(kAddIPv6Option, 0).toInt() != 0);
    // Ticked later: the host names already entered are looked up again.
    connect(chkAddIPv6_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) return;
        for (int row = 0; row < table_->rowCount(); ++row) {
            const QTableWidgetItem* item = table_->item(row, 0);
            const QString text = item ? item->text() : QString();
            if (text.isEmpty() || text.contains(QLatin1Char('@')) || IsValidIP(text) || IsIPv6Literal(text)
                || IpRange::LooksLikeRange(text) || !item->data(kSerialRole).isValid())
                continue;
            LookupEntry(text, item->data(kSerialRole).toString());
        }
    });

    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &AddAddressesForm::updatePasteTool);
    updatePasteTool();
    EnsureBlankRow();
    NameBuiltInButtons(*this);
}

AddAddressesForm::~AddAddressesForm()
{
    detachGrid();
    release();
}

void AddAddressesForm::done(int result)
{
    KeepDialogPlace(*this, QStringLiteral("AddAddressesForm"), &settings_.OptionRegistry());
    // Whatever is still being typed is dropped on Cancel; OK has finished it.
    detachGrid();
    release();
    QDialog::done(result);
}

void AddAddressesForm::setAutoStartOffered(bool offered)
{
    autoStartOffered_ = offered;
    chkAutoStartScan_->setVisible(offered);
}

int AddAddressesForm::EntryCount() const
{
    int count = 0;
    for (int row = 0; row < table_->rowCount(); ++row)
        if (const QTableWidgetItem* item = table_->item(row, 0); item && !item->text().trimmed().isEmpty()) ++count;
    // Typing into the blank row is an entry the grid does not hold yet.
    QModelIndex edited;
    if (const std::optional<QString> typed = table_->openEditorText(&edited); typed && !typed->trimmed().isEmpty()) {
        const QTableWidgetItem* item = table_->item(edited.row(), 0);
        if (!item || item->text().trimmed().isEmpty()) ++count;
    }
    return count;
}

void AddAddressesForm::reject()
{
    // A long paste is a lot of work to lose to one key.
    const int entries = EntryCount();
    if (entries > 0) {
        const QString question = entries == 1 ? tr("Discard 1 entry?") : tr("Discard %1 entries?").arg(entries);
        if (prompts_->Message(question, windowTitle(), UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question)
            != UserPrompts::Answer::Yes)
            return;
    }
    QDialog::reject();
}

void AddAddressesForm::release()
{
    if (!lookup_) return;
    lookup_->disconnect(this);
    lookup_->Clear();
}

void AddAddressesForm::detachGrid()
{
    table_->detach();
}

QTableWidgetItem* AddAddressesForm::cell(int row) const
{
    QTableWidgetItem* item = table_->item(row, 0);
    if (!item) {
        item = new QTableWidgetItem;
        item->setForeground(kBlack);
        table_->setItem(row, 0, item);
    }
    return item;
}

void AddAddressesForm::setColour(int row, const QColor& colour)
{
    cell(row)->setForeground(colour);
}

void AddAddressesForm::setExplanation(int row, const QString& explanation)
{
    cell(row)->setData(kExplanationRole, explanation);
}

bool AddAddressesForm::isGreen(int row) const
{
    return cell(row)->foreground().color() == kGreen;
}

QString AddAddressesForm::newEntryTag(int row)
{
    forgetEntry(row);
    const int serial = nextSerial_++;
    cell(row)->setData(kSerialRole, serial);
    entryRows_.insert(serial, row);
    return QString::number(serial);
}

void AddAddressesForm::forgetEntry(int row)
{
    QTableWidgetItem* item = table_->item(row, 0);
    if (!item) return;
    const QVariant serial = item->data(kSerialRole);
    if (!serial.isValid()) return;
    entryRows_.remove(serial.toInt());
    item->setData(kSerialRole, QVariant());
    // Nothing more is looked up for it (an e-mail address's mail servers).
    if (lookup_) lookup_->Forget(serial.toString());
}

void AddAddressesForm::removeEntry(int row)
{
    forgetEntry(row);
    table_->removeRow(row);
}

int AddAddressesForm::rowForTag(const QString& tag)
{
    if (tag.isEmpty() || tag.size() > 9) return -1;
    for (const QChar c : tag)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return -1;
    const int serial = tag.toInt();
    const auto found = entryRows_.find(serial);
    if (found == entryRows_.end()) return -1;
    for (int row = std::min(found.value(), table_->rowCount() - 1); row >= 0; --row) {
        const QTableWidgetItem* item = table_->item(row, 0);
        if (item && item->data(kSerialRole) == QVariant(serial)) {
            found.value() = row;
            return row;
        }
    }
    entryRows_.erase(found);
    return -1;
}

void AddAddressesForm::EnsureBlankRow()
{
    const int rows = table_->rowCount();
    if (rows > 0 && cell(rows - 1)->text().isEmpty()) return;
    table_->insertRow(rows);
    cell(rows);
    table_->setCurrentCell(rows, 0);
}

void AddAddressesForm::EditStarted(int row)
{
    // Whatever is typed now is a new entry; replies for the old one are not
    // for it.
    forgetEntry(row);
    setColour(row, kBlack);
    setExplanation(row, QString());
}

void AddAddressesForm::EditEnded(int row)
{
    QTableWidgetItem* item = cell(row);
    const QString text = item->text().trimmed();
    item->setText(text);
    QString refusal;
    if (text.isEmpty()) {
        removeEntry(row);
    } else if (IpRange::LooksLikeRange(text)) {
        newEntryTag(row);
        if (const std::optional<IpRange> range = IpRange::Parse(text, &refusal)) {
            setColour(row, kGreen);
            setExplanation(row,
                           tr("This is green because you entered a network range: %1, %2 addresses from %3 to %4")
                               .arg(range->Text(), IpRange::Grouped(range->Count()), IpRange::ToText(range->First()),
                                    IpRange::ToText(range->Last())));
        } else {
            setColour(row, kRed);
            setExplanation(row, tr("This is red because %1").arg(WindowText::Of(refusal)));
        }
    } else if (IsValidIP(text)) {
        newEntryTag(row);
        setColour(row, kGreen);
        setExplanation(row, validIpText());
    } else if (HasIPv6ZoneIndex(text)) {
        newEntryTag(row);
        setColour(row, kRed);
        setExplanation(row,
                       tr("This is red because an IPv6 address with a zone index (%...) names a network interface "
                          "of this computer; enter the address without it"));
    } else if (IsIPv6Literal(text)) {
        newEntryTag(row);
        setColour(row, kGreen);
        const QString mapped = MappedIPv4(text);
        setExplanation(
            row,
            mapped.isEmpty()
                ? tr("This is green because you entered a valid IPv6 address")
                : tr("This is green because you entered an IPv4-mapped IPv6 address; it is checked as %1").arg(mapped));
    } else {
        setColour(row, kBlack);
        LookupEntry(text, newEntryTag(row));
    }
    EnsureBlankRow();
}

void AddAddressesForm::LookupEntry(const QString& text, const QString& tag)
{
    if (!lookup_) return;
    lookup_->setOptions({.ipv6 = chkAddIPv6_->isChecked(), .allMailExchangers = false});
    if (lookup_->Look(tag, text)) return;
    // Nothing DNS could be asked: the name itself is no name.
    const int row = rowForTag(tag);
    if (row < 0) return;
    setColour(row, kRed);
    setExplanation(row, unresolvedText(text));
}

void AddAddressesForm::onLooked(const QString& tag, const TargetResolution& resolution)
{
    const int row = rowForTag(tag);
    if (row < 0) return;
    const QString text = cell(row)->text();
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    const QString name = at >= 0 ? text.mid(at + 1) : text;
    QStringList ipv4;
    for (const TargetResolution::Ip& ip : resolution.addresses)
        if (!ip.address.contains(QLatin1Char(':')) && ipv4.size() < 4) ipv4.append(ip.address);
    switch (resolution.outcome) {
    case TargetResolution::Outcome::Resolved: {
        setColour(row, kGreen);
        const QString shown = ipv4.isEmpty() ? resolution.addresses.front().address : ipv4.join(QStringLiteral(", "));
        // A domain that takes its own mail (no MX) reads like a host.
        const bool ownMail =
            resolution.mailHosts.size() == 1 && resolution.mailHosts.front().compare(name, Qt::CaseInsensitive) == 0;
        if (at < 0 || resolution.mailHosts.isEmpty() || ownMail)
            setExplanation(row, resolvedText(name, shown));
        else
            setExplanation(row,
                           tr("This is green because the mail server of '%1' is %2, which resolves to %3")
                               .arg(name, resolution.mailHosts.join(QStringLiteral(", ")), shown));
        if (at < 0) addIPv6Entries(row, resolution);
        break;
    }
    case TargetResolution::Outcome::NoMail:
        setColour(row, kRed);
        setExplanation(row, nullMxText(name));
        break;
    case TargetResolution::Outcome::Failed:
        setColour(row, kRed);
        setExplanation(row,
                       resolution.problem.startsWith(QLatin1String("no valid mail exchanger")) ? invalidMxText(name)
                                                                                               : unresolvedText(name));
        break;
    case TargetResolution::Outcome::Unresolvable:
        setColour(row, kRed);
        setExplanation(row, unresolvedText(name));
        break;
    }
}

void AddAddressesForm::addIPv6Entries(int hostRow, const TargetResolution& resolution)
{
    if (!chkAddIPv6_->isChecked()) return;
    const QString host = cell(hostRow)->text();
    QStringList held;
    for (int row = 0; row < table_->rowCount(); ++row)
        if (const QTableWidgetItem* item = table_->item(row, 0)) held.append(item->text().toLower());
    for (const TargetResolution::Ip& ip : resolution.addresses) {
        const QString address = ip.address;
        // An address already entered is not added twice.
        if (!address.contains(QLatin1Char(':')) || held.contains(address.toLower())) continue;
        held.append(address.toLower());
        // Placed above the blank last row (which may be being typed in), so
        // no entry with a tag moves down.
        EnsureBlankRow();
        const int row = table_->rowCount() - 1;
        table_->insertRow(row);
        cell(row)->setText(address);
        newEntryTag(row);
        setColour(row, kGreen);
        setExplanation(row, tr("This is green because it is an IPv6 address of %1").arg(host));
    }
}

void AddAddressesForm::okClicked()
{
    table_->finishEditing();
    QStringList refused;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QString text = cell(row)->text();
        if (text.isEmpty()) continue;
        if (!IpRange::LooksLikeRange(text)) {
            list_.AddTarget(text);
            continue;
        }
        QString why;
        const std::optional<IpRange> range = IpRange::Parse(text, &why);
        if (!range) {
            refused.append(WindowText::Of(why));
            continue;
        }
        if (list_.Count() + range->Count() > TargetLimits::kMaxTargets) {
            refused.append(tr("%1: the list would hold more than %2 addresses")
                               .arg(range->Text(), IpRange::Grouped(TargetLimits::kMaxTargets)));
            continue;
        }
        // A short typing slip ("/16" for "/26") must not flood the list.
        if (range->Count() > kConfirmAbove
            && prompts_->Message(tr("Add all %1 addresses of %2?").arg(IpRange::Grouped(range->Count()), range->Text()),
                                 windowTitle(), UserPrompts::Buttons::YesNo, UserPrompts::Icon::Question)
                != UserPrompts::Answer::Yes)
            continue;
        list_.AddRange(*range);
    }
    if (!refused.isEmpty())
        prompts_->Message(tr("These ranges were not added:\n\n") + refused.join(QLatin1Char('\n')), windowTitle(),
                          UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
    if (autoStartOffered_) settings_.setAutoStartScan(chkAutoStartScan_->isChecked());
    settings_.SaveOption(kAddIPv6Option, chkAddIPv6_->isChecked() ? 1 : 0);
    canceled_ = false;
    accept();
}

void AddAddressesForm::copyEntry()
{
    table_->finishEditing();
    const int row = table_->currentRow();
    if (row < 0) return;
    QGuiApplication::clipboard()->setText(cell(row)->text());
}

void AddAddressesForm::cutEntry()
{
    table_->finishEditing();
    if (table_->currentRow() < 0) return;
    copyEntry();
    deleteEntry();
}

void AddAddressesForm::deleteEntry()
{
    table_->finishEditing();
    const int row = table_->currentRow();
    if (row < 0) return;
    removeEntry(row);
    EnsureBlankRow();
}

void AddAddressesForm::pasteEntries()
{
    table_->finishEditing();
    const QString text = QGuiApplication::clipboard()->text().trimmed();
    if (text.isEmpty()) return;
    // Lines end in "\r\n" when they come from Windows programs; Linux
    // clipboards use a plain "\n". Both count.
    static const QRegularExpression lineEnd(QStringLiteral("\r?\n"));
    for (const QString& line : text.split(lineEnd)) {
        const int row = table_->rowCount() - 1;
        cell(row)->setText(line.trimmed());
        EditEnded(row);
    }
}

void AddAddressesForm::updatePasteTool()
{
    paste_->setEnabled(!QGuiApplication::clipboard()->text().trimmed().isEmpty());
}

void AddAddressesForm::showPopup(const QPoint& viewportPos, bool fromMouse)
{
    if (fromMouse) {
        const int row = table_->rowAt(viewportPos.y());
        if (row >= 0) table_->setCurrentCell(row, 0);
    }
    updatePasteTool();
    popup_->popup(table_->viewport()->mapToGlobal(viewportPos));
}

QString AddAddressesForm::hoverText(const QPoint& viewportPos) const
{
    const int row = table_->rowAt(viewportPos.y());
    if (row < 0 || cell(row)->text().isEmpty()) return emptyRowHint();
    return cell(row)->data(kExplanationRole).toString();
}

bool AddAddressesForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != table_->viewport()) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        table_->viewport()->setToolTip(hoverText(static_cast<QMouseEvent*>(event)->position().toPoint()));
        break;
    case QEvent::ToolTip: {
        // Shown here: the view would show the (absent) tooltip of the item.
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = table_->viewport()->toolTip();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            // As rich text the tip wraps to the screen instead of running off
            // its edge; the explanation's own text is escaped.
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>"),
                               table_->viewport());
        return true;
    }
    case QEvent::ContextMenu: {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        const bool fromMouse = menuEvent->reason() == QContextMenuEvent::Mouse;
        const QPoint pos = fromMouse ? menuEvent->pos() : table_->visualItemRect(table_->currentItem()).center();
        showPopup(pos, fromMouse);
        return true;
    }
    default: break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quarlo
