#include "common/Registry.h"

#include "common/AppInfo.h"

namespace quarlo {

namespace {

RegistryRoot SettingsRoot(bool currentUser)
{
    return currentUser ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
}

// REG_SZ data is NUL-terminated for its readers; anything after an embedded
// NUL is invisible to them.
QString CutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

} // namespace

bool Registry::SaveSetting(const QString& appName, const QString& section, const QString& name, const QVariant& value,
                           bool currentUser)
{
    return backend_.write(SettingsRoot(currentUser), ProgramKeyPath(appName, section), name,
                          RegistryValue::fromString(ValueText(value)));
}

QString Registry::GetSetting(const QString& appName, const QString& section, const QString& name, const QVariant& def,
                             bool currentUser)
{
    return GetValue(SettingsRoot(currentUser), ProgramKeyPath(appName, section), name, def);
}

QString Registry::GetValue(RegistryRoot root, const QString& keyPath, const QString& valueName, const QVariant& def)
{
    const std::optional<RegistryValue> stored = backend_.read(root, keyPath, valueName);
    if (stored && stored->type == RegistryValue::Type::String) return CutAtNul(stored->text);
    return ValueText(def);
}

void Registry::SetValue(RegistryRoot root, const QString& keyPath, const QString& valueName, const QVariant& value)
{
    if (keyPath.isEmpty()) return;

    RegistryValue data;
    switch (value.typeId()) {
    case QMetaType::QString: data = RegistryValue::fromString(value.toString()); break;
    case QMetaType::Short:
    case QMetaType::Int:
        // Negative numbers are stored as their two's complement bit pattern.
        data = RegistryValue::fromDWord(static_cast<std::uint32_t>(value.toInt()));
        break;
    case QMetaType::UShort:
    case QMetaType::UInt: data = RegistryValue::fromDWord(value.toUInt()); break;
    case QMetaType::QByteArray: data = RegistryValue::fromBinary(value.toByteArray()); break;
    default: return;
    }
    backend_.write(root, keyPath, valueName, data);
}

QString Registry::ValueText(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) return QString();
    if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value.toString();
}

} // namespace quarlo
