#pragma once

#include <QString>
#include <cstdint>

// Stateless IPv4 helpers. Addresses travel through the program as dotted
// decimal text; none of these functions fails towards its caller.
namespace quarlo {

bool IsValidIP(const QString& text);
QString ReverseIP(const QString& text);
QString IPToHex(const QString& text);
QString HexToIP(const QString& hex);
std::int32_t IPToLong(const QString& text);
QString NetworkAddress(const QString& address, const QString& mask);
// A valid address in canonical dotted decimal (no blanks, no leading zeros).
QString CanonicalIP(const QString& text);
// An IPv6 address, bare or in brackets ("2001:db8::1", "[::1]").
bool IsIPv6Literal(const QString& text);

} // namespace quarlo
