#include "model/QueryTag.h"

namespace quarlo {

QueryTag QueryTag::Parse(const QString& tag)
{
    QueryTag parsed;
    const QStringList parts = tag.split(QLatin1Char(':'));
    const qsizetype n = parts.size();
    if (n < 2) return parsed;
    // Fewest fields first: a key never ends in a kind's own fields.
    struct Shape {
        const QString& kind;
        int fields;
    };
    for (const Shape shape : {Shape{kLookupIP, 0}, Shape{kBlacklistCheck, 1}, Shape{kTxtRecord, 2}, Shape{kZoneTest, 2}}) {
        const qsizetype at = n - 1 - shape.fields;
        if (at < 1 || parts[at].compare(shape.kind, Qt::CaseInsensitive) != 0) continue;
        parsed.key_ = parts.mid(0, at).join(QLatin1Char(':'));
        parsed.kind_ = shape.kind;
        if (shape.fields >= 1) parsed.zone_ = parts[at + 1];
        if (shape.fields >= 2) parsed.extra_ = parts[at + 2];
        return parsed;
    }
    return parsed;
}

QStringList QueryTag::Parts() const
{
    QStringList parts{key_, kind_};
    if (kind_ == kLookupIP) return parts;
    parts << zone_;
    if (kind_ == kTxtRecord || kind_ == kZoneTest) parts << extra_;
    return parts;
}

} // namespace quarlo
