#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace quarlo {

// Query parameters of a URL: name to value, names compared without regard to
// letter case, kept in the order they were first added.
class URLParameters {
public:
    int Count() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.isEmpty(); }
    bool Exists(const QString& name) const { return find(name) >= 0; }

    // The value, or the empty text when the name is not held.
    QString Item(const QString& name) const;

    // Adds the name, or replaces the value of a name already held; the entry
    // keeps the place and spelling of its first addition.
    void Set(const QString& name, const QString& value);

    bool Remove(const QString& name);
    void RemoveAll() { entries_.clear(); }

    QStringList Keys() const;
    QStringList Items() const;

private:
    qsizetype find(const QString& name) const;

    QList<std::pair<QString, QString>> entries_;
};

// Takes a URL apart into components and query parameters and composes one
// from them. The main window uses it to recognise its own links
// ("internal:Main:New", "internal:EXECUTE?Program=...") before navigating.
//
// Parsing canonicalises the text first (QUrl in tolerant mode, dot segments
// removed, unsafe characters escaped) and gives up on a canonical text that
// does not fit 1023 characters. Components come out with %xx escapes decoded
// (as UTF-8). Parameter names are upper-cased; because the query is decoded
// before it is cut into pieces, an escaped "&" inside a value is told apart
// from the separators by widening the separator to one more "&" than the
// longest run of "%26" in the text.
class URL {
public:
    // Scheme numbers of the platform's URL functions, for setScheme.
    enum SchemeNumber : qint32 {
        SchemeUnknown = -1,
        SchemeDefault = 0, // composes as http
        SchemeFtp = 1,
        SchemeGopher = 2,
        SchemeHttp = 3,
        SchemeHttps = 4,
        SchemeFile = 5,
        SchemeNews = 6,
        SchemeMailto = 7,
        SchemeSocks = 8,
        SchemeJavascript = 9,
        SchemeVbscript = 10,
        SchemeRes = 11,
    };

    // Longest canonical text a parse accepts is one less: the platform's
    // buffer held the terminating NUL too.
    static constexpr int BufferSize = 1024;

    // The extra information: the query ("?...") and fragment ("#...") as one
    // text. Parameters, when there are any, replace it on composition.
    void setExtraInfo(const QString& extraInfo) { extraInfo_ = extraInfo; }

    URLParameters& Parameters() { return parameters_; }
    const URLParameters& Parameters() const { return parameters_; }
    QString ParameterValue(const QString& parameter) const { return parameters_.Item(parameter); }

    QString Hostname() const { return hostname_; }
    void setHostname(const QString& hostname) { hostname_ = hostname; }

    QString Password() const { return password_; }
    void setPassword(const QString& password) { password_ = password; }

    qint32 Port() const { return port_; }
    void setPort(qint32 port) { port_ = port; }

    // Used on composition only when no scheme text is held.
    void setScheme(qint32 scheme) { schemeNumber_ = scheme; }

    // The scheme of the last parse, or "internal" for the program's own links.
    QString Protocol() const { return protocol_; }

    QString URLPath() const { return urlPath_; }
    void setURLPath(const QString& path) { urlPath_ = path; }

    QString UserName() const { return userName_; }
    void setUserName(const QString& userName) { userName_ = userName; }

    // Parses the text into components and parameters.
    void setURL(const QString& text);
    // Composes the URL from the components and parameters (the "URL"
    // property read; a member cannot share the class's name in C++). Empty,
    // with LastError set, when the components cannot make a URL.
    QString URLText();

    QString LastError() const { return lastError_; }

    // The last parsed URL begins with "INTERNAL:" in any letter case.
    bool Internal() const { return internal_; }

private:
    void resetComponents();

    QString scheme_;
    qint32 schemeNumber_ = SchemeDefault;
    QString hostname_;
    qint32 port_ = 0;
    QString userName_;
    QString password_;
    QString urlPath_;
    QString extraInfo_;

    QString lastError_;
    URLParameters parameters_;
    bool internal_ = false;
    QString protocol_;
};

} // namespace quarlo
