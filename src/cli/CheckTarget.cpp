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
    for (QChar c : result.target) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            result.invalid = QStringLiteral("contains control characters");
            return result;
        }
    }
    const qsizetype at = result.target.lastIndexOf(QLatin1Char('@'));
    if (at < 0) return result;
    QString domain = result.target.mid(at + 1).trimmed();
    if (domain.endsWith(QLatin1Char('.'))) domain.chop(1);
    if (domain.isEmpty()) {
        result.invalid = QStringLiteral("no domain after @");
        return result;
    }
    result.mailDomain = domain;
    // An address literal ("user@[192.0.2.1]") names the mail host itself.
    if (domain.startsWith(QLatin1Char('[')) && domain.endsWith(QLatin1Char(']'))) {
        QString literal = domain.mid(1, domain.size() - 2).trimmed();
        if (literal.startsWith(QLatin1String("IPv6:"), Qt::CaseInsensitive)) literal = literal.mid(5);
        if (literal.isEmpty()) result.invalid = QStringLiteral("empty address literal");
        result.mx = literal;
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

QString CheckTarget::listTarget() const
{
    if (!invalid.isEmpty() || nullMx || mxUnanswered) return QString();
    return isMail() ? mx : target;
}

QString CheckTarget::domainListTarget() const
{
    if (!isMail() || !invalid.isEmpty() || mailDomain.startsWith(QLatin1Char('['))) return QString();
    return QStringLiteral("postmaster@") + mailDomain;
}

TargetStatus CheckTarget::status() const
{
    if (!invalid.isEmpty()) return TargetStatus::Invalid;
    if (nullMx) return TargetStatus::NoMail;
    if (!address) return TargetStatus::Incomplete;
    const TargetStatus host = TargetStatusFor(address->Verdict());
    if (!domainAddress) return host;
    // The mail domain's own listing counts as the address's; its gaps
    // count too, while lists that do not apply to it say nothing.
    const TargetStatus domain = TargetStatusFor(domainAddress->Verdict());
    if (host == TargetStatus::Listed || domain == TargetStatus::Listed) return TargetStatus::Listed;
    if (domain == TargetStatus::Clean || domain == TargetStatus::NotApplicable) return host;
    if (host == TargetStatus::Clean || host == TargetStatus::NotApplicable) return domain;
    return host;
}

QString CheckTarget::ip() const
{
    if (!address || address->IP() == Address::kUnresolvable) return QString();
    return address->IP();
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
