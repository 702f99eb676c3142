#include "cli/CheckTarget.h"

#include "cli/PrintableText.h"

namespace quarlo {

CheckTarget CheckTarget::FromText(const QString& text)
{
    CheckTarget result;
    result.target = text.trimmed();
    if (result.target.isEmpty()) {
        result.invalid = QStringLiteral("empty target");
        return result;
    }
    // Reports name an overlong target by its first characters only.
    if (result.target.size() > kMaxLength) return TooLong(result.target);
    for (QChar c : std::as_const(result.target)) { // a plain loop would detach a copy
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            result.invalid = QStringLiteral("contains control characters");
            return result;
        }
    }
    return result;
}

CheckTarget CheckTarget::TooLong(const QString& start)
{
    CheckTarget result;
    result.target = Excerpt(start.trimmed());
    result.invalid = QStringLiteral("longer than %1 characters").arg(kMaxLength);
    return result;
}

TargetStatus CheckTarget::status() const
{
    if (!invalid.isEmpty()) return TargetStatus::Invalid;
    if (!address) return TargetStatus::Incomplete;
    return TargetStatusFor(address->Verdict());
}

QString CheckTarget::ip() const
{
    if (!address || address->IP() == Address::kUnresolvable) return QString();
    return address->IP();
}

QString CheckTarget::mx() const
{
    return address ? address->MailHosts().join(QStringLiteral(", ")) : QString();
}

int ExitStatusFor(const std::vector<CheckTarget>& targets)
{
    int exit = 0;
    for (const CheckTarget& target : targets) {
        switch (target.status()) {
        case TargetStatus::Listed: return 1;
        case TargetStatus::Clean: break;
        default: exit = 3; break;
        }
    }
    return exit;
}

} // namespace quarlo
