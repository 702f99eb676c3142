// The IPv4 helpers: they take whatever a user or a DNS answer supplies and
// never fail towards the caller. For a valid address the conversions agree.
#include "common/IpFunctions.h"

#include <cstdlib>

using namespace quarlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // The input's two halves, for the functions that take two.
    const QString first = text.left(text.size() / 2);
    const QString second = text.mid(text.size() / 2);

    (void)ReverseIP(text);
    (void)HexToIP(text);
    (void)IPToLong(text);
    (void)NetworkAddress(first, second);
    (void)HasIPv6ZoneIndex(text);
    // An IPv6 literal has one canonical form and a 32-nibble query name;
    // a mapped one holds a valid IPv4 address.
    if (IsIPv6Literal(text)) {
        const QString canonical6 = CanonicalIPv6(text);
        if (canonical6.isEmpty() || CanonicalIPv6(canonical6) != canonical6) std::abort();
        if (ReverseIPv6(text).size() != 63 || ReverseIPv6(canonical6) != ReverseIPv6(text)) std::abort();
        const QString mapped = MappedIPv4(text);
        if (!mapped.isEmpty() && !IsValidIP(mapped)) std::abort();
    } else if (!ReverseIPv6(text).isEmpty() || !MappedIPv4(text).isEmpty()) {
        std::abort();
    }
    const QString hex = IPToHex(text);
    if (!hex.isEmpty() && hex.size() != 8) std::abort();

    if (!IsValidIP(text)) return 0;
    const QString canonical = CanonicalIP(text);
    if (!IsValidIP(canonical) || CanonicalIP(canonical) != canonical) std::abort();
    if (ReverseIP(ReverseIP(canonical)) != canonical) std::abort();
    if (HexToIP(IPToHex(canonical)) != canonical) std::abort();
    if (static_cast<std::uint32_t>(IPToLong(canonical)) != IPToHex(canonical).toUInt(nullptr, 16)) std::abort();
    if (NetworkAddress(canonical, QStringLiteral("255.255.255.255")) != canonical) std::abort();
    if (NetworkAddress(canonical, QStringLiteral("0.0.0.0")) != QLatin1String("0.0.0.0")) std::abort();
    return 0;
}
