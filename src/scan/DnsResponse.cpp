#include "scan/DnsResponse.h"

namespace quarlo {

const DnsRecord* DnsResponse::Answer(Section section, int index) const
{
    if (section != AnswerSection || index < 0 || index >= AnswerCount()) return nullptr;
    return &answers_[static_cast<size_t>(index)];
}

} // namespace quarlo
