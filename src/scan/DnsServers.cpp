#include "scan/DnsServers.h"

#include <arpa/inet.h>

namespace quarlo {
namespace {

bool isIPv4(const QString& text)
{
    in_addr addr{};
    return inet_pton(AF_INET, text.toLatin1().constData(), &addr) == 1;
}

bool isIPv6(const QString& text)
{
    in6_addr addr{};
    return inet_pton(AF_INET6, text.toLatin1().constData(), &addr) == 1;
}

// 0 when text is not a port number in 1..65535.
int parsePort(QStringView text)
{
    if (text.isEmpty() || text.size() > 5) return 0;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
    const int port = text.toInt();
    return port <= 65535 ? port : 0;
}

} // namespace

QStringList SplitDnsServers(const QString& text)
{
    QStringList servers;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString entry = part.trimmed();
        if (!entry.isEmpty()) servers.append(entry);
    }
    return servers;
}

QStringList ConfiguredDnsServers(const QString& storedOption)
{
    QStringList fromEnvironment = SplitDnsServers(qEnvironmentVariable("QUARLO_DNS_SERVERS"));
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    return SplitDnsServers(storedOption);
}

std::optional<QString> FirstBadDnsServer(const QString& text)
{
    for (const QString& entry : SplitDnsServers(text))
        if (DnsServerToAres(entry).isEmpty()) return entry;
    return std::nullopt;
}

QString DnsServerToAres(const QString& entry)
{
    const QString text = entry.trimmed();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0) return {};
        QString address = text.mid(1, close - 1);
        if (!isIPv6(address)) return {};
        const QStringView rest = QStringView(text).mid(close + 1);
        // c-ares rejects "[v6]" without a port; the bare address means port 53.
        if (rest.isEmpty()) return address;
        if (!rest.startsWith(QLatin1Char(':'))) return {};
        const int port = parsePort(rest.mid(1));
        if (port == 0) return {};
        return QStringLiteral("[%1]:%2").arg(address).arg(port);
    }
    const qsizetype colons = text.count(QLatin1Char(':'));
    if (colons == 0) return isIPv4(text) ? text : QString();
    if (colons == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        const QString address = text.left(colon);
        const int port = parsePort(QStringView(text).mid(colon + 1));
        if (!isIPv4(address) || port == 0) return {};
        return QStringLiteral("%1:%2").arg(address).arg(port);
    }
    // Several colons and no brackets: a bare IPv6 address, never a port.
    return isIPv6(text) ? text : QString();
}

QString FormatDnsServer(const QString& address, int port)
{
    if (port == 0 || port == 53) return address;
    if (address.contains(QLatin1Char(':'))) return QStringLiteral("[%1]:%2").arg(address).arg(port);
    return QStringLiteral("%1:%2").arg(address).arg(port);
}

} // namespace quarlo
