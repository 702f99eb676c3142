#pragma once

#include "support/RbldnsdServer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// One target, one verdict, whatever the door: the DNS situations every door
// (quarlo-check, a list file in the program's Session, targets added one by
// one, the D-Bus object model) is run through, with the verdict word each
// must give.
namespace VerdictTable {

struct Row {
    const char* target;
    const char* status; // quarlo-check's word for the verdict; the Verdict property's too
    const char* situation;
};

inline const std::vector<Row>& Rows()
{
    static const std::vector<Row> rows{
        {"192.0.2.1", "listed", "an address on an exact-code list"},
        {"192.0.2.20", "clean", "an address on no list"},
        {"192.0.2.8", "refused", "a bit-mask list answers its refusal code: a refusal, never bits of listings"},
        {"multi.chosts.test", "listed", "a host with two A records, the second listed: every address is checked"},
        {"clean.chosts.test.", "clean", "a trailing-dot host name is absolute"},
        {"missing.chosts.test", "unresolvable", "NXDOMAIN for a host name"},
        {"www.cspam.test", "listed", "a host whose domain is on the domain list"},
        {"postmaster@clistedmx.test", "listed", "an e-mail address whose mail server is listed"},
        {"postmaster@ctwomx.test", "listed", "two mail servers of equal preference, the second listed"},
        {"postmaster@cimplicit.test", "clean", "no MX: the domain itself takes mail (implicit MX)"},
        {"postmaster@cnomail.test", "no-mail", "a null MX"},
        {"postmaster@nozone.example", "incomplete", "the MX lookup is refused: no fallback to the bare domain"},
        {"user@[192.0.2.1]", "listed", "an address literal names the mail server itself"},
        {"2001:db8::1", "not-applicable", "an IPv6 address and no list that answers IPv6"},
        {"mail.example:25", "invalid", "not a target"},
    };
    return rows;
}

inline QStringList Targets()
{
    QStringList targets;
    for (const Row& row : Rows()) targets << row.target;
    return targets;
}

// The zones behind the rows, for an rbldnsd that has not started yet.
inline void AddZones(quarlo::RbldnsdServer& server)
{
    server.addZone("cbl.test", "ip4set", ":127.0.0.2:Listed $\n127.0.0.2\n192.0.2.1\n192.0.2.7\n");
    server.addZone("cmask.test", "ip4set",
                   ":127.0.0.2:Bits $\n127.0.0.2\n192.0.2.1\n192.0.2.8 :127.255.255.254:refused\n");
    server.addZone("cdom.test", "dnset", ":127.0.1.2:Spam domain $\ntest\n.cspam.test\n");
    server.addZone("chosts.test", "generic",
                   "multi A 192.0.2.20\nmulti A 192.0.2.7\nclean A 198.51.100.20\nmx1 A 192.0.2.1\n"
                   "a A 198.51.100.21\nb A 192.0.2.7\n");
    server.addZone("clistedmx.test", "generic", "@ MX 10 mx1.chosts.test.\n");
    server.addZone("ctwomx.test", "generic", "@ MX 10 a.chosts.test.\n@ MX 10 b.chosts.test.\n");
    server.addZone("cimplicit.test", "generic", "@ A 198.51.100.20\n");
    server.addZone("cnomail.test", "generic", "@ MX 0 .\n");
    server.addZone("cspam.test", "generic", "www A 198.51.100.20\n");
}

// The lists the rows are judged by.
struct Code {
    const char* address;
    const char* reason;
    bool listing;
};
struct List {
    const char* zone;
    const char* name;
    bool bitMask;
    bool domain;
    std::vector<Code> codes;
};
inline const std::vector<List>& Lists()
{
    static const std::vector<List> lists{
        {"cbl.test", "Exact", false, false, {{"127.0.0.2", "Listed", true}}},
        {"cmask.test",
         "Mask",
         true,
         false,
         {{"127.0.0.2", "Black", true}, {"127.0.0.4", "Grey", true}, {"127.255.255.254", "Refused", false}}},
        {"cdom.test", "Dom", false, true, {{"127.0.1.2", "Spam domain", true}}},
    };
    return lists;
}

// The same lists as a server configuration file.
inline QByteArray ConfigXml()
{
    QByteArray xml = "<Quarlo><BlackListServers>";
    for (const List& list : Lists()) {
        xml += QByteArray("<Server Server=\"") + list.zone + "\" Enabled=\"TRUE\" Name=\"" + list.name + "\""
            + (list.domain ? " ListKind=\"Domain\"" : "") + "><ResultCodes"
            + (list.bitMask ? " BitMaskCoded=\"True\"" : "") + ">";
        for (const Code& code : list.codes)
            xml += QByteArray("<ResultCode Address=\"") + code.address + "\" Reason=\"" + code.reason + "\""
                + (code.listing ? "" : " Listing=\"False\"") + "/>";
        xml += "</ResultCodes></Server>";
    }
    return xml + "</BlackListServers></Quarlo>";
}

} // namespace VerdictTable
