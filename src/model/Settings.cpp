#include "model/Settings.h"

#include "common/AppInfo.h"
#include "common/Registry.h"

#include <algorithm>

namespace quarlo {
namespace {

const QString kSection = QStringLiteral("Settings");
const QString kMaxQueriesName = QStringLiteral("Max Queries");
const QString kExpansionLevel = QStringLiteral("Expansion Level");
const QString kAutoStartScan = QStringLiteral("Auto Start Scan");
const QString kCheckLists = QStringLiteral("Check Lists Before Scanning");
const QString kShowScanComplete = QStringLiteral("Show Scan Complete");

// Stored text that does not read as a number or Boolean gives the default.
int readNumber(const QString& text, int def)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || value < INT_MIN || value > INT_MAX) return def;
    return static_cast<int>(value);
}

bool readBool(const QString& text, bool def)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    const double value = t.toDouble(&ok);
    return ok ? value != 0 : def;
}

} // namespace

Settings::Settings(Registry& registry, ServerStore* servers, QObject* parent)
    : QObject(parent), registry_(registry), servers_(servers)
{
    Refresh();
}

void Settings::Refresh()
{
    maxQueries_ = readNumber(RetrieveOption(kMaxQueriesName, kDefaultMaxQueries), kDefaultMaxQueries);
    expansionLevel_ = readNumber(RetrieveOption(kExpansionLevel, 1), 1);
    autoStartScan_ = readBool(RetrieveOption(kAutoStartScan, true), true);
    checkLists_ = readBool(RetrieveOption(kCheckLists, true), true);
    showScanComplete_ = readBool(RetrieveOption(kShowScanComplete, true), true);
    keyCache_.clear();
    servers_.Refresh();
}

void Settings::setMaxQueries(int value)
{
    value = std::clamp(value, kMinQueries, kMaxQueries);
    if (value == maxQueries_) return;
    maxQueries_ = value;
    SaveOption(kMaxQueriesName, value);
}

void Settings::setExpansionLevel(int value)
{
    value = std::clamp(value, 0, 3);
    if (value == expansionLevel_) return;
    expansionLevel_ = value;
    SaveOption(kExpansionLevel, value);
}

void Settings::setAutoStartScan(bool value)
{
    if (value == autoStartScan_) return;
    autoStartScan_ = value;
    SaveOption(kAutoStartScan, value);
}

void Settings::setShowScanComplete(bool value)
{
    if (value == showScanComplete_) return;
    showScanComplete_ = value;
    SaveOption(kShowScanComplete, value);
}

void Settings::setCheckListsBeforeScanning(bool value)
{
    if (value == checkLists_) return;
    checkLists_ = value;
    SaveOption(kCheckLists, value);
}

namespace {

const QString kKeysSection = QStringLiteral("Keys");

// The name a key is kept and looked up under; it also ends the name of its
// environment variable, so anything but letters and digits becomes "_".
QString keyId(const QString& name)
{
    QString id = name.trimmed().toUpper();
    for (QChar& c : id)
        if (!(c.unicode() < 0x80 && c.isLetterOrNumber())) c = QLatin1Char('_');
    return id;
}

// A key stands as one label of a DNS name: letters, digits and hyphens.
bool usableKey(const QString& key)
{
    if (key.isEmpty() || key.size() > 63) return false;
    for (QChar c : key)
        if (!(c.isDigit() || (c.unicode() < 0x80 && c.isLetter()) || c == QLatin1Char('-'))) return false;
    return true;
}

} // namespace

QString Settings::AccessKey(const QString& name) const
{
    const QString id = keyId(name);
    if (id.isEmpty()) return QString();
    const auto given = runKeys_.constFind(id);
    if (given != runKeys_.cend()) return given.value();
    // Asked for every query of a keyed list: the environment and the
    // registry are read once.
    const auto known = keyCache_.constFind(id);
    if (known != keyCache_.cend()) return known.value();
    QString key = qEnvironmentVariable(("QUARLO_KEY_" + id).toLatin1().constData()).trimmed();
    if (key.isEmpty()) key = StoredAccessKey(id);
    keyCache_.insert(id, key);
    return key;
}

void Settings::setRunAccessKey(const QString& name, const QString& value)
{
    runKeys_.insert(keyId(name), value.trimmed());
}

bool Settings::SaveAccessKey(const QString& name, const QString& value)
{
    keyCache_.remove(keyId(name));
    return registry_.SaveSetting(DisplayTitle(), kKeysSection, keyId(name), value.trimmed(), true);
}

QString Settings::StoredAccessKey(const QString& name) const
{
    const QString id = keyId(name);
    if (id.isEmpty()) return QString();
    return registry_.GetSetting(DisplayTitle(), kKeysSection, id, QString(), true).trimmed();
}

bool Settings::UsableAccessKey(const QString& key)
{
    return usableKey(key);
}

QString Settings::ZoneToAsk(const Server& server) const
{
    if (!server.NeedsKey()) return server.Zone();
    const QString key = AccessKey(server.KeyName());
    if (!usableKey(key)) return QString();
    QString zone = server.Zone();
    return zone.replace(Server::kKeyPlaceholder, key, Qt::CaseInsensitive);
}

QString Settings::WhyNoKey(const Server& server) const
{
    const QString id = keyId(server.KeyName());
    const QString key = AccessKey(id);
    if (!key.isEmpty() && !usableKey(key))
        return QStringLiteral("the access key %1 is not usable in a DNS name").arg(id);
    return QStringLiteral("no access key %1 (quarlo-check --key %1=KEY or QUARLO_KEY_%1)").arg(id);
}

QString Settings::RetrieveOption(const QString& name, const QVariant& def) const
{
    return registry_.GetSetting(DisplayTitle(), kSection, name, def, false);
}

bool Settings::SaveOption(const QString& name, const QVariant& value)
{
    const bool saved = registry_.SaveSetting(DisplayTitle(), kSection, name, value, false);
    if (!saved) {
        const QString why = registry_.LastError();
        lastError_ = why.isEmpty() ? QString::fromUtf8(kCannotSaveOptionText).arg(name)
                                   : QString::fromUtf8(kCannotSaveOptionBecauseText).arg(name, why);
    }
    emit Changed(name, value);
    return saved;
}

} // namespace quarlo
