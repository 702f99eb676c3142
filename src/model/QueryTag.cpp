#include "model/QueryTag.h"

namespace quarlo {

namespace {

// Where a tag's kind and fields are, read from the right in place: the
// last three ":" are all a tag's kind and fields need.
struct Reading {
    const QString* kind = nullptr; // null: no known kind in its place
    qsizetype colon[3] = {};
    int fields = 0;
    QStringView field(const QString& tag, int i) const
    {
        const qsizetype begin = colon[i] + 1;
        return QStringView(tag).mid(begin, (i > 0 ? colon[i - 1] : tag.size()) - begin);
    }
};

Reading read(const QString& tag)
{
    Reading reading;
    int found = 0;
    for (qsizetype from = tag.size() - 1; found < 3 && from >= 0; ++found) {
        const qsizetype at = tag.lastIndexOf(QLatin1Char(':'), from);
        if (at < 0) break;
        reading.colon[found] = at;
        from = at - 1;
    }
    // Fewest fields first: a key never ends in a kind's own fields.
    struct Shape {
        const QString& kind;
        int fields;
    };
    for (const Shape shape : {Shape{QueryTag::kBlacklistCheck, 1}, Shape{QueryTag::kResolve, 1},
                              Shape{QueryTag::kTxtRecord, 2}, Shape{QueryTag::kZoneTest, 2}}) {
        if (found <= shape.fields || reading.field(tag, shape.fields).compare(shape.kind, Qt::CaseInsensitive) != 0)
            continue;
        reading.kind = &shape.kind;
        reading.fields = shape.fields;
        return reading;
    }
    return reading;
}

} // namespace

QueryTag QueryTag::Parse(const QString& tag)
{
    // Every reply of a scan is routed through here.
    QueryTag parsed;
    const Reading reading = read(tag);
    if (!reading.kind) return parsed;
    parsed.key_ = tag.left(reading.colon[reading.fields]);
    parsed.kind_ = *reading.kind;
    parsed.zone_ = reading.field(tag, reading.fields - 1).toString();
    if (reading.fields >= 2) parsed.extra_ = reading.field(tag, reading.fields - 2).toString();
    return parsed;
}

QStringView QueryTag::ZoneOf(const QString& tag)
{
    const Reading reading = read(tag);
    return reading.kind ? reading.field(tag, reading.fields - 1) : QStringView();
}

QStringList QueryTag::Parts() const
{
    QStringList parts{key_, kind_};
    parts << zone_;
    if (kind_ == kTxtRecord || kind_ == kZoneTest) parts << extra_;
    return parts;
}

} // namespace quarlo
