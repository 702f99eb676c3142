#include "ui/AddEditServer.h"

#include "common/AppInfo.h"
#include "common/IpFunctions.h"
#include "common/NameFunctions.h"
#include "common/UserPrompts.h"
#include "model/ResultCodes.h"
#include "model/Server.h"
#include "model/Settings.h"
#include "scan/DnsServers.h"
#include "ui/FormPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

namespace quarlo {
namespace {

// The name box's starting text, in the user's language.
QString namePlaceholder()
{
    return QCoreApplication::translate("AddEditServer", "Server Name");
}
const QString kZonePlaceholder = QStringLiteral("xxx.xxx.xxx");
const QString kURLPrefix = QStringLiteral("http://");
const QString kFormName = QStringLiteral("AddEditServer");

QString invalidResponseText()
{
    return QCoreApplication::translate("AddEditServer", "Reponses must be valid IP addresses");
}

constexpr int kResponseColumn = 0;
constexpr int kDefinitionColumn = 1;
// A check box per row: ticked for an operator's refusal or error answer.
constexpr int kNotListingColumn = 2;
// The columns edited as text; Tab in an editor moves among these only.
constexpr int kTextColumns = 2;

// Names the entry the scan asks for, which differs by the list's kind.
QString selfTestCaption(bool domainList)
{
    return domainList ? QCoreApplication::translate("AddEditServer", "Has a test entry (\"test\" listed)")
                      : QCoreApplication::translate("AddEditServer", "Has a test entry (127.0.0.2 listed)");
}

// Key names become environment variable names and registry values; the
// command line takes the same length.
constexpr qsizetype kMaxKeyName = 64;

// The zone with the placeholder standing as an ordinary label, for the
// checks a zone gets.
QString zoneWithKeyLabel(const QString& zone)
{
    QString plain = zone;
    return plain.replace(Server::kKeyPlaceholder, QStringLiteral("key"), Qt::CaseInsensitive);
}

} // namespace

// A line edit that reports focus arriving, focus leaving for another control
// and key presses before it handles them itself. Focus arriving is reported
// after QLineEdit's own handling, which selects the whole text on Tab: the
// caret rule of the home page box has to come after that.
class AddEditServer::TextBox : public QLineEdit {
public:
    std::function<void()> focusedIn;
    std::function<void()> left;
    std::function<void(QKeyEvent*)> keyPressed;

    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QLineEdit::focusInEvent(event);
        if (focusedIn) focusedIn();
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);
        // Switching to another window or opening a menu does not leave the box.
        const Qt::FocusReason reason = event->reason();
        if (left && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) left();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (keyPressed) keyPressed(event);
        QLineEdit::keyPressEvent(event);
    }
};

