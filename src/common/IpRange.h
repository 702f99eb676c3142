#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <utility>

namespace quarlo {

// A run of IPv4 addresses the user typed as one target: a network
// ("203.0.113.0/24") or a first and last address ("203.0.113.10-203.0.113.50").
// The base of a network is masked to the network: "203.0.113.7/24" stands
// for 203.0.113.0 to 203.0.113.255. Ranges larger than a /16 (65,536
// addresses) are refused, and so are IPv6 ranges, which no scan could cover.
//
// A range is only numbers; its addresses are made one at a time (AddressAt),
// so parsing or counting a range never builds a list of its addresses.
class IpRange {
public:
    // Why a text is no range, with parts filled in: English in messages of
    // the lower layers; the window reads them back into the user's language
    // (ui/WindowText).
    static constexpr const char* kTooLargeText =
        QT_TRANSLATE_NOOP("quarlo::EngineText",
                          "%1 holds %2 addresses; ranges larger than a /16 (65,536 addresses) are "
                          "not scanned: split it into /16 networks or smaller");
    static constexpr const char* kIpv6RangeText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText", "%1 is an IPv6 range; IPv6 ranges are too large to scan: enter single IPv6 addresses");
    static constexpr const char* kNoRangeText = QT_TRANSLATE_NOOP("quarlo::EngineText", "'%1' is not a network range");
    static constexpr const char* kBadBaseText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "'%1' is not a network range: '%2' is not an IPv4 address");
    static constexpr const char* kBadPrefixText =
        QT_TRANSLATE_NOOP("quarlo::EngineText",
                          "'%1' is not a network range: the prefix length after '/' must be a number from 16 to 32");
    static constexpr const char* kReversedText = QT_TRANSLATE_NOOP(
        "quarlo::EngineText", "'%1' is not a range: its first address %2 comes after its last address %3");

    static constexpr qint64 kMaxAddresses = 65536;
    static constexpr int kMinPrefix = 16;

    // True when text is written as a range, acceptable or not: it holds a "/"
    // (and is no e-mail address, whose local part may), or a "-" between two
    // IP address literals. Host names and e-mail addresses never look like one.
    static bool LooksLikeRange(const QString& text);
    // The range text stands for; nothing when it is refused, with *why
    // telling the user why (for text that looks like a range).
    static std::optional<IpRange> Parse(const QString& text, QString* why = nullptr);

    quint32 First() const { return first_; }
    quint32 Last() const { return last_; }
    qint64 Count() const { return qint64(last_) - qint64(first_) + 1; }
    // The address at index 0 .. Count() - 1, in dotted decimal.
    QString AddressAt(qint64 index) const { return ToText(first_ + quint32(index)); }
    // The canonical form: "203.0.113.0/24" for a network (base masked),
    // "203.0.113.10-203.0.113.50" for a first and last address. Two ranges
    // typed differently but standing for the same network share it.
    QString Text() const { return text_; }

    static QString ToText(quint32 address);
    // A count as messages show it: "65,536".
    static QString Grouped(qint64 number);
    // A plain IPv4 address (as IsValidIP reads it) as a number.
    static std::optional<quint32> ParseAddress(const QString& text);

private:
    IpRange(quint32 first, quint32 last, QString text) : first_(first), last_(last), text_(std::move(text)) {}

    quint32 first_;
    quint32 last_;
    QString text_;
};

} // namespace quarlo
