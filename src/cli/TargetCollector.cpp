#include "cli/TargetCollector.h"

#include "common/IpRange.h"

#include <optional>

namespace quarlo {

bool TargetCollector::add(CheckTarget target)
{
    if (static_cast<qint64>(targets_.size()) >= limit_) return false;
    targets_.push_back(std::move(target));
    return true;
}

bool TargetCollector::addText(const QString& text)
{
    if (!IpRange::LooksLikeRange(text)) return add(CheckTarget::FromText(text));
    QString why;
    const std::optional<IpRange> range = IpRange::Parse(text, &why);
    if (!range) {
        CheckTarget refused = CheckTarget::FromText(text);
        if (refused.invalid.isEmpty()) refused.invalid = why;
        return add(std::move(refused));
    }
    for (qint64 i = 0; i < range->Count(); ++i) {
        QString address = range->AddressAt(i);
        if (seen_.contains(address)) continue;
        if (!add(CheckTarget::FromText(address))) return false;
        seen_.insert(std::move(address));
    }
    return true;
}

bool TargetCollector::addArgument(const QString& raw)
{
    const QString text = raw.trimmed();
    if (seen_.contains(text)) return true;
    seen_.insert(text);
    return addText(text);
}

bool TargetCollector::addEntry(const QString& text, bool cut)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) return true;
    ++entries_;
    if (cut) return add(CheckTarget::TooLong(trimmed));
    if (seen_.contains(trimmed)) return true;
    seen_.insert(trimmed);
    return addText(trimmed);
}

} // namespace quarlo