AddEditServer::AddEditServer(UserPrompts& prompts, QWidget* parent) : QDialog(parent), prompts_(prompts)
{
    setWindowTitle(tr("Add / Edit Server"));
    setModal(true);

    auto* frame = new QGroupBox(tr("Blacklist Server"), this);
    frame->setObjectName(QStringLiteral("fraServer"));
    txtServerName_ = new TextBox(namePlaceholder(), frame);
    txtServerName_->setObjectName(QStringLiteral("txtServerName"));
    txtServer_ = new TextBox(kZonePlaceholder, frame);
    txtServer_->setObjectName(QStringLiteral("txtServer"));
    txtURL_ = new TextBox(kURLPrefix, frame);
    txtURL_->setObjectName(QStringLiteral("txtURL"));
    chkBitMapped_ = new QCheckBox(tr("Bit Map Response Codes"), frame);
    chkBitMapped_->setObjectName(QStringLiteral("chkBitMapped"));
    cboListKind_ = new QComboBox(frame);
    cboListKind_->setObjectName(QStringLiteral("cboListKind"));
    cboListKind_->addItems({tr("IP list"), tr("Domain list")});
    chkIPv6_ = new QCheckBox(tr("Answers IPv6 queries"), frame);
    chkIPv6_->setObjectName(QStringLiteral("chkIPv6"));
    chkSelfTest_ = new QCheckBox(selfTestCaption(false), frame);
    chkSelfTest_->setObjectName(QStringLiteral("chkSelfTest"));
    chkSelfTest_->setChecked(true);
    chkSelfTest_->setToolTip(
        tr("Ticked, a scan first asks the list for its test entry and counts its \"not listed\" answers only when "
           "the entry is listed. Clear it only for a list that has no test entry."));
    // Domain lists are asked for names, never for addresses of either kind.
    connect(cboListKind_, &QComboBox::currentIndexChanged, this, [this](int index) {
        chkIPv6_->setEnabled(index == 0);
        chkSelfTest_->setText(selfTestCaption(index == 1));
    });

    // The placeholders are real text, so a server added without touching a
    // box gets the placeholder as its value.
    txtServerName_->keyPressed = [this](QKeyEvent* event) {
        if (txtServerName_->text() != namePlaceholder()) return;
        const QString typed = event->text();
        const bool character = !typed.isEmpty() && typed.at(0).isPrint();
        if (character || event->key() == Qt::Key_Backspace || event->matches(QKeySequence::Paste))
            txtServerName_->clear();
    };
    txtServer_->focusedIn = [this] {
        if (txtServer_->text() == kZonePlaceholder) txtServer_->clear();
    };
    txtURL_->focusedIn = [this] {
        if (txtURL_->text() == kURLPrefix) txtURL_->setCursorPosition(int(kURLPrefix.size()));
    };
    for (TextBox* box : {txtServerName_, txtServer_, txtURL_}) box->left = [this] { dirty_ = true; };

    chkPublic_ = new QCheckBox(tr("Public list (never sent private or reserved addresses)"), frame);
    chkPublic_->setObjectName(QStringLiteral("chkPublic"));
    chkPublic_->setToolTip(
        tr("Tick it for a list run by an outside operator: private, loopback, documentation and other "
           "special-purpose addresses are never sent to it and are reported as not applicable. Leave it clear "
           "for your own list or a local mirror, which are asked for every address."));
    txtDnsServers_ = new QLineEdit(frame);
    txtDnsServers_->setObjectName(QStringLiteral("txtDnsServers"));
    txtDnsServers_->setPlaceholderText(tr("the program's DNS servers"));
    txtDnsServers_->setToolTip(
        tr("The resolvers this list alone is asked through: IP addresses with an optional port, separated by "
           "commas (192.0.2.53, [2001:db8::53]:5353). Empty: the DNS servers of the settings."));
    auto* dnsLabel = new QLabel(tr("List's DNS servers"), frame);
    dnsLabel->setBuddy(txtDnsServers_);

    // The key boxes: only a zone with {key} in it has use for them.
    txtKeyName_ = new QLineEdit(frame);
    txtKeyName_->setObjectName(QStringLiteral("txtKeyName"));
    txtKeyName_->setMaxLength(int(kMaxKeyName));
    txtKeyName_->setToolTip(
        tr("The name the key is kept under; lists of one operator share it. Empty: the name the zone gives. "
           "quarlo-check takes the same key as --key NAME=KEY or QUARLO_KEY_NAME."));
    auto* keyNameLabel = new QLabel(tr("Access key name"), frame);
    keyNameLabel->setBuddy(txtKeyName_);
    txtKey_ = new QLineEdit(frame);
    txtKey_->setObjectName(QStringLiteral("txtKey"));
    txtKey_->setEchoMode(QLineEdit::Password);
    txtKey_->setMaxLength(255);
    txtKey_->setToolTip(tr("Your key for the operator's service; kept in your own settings, never in the "
                           "server list file."));
    auto* keyLabel = new QLabel(tr("Access key"), frame);
    keyLabel->setBuddy(txtKey_);
    cmdShowKey_ = new QToolButton(frame);
    cmdShowKey_->setObjectName(QStringLiteral("cmdShowKey"));
    cmdShowKey_->setCheckable(true);
    cmdShowKey_->setFocusPolicy(Qt::StrongFocus);
    connect(cmdShowKey_, &QToolButton::toggled, this, &AddEditServer::showKey);
    showKey(false);
    lblKeyNote_ = new QLabel(tr("No access key: this list is skipped until a key is set."), frame);
    lblKeyNote_->setObjectName(QStringLiteral("lblKeyNote"));
    lblKeyNote_->setWordWrap(true);
    auto* keyRow = new QHBoxLayout;
    keyRow->setContentsMargins(0, 0, 0, 0);
    keyRow->addWidget(txtKey_, 1);
    keyRow->addWidget(cmdShowKey_);
    keyFields_ = {keyNameLabel, txtKeyName_, keyLabel, txtKey_, cmdShowKey_};
    connect(txtServer_, &QLineEdit::textChanged, this, &AddEditServer::showKeyFields);
    connect(txtKey_, &QLineEdit::textChanged, this, &AddEditServer::showKeyFields);

    auto* fields = new QGridLayout(frame);
    fields->addWidget(new QLabel(tr("Blacklist Server Name"), frame), 0, 0);
    fields->addWidget(txtServerName_, 0, 1);
    fields->addWidget(new QLabel(tr("DNS Domain"), frame), 1, 0);
    fields->addWidget(txtServer_, 1, 1);
    fields->addWidget(new QLabel(tr("Homepage URL"), frame), 2, 0);
    fields->addWidget(txtURL_, 2, 1);
    fields->addWidget(chkBitMapped_, 3, 1);
    auto* kindLabel = new QLabel(tr("List Kind"), frame);
    kindLabel->setBuddy(cboListKind_);
    fields->addWidget(kindLabel, 4, 0);
    fields->addWidget(cboListKind_, 4, 1);
    fields->addWidget(chkIPv6_, 5, 1);
    fields->addWidget(chkSelfTest_, 6, 1);
    fields->addWidget(chkPublic_, 7, 1);
    fields->addWidget(dnsLabel, 8, 0);
    fields->addWidget(txtDnsServers_, 8, 1);
    fields->addWidget(keyNameLabel, 9, 0);
    fields->addWidget(txtKeyName_, 9, 1);
    fields->addWidget(keyLabel, 10, 0);
    fields->addLayout(keyRow, 10, 1);
    fields->addWidget(lblKeyNote_, 11, 1);
    fields->setColumnStretch(1, 1);
    showKeyFields();

    auto* tableLabel = new QLabel(tr("Response Definitions"), this);
    table_ = new EntryGrid(3, kTextColumns, true, this);
    table_->setObjectName(QStringLiteral("Table"));
    table_->setHorizontalHeaderLabels({tr("Response"), tr("Definition"), tr("Not a listing")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(kDefinitionColumn, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(kNotListingColumn, QHeaderView::ResizeToContents);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
                            | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    // Tab inside an editor moves to the next cell; outside one it leaves the
    // table for the buttons.
    table_->setTabKeyNavigation(false);
    table_->viewport()->installEventFilter(this);
    table_->acceptEdit = [this](const QModelIndex& index, const QString& text) { return AcceptEdit(index, text); };
    table_->editEnded = [this](const QModelIndex& index, bool committed) {
        if (committed) EditCommitted(index);
    };
    // Rows are built with their boxes already set (placing an item reports
    // no role), so a check state change is the user's.
    connect(table_->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole)) dirty_ = true;
            });
    tableLabel->setBuddy(table_);

    delete_ = new QAction(tr("&Delete"), this);
    delete_->setObjectName(QStringLiteral("Delete"));
    connect(delete_, &QAction::triggered, this, &AddEditServer::deleteRow);
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("AddEditPopup"));
    popup_->addAction(delete_);

    cmdOK_ = new QPushButton(tr("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);
    cmdCancel_ = new QPushButton(tr("Cancel"), this);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    // The caller reads the dialog after it closes; OK only lets it close
    // when the entries make a server the scan can use.
    connect(cmdOK_, &QPushButton::clicked, this, &AddEditServer::okClicked);
    connect(cmdCancel_, &QPushButton::clicked, this, &AddEditServer::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK_);
    buttons->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(tableLabel);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    PlaceDialog(*this, kFormName, QSize(420, 480), nullptr);

    AppendEmptyRow();
    loaded_ = currentEntries();
}

void AddEditServer::setPlacementRegistry(Registry* registry)
{
    registry_ = registry;
    // The placement was made without it; the editor still opens centred.
    PlaceDialog(*this, kFormName, QSize(420, 480), registry_);
}

void AddEditServer::done(int result)
{
    KeepDialogPlace(*this, kFormName, registry_);
    QDialog::done(result);
}

AddEditServer::~AddEditServer()
{
    // Editors close while the view is torn down; nothing should be decided then.
    table_->detach();
}

// What the caller puts in is the baseline that Dirty compares against.
QString AddEditServer::ServerName() const
{
    return txtServerName_->text();
}
void AddEditServer::setServerName(const QString& name)
{
    txtServerName_->setText(name);
    loaded_.name = name;
}
QString AddEditServer::Server() const
{
    return txtServer_->text();
}
void AddEditServer::setServer(const QString& zone)
{
    txtServer_->setText(zone);
    loaded_.zone = zone;
}
// The bare prefix the box starts with is no home page.
QString AddEditServer::URL() const
{
    const QString url = txtURL_->text().trimmed();
    return url == kURLPrefix ? QString() : url;
}
void AddEditServer::setURL(const QString& url)
{
    txtURL_->setText(url);
    loaded_.url = url;
}
bool AddEditServer::BitMapped() const
{
    return chkBitMapped_->isChecked();
}
void AddEditServer::setBitMapped(bool on)
{
    chkBitMapped_->setChecked(on);
    loaded_.bitMapped = on;
}

bool AddEditServer::DomainList() const
{
    return cboListKind_->currentIndex() == 1;
}
void AddEditServer::setDomainList(bool on)
{
    cboListKind_->setCurrentIndex(on ? 1 : 0);
    loaded_.domainList = on;
    // The IPv6 box counts only for IP lists, whichever setter came first.
    loaded_.ipv6 = AnswersIPv6();
}
bool AddEditServer::AnswersIPv6() const
{
    return !DomainList() && chkIPv6_->isChecked();
}
void AddEditServer::setAnswersIPv6(bool on)
{
    chkIPv6_->setChecked(on);
    loaded_.ipv6 = AnswersIPv6();
}

bool AddEditServer::SelfTest() const
{
    return chkSelfTest_->isChecked();
}
void AddEditServer::setSelfTest(bool on)
{
    chkSelfTest_->setChecked(on);
    loaded_.selfTest = on;
}

bool AddEditServer::Public() const
{
    return chkPublic_->isChecked();
}
void AddEditServer::setPublic(bool on)
{
    chkPublic_->setChecked(on);
    loaded_.publicList = on;
}

QString AddEditServer::DnsServers() const
{
    return SplitDnsServers(txtDnsServers_->text()).join(QStringLiteral(", "));
}
void AddEditServer::setDnsServers(const QString& servers)
{
    txtDnsServers_->setText(servers);
    loaded_.dnsServers = DnsServers();
}

QString AddEditServer::KeyName() const
{
    return txtKeyName_->text().trimmed();
}
void AddEditServer::setKeyName(const QString& name)
{
    txtKeyName_->setText(name);
    loaded_.keyName = KeyName();
}

QString AddEditServer::AccessKey() const
{
    return txtKey_->text().trimmed();
}
void AddEditServer::setAccessKey(const QString& key)
{
    txtKey_->setText(key);
    loaded_.key = AccessKey();
}
void AddEditServer::setKeyGivenElsewhere(bool given)
{
    keyElsewhere_ = given;
    txtKey_->setPlaceholderText(given ? tr("given by the environment; a key typed here is stored for you") : QString());
    showKeyFields();
}
bool AddEditServer::AccessKeyChanged() const
{
    return AccessKey() != loaded_.key;
}

bool AddEditServer::NeedsKey() const
{
    return Server().contains(Server::kKeyPlaceholder, Qt::CaseInsensitive);
}

void AddEditServer::showKeyFields()
{
    const bool needed = NeedsKey();
    for (QWidget* field : std::as_const(keyFields_)) field->setVisible(needed);
    lblKeyNote_->setVisible(needed && AccessKey().isEmpty() && !keyElsewhere_);
    // The name the key goes by when none is given, as the scan finds it.
    quarlo::Server named;
    named.setZone(Server().trimmed());
    txtKeyName_->setPlaceholderText(named.KeyName());
}

void AddEditServer::showKey(bool shown)
{
    txtKey_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    cmdShowKey_->setText(shown ? tr("Hide") : tr("Show"));
    const QString what = shown ? tr("Hide the access key") : tr("Show the access key");
    cmdShowKey_->setToolTip(what);
    cmdShowKey_->setAccessibleName(what);
}

// Deliberately wider than "the user left a box": Enter presses OK while the
// caret is still in the box just typed in, and that edit must not be lost.
bool AddEditServer::Dirty() const
{
    return dirty_ || currentEntries() != loaded_;
}

AddEditServer::Entries AddEditServer::currentEntries() const
{
    Entries now{ServerName(), Server(), URL(),        BitMapped(), DomainList(), AnswersIPv6(),
                SelfTest(),   Public(), DnsServers(), KeyName(),   AccessKey(),  {}};
    for (int row = 0; row < table_->rowCount(); ++row)
        now.rows.append({cellText(row, kResponseColumn), cellText(row, kDefinitionColumn),
                         rowNotListing(row) ? QStringLiteral("x") : QString()});
    return now;
}

QString AddEditServer::Refusal(QWidget** field) const
{
    const auto refuse = [field](QWidget* control, const QString& why) {
        if (field) *field = control;
        return why;
    };
    const QString name = ServerName().trimmed();
    if (name.isEmpty() || name == namePlaceholder())
        return refuse(txtServerName_, tr("Fill in the Blacklist Server Name."));
    const QString zone = Server().trimmed();
    if (zone.isEmpty() || zone == kZonePlaceholder)
        return refuse(txtServer_, tr("Fill in the DNS Domain: the zone the list answers in, such as bl.example.org."));
    // Underscores occur in real zones; DNS takes them in a query name.
    // The key placeholder stands for a label of its own.
    QString strict = zoneWithKeyLabel(zone);
    strict.replace(QLatin1Char('_'), QLatin1Char('u'));
    if (!zone.contains(QLatin1Char('.')) || zone.endsWith(QLatin1Char('.')) || !IsValidHostName(strict))
        return refuse(txtServer_,
                      tr("The DNS Domain \"%1\" is not a DNS zone: letters, digits and hyphens in "
                         "labels separated by dots, such as bl.example.org.")
                          .arg(zone.left(64)));
    if (zoneTaken_ && zoneTaken_(zone))
        return refuse(txtServer_, tr("%1 is already in the list of blacklist servers.").arg(zone));
    // The engine's own reading of server entries, so what is accepted here
    // is what the scan can use.
    if (const std::optional<QString> entry = FirstBadDnsServer(txtDnsServers_->text()))
        return refuse(txtDnsServers_,
                      tr("The List's DNS servers entry \"%1\" is not a DNS server address. Enter IP addresses, "
                         "each with an optional port, separated by commas (192.0.2.53, 192.0.2.54:5353), or "
                         "leave the field empty to use the program's DNS servers.")
                          .arg(entry->left(64)));
    // The key itself is never repeated in a message.
    if (NeedsKey() && !AccessKey().isEmpty() && !Settings::UsableAccessKey(AccessKey()))
        return refuse(txtKey_,
                      tr("The Access key can hold only letters, digits and hyphens, at most 63 of them: "
                         "it is put into the zone's name."));
    int codes = 0;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QString address = cellText(row, kResponseColumn);
        const QString reason = cellText(row, kDefinitionColumn);
        if (address.isEmpty() && reason.isEmpty()) continue;
        if (reason.isEmpty()) return refuse(table_, tr("Fill in the Definition of the response %1.").arg(address));
        if (address.isEmpty()) return refuse(table_, tr("Fill in the Response of \"%1\".").arg(reason.left(64)));
        // A list answers from the loopback network; anything else is a
        // wildcard or a hijacked answer, never a listing.
        if (!IsValidIP(address) || !CanonicalIP(address).startsWith(QLatin1String("127.")))
            return refuse(table_, tr("The response %1 is not in 127.0.0.0/8, where blacklists answer.").arg(address));
        ++codes;
    }
    if (codes == 0)
        return refuse(table_, tr("Enter at least one Response with its Definition: the answers the list gives."));
    return QString();
}

