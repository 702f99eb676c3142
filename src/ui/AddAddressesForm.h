#pragma once

#include "common/TargetLimits.h"

#include <QDialog>
#include <QHash>
#include <QMetaObject>
#include <QStringList>
#include <memory>

class QAction;
class QCheckBox;
class QColor;
class QLabel;
class QMenu;
class QPoint;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QToolBar;

namespace quarlo {

class Addresslist;
class EntryGrid;
class Settings;
class TargetLookup;
struct TargetResolution;
class UserPrompts;
class WidgetPrompts;

// The modal dialog in which the user types (or pastes) host names, IP
// addresses and e-mail addresses before they join the address list. Each
// entry is checked as soon as it is entered: green when it is an IP address
// or resolves, red when DNS cannot resolve it. E-mail addresses stay as typed
// (each scan finds their mail servers again); the preferred mail exchanger
// found meanwhile is shown, and a domain whose MX record says it takes no
// mail (a null MX) is red.
//
// A network range ("203.0.113.0/24", "203.0.113.10-203.0.113.50") is one
// entry here, green when it can be scanned and red (the reason in its
// tooltip) when it is refused; OK adds each of its addresses, asking first
// when a range holds more than kConfirmAbove addresses. Refused ranges are
// not added; OK says which were left out.
//
// Entries are looked up by the rules a scan uses (TargetLookup). Every entry
// gets a serial number when it is entered, and its lookups carry that number
// as their tag. Rows move up when one above them goes, so a reply
// finds its entry by the number wherever the entry is now, and is dropped when
// the entry was removed or typed over meanwhile.
class AddAddressesForm : public QDialog {
    Q_OBJECT
public:
    AddAddressesForm(Addresslist& list, Settings& settings, QWidget* parent = nullptr);
    ~AddAddressesForm() override;

    // Ranges larger than this are added only after the user confirmed them.
    static constexpr qint64 kConfirmAbove = TargetLimits::kConfirmAbove;
    static inline const QString kAddIPv6Option = QStringLiteral("Add IPv6 Addresses");

    // Where the dialog's questions go; message boxes until this is called.
    void setPrompts(UserPrompts& prompts) { prompts_ = &prompts; }

    // The "Auto Start Scan" box is shown only where the caller starts a
    // scan by it (the window's Add Addresses button); elsewhere it is hidden
    // and OK leaves the option alone.
    void setAutoStartOffered(bool offered);

    // True from opening until OK is pressed.
    bool Canceled() const { return canceled_; }
    // Drops the lookups still out, then closes.
    void done(int result) override;
    // Cancel, Escape and the close box: asks before typed entries go.
    void reject() override;
    // The entries typed or pasted so far, the one in an open editor included.
    int EntryCount() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnsureBlankRow();
    void EditStarted(int row);
    void EditEnded(int row);
    void LookupEntry(const QString& text, const QString& tag);
    void onLooked(const QString& tag, const TargetResolution& resolution);

    void okClicked();
    void cutEntry();
    void copyEntry();
    void pasteEntries();
    void deleteEntry();
    void updatePasteTool();
    void showPopup(const QPoint& viewportPos, bool fromMouse);
    QString hoverText(const QPoint& viewportPos) const;

    // Gives the row's entry a new serial number and returns it as the tag
    // for its lookups.
    QString newEntryTag(int row);
    // Forgets the row's serial number: replies for it are dropped from now on.
    void forgetEntry(int row);
    void removeEntry(int row);
    // The row of the entry a reply's tag names, or -1 when that entry is gone
    // (or the tag is not one of ours).
    int rowForTag(const QString& tag);
    // With "Add IPv6 Addresses" ticked, each IPv6 address found for a host
    // becomes an entry of its own.
    void addIPv6Entries(int hostRow, const TargetResolution& resolution);
    // The cell of row, created when missing so that every row has one.
    QTableWidgetItem* cell(int row) const;
    void setColour(int row, const QColor& colour);
    void setExplanation(int row, const QString& explanation);
    bool isGreen(int row) const;
    void detachGrid();
    void release();

    Addresslist& list_;
    Settings& settings_;
    std::unique_ptr<TargetLookup> lookup_;
    std::unique_ptr<WidgetPrompts> widgetPrompts_;
    UserPrompts* prompts_ = nullptr;
    bool canceled_ = true;
    bool autoStartOffered_ = true;
    int nextSerial_ = 0;
    // Entry serial number -> the row it was last seen in. Rows are only ever
    // added at the end, so an entry can only have moved up since.
    QHash<int, int> entryRows_;

    QLabel* title_ = nullptr;
    EntryGrid* table_ = nullptr;
    QCheckBox* chkAutoStartScan_ = nullptr;
    QCheckBox* chkAddIPv6_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* cut_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* paste_ = nullptr;
    QAction* delete_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

} // namespace quarlo
