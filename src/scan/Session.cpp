#include "scan/Session.h"

#include "scan/AresDirectDns.h"
#include "scan/DnsServers.h"

namespace quarlo {

Session::Session(Registry& registry, const Options& options)
    : store_(options.configPath, options.savePath), settings_(registry, &store_),
      dnsServers_(options.dnsServers.isEmpty()
                      ? ConfiguredDnsServers(settings_.RetrieveOption(QStringLiteral("DNS Servers")))
                      : SplitDnsServers(options.dnsServers)),
      tuning_(options.tuning), lookup_(dnsServers_), list_(settings_, lookup_, NewDirectDns())
{
    lookup_.setTuning(tuning_);
    const DnsTuning tuning = tuning_;
    list_.setLookupFactory([tuning](const QStringList& servers) -> std::unique_ptr<DnsLookup> {
        auto lookup = std::make_unique<AresDnsLookup>(servers);
        lookup->setTuning(tuning);
        return lookup;
    });
}

std::unique_ptr<DirectDns> Session::NewDirectDns() const
{
    auto dns = std::make_unique<AresDirectDns>(dnsServers_);
    dns->setTuning(tuning_);
    return dns;
}

QString Session::LastError() const
{
    return settings_.BlacklistServers().LastError();
}
const ErrorText& Session::LastErrorText() const
{
    return settings_.BlacklistServers().LastErrorText();
}

} // namespace quarlo