void AddEditServer::okClicked()
{
    // A response still being typed counts as entered.
    table_->finishEditing();
    QWidget* field = nullptr;
    const QString refusal = Refusal(&field);
    if (refusal.isEmpty()) {
        accept();
        return;
    }
    prompts_.Message(refusal, DisplayTitle(), UserPrompts::Buttons::Ok, UserPrompts::Icon::Exclamation);
    if (field) {
        field->setFocus(Qt::OtherFocusReason);
        if (auto* box = qobject_cast<QLineEdit*>(field)) box->selectAll();
    }
}

bool AddEditServer::Changed() const
{
    // Focus clears a placeholder; that is no change of the user's.
    const auto plain = [](Entries entries) {
        if (entries.name == namePlaceholder()) entries.name.clear();
        if (entries.zone == kZonePlaceholder) entries.zone.clear();
        return entries;
    };
    return plain(currentEntries()) != plain(loaded_);
}

void AddEditServer::reject()
{
    // Cancel, Escape and the close box all end here. A response still being
    // typed is dropped unchecked as the window goes.
    closing_ = true;
    if (Changed()
        && prompts_.Message(tr("Discard the changes to this server?"), DisplayTitle(), UserPrompts::Buttons::YesNo,
                            UserPrompts::Icon::Question)
            != UserPrompts::Answer::Yes) {
        closing_ = false;
        return;
    }
    canceled_ = true;
    QDialog::reject();
}

