#include "app/AutomationResultCodes.h"

#include "app/AutomationServer.h"
#include "quarlo_resultcodes_adaptor.h"

namespace quarlo {

AutomationResultCodes::AutomationResultCodes(AutomationServer& server, const QString& path,
                                             AutomationHandle<Server> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new ResultCodesAdaptor(this);
}

QDBusObjectPath AutomationResultCodes::Add(const QString& address, const QString& reason)
{
    const ServerPtr s = held(owner_);
    if (!s || !acceptText(address, "Address", kMaxName) || !acceptText(reason, "Reason"))
        return AutomationServer::None();
    return server_.PathOf(s, s->ResultCodes().Add(address, reason));
}

QDBusObjectPath AutomationResultCodes::Item(const QDBusVariant& key)
{
    const ServerPtr s = held(owner_);
    Key k;
    if (!s || !readKey(key, k)) return AutomationServer::None();
    return server_.PathOf(s,
                          std::holds_alternative<int>(k) ? s->ResultCodes().Item(std::get<int>(k))
                                                         : s->ResultCodes().Item(std::get<QString>(k)));
}

int AutomationResultCodes::Count() const
{
    const ServerPtr s = held(owner_);
    return s ? s->ResultCodes().Count() : 0;
}

void AutomationResultCodes::Remove(const QDBusVariant& key)
{
    const ServerPtr s = held(owner_);
    Key k;
    if (!s || !readKey(key, k)) return;
    const bool removed = std::holds_alternative<int>(k) ? s->ResultCodes().Remove(std::get<int>(k))
                                                        : s->ResultCodes().Remove(std::get<QString>(k));
    if (!removed) replyError(AutomationServer::kErrorNoSuchItem, QStringLiteral("No result code under that key"));
    server_.Sweep();
}

void AutomationResultCodes::Clear()
{
    if (const ServerPtr s = held(owner_)) {
        s->ResultCodes().Clear();
        server_.Sweep();
    }
}

QList<QDBusObjectPath> AutomationResultCodes::NewEnum()
{
    QList<QDBusObjectPath> paths;
    if (const ServerPtr s = held(owner_))
        for (const ResultCodePtr& code : s->ResultCodes()) paths.append(server_.PathOf(s, code));
    return paths;
}

} // namespace quarlo
