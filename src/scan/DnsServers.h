#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Where DNS traffic goes. A server entry is an IPv4 or IPv6 address with an
// optional port: "192.0.2.1", "192.0.2.1:5353", "2001:db8::1", "[2001:db8::1]:53".
namespace quarlo {

// The servers to use: QUARLO_DNS_SERVERS when set and non-empty, else the
// stored "DNS Servers" option, else an empty list meaning the system's
// resolvers. Both texts are split at ","; entries are trimmed and empty ones
// dropped.
QStringList ConfiguredDnsServers(const QString& storedOption);

// Splits a comma-separated server text; entries trimmed, empty ones dropped.
QStringList SplitDnsServers(const QString& text);

// One entry in the form c-ares reads ("a.b.c.d[:port]", "v6" or
// "[v6]:port"), or an empty string when the entry is not an IP address with
// an optional port in 1..65535. Host names are not accepted: resolving the
// resolver would need a resolver.
QString DnsServerToAres(const QString& entry);

// The first entry of a comma-separated server text that DnsServerToAres
// does not take, so that every door refuses the same entries.
std::optional<QString> FirstBadDnsServer(const QString& text);

// The entry for address and port as users write it: the bare address for
// port 0 or 53, else "a.b.c.d:port" or "[v6]:port".
QString FormatDnsServer(const QString& address, int port);

} // namespace quarlo
