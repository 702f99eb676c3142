#include "common/NameFunctions.h"

#include <QList>
#include <QStringView>
#include <QUrl>

namespace quarlo {

QString SafeName(const QString& name, const QString& def)
{
    QString result;
    result.reserve(name.size());
    for (QChar c : name) {
        const QChar upper = c.toUpper();
        const bool keep = (upper >= QLatin1Char('A') && upper <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('-')
            || c == QLatin1Char('.') || c == QLatin1Char('@');
        result.append(keep ? c : QLatin1Char('_'));
    }
    return result.isEmpty() ? def : result;
}

QString FileName(const QString& path, bool stripExtension)
{
    QString rest = path;
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (const qsizetype slash = rest.lastIndexOf(QLatin1Char('\\')); slash >= 0) rest = rest.mid(slash + 1);
    if (const qsizetype colon = rest.lastIndexOf(QLatin1Char(':')); colon >= 0) rest = rest.mid(colon + 1);
    if (stripExtension)
        if (const qsizetype dot = rest.lastIndexOf(QLatin1Char('.')); dot >= 0) rest = rest.left(dot);
    return rest;
}

bool IsValidHostName(const QString& name)
{
    QStringView body(name);
    if (body.endsWith(QLatin1Char('.'))) body.chop(1);
    if (body.isEmpty() || body.size() > 253) return false;
    for (QStringView label : body.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63) return false;
        if (label.startsWith(QLatin1Char('-')) || label.endsWith(QLatin1Char('-'))) return false;
        for (QChar c : label) {
            const char16_t u = c.unicode();
            const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-';
            if (!ok) return false;
        }
    }
    return true;
}

QString AsciiHostName(const QString& name, QString* error)
{
    // The reasons are marked for the window, which shows them translated;
    // everywhere else they stay English.
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return QString();
    };
    QString body = name.trimmed();
    if (body.endsWith(QLatin1Char('.'))) body.chop(1);
    if (body.isEmpty()) return fail(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "empty host name")));
    if (body.size() > 253)
        return fail(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "host name longer than 253 characters")));
    bool ascii = true;
    for (QChar c : body) ascii = ascii && c.unicode() < 0x80;
    QString ace = body;
    if (!ascii) {
        // QUrl::toAce applies IDNA (NFKC, case folding) and gives nothing
        // for names it cannot encode.
        ace = QString::fromLatin1(QUrl::toAce(body));
        if (ace.isEmpty())
            return fail(
                QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "not a valid international domain name")));
    }
    ace = ace.toLower();
    for (QStringView label : QStringView(ace).split(QLatin1Char('.'))) {
        if (label.isEmpty())
            return fail(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "empty label in host name")));
        if (label.size() > 63)
            return fail(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "label longer than 63 characters")));
    }
    if (ace.size() > 253)
        return fail(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "host name longer than 253 characters")));
    // Names that are looked up may hold underscores (service and DKIM-style
    // labels, hosts on misconfigured networks): DNS answers for them as for
    // any name.
    QString strict = ace;
    strict.replace(QLatin1Char('_'), QLatin1Char('a'));
    if (!IsValidHostName(strict))
        return fail(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "not a valid host name")));
    return ace;
}

} // namespace quarlo
