#include "app/AutomationSettings.h"

#include "app/AutomationServer.h"
#include "common/Registry.h"
#include "model/Settings.h"
#include "quarlo_settings_adaptor.h"

#include <QDBusError>

namespace quarlo {

AutomationSettings::AutomationSettings(AutomationServer& server, QObject* parent)
    : AutomationObject(server, QStringLiteral("/Settings"), parent)
{
    new SettingsAdaptor(this);
    connect(&server_.Settings(), &Settings::Changed, this, [this](const QString& name, const QVariant& value) {
        if (!server_.Used()) return;
        // Options are stored as text; send them the way they are kept.
        emit Changed(name,
                     QDBusVariant(value.typeId() == QMetaType::Bool
                                      ? QVariant(value.toBool() ? QStringLiteral("True") : QStringLiteral("False"))
                                      : QVariant(value.toString())));
    });
}

int AutomationSettings::MaxQueries() const
{
    noteCaller();
    return server_.Settings().MaxQueries();
}

void AutomationSettings::setMaxQueries(int value)
{
    noteCaller();
    server_.Settings().setMaxQueries(value);
}

int AutomationSettings::ExpansionLevel() const
{
    noteCaller();
    return server_.Settings().ExpansionLevel();
}

void AutomationSettings::setExpansionLevel(int value)
{
    noteCaller();
    server_.Settings().setExpansionLevel(value);
}

bool AutomationSettings::AutoStartScan() const
{
    noteCaller();
    return server_.Settings().AutoStartScan();
}

void AutomationSettings::setAutoStartScan(bool value)
{
    noteCaller();
    server_.Settings().setAutoStartScan(value);
}

QDBusObjectPath AutomationSettings::BlacklistServers() const
{
    noteCaller();
    return QDBusObjectPath(QStringLiteral("/Servers"));
}

void AutomationSettings::Refresh()
{
    noteCaller();
    server_.Settings().Refresh();
}

bool AutomationSettings::plainValue(const QVariant& value, const char* argument) const
{
    const int type = value.typeId();
    if (type == QMetaType::QString) return acceptText(value.toString(), argument);
    if (type == QMetaType::Bool || type == QMetaType::Double || isInteger(type)) return true;
    replyError(QDBusError::errorString(QDBusError::InvalidArgs),
               QStringLiteral("%1 must be a text, a number or a Boolean").arg(QLatin1String(argument)));
    return false;
}

QString AutomationSettings::RetrieveOption(const QString& name, const QDBusVariant& defaultValue)
{
    noteCaller();
    if (!acceptText(name, "Name", kMaxName) || !plainValue(defaultValue.variant(), "Default")) return QString();
    return server_.Settings().RetrieveOption(name, defaultValue.variant());
}

void AutomationSettings::SaveOption(const QString& name, const QDBusVariant& value)
{
    noteCaller();
    if (!acceptText(name, "Name", kMaxName) || !plainValue(value.variant(), "Value")) return;
    if (name.trimmed().isEmpty()) {
        replyError(QDBusError::errorString(QDBusError::InvalidArgs), QStringLiteral("Name is empty"));
        return;
    }
    if (!server_.Settings().SaveOption(name, value.variant()))
        replyError(AutomationServer::kErrorFailed, server_.Settings().LastError());
}

void AutomationSettings::SetKey(const QString& name, const QString& value)
{
    noteCaller();
    if (!acceptText(name, "Name", kMaxKeyName)) return;
    if (name.trimmed().isEmpty()) {
        replyInvalid(QStringLiteral("Name is empty"));
        return;
    }
    const QString key = value.trimmed();
    if (!key.isEmpty() && !Settings::UsableAccessKey(key)) {
        replyInvalid(QStringLiteral("Value is no usable access key: at most 63 letters, digits and hyphens"));
        return;
    }
    if (!server_.Settings().SaveAccessKey(name, key))
        replyError(AutomationServer::kErrorFailed,
                   QStringLiteral("The access key %1 could not be stored: %2")
                       .arg(excerpt(name.trimmed()), server_.Settings().OptionRegistry().LastError()));
}

} // namespace quarlo
