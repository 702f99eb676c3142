#include "common/IpRange.h"

#include "common/IpFunctions.h"

#include <QStringList>

namespace quarlo {
namespace {

bool isIpLiteral(const QString& text)
{
    const QString t = text.trimmed();
    return IsValidIP(t) || IsIPv6Literal(t);
}

} // namespace

std::optional<quint32> IpRange::ParseAddress(const QString& text)
{
    if (!IsValidIP(text.trimmed())) return std::nullopt;
    const QString canonical = CanonicalIP(text.trimmed());
    const QStringList fields = canonical.split(QLatin1Char('.'));
    if (fields.size() != 4) return std::nullopt;
    quint32 value = 0;
    for (const QString& field : fields) {
        bool ok = false;
        const uint octet = field.toUInt(&ok);
        if (!ok || octet > 255) return std::nullopt;
        value = (value << 8) | octet;
    }
    return value;
}

namespace {

// The position of the "-" between two address literals, or -1.
qsizetype dashPosition(const QString& text)
{
    for (qsizetype at = text.indexOf(QLatin1Char('-')); at > 0; at = text.indexOf(QLatin1Char('-'), at + 1))
        if (isIpLiteral(text.left(at)) && isIpLiteral(text.mid(at + 1))) return at;
    return -1;
}

QString count(qint64 n)
{
    return IpRange::Grouped(n);
}

QString tooLarge(const QString& text, qint64 addresses)
{
    return QString::fromUtf8(IpRange::kTooLargeText).arg(text, count(addresses));
}

QString ipv6Refused(const QString& text)
{
    return QString::fromUtf8(IpRange::kIpv6RangeText).arg(text);
}

std::optional<IpRange> refuse(QString* why, const QString& message)
{
    if (why) *why = message;
    return std::nullopt;
}

} // namespace

bool IpRange::LooksLikeRange(const QString& text)
{
    const QString t = text.trimmed();
    if (t.contains(QLatin1Char('/'))) return !t.contains(QLatin1Char('@'));
    return dashPosition(t) > 0;
}

std::optional<IpRange> IpRange::Parse(const QString& input, QString* why)
{
    const QString text = input.trimmed();
    if (text.contains(QLatin1Char('@')) || !LooksLikeRange(text))
        return refuse(why, QString::fromUtf8(kNoRangeText).arg(text));

    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QString base = text.left(slash).trimmed();
        const QString prefixText = text.mid(slash + 1).trimmed();
        if (IsIPv6Literal(base)) return refuse(why, ipv6Refused(text));
        const std::optional<quint32> address = ParseAddress(base);
        if (!address) return refuse(why, QString::fromUtf8(kBadBaseText).arg(text, base));
        bool ok = prefixText.size() <= 2 && !prefixText.isEmpty();
        for (const QChar c : prefixText) ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const int prefix = ok ? prefixText.toInt() : -1;
        if (prefix < 0 || prefix > 32) return refuse(why, QString::fromUtf8(kBadPrefixText).arg(text));
        if (prefix < kMinPrefix) return refuse(why, tooLarge(text, qint64(1) << (32 - prefix)));
        const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
        const quint32 first = *address & mask;
        const quint32 last = first | ~mask;
        return IpRange(first, last, ToText(first) + QLatin1Char('/') + QString::number(prefix));
    }

    const qsizetype dash = dashPosition(text);
    const QString from = text.left(dash).trimmed();
    const QString to = text.mid(dash + 1).trimmed();
    if (IsIPv6Literal(from) || IsIPv6Literal(to)) return refuse(why, ipv6Refused(text));
    const quint32 first = *ParseAddress(from);
    const quint32 last = *ParseAddress(to);
    if (first > last) return refuse(why, QString::fromUtf8(kReversedText).arg(text, ToText(first), ToText(last)));
    const qint64 addresses = qint64(last) - qint64(first) + 1;
    if (addresses > kMaxAddresses) return refuse(why, tooLarge(text, addresses));
    return IpRange(first, last, ToText(first) + QLatin1Char('-') + ToText(last));
}

QString IpRange::Grouped(qint64 number)
{
    QString digits = QString::number(number);
    for (qsizetype at = digits.size() - 3; at > (number < 0 ? 1 : 0); at -= 3) digits.insert(at, QLatin1Char(','));
    return digits;
}

QString IpRange::ToText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

} // namespace quarlo
