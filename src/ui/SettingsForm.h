#pragma once

#include <QDialog>
#include <QList>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTableWidget;

namespace quarlo {

class AddEditServer;
class Server;
class Settings;
class UserPrompts;

// The modal settings dialog: the scan options and the blacklist servers.
// Servers added, edited or deleted here change the live collection at once;
// the options, the enabled flags and the configuration file are written by
// OK only, and Cancel (Escape, the close box) puts the collection back as it
// was when the dialog opened. Access keys typed in the server editor are
// stored in the user's settings at once and put back by Cancel likewise.
// Built afresh for every opening.
class SettingsForm : public QDialog {
    Q_OBJECT
public:
    SettingsForm(Settings& settings, UserPrompts& prompts, QWidget* parent = nullptr);
    ~SettingsForm() override;

    // How the server editor is run (modally by default); tests drive it
    // without a person. The form reads the editor afterwards.
    using EditorRunner = std::function<void(AddEditServer&)>;
    void setEditorRunner(EditorRunner runner) { runEditor_ = std::move(runner); }

    // The configuration file could not be loaded (problem: the reader's
    // message): OK then asks before saving the server list over it, and a
    // save keeps the file as it was beside it as file + ".bak".
    void setDamagedConfiguration(const QString& file, const QString& problem);
    // OK saved the server list.
    bool ServersSaved() const { return serversSaved_; }

    void reject() override;
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class CheckDelegate;
    class ServerList;

    void FillServerList();
    void AppendRow(const QString& zone, bool ticked, const QString& name);
    void SetRow(int row, const QString& zone, bool ticked, const QString& name);
    // The "Kind" column: IP list (with IPv6) or domain list; a key-based
    // list without its key is marked there and in the row's tooltip.
    void SetRowKind(int row, const Server& server);
    // Shares the editor's values with server: everything but the zone, the
    // enabled flag and the access key. Into the editor, or back to server.
    void LoadEditor(AddEditServer& editor, const Server& server) const;
    void ReadEditor(const AddEditServer& editor, Server& server) const;
    // Stores the key typed in the editor under the server's key name,
    // remembering the value it replaces for Cancel.
    void StoreKey(const AddEditServer& editor, const Server& server);
    QString RowZone(int row) const;
    bool RowTicked(int row) const;
    void ShowQueries(int value);
    void ToggleRow(int row);
    // The DNS servers as they are stored, or nothing after telling the user
    // which entry is wrong.
    std::optional<QString> CheckedDnsServers();

    void AddServer();
    // The row of the last right-click (the popup's commands).
    void EditServer();
    void DeleteServer();
    void EditRow(int row);
    void DeleteRow(int row);
    void okClicked();
    void tabChanged(int index);

    Settings& settings_;
    UserPrompts& prompts_;
    EditorRunner runEditor_;
    // The row of the last right-click on the server list; -1 for none.
    int rememberedRow_ = -1;
    QString damagedFile_;
    QString damage_;
    bool serversSaved_ = false;

    QTabWidget* tabs_ = nullptr;
    QScrollBar* hsbMaxQueries_ = nullptr;
    QLabel* lblQueries_ = nullptr;
    QButtonGroup* expansion_ = nullptr;
    QCheckBox* chkCheckLists_ = nullptr;
    QCheckBox* chkShowScanComplete_ = nullptr;
    QLineEdit* txtDnsServers_ = nullptr;
    QTableWidget* lstServers_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* add_ = nullptr;
    QAction* edit_ = nullptr;
    QAction* delete_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QPushButton* cmdAdd_ = nullptr;
    QPushButton* cmdEdit_ = nullptr;
    QPushButton* cmdDelete_ = nullptr;
    // The collection as it was at opening, each server with a copy of its
    // values, for Cancel.
    struct KeptServer {
        std::shared_ptr<Server> server;
        std::shared_ptr<Server> values;
    };
    QList<KeptServer> opening_;
    // Access keys as they were before this dialog stored them, by key name
    // in the order stored; Cancel puts them back last to first, so a key
    // stored twice ends as it was at opening.
    QList<QPair<QString, QString>> openingKeys_;
};

} // namespace quarlo
