// The DNS reply parsing behind the lookups and the typed queries: the bytes
// come from the network, so anyone who can answer a query writes them.
#include "common/IpFunctions.h"
#include "scan/DnsReplyParser.h"

#include <ares.h>
#include <cstdlib>

using namespace quarlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65535) return 0; // no DNS message is longer
    const int length = static_cast<int>(size);

    QStringList addresses;
    const int status = DnsReplyParser::Addresses(data, length, addresses);
    if (status == ARES_SUCCESS && addresses.isEmpty()) std::abort();
    if (status != ARES_SUCCESS && !addresses.isEmpty()) std::abort();
    for (const QString& address : addresses)
        if (!IsValidIP(address)) std::abort();

    QStringList hosts;
    if (DnsReplyParser::MailExchangers(data, length, hosts) != ARES_SUCCESS && !hosts.isEmpty()) std::abort();
    QStringList texts;
    if (DnsReplyParser::Texts(data, length, texts) != ARES_SUCCESS && !texts.isEmpty()) std::abort();

    for (int type : {int(DnsRecord::A), int(DnsRecord::MX), int(DnsRecord::TXT), 28})
        for (const DnsRecord& record : DnsReplyParser::Records(type, data, length))
            if (record.RecordType != type) std::abort();
    if (!DnsReplyParser::Records(28, data, length).empty()) std::abort();
    return 0;
}
