#pragma once

#include "model/Servers.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>
#include <algorithm>

namespace quarlo {

class Registry;

// The scan options (kept as text values in the machine-wide registry key
// "Software\Vantorel\<title>\Settings") and the blacklist servers (kept in
// the configuration file). Setters clamp, and write through to the registry
// only when the value really changes.
class Settings : public QObject {
    Q_OBJECT
public:
    // Queries kept in flight when the user has not chosen.
    static constexpr int kDefaultMaxQueries = 250;

    // servers: where the blacklist servers are kept (none: no servers).
    Settings(Registry& registry, ServerStore* servers, QObject* parent = nullptr);

    int MaxQueries() const { return maxQueries_; }
    // The limit a scan keeps to: the stored value is loaded as it is, so
    // it is brought into 1..kMaxQueries here; a stored 0 cannot stall a scan.
    int ScanQueryLimit() const { return std::clamp(maxQueries_, 1, kMaxQueries); }
    void setMaxQueries(int value);
    int ExpansionLevel() const { return expansionLevel_; }
    void setExpansionLevel(int value);
    bool AutoStartScan() const { return autoStartScan_; }
    void setAutoStartScan(bool value);
    // Whether a scan first asks every enabled zone for its test entries and
    // leaves out zones that fail them.
    bool CheckListsBeforeScanning() const { return checkLists_; }
    void setCheckListsBeforeScanning(bool value);

    // Whether the end of a scan is told in a message box as well as in the
    // status bar; the box itself offers to stop showing it.
    bool ShowScanComplete() const { return showScanComplete_; }
    void setShowScanComplete(bool value);

    // Where the options are kept; the windows keep their places there too.
    Registry& OptionRegistry() const { return registry_; }

    quarlo::Servers& BlacklistServers() { return servers_; }
    const quarlo::Servers& BlacklistServers() const { return servers_; }

    // Reloads the three options (as stored, without clamping) and merges the
    // configuration file into the servers.
    void Refresh();

    // Access keys of key-based lists, by key name. One given for this run
    // (quarlo-check --key) comes first, then the environment's
    // QUARLO_KEY_<NAME>, then the user's own stored one; never a file a list
    // or configuration is shared in.
    QString AccessKey(const QString& name) const;
    void setRunAccessKey(const QString& name, const QString& value);
    // Stores a key in the user's settings (empty removes it); false when it
    // could not be stored.
    bool SaveAccessKey(const QString& name, const QString& value);
    // The key as the user's settings hold it, without the run's or the
    // environment's: what an editor shows and a cancelled dialog puts back.
    QString StoredAccessKey(const QString& name) const;
    // Whether key can stand in a zone: one DNS label of letters, digits and
    // hyphens.
    static bool UsableAccessKey(const QString& key);
    // The zone a list is asked under: the zone with the user's key in place
    // of {key}; empty when the list needs a key that is not set or cannot
    // stand in a DNS name.
    QString ZoneToAsk(const Server& server) const;
    // Why ZoneToAsk is empty, for the user.
    QString WhyNoKey(const Server& server) const;

    QString RetrieveOption(const QString& name, const QVariant& def = QVariant()) const;
    // False when the option could not be stored; the value still holds for
    // this run and LastError() says why it was not kept.
    bool SaveOption(const QString& name, const QVariant& value);
    // Why an option could not be stored; kept until ClearLastError().
    QString LastError() const { return lastError_; }
    void ClearLastError() { lastError_.clear(); }
    // What LastError() says (%1 the option's name, %2 the store's reason):
    // English for automation; the window reads it back into the user's
    // language (ui/WindowText).
    static constexpr const char* kCannotSaveOptionText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot save the option \"%1\"");
    static constexpr const char* kCannotSaveOptionBecauseText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot save the option \"%1\": %2");

    static constexpr int kMinQueries = 10;
    static constexpr int kMaxQueries = 800;

signals:
    void Changed(const QString& name, const QVariant& value);

private:
    Registry& registry_;
    quarlo::Servers servers_;
    int maxQueries_ = kDefaultMaxQueries;
    int expansionLevel_ = 1;
    bool autoStartScan_ = true;
    bool checkLists_ = true;
    bool showScanComplete_ = true;
    QString lastError_;
    QHash<QString, QString> runKeys_;
    mutable QHash<QString, QString> keyCache_;
};

} // namespace quarlo
