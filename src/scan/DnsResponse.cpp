#include "scan/DnsResponse.h"

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

} // namespace quarlo