bool AddEditServer::cancelling() const
{
    return closing_ || QApplication::focusWidget() == cmdCancel_;
}

void AddEditServer::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center()
                 - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    closing_ = false;
    if (focusZone_) {
        focusZone_ = false;
        txtServer_->setFocus(Qt::OtherFocusReason);
        txtServer_->selectAll();
    } else {
        txtServerName_->setFocus(Qt::OtherFocusReason);
    }
}

QString AddEditServer::cellText(int row, int column) const
{
    const QTableWidgetItem* item = table_->item(row, column);
    return item ? item->text() : QString();
}

bool AddEditServer::rowFilled(int row) const
{
    return !cellText(row, kResponseColumn).isEmpty() && !cellText(row, kDefinitionColumn).isEmpty();
}

bool AddEditServer::rowNotListing(int row) const
{
    const QTableWidgetItem* item = table_->item(row, kNotListingColumn);
    return item && item->checkState() == Qt::Checked;
}

void AddEditServer::AppendEmptyRow(bool notListing)
{
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, kResponseColumn, new QTableWidgetItem);
    table_->setItem(row, kDefinitionColumn, new QTableWidgetItem);
    auto* check = new QTableWidgetItem;
    check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    check->setCheckState(notListing ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, kNotListingColumn, check);
}

