#include "scan/TargetLookup.h"

#include "common/IpFunctions.h"
#include "common/NameFunctions.h"
#include "model/QueryTag.h"
#include "scan/DnsLookup.h"

namespace quarlo {
namespace {

const QLatin1Char kTagMark('+');

} // namespace

TargetLookup::TargetLookup(DnsLookup& dns, QObject* parent)
    : QObject(parent), dns_(dns), resolver_([this](const QString& tag, const QString& name, DnsLookup::Kind kind) {
          // The lookup control's settings belong to the list too: put back.
          const QString tagBefore = dns_.RequestTag();
          const DnsLookup::Kind kindBefore = dns_.LookupKind();
          dns_.setRequestTag(tag);
          dns_.setLookupKind(kind);
          dns_.setRequestFlag(true);
          dns_.Lookup(name);
          dns_.setRequestTag(tagBefore);
          dns_.setLookupKind(kindBefore);
      })
{
    connect(&dns_, &DnsLookup::LookupComplete, this,
            [this](const QString&, const QString& answer, int failureFlag, const QString& tag, const QVariant&) {
                onLookupComplete(answer, failureFlag, tag);
            });
}

TargetLookup::Need TargetLookup::Classify(const QString& text, ResolveRequest* request, QString* why)
{
    const QString target = text.trimmed();
    if (IsValidIP(target) || (IsIPv6Literal(target) && !HasIPv6ZoneIndex(target)) || !MappedIPv4(target).isEmpty())
        return Need::Nothing;
    if (const qsizetype at = target.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString domain = target.mid(at + 1).trimmed();
        if (domain.startsWith(QLatin1Char('[')) && domain.endsWith(QLatin1Char(']'))) return Need::Nothing;
        const QString ascii = AsciiHostName(domain, why);
        if (ascii.isEmpty()) return Need::Invalid;
        *request = ResolveRequest{ResolveRequest::Kind::Mail, ascii};
        return Need::Lookup;
    }
    const QString ascii = AsciiHostName(target, why);
    if (ascii.isEmpty()) return Need::Invalid;
    *request = ResolveRequest{ResolveRequest::Kind::Host, ascii};
    return Need::Lookup;
}

bool TargetLookup::Look(const QString& key, const QString& text)
{
    ResolveRequest request;
    QString why;
    if (Classify(text, &request, &why) != Need::Lookup) return false;
    resolver_.Start(kTagMark + key, request);
    return true;
}

void TargetLookup::onLookupComplete(const QString& answer, int failureFlag, const QString& tag)
{
    if (!tag.startsWith(kTagMark)) return;
    const QueryTag parsed = QueryTag::Parse(tag);
    if (!parsed.Is(QueryTag::kResolve)) return;
    if (const std::optional<TargetResolution> resolution = resolver_.Reply(parsed, answer, failureFlag))
        emit Looked(parsed.Key().mid(1), *resolution);
}

} // namespace quarlo
