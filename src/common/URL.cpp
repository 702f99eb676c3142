#include "common/URL.h"

#include <QUrl>
#include <algorithm>
#include <optional>
#include <string>

namespace quarlo {

// ---- URLParameters ---------------------------------------------------------

qsizetype URLParameters::find(const QString& name) const
{
    for (qsizetype i = 0; i < entries_.size(); ++i)
        if (entries_[i].first.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QString URLParameters::Item(const QString& name) const
{
    const qsizetype i = find(name);
    return i < 0 ? QString() : entries_[i].second;
}

void URLParameters::Set(const QString& name, const QString& value)
{
    const qsizetype i = find(name);
    if (i < 0)
        entries_.append({name, value});
    else
        entries_[i].second = value;
}

bool URLParameters::Remove(const QString& name)
{
    const qsizetype i = find(name);
    if (i < 0) return false;
    entries_.removeAt(i);
    return true;
}

QStringList URLParameters::Keys() const
{
    QStringList keys;
    keys.reserve(entries_.size());
    for (const auto& e : entries_) keys.append(e.first);
    return keys;
}

QStringList URLParameters::Items() const
{
    QStringList items;
    items.reserve(entries_.size());
    for (const auto& e : entries_) items.append(e.second);
    return items;
}

// ---- URL -------------------------------------------------------------------

namespace {

struct SchemeInfo {
    qint32 number;
    const char* name;
    qint32 defaultPort;
    bool hierarchical; // written with "//" even without a host
};

constexpr SchemeInfo kSchemes[] = {
    {URL::SchemeFtp, "ftp", 21, true},
    {URL::SchemeGopher, "gopher", 70, true},
    {URL::SchemeHttp, "http", 80, true},
    {URL::SchemeHttps, "https", 443, true},
    {URL::SchemeFile, "file", 0, true},
    {URL::SchemeNews, "news", 0, false},
    {URL::SchemeMailto, "mailto", 0, false},
    {URL::SchemeSocks, "socks", 1080, true},
    {URL::SchemeJavascript, "javascript", 0, false},
    {URL::SchemeVbscript, "vbscript", 0, false},
    {URL::SchemeRes, "res", 0, false},
};

const SchemeInfo* SchemeByName(const QString& name)
{
    for (const SchemeInfo& s : kSchemes)
        if (name.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0) return &s;
    return nullptr;
}

const SchemeInfo* SchemeByNumber(qint32 number)
{
    // The default scheme composes as http, as the platform's composer does.
    if (number == URL::SchemeDefault) number = URL::SchemeHttp;
    for (const SchemeInfo& s : kSchemes)
        if (s.number == number) return &s;
    return nullptr;
}

bool IsBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

// Canonical form of the text, or nothing when it is no URL or does not fit
// the buffer. Like the browser-mode canonicalisation, surrounding blanks go
// except trailing ones that belong to a query or fragment. Unlike it, QUrl
// also escapes unsafe characters after "?" and "#"; the split decodes them
// again, so only the length counted against the limit differs.
std::optional<QString> Canonicalise(const QString& text)
{
    qsizetype begin = 0;
    while (begin < text.size() && IsBlank(text[begin])) ++begin;
    qsizetype end = text.size();
    const QStringView rest = QStringView(text).mid(begin);
    if (!rest.contains(u'?') && !rest.contains(u'#'))
        while (end > begin && IsBlank(text[end - 1])) --end;

    const QUrl url(text.mid(begin, end - begin), QUrl::TolerantMode);
    if (!url.isValid()) return std::nullopt;
    QString canonical = url.toString(QUrl::FullyEncoded | QUrl::NormalizePathSegments);
    if (canonical.size() >= URL::BufferSize) return std::nullopt;
    return canonical;
}

// One "&" more than the longest run of escaped ampersands, so that once the
// escapes are decoded no "&" of a value can be taken for a separator.
QString Separator(const QString& canonical)
{
    static const QString escaped = QStringLiteral("%26");
    qsizetype longest = 0;
    qsizetype at = canonical.indexOf(escaped);
    while (at >= 0) {
        qsizetype run = 0;
        while (QStringView(canonical).mid(at, 3) == escaped) {
            ++run;
            at += 3;
        }
        longest = std::max(longest, run);
        at = canonical.indexOf(escaped, at);
    }
    return QString(longest + 1, QLatin1Char('&'));
}

// %xx escapes back to characters. A decoded NUL ends the component, as it
// ended the text in the platform's fixed buffers.
QString Decode(const QString& encoded)
{
    QString decoded = QUrl::fromPercentEncoding(encoded.toUtf8());
    const qsizetype nul = decoded.indexOf(QChar(u'\0'));
    if (nul >= 0) decoded.truncate(nul);
    return decoded;
}

struct Components {
    QString scheme;
    qint32 schemeNumber = URL::SchemeUnknown;
    QString hostname;
    qint32 port = 0;
    QString userName;
    QString password;
    QString urlPath;
    QString extraInfo;
};

// Splits a canonical text into decoded components. Nothing when the text has
// no scheme or a component does not fit its 1024-character buffer; the
// caller then keeps every component empty.
std::optional<Components> Split(const QString& text)
{
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;

    Components c;
    c.scheme = url.scheme();
    const SchemeInfo* known = SchemeByName(c.scheme);
    c.schemeNumber = known ? known->number : URL::SchemeUnknown;
    c.hostname = Decode(url.host(QUrl::FullyEncoded));
    // An absent port is the scheme's default port, as the platform reports it.
    c.port = url.port(known ? known->defaultPort : 0);
    c.userName = Decode(url.userName(QUrl::FullyEncoded));
    c.password = Decode(url.password(QUrl::FullyEncoded));
    c.urlPath = Decode(url.path(QUrl::FullyEncoded));
    QString extra;
    if (url.hasQuery()) extra += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    if (url.hasFragment()) extra += QLatin1Char('#') + url.fragment(QUrl::FullyEncoded);
    c.extraInfo = Decode(extra);

    for (const QString* part : {&c.scheme, &c.hostname, &c.userName, &c.password, &c.urlPath, &c.extraInfo})
        if (part->size() >= URL::BufferSize) return std::nullopt;
    return c;
}

// Escapes what may not stand in a URL's path or query as it is: blanks,
// control characters, non-ASCII (as UTF-8 bytes) and the characters that
// delimit URLs in text. "%" stays, so escapes a caller wrote survive.
QString Escape(const QString& text)
{
    static constexpr char unsafe[] = "\"<>\\^`{|}";
    static constexpr char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size());
    for (const char ch : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte <= 0x20 || byte >= 0x7F || std::char_traits<char>::find(unsafe, sizeof unsafe - 1, ch)) {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[byte >> 4]);
            out += QLatin1Char(hex[byte & 0x0F]);
        } else {
            out += QLatin1Char(ch);
        }
    }
    return out;
}

} // namespace