void AddEditServer::ApplyTrailingRow()
{
    const int last = table_->rowCount() - 1;
    if (last >= 0 && !rowFilled(last)) return;
    AppendEmptyRow();
    table_->setCurrentCell(last + 1, 0);
}

AddEditServer::Verdict AddEditServer::AcceptEdit(const QModelIndex& index, const QString& text)
{
    const int row = index.row();
    if (index.column() == kDefinitionColumn) {
        dirty_ = true;
        return Verdict::Accept;
    }
    // A response emptied while its definition stays would leave a code
    // without an address; the user has to clear the definition first.
    const bool valid = text.isEmpty() ? cellText(row, kDefinitionColumn).isEmpty() : IsValidIP(text);
    // Pressing Cancel takes the focus from the cell first; a message then
    // would only hold up leaving. A valid entry is still kept in case the
    // press ends up off the button.
    if (!valid && cancelling()) return Verdict::Drop;
    if (!valid) {
        prompts_.Message(invalidResponseText(), DisplayTitle(), UserPrompts::Buttons::Ok,
                         UserPrompts::Icon::Exclamation);
        return Verdict::Refuse;
    }
    if (text.isEmpty() && row != table_->rowCount() - 1) rowToRemove_ = row;
    dirty_ = true;
    return Verdict::Accept;
}

