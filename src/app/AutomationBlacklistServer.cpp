#include "app/AutomationBlacklistServer.h"

#include "app/AutomationServer.h"
#include "app/AutomationSettings.h"
#include "model/Settings.h"
#include "quarlo_server_adaptor.h"
#include "scan/DnsServers.h"

namespace quarlo {

AutomationBlacklistServer::AutomationBlacklistServer(AutomationServer& server, const QString& path,
                                                     AutomationHandle<Server> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new ServerAdaptor(this);
}

QString AutomationBlacklistServer::Name() const
{
    return read(owner_, &Server::Name);
}

void AutomationBlacklistServer::setName(const QString& name)
{
    const ServerPtr s = held(owner_);
    if (s && acceptText(name, "Name", kMaxName)) s->setName(name);
}

QString AutomationBlacklistServer::Zone() const
{
    return read(owner_, &Server::Zone);
}

void AutomationBlacklistServer::setZone(const QString& zone)
{
    const ServerPtr s = held(owner_);
    if (!s || !acceptZone(zone, "Server")) return;
    Servers& servers = server_.Settings().BlacklistServers();
    // A held server is filed again under its new zone, or the scan and the
    // results would no longer find it by zone.
    for (const ServerPtr& held : servers) {
        if (held != s) continue;
        if (!servers.ChangeZone(s, zone))
            replyError(AutomationServer::kErrorFailed,
                       QStringLiteral("Another blacklist server already has the zone %1").arg(excerpt(zone)));
        return;
    }
    s->setZone(zone);
}

QString AutomationBlacklistServer::URL() const
{
    return read(owner_, &Server::URL);
}

void AutomationBlacklistServer::setURL(const QString& url)
{
    const ServerPtr s = held(owner_);
    if (s && acceptText(url, "URL", kMaxUrl)) s->setURL(url);
}

bool AutomationBlacklistServer::Enabled() const
{
    const ServerPtr s = held(owner_);
    return s && s->Enabled();
}

void AutomationBlacklistServer::setEnabled(bool on)
{
    if (const ServerPtr s = held(owner_)) s->setEnabled(on);
}

bool AutomationBlacklistServer::BitMapCodedResults() const
{
    const ServerPtr s = held(owner_);
    return s && s->BitMapCodedResults();
}

void AutomationBlacklistServer::setBitMapCodedResults(bool on)
{
    if (const ServerPtr s = held(owner_)) s->setBitMapCodedResults(on);
}

QString AutomationBlacklistServer::ListKind() const
{
    const ServerPtr s = held(owner_);
    return s && s->IsDomainList() ? QStringLiteral("Domain") : QStringLiteral("IP");
}

void AutomationBlacklistServer::setListKind(const QString& kind)
{
    const ServerPtr s = held(owner_);
    if (!s) return;
    if (kind.compare(QLatin1String("Domain"), Qt::CaseInsensitive) == 0)
        s->setKind(Server::ListKind::DomainList);
    else if (kind.compare(QLatin1String("IP"), Qt::CaseInsensitive) == 0)
        s->setKind(Server::ListKind::IPList);
}

bool AutomationBlacklistServer::IPv6() const
{
    const ServerPtr s = held(owner_);
    return s && s->AnswersIPv6();
}

void AutomationBlacklistServer::setIPv6(bool on)
{
    if (const ServerPtr s = held(owner_)) s->setAnswersIPv6(on);
}

bool AutomationBlacklistServer::SelfTest() const
{
    const ServerPtr s = held(owner_);
    return s && s->SelfTest();
}

void AutomationBlacklistServer::setSelfTest(bool on)
{
    if (const ServerPtr s = held(owner_)) s->setSelfTest(on);
}

bool AutomationBlacklistServer::Public() const
{
    const ServerPtr s = held(owner_);
    return s && s->Public();
}

void AutomationBlacklistServer::setPublic(bool on)
{
    if (const ServerPtr s = held(owner_)) s->setPublic(on);
}

QString AutomationBlacklistServer::DnsServers() const
{
    return read(owner_, &Server::DnsServers);
}

void AutomationBlacklistServer::setDnsServers(const QString& servers)
{
    const ServerPtr s = held(owner_);
    if (!s || !acceptText(servers, "DnsServers", kMaxName)) return;
    if (const std::optional<QString> bad = FirstBadDnsServer(servers)) {
        replyInvalid(QStringLiteral("DnsServers \"%1\" is no DNS server address: an IP address with an "
                                    "optional port is expected")
                         .arg(excerpt(*bad)));
        return;
    }
    s->setDnsServers(SplitDnsServers(servers).join(QStringLiteral(", ")));
}

QString AutomationBlacklistServer::KeyName() const
{
    return read(owner_, &Server::KeyName);
}

void AutomationBlacklistServer::setKeyName(const QString& name)
{
    const ServerPtr s = held(owner_);
    if (s && acceptText(name, "KeyName", AutomationSettings::kMaxKeyName)) s->setKeyName(name.trimmed());
}

bool AutomationBlacklistServer::KeySet() const
{
    const ServerPtr s = held(owner_);
    return s && s->NeedsKey() && !server_.Settings().ZoneToAsk(*s).isEmpty();
}

QDBusObjectPath AutomationBlacklistServer::ResultCodes() const
{
    const ServerPtr s = held(owner_);
    return s ? server_.ResultCodesOf(s) : AutomationServer::None();
}

} // namespace quarlo