void URL::resetComponents()
{
    scheme_.clear();
    schemeNumber_ = SchemeDefault;
    hostname_.clear();
    port_ = 0;
    userName_.clear();
    password_.clear();
    urlPath_.clear();
    extraInfo_.clear();
}

void URL::setURL(const QString& text)
{
    resetComponents();
    lastError_.clear();

    // A text that cannot be canonicalised leaves the parameters and the
    // internal flag of the previous parse alone.
    const std::optional<QString> canonical = Canonicalise(text);
    if (!canonical) return;

    parameters_.RemoveAll();
    QString separator = QStringLiteral("&");
    QString working = *canonical;
    if (working.contains(QLatin1String("%26"))) {
        separator = Separator(working);
        working.replace(QLatin1Char('&'), separator);
    }

    schemeNumber_ = SchemeUnknown;
    if (const std::optional<Components> c = Split(working)) {
        scheme_ = c->scheme;
        schemeNumber_ = c->schemeNumber;
        hostname_ = c->hostname;
        port_ = c->port;
        userName_ = c->userName;
        password_ = c->password;
        urlPath_ = c->urlPath;
        extraInfo_ = c->extraInfo;
    }

    internal_ = canonical->left(9).compare(QLatin1String("INTERNAL:"), Qt::CaseInsensitive) == 0;
    protocol_ = internal_ ? QStringLiteral("internal") : scheme_;

    if (!extraInfo_.startsWith(QLatin1Char('?'))) return;
    const QString query = extraInfo_.mid(1);
    // Cutting an empty query gives no pieces at all.
    if (query.isEmpty()) return;
    // A name given twice keeps its first place and takes the last value.
    for (const QString& piece : query.split(separator)) {
        const qsizetype eq = piece.indexOf(QLatin1Char('='));
        if (eq < 0)
            parameters_.Set(piece.toUpper(), QString());
        else
            parameters_.Set(piece.left(eq).toUpper(), piece.mid(eq + 1));
    }
}

QString URL::URLText()
{
    lastError_.clear();

    if (!parameters_.isEmpty()) {
        const QStringList names = parameters_.Keys();
        const QStringList values = parameters_.Items();
        QStringList pairs;
        for (qsizetype i = 0; i < names.size(); ++i) pairs.append(names[i] + QLatin1Char('=') + values[i]);
        extraInfo_ = QLatin1Char('?') + pairs.join(QLatin1Char('&'));
    }

    QString scheme = scheme_;
    const SchemeInfo* known = scheme.isEmpty() ? SchemeByNumber(schemeNumber_) : SchemeByName(scheme);
    if (scheme.isEmpty()) {
        if (!known) {
            lastError_ = QStringLiteral("The URL scheme could not be recognized, or is not supported.");
            return QString();
        }
        scheme = QLatin1String(known->name);
    }
    if (port_ < 0 || port_ > 65535) {
        lastError_ = QStringLiteral("The port number %1 is out of range.").arg(port_);
        return QString();
    }

    // User information is written only when there is some. (The platform's
    // composer wrote "user:password@" even for empty fields and its result
    // was cleaned of "://:@" afterwards, except when the result needed a
    // buffer larger than 1024 characters; here short and long results agree
    // and need no clean-up.)
    QString out = scheme + QLatin1Char(':');
    const bool authority =
        !hostname_.isEmpty() || !userName_.isEmpty() || !password_.isEmpty() || (known && known->hierarchical);
    if (authority) {
        out += QLatin1String("//");
        if (!userName_.isEmpty() || !password_.isEmpty()) {
            out += userName_;
            if (!password_.isEmpty()) out += QLatin1Char(':') + password_;
            out += QLatin1Char('@');
        }
        out += hostname_.contains(QLatin1Char(':')) ? QLatin1Char('[') + hostname_ + QLatin1Char(']') : hostname_;
        if (port_ != 0 && !(known && port_ == known->defaultPort)) out += QLatin1Char(':') + QString::number(port_);
        if (!urlPath_.isEmpty() && !urlPath_.startsWith(QLatin1Char('/'))) out += QLatin1Char('/');
    }
    out += Escape(urlPath_);
    out += Escape(extraInfo_);
    return out;
}

} // namespace quarlo
