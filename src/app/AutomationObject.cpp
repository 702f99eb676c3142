#include "app/AutomationObject.h"

#include "app/AutomationServer.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <limits>

namespace quarlo {

AutomationObject::AutomationObject(AutomationServer& server, const QString& path, QObject* parent)
    : QObject(parent), server_(server), path_(path)
{
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

bool AutomationObject::acceptText(const QString& text, const char* argument) const
{
    if (text.size() <= kMaxText) return true;
    replyError(QDBusError::errorString(QDBusError::InvalidArgs),
               QStringLiteral("%1 is longer than %2 characters").arg(QLatin1String(argument)).arg(kMaxText));
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
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool AutomationObject::readKey(const QDBusVariant& value, Key& key) const
{
    const QVariant v = value.variant();
    if (v.metaType().id() == QMetaType::QString) {
        const QString text = v.toString();
        if (!acceptText(text, "Key")) return false;
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
