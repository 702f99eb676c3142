#include "app/AutomationObject.h"

#include "app/AutomationProperties.h"
#include "app/AutomationServer.h"
#include "common/IpFunctions.h"
#include "common/NameFunctions.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <limits>

namespace quarlo {

AutomationObject::AutomationObject(AutomationServer& server, const QString& path, QObject* parent)
    : QObject(parent), server_(server), path_(path)
{
    new AutomationProperties(this);
}

void AutomationObject::noteCaller() const
{
    if (calledFromDBus()) server_.NoteClient(message().service());
}

void AutomationObject::replyError(const QString& name, const QString& text) const
{
    if (calledFromDBus()) sendErrorReply(name, text);
}

void AutomationObject::replyGone() const
{
    replyError(AutomationServer::kErrorObjectGone, AutomationServer::GoneText(path_));
    server_.QueueSweep();
}

QString AutomationObject::excerpt(const QString& text)
{
    return text.size() <= 40 ? text : text.left(40) + QStringLiteral("...");
}

void AutomationObject::replyInvalid(const QString& text) const
{
    replyError(QDBusError::errorString(QDBusError::InvalidArgs), text);
}

bool AutomationObject::acceptText(const QString& text, const char* argument, qsizetype limit) const
{
    if (text.size() <= limit) return true;
    replyInvalid(QStringLiteral("%1 is longer than %2 characters").arg(QLatin1String(argument)).arg(limit));
    return false;
}

bool AutomationObject::acceptTarget(const QString& target) const
{
    if (!acceptText(target, "Target", kMaxName)) return false;
    // The kinds the scan tells apart (Address::classifyTarget), by the same
    // functions; anything else could never be checked.
    const QString text = target.trimmed();
    if (IsValidIP(text) || (IsIPv6Literal(text) && !HasIPv6ZoneIndex(text))) return true;
    QString why;
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    if (!AsciiHostName(at >= 0 ? text.mid(at + 1) : text, &why).isEmpty()) return true;
    replyInvalid(
        QStringLiteral("Target \"%1\" is no IP address, host name or e-mail address: %2").arg(excerpt(text), why));
    return false;
}

bool AutomationObject::acceptZone(const QString& zone, const char* argument) const
{
    if (!acceptText(zone, argument, kMaxName)) return false;
    QString why;
    // A key-based zone's placeholder stands for one label.
    QString plain = zone;
    plain.replace(Server::kKeyPlaceholder, QStringLiteral("key"), Qt::CaseInsensitive);
    if (!AsciiHostName(plain, &why).isEmpty()) return true;
    replyInvalid(
        QStringLiteral("%1 \"%2\" is no DNS zone: %3").arg(QLatin1String(argument), excerpt(zone.trimmed()), why));
    return false;
}

bool AutomationObject::isInteger(int typeId)
{
    switch (typeId) {
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return true;
    default: return false;
    }
}

bool AutomationObject::readKey(const QDBusVariant& value, Key& key) const
{
    const QVariant v = value.variant();
    if (v.metaType().id() == QMetaType::QString) {
        const QString text = v.toString();
        if (!acceptText(text, "Key", kMaxName)) return false;
        key = text;
        return true;
    }
    if (isInteger(v.metaType().id())) {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        // Positions past int's range exist in no collection: found nowhere.
        key = (ok && n >= 1 && n <= std::numeric_limits<int>::max()) ? static_cast<int>(n) : 0;
        if (v.metaType().id() == QMetaType::ULongLong && v.toULongLong() > quint64(std::numeric_limits<int>::max()))
            key = 0;
        return true;
    }
    replyError(QDBusError::errorString(QDBusError::InvalidArgs),
               QStringLiteral("Key must be a text or a 1-based position (an integer), not %1")
                   .arg(QLatin1String(v.metaType().name() ? v.metaType().name() : "nothing")));
    return false;
}

} // namespace quarlo
