#pragma once

#include "ui/EntryGrid.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPoint;
class QPushButton;
class QToolButton;

namespace quarlo {

class Registry;
class ResultCodes;
class UserPrompts;

// The modal editor of one blacklist server: name, zone, home page, whether
// answers are bit-mapped, the list's kind, whether it has a test entry,
// whether an outside operator runs it, its own DNS servers, the access key
// of a key-based zone, and the table of answer addresses with their
// meanings. It never touches the server collection: the caller fills it,
// runs it, and reads it back afterwards (OK and Cancel only hide it).
//
// The three text boxes start with placeholder text that the first keystroke
// or focus replaces. The table always ends with one row that is not fully
// filled, where a new code is typed.
class AddEditServer : public QDialog {
    Q_OBJECT
public:
    explicit AddEditServer(UserPrompts& prompts, QWidget* parent = nullptr);
    ~AddEditServer() override;

    QString ServerName() const;
    void setServerName(const QString& name);
    // The DNS zone.
    QString Server() const;
    void setServer(const QString& zone);
    QString URL() const;
    void setURL(const QString& url);
    bool BitMapped() const;
    void setBitMapped(bool on);
    // Whether the zone is asked for domain names instead of addresses.
    bool DomainList() const;
    void setDomainList(bool on);
    // Whether the zone answers IPv6 queries (IP lists only).
    bool AnswersIPv6() const;
    void setAnswersIPv6(bool on);
    // Whether the list has a test entry, so a scan may trust its "not
    // listed" answers only while it lists that entry. On for a new server.
    bool SelfTest() const;
    void setSelfTest(bool on);
    // A list run by an outside operator, never sent special-purpose
    // addresses.
    bool Public() const;
    void setPublic(bool on);
    // The list's own DNS servers, each entry trimmed and the entries joined
    // by ", "; empty: the program's.
    QString DnsServers() const;
    void setDnsServers(const QString& servers);
    // For a zone holding {key}: the name the key is kept under (empty: the
    // name the zone gives) and the key itself, shown masked. The caller
    // keeps the key in the user's settings, never with the server.
    QString KeyName() const;
    void setKeyName(const QString& name);
    QString AccessKey() const;
    void setAccessKey(const QString& key);
    // A key comes from elsewhere (the environment or the command line): an
    // empty box does not mean the list is skipped.
    void setKeyGivenElsewhere(bool given);
    // The key box differs from what setAccessKey put in, so the caller has
    // a key to store (an emptied box removes the key).
    bool AccessKeyChanged() const;
    // The zone box holds the {key} placeholder: the key boxes are shown.
    bool NeedsKey() const;

    // True after Cancel, Escape or the close box.
    bool Canceled() const { return canceled_; }
    // True once the user left a text box or a table edit was accepted, and
    // whenever a field, a cell or a box differs from what the caller put in
    // (the setters and LoadResultCodes), so that an edit confirmed with Enter
    // without leaving its box counts.
    bool Dirty() const;
    // A field, a cell or a box differs from what the caller put in; leaving
    // a box unchanged does not count. Cancel asks before such changes go.
    bool Changed() const;

    // Replaces the table with the codes (plus the empty trailing row); the
    // "Not a listing" box of a row is ticked for a code that is no listing.
    void LoadResultCodes(const ResultCodes& codes);
    // Empties codes and adds every row with a valid address and a
    // definition, a ticked "Not a listing" box clearing its Listing flag;
    // for a repeated address the first row wins. Addresses go over in plain
    // dotted decimal, the form answers are compared in.
    void SyncResultCodes(ResultCodes& codes) const;

    void reject() override;
    void done(int result) override;
    // Where the editor keeps its size and place between openings; none:
    // it opens at its own size in the middle of the screen.
    void setPlacementRegistry(Registry* registry);

    // Tells whether another server already holds a zone; OK refuses such a
    // zone. None: every zone is free.
    void setZoneTaken(std::function<bool(const QString& zone)> taken) { zoneTaken_ = std::move(taken); }
    // Why OK would be refused, naming the field to fill or correct; empty
    // when the entries make a server. field (when given) is the control.
    QString Refusal(QWidget** field = nullptr) const;

    // The editor is shown again after the caller turned its entries down:
    // the focus goes to the zone box instead of the name box.
    void FocusZoneOnShow() { focusZone_ = true; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TextBox;
    // Drop: the edit goes without a word and without reaching the cell.
    using Verdict = EntryGrid::Verdict;
    // Everything the user can change, to tell whether anything was.
    struct Entries {
        QString name, zone, url;
        bool bitMapped = false;
        bool domainList = false;
        bool ipv6 = false;
        bool selfTest = true;
        bool publicList = false;
        QString dnsServers, keyName, key;
        QList<QStringList> rows;
        bool operator==(const Entries&) const = default;
    };

    Verdict AcceptEdit(const QModelIndex& index, const QString& text);
    void EditCommitted(const QModelIndex& index);
    void ApplyTrailingRow();
    void AppendEmptyRow(bool notListing = false);
    QString cellText(int row, int column) const;
    // Both text cells filled; the check box plays no part.
    bool rowFilled(int row) const;
    bool rowNotListing(int row) const;
    void showPopup(const QPoint& viewportPos, int row);
    void deleteRow();
    Entries currentEntries() const;
    void okClicked();
    // Cancel is under way, or the focus just went to Cancel.
    bool cancelling() const;
    // Shows the key boxes for a key-based zone, with the note that the list
    // is skipped while the key box is empty.
    void showKeyFields();
    void showKey(bool shown);

    UserPrompts& prompts_;
    Registry* registry_ = nullptr;
    std::function<bool(const QString&)> zoneTaken_;
    bool canceled_ = false;
    bool dirty_ = false;
    bool centred_ = false;
    bool closing_ = false;
    bool focusZone_ = false;
    Entries loaded_;
    // A row whose response was emptied; removed once its editor has closed.
    int rowToRemove_ = -1;

    TextBox* txtServerName_ = nullptr;
    TextBox* txtServer_ = nullptr;
    TextBox* txtURL_ = nullptr;
    QCheckBox* chkBitMapped_ = nullptr;
    QComboBox* cboListKind_ = nullptr;
    QCheckBox* chkIPv6_ = nullptr;
    QCheckBox* chkSelfTest_ = nullptr;
    QCheckBox* chkPublic_ = nullptr;
    QLineEdit* txtDnsServers_ = nullptr;
    // The key boxes with their labels and note, shown for a {key} zone only.
    QList<QWidget*> keyFields_;
    QLineEdit* txtKeyName_ = nullptr;
    QLineEdit* txtKey_ = nullptr;
    QToolButton* cmdShowKey_ = nullptr;
    QLabel* lblKeyNote_ = nullptr;
    bool keyElsewhere_ = false;
    EntryGrid* table_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* delete_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

} // namespace quarlo
