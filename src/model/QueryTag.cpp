#include "model/QueryTag.h"

namespace quarlo {

QueryTag QueryTag::Parse(const QString& tag)
{
    // Every reply of a scan is routed through here, so the tag is read in
    // place: the last three ":" are all a tag's kind and fields need.
    QueryTag parsed;
    qsizetype colon[3];
    int found = 0;
    for (qsizetype from = tag.size() - 1; found < 3 && from >= 0; ++found) {
        const qsizetype at = tag.lastIndexOf(QLatin1Char(':'), from);
        if (at < 0) break;
        colon[found] = at;
        from = at - 1;
    }
    // The text after the i-th ":" from the right, up to the next one.
    const auto field = [&](int i) {
        const qsizetype begin = colon[i] + 1;
        return QStringView(tag).mid(begin, (i > 0 ? colon[i - 1] : tag.size()) - begin);
    };
    // Fewest fields first: a key never ends in a kind's own fields.
    struct Shape {
        const QString& kind;
        int fields;
    };
    for (const Shape shape :
         {Shape{kBlacklistCheck, 1}, Shape{kResolve, 1}, Shape{kTxtRecord, 2}, Shape{kZoneTest, 2}}) {
        if (found <= shape.fields || field(shape.fields).compare(shape.kind, Qt::CaseInsensitive) != 0) continue;
        parsed.key_ = tag.left(colon[shape.fields]);
        parsed.kind_ = shape.kind;
        if (shape.fields >= 1) parsed.zone_ = field(shape.fields - 1).toString();
        if (shape.fields >= 2) parsed.extra_ = field(shape.fields - 2).toString();
        return parsed;
    }
    return parsed;
}

QStringView QueryTag::BlacklistZone(const QString& tag)
{
    const qsizetype last = tag.lastIndexOf(QLatin1Char(':'));
    if (last < 0) return {};
    const qsizetype before = last > 0 ? tag.lastIndexOf(QLatin1Char(':'), last - 1) : -1;
    if (before < 0) return {};
    const QStringView kind = QStringView(tag).mid(before + 1, last - before - 1);
    if (kind.compare(kBlacklistCheck, Qt::CaseInsensitive) != 0) return {};
    return QStringView(tag).mid(last + 1);
}

QStringList QueryTag::Parts() const
{
    QStringList parts{key_, kind_};
    parts << zone_;
    if (kind_ == kTxtRecord || kind_ == kZoneTest) parts << extra_;
    return parts;
}

} // namespace quarlo
