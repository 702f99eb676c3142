#include "common/IpFunctions.h"

#include <arpa/inet.h>

#include <QStringList>
#include <algorithm>
#include <optional>

namespace quarlo {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Lenient 16-bit conversion of one octet field: blanks around the number, an
// optional sign and leading zeros are accepted; digits are always decimal.
std::optional<int> toInt16(const QString& field)
{
    qsizetype begin = 0, end = field.size();
    while (begin < end && isBlank(field[begin])) ++begin;
    while (end > begin && isBlank(field[end - 1])) --end;
    if (begin == end) return std::nullopt;
    bool negative = false;
    if (field[begin] == QLatin1Char('+') || field[begin] == QLatin1Char('-')) {
        negative = field[begin] == QLatin1Char('-');
        ++begin;
    }
    if (begin == end) return std::nullopt;
    long value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = field[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > 32768) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<int>(value);
}

// Value of the leading hexadecimal digits of text (none gives 0).
unsigned leadingHexValue(QStringView text)
{
    unsigned value = 0;
    for (QChar c : text) {
        const int digit = QStringLiteral("0123456789ABCDEF").indexOf(c.toUpper());
        if (digit < 0) break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

} // namespace

bool IsValidIP(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 4) return false;
    for (const QString& field : fields) {
        const auto value = toInt16(field);
        if (!value || *value < 0 || *value > 255) return false;
    }
    return true;
}

QString ReverseIP(const QString& text)
{
    if (text.isEmpty()) return QString();
    QStringList fields = text.split(QLatin1Char('.'));
    std::reverse(fields.begin(), fields.end());
    return fields.join(QLatin1Char('.'));
}

QString IPToHex(const QString& text)
{
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text)
        if (c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))) kept.append(c);

    // At most five fields: the fifth keeps the unsplit rest, so it never counts.
    QStringList fields;
    qsizetype start = 0;
    while (fields.size() < 4) {
        const qsizetype dot = kept.indexOf(QLatin1Char('.'), start);
        if (dot < 0) break;
        fields.append(kept.mid(start, dot - start));
        start = dot + 1;
    }
    fields.append(kept.mid(start));
    if (fields.size() < 4) return QString();

    QString hex;
    for (int i = 0; i < 4; ++i) {
        // Only the two lowest hex digits survive, so the value modulo 256 is
        // all that matters, however many digits the field has.
        unsigned low = 0;
        for (QChar c : fields[i]) low = (low * 10 + static_cast<unsigned>(c.unicode() - '0')) % 256;
        hex += QStringLiteral("%1").arg(low, 2, 16, QLatin1Char('0')).toUpper();
    }
    return hex;
}

QString HexToIP(const QString& hex)
{
    const QString padded = (QStringLiteral("00000000") + hex).right(8);
    QStringList octets;
    for (int i = 0; i < 4; ++i) octets.append(QString::number(leadingHexValue(QStringView(padded).mid(i * 2, 2))));
    return octets.join(QLatin1Char('.'));
}

std::int32_t IPToLong(const QString& text)
{
    const QString hex = IPToHex(text);
    if (hex.isEmpty()) return 0;
    return static_cast<std::int32_t>(hex.toUInt(nullptr, 16));
}

QString NetworkAddress(const QString& address, const QString& mask)
{
    const std::int32_t network = IPToLong(address) & IPToLong(mask);
    return HexToIP(QString::number(static_cast<std::uint32_t>(network), 16).toUpper());
}

QString CanonicalIP(const QString& text)
{
    return HexToIP(IPToHex(text));
}

namespace {

QString withoutBrackets(const QString& text)
{
    QString bare = text.trimmed();
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']'))) bare = bare.mid(1, bare.size() - 2);
    return bare;
}

std::optional<in6_addr> parseIPv6(const QString& text)
{
    const QString bare = withoutBrackets(text);
    if (!bare.contains(QLatin1Char(':')) || bare.size() > 45) return std::nullopt;
    for (QChar c : bare)
        if (c.unicode() > 0x7f) return std::nullopt;
    in6_addr address{};
    if (inet_pton(AF_INET6, bare.toLatin1().constData(), &address) != 1) return std::nullopt;
    return address;
}

bool isMapped(const in6_addr& address)
{
    for (int i = 0; i < 10; ++i)
        if (address.s6_addr[i] != 0) return false;
    return address.s6_addr[10] == 0xff && address.s6_addr[11] == 0xff;
}

} // namespace

bool IsIPv6Literal(const QString& text)
{
    return parseIPv6(text).has_value();
}

