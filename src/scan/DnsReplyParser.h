#pragma once

#include "scan/DnsRecord.h"

#include <QStringList>
#include <vector>

namespace quarlo {

// Reads the records of one type out of a DNS reply as it came off the wire
// (header included). The bytes are whatever the server, or anyone on the
// path, sent: a reply that cannot be read gives no records and a c-ares
// status other than ARES_SUCCESS, never more.
class DnsReplyParser {
public:
    // The IPv4 addresses of the answer section as dotted text, in answer
    // order. ARES_ENODATA when the reply holds none.
    static int Addresses(const unsigned char* reply, int length, QStringList& addresses);

    // The IPv6 addresses of the answer section in their shortest text form,
    // in answer order. ARES_ENODATA when the reply holds none.
    static int Addresses6(const unsigned char* reply, int length, QStringList& addresses);

    // The mail exchangers' host names as sent (a trailing dot possible), in
    // order of preference, lowest first, equal preferences in answer order;
    // a null MX ("0 .") gives an empty name.
    static int MailExchangers(const unsigned char* reply, int length, QStringList& hosts,
                              QList<int>* preferences = nullptr);

    // Whether the answer section's CNAME records, followed from the
    // question's name, run in a circle or on for more than kMaxCnameChain
    // links: such an answer answers nothing, and is no "not found" either.
    static constexpr int kMaxCnameChain = 8;
    static bool CnameChainBroken(const unsigned char* reply, int length);

    // One text per TXT record, its character-strings joined.
    static int Texts(const unsigned char* reply, int length, QStringList& texts);

    // The records of type (DnsRecord::A, AAAA, MX or TXT) as a DirectDns reply
    // carries them; none for an unreadable reply or another type.
    static std::vector<DnsRecord> Records(int type, const unsigned char* reply, int length);
};

} // namespace quarlo