void AddEditServer::EditCommitted(const QModelIndex& index)
{
    // Removed only now: the view still held the row's editor while deciding.
    if (rowToRemove_ >= 0) {
        const int row = rowToRemove_;
        rowToRemove_ = -1;
        table_->removeRow(row);
    }
    if (index.column() == kResponseColumn) {
        // Answers are matched as plain dotted text; blanks, signs and leading
        // zeros that IsValidIP lets through would never match one.
        if (QTableWidgetItem* item = index.isValid() ? table_->item(index.row(), kResponseColumn) : nullptr)
            if (IsValidIP(item->text())) item->setText(CanonicalIP(item->text()));
        table_->resizeColumnToContents(kResponseColumn);
    }
    ApplyTrailingRow();
}

void AddEditServer::LoadResultCodes(const ResultCodes& codes)
{
    table_->setRowCount(0);
    for (const ResultCodePtr& code : codes) {
        AppendEmptyRow(!code->Listing());
        const int row = table_->rowCount() - 1;
        const QString address = code->Address();
        table_->item(row, kResponseColumn)->setText(IsValidIP(address) ? CanonicalIP(address) : address);
        table_->item(row, kDefinitionColumn)->setText(code->Reason());
    }
    AppendEmptyRow();
    table_->resizeColumnToContents(kResponseColumn);
    dirty_ = false;
    loaded_ = currentEntries();
}