QString CanonicalIPv6(const QString& text)
{
    const auto address = parseIPv6(text);
    if (!address) return QString();
    char buffer[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET6, &*address, buffer, sizeof buffer)) return QString();
    return QString::fromLatin1(buffer);
}

QString ReverseIPv6(const QString& text)
{
    const auto address = parseIPv6(text);
    if (!address) return QString();
    static const char digits[] = "0123456789abcdef";
    QString name;
    name.reserve(63);
    for (int i = 15; i >= 0; --i) {
        const unsigned byte = address->s6_addr[i];
        if (!name.isEmpty()) name += QLatin1Char('.');
        name += QLatin1Char(digits[byte & 0xf]);
        name += QLatin1Char('.');
        name += QLatin1Char(digits[byte >> 4]);
    }
    return name;
}

QString MappedIPv4(const QString& text)
{
    const auto address = parseIPv6(text);
    if (!address || !isMapped(*address)) return QString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address->s6_addr[12])
        .arg(address->s6_addr[13])
        .arg(address->s6_addr[14])
        .arg(address->s6_addr[15]);
}

bool HasIPv6ZoneIndex(const QString& text)
{
    QString bare = withoutBrackets(text);
    const qsizetype percent = bare.indexOf(QLatin1Char('%'));
    return percent > 0 && IsIPv6Literal(bare.left(percent));
}

namespace {

struct Block4 {
    std::uint32_t network;
    int bits;
};

// IANA IPv4 special-purpose address registry, plus multicast and the
// reserved 240/4, none of which names a host a list could know.
constexpr Block4 kSpecial4[] = {
    {0x00000000u, 8},  {0x0A000000u, 8},  {0x64400000u, 10}, {0x7F000000u, 8},  {0xA9FE0000u, 16},
    {0xAC100000u, 12}, {0xC0000000u, 24}, {0xC0000200u, 24}, {0xC0586300u, 24}, {0xC0A80000u, 16},
    {0xC6120000u, 15}, {0xC6336400u, 24}, {0xCB007100u, 24}, {0xE0000000u, 4},  {0xF0000000u, 4},
};

std::optional<std::uint32_t> parseIPv4(const QString& text)
{
    if (!IsValidIP(text)) return std::nullopt;
    return static_cast<std::uint32_t>(IPToLong(text));
}

bool special4(std::uint32_t value)
{
    for (const Block4& block : kSpecial4)
        if ((value >> (32 - block.bits)) == (block.network >> (32 - block.bits))) return true;
    return false; // 255.255.255.255 lies in 240/4
}

struct Block6 {
    unsigned char prefix[16];
    int bits;
};

// IANA IPv6 special-purpose address registry (mapped addresses are judged
// as IPv4 before these are looked at).
const Block6 kSpecial6[] = {
    {{0}, 128},                                              // unspecified
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128}, // loopback
    {{0x00, 0x64, 0xff, 0x9b, 0x00, 0x01}, 48},              // local-use translation
    {{0x01, 0x00}, 64},                                      // discard-only
    {{0x20, 0x01, 0x00, 0x00}, 23},                          // protocol assignments
    {{0x20, 0x01, 0x0d, 0xb8}, 32},                          // documentation
    {{0xfc}, 7},                                             // unique-local
    {{0xfe, 0x80}, 10},                                      // link-local
    {{0xff}, 8},                                             // multicast
};

bool inBlock(const in6_addr& address, const Block6& block)
{
    const int whole = block.bits / 8;
    for (int i = 0; i < whole; ++i)
        if (address.s6_addr[i] != block.prefix[i]) return false;
    const int rest = block.bits % 8;
    if (rest == 0) return true;
    const unsigned mask = (0xffu << (8 - rest)) & 0xffu;
    return (address.s6_addr[whole] & mask) == (block.prefix[whole] & mask);
}

} // namespace

bool IsSpecialPurposeAddress(const QString& text)
{
    if (const auto address = parseIPv6(text)) {
        if (isMapped(*address)) return special4(static_cast<std::uint32_t>(IPToLong(MappedIPv4(text))));
        for (const Block6& block : kSpecial6)
            if (inBlock(*address, block)) return true;
        return false;
    }
    const auto value = parseIPv4(text);
    return value && special4(*value);
}

bool IsListTestAddress(const QString& text)
{
    const QString mapped = MappedIPv4(text);
    const auto value = parseIPv4(mapped.isEmpty() ? text : mapped);
    return value && (*value == 0x7F000001u || *value == 0x7F000002u);
}

} // namespace quarlo
