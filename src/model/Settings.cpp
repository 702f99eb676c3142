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

QString Settings::RetrieveOption(const QString& name, const QVariant& def) const
{
    return registry_.GetSetting(DisplayTitle(), kSection, name, def, false);
}

bool Settings::SaveOption(const QString& name, const QVariant& value)
{
    const bool saved = registry_.SaveSetting(DisplayTitle(), kSection, name, value, false);
    if (!saved) {
        const QString why = registry_.LastError();
        lastError_ = QStringLiteral("Cannot save the option \"") + name + QStringLiteral("\"")
                     + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    }
    emit Changed(name, value);
    return saved;
}

} // namespace quarlo