void AddEditServer::SyncResultCodes(ResultCodes& codes) const
{
    codes.Clear();
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QString address = cellText(row, kResponseColumn);
        const QString reason = cellText(row, kDefinitionColumn);
        if (reason.isEmpty() || !IsValidIP(address)) continue;
        // Add gives back the held entry for a repeated address: the first
        // row wins, its box included.
        const int held = codes.Count();
        const ResultCodePtr code = codes.Add(CanonicalIP(address), reason);
        if (code && codes.Count() > held) code->setListing(!rowNotListing(row));
    }
}

void AddEditServer::showPopup(const QPoint& viewportPos, int row)
{
    table_->setCurrentCell(row, qMax(0, table_->currentColumn()));
    if (rowFilled(row)) popup_->popup(table_->viewport()->mapToGlobal(viewportPos));
}

void AddEditServer::deleteRow()
{
    const int row = table_->currentRow();
    if (row < 0 || !rowFilled(row)) return;
    table_->removeRow(row);
    // Removing a code changes the server as much as editing one does; the
    // caller would otherwise drop the deletion as "nothing changed".
    dirty_ = true;
    ApplyTrailingRow();
}

bool AddEditServer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_->viewport() && event->type() == QEvent::ContextMenu) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        if (menuEvent->reason() == QContextMenuEvent::Mouse) {
            const int row = table_->rowAt(menuEvent->pos().y());
            if (row >= 0) showPopup(menuEvent->pos(), row);
        } else if (table_->currentRow() >= 0) {
            // The menu key works on the current row.
            const int row = table_->currentRow();
            showPopup(table_->visualRect(table_->model()->index(row, kResponseColumn)).center(), row);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quarlo
