#include "common/NameFunctions.h"

namespace quarlo {

QString SafeName(const QString& name, const QString& def)
{
    QString result;
    result.reserve(name.size());
    for (QChar c : name) {
        const QChar upper = c.toUpper();
        const bool keep = (upper >= QLatin1Char('A') && upper <= QLatin1Char('Z'))
                          || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                          || c == QLatin1Char('_') || c == QLatin1Char('-')
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

} // namespace quarlo
