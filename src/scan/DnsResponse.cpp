#include "scan/DnsResponse.h"

#include "common/IpFunctions.h"
#include "common/NameFunctions.h"

namespace quarlo {

const DnsRecord* DnsResponse::Answer(int section, int index) const
{
    if (section != 1 || index < 0 || index >= AnswerCount()) return nullptr;
    return &answers_[static_cast<size_t>(index)];
}

const DnsRecord* DnsResponse::FindRecord(int section, int recordType, int index) const
{
    if (section != 1 || index < 0) return nullptr;
    for (const DnsRecord& record : answers_)
        if (record.RecordType == recordType && index-- == 0) return &record;
    return nullptr;
}

DnsResponse::MailExchanger DnsResponse::PreferredExchanger() const
{
    const DnsRecord* mx = FindRecord(1, DnsRecord::MX, 0);
    if (!mx) return {};
    const QString host = mx->Data.trimmed();
    if (host.isEmpty() || host == QLatin1String(".")) return {MailExchanger::Kind::Null, QString()};
    // Anything but a plain host name ("host:Tag" text the address list would
    // read as one of its own entries, blanks, control characters) could
    // smuggle in other targets.
    if (!IsValidHostName(mx->Data)) return {MailExchanger::Kind::Invalid, mx->Data};
    return {MailExchanger::Kind::Host, mx->Data.endsWith(QLatin1Char('.')) ? mx->Data.chopped(1) : mx->Data};
}

QStringList DnsResponse::IPv6Addresses() const
{
    QStringList addresses;
    for (int i = 0; const DnsRecord* record = FindRecord(1, DnsRecord::AAAA, i); ++i) {
        if (!IsIPv6Literal(record->Data) || addresses.contains(record->Data, Qt::CaseInsensitive)) continue;
        addresses.append(record->Data);
        if (addresses.size() == kMaxIPv6Addresses) break;
    }
    return addresses;
}

} // namespace quarlo
