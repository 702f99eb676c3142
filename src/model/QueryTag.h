#pragma once

#include <QString>
#include <QStringList>

namespace quarlo {

// The tag that travels with a DNS request and routes its reply: the
// address's key, ":", the kind, and for some kinds ":" zone and ":" answer.
//
// Zones, kinds and answers never contain ":", but a key may (an IPv6
// address, "host:25"), so tags are read from the right.
class QueryTag {
public:
    static inline const QString kBlacklistCheck = QStringLiteral("BlacklistCheck");
    static inline const QString kTxtRecord = QStringLiteral("TXTRECORD");
    // The test queries a scan sends to each zone before it starts; the
    // extra field names the test address ("127.0.0.2" or "127.0.0.1").
    static inline const QString kZoneTest = QStringLiteral("ZoneTest");
    // The lookups that find what a target stands for; the field names the
    // step ("MX", "A3": the fourth mail server's A records).
    static inline const QString kResolve = QStringLiteral("Resolve");

    static QString BlacklistCheck(const QString& key, const QString& zone) { return blacklistCheck(key, zone); }
    // The same tag from a key already written out as text.
    static QString BlacklistCheck(QLatin1String key, const QString& zone) { return blacklistCheck(key, zone); }
    static QString Resolve(const QString& key, const QString& step)
    {
        return key + QLatin1Char(':') + kResolve + QLatin1Char(':') + step;
    }
    static QString TxtRecord(const QString& key, const QString& zone, const QString& answer)
    {
        return key + QLatin1Char(':') + kTxtRecord + QLatin1Char(':') + zone + QLatin1Char(':') + answer;
    }
    static QString ZoneTest(const QString& zone, const QString& testAddress)
    {
        return QLatin1Char(':') + kZoneTest + QLatin1Char(':') + zone + QLatin1Char(':') + testAddress;
    }

    // The tag read from the right; an invalid tag (IsValid false) when it
    // holds no ":" or no known kind in its place.
    static QueryTag Parse(const QString& tag);
    // Zone() of the tag as Parse reads it, without copying anything.
    static QStringView ZoneOf(const QString& tag);

    // The tag's parts as Parse reads them, in place: every reply of a scan
    // is routed through here, and most need no copy of any part. Valid while
    // the tag is.
    struct Fields {
        const QString* kind = nullptr; // one of the k* kinds; null when invalid
        QStringView key, zone, extra;
        bool Is(const QString& which) const { return kind == &which; }
    };
    static Fields Read(const QString& tag);

    bool IsValid() const { return !kind_.isEmpty(); }
    QString Key() const { return key_; }
    // The kind in its canonical spelling (kBlacklistCheck, ...), matched without
    // regard to case.
    QString Kind() const { return kind_; }
    QString Zone() const { return zone_; }
    QString Extra() const { return extra_; }
    bool Is(const QString& kind) const { return kind_ == kind; }
    // Key, kind and the fields the kind has, as splitting at ":" would give
    // them for a key without ":".
    QStringList Parts() const;

private:
    template <typename Key>
    static QString blacklistCheck(const Key& key, const QString& zone)
    {
        // One per query of a scan: built in a single allocation.
        QString tag;
        tag.reserve(key.size() + kBlacklistCheck.size() + zone.size() + 2);
        tag += key;
        tag += QLatin1Char(':');
        tag += kBlacklistCheck;
        tag += QLatin1Char(':');
        tag += zone;
        return tag;
    }

    QString key_;
    QString kind_;
    QString zone_;
    QString extra_;
};

} // namespace quarlo
