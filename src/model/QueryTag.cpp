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

QueryTag::Fields QueryTag::Read(const QString& tag)
{
    Fields fields;
    const Reading reading = read(tag);
    if (!reading.kind) return fields;
    fields.kind = reading.kind;
    fields.key = QStringView(tag).left(reading.colon[reading.fields]);
    fields.zone = reading.field(tag, reading.fields - 1);
    if (reading.fields >= 2) fields.extra = reading.field(tag, reading.fields - 2);
    return fields;
}

QueryTag QueryTag::Parse(const QString& tag)
{
    QueryTag parsed;
    const Fields fields = Read(tag);
    if (!fields.kind) return parsed;
    parsed.key_ = fields.key.toString();
    parsed.kind_ = *fields.kind;
    parsed.zone_ = fields.zone.toString();
    parsed.extra_ = fields.extra.toString();
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
