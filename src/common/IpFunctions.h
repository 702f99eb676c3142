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
// The IPv6 literal without brackets, in the compressed lower-case form
// ("2001:db8::1"); empty when text is no IPv6 literal.
QString CanonicalIPv6(const QString& text);
// The query name of an IPv6 address for a DNS list: its 32 hex digits,
// lowest first, separated by dots (no trailing dot); empty when text is no
// IPv6 literal.
QString ReverseIPv6(const QString& text);
// The dotted IPv4 address inside an IPv4-mapped IPv6 literal
// ("::ffff:192.0.2.1"); empty for anything else.
QString MappedIPv4(const QString& text);
// An IPv6 literal with a zone index ("fe80::1%eth0"): meaningful only on
// the machine that wrote it, so no list can be asked about it.
bool HasIPv6ZoneIndex(const QString& text);
// An address of the IANA IPv4 and IPv6 special-purpose registries: private,
// shared (CGN), loopback, link-local, documentation, benchmarking,
// multicast, reserved, unique-local, and the protocol assignments under
// 2001::/23. An IPv4-mapped IPv6 address is judged as its IPv4 address.
// False for anything that is not an address.
bool IsSpecialPurposeAddress(const QString& text);
// The test entries every list answers for (127.0.0.2 listed, 127.0.0.1 not),
// plain or IPv4-mapped: users type them to see that a list works.
bool IsListTestAddress(const QString& text);

} // namespace quarlo
