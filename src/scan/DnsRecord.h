#pragma once

#include <QString>

namespace quarlo {

// One resource record of a DirectDns reply.
struct DnsRecord {
    enum Type { A = 1, CNAME = 5, MX = 15, TXT = 16, AAAA = 28 };

    QString Data; // A: dotted address; AAAA: IPv6 text; MX: host name; TXT: the strings joined
    int RecordType = 0;
};

} // namespace quarlo
