#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace quarlo {

// What a host name or an e-mail address asks to be looked up before its
// addresses can be checked.
struct ResolveRequest {
    enum class Kind {
        Host, // the name's A records (and AAAA records when asked for)
        Mail, // the domain's mail servers, then each one's addresses
    };
    Kind kind = Kind::Host;
    QString name; // in ASCII, absolute (no search domains apply)
};

// What one scan's lookups made of a host name or an e-mail address.
struct TargetResolution {
    enum class Outcome {
        Resolved,     // addresses to check (problem may name lookups that failed beside them)
        Unresolvable, // the name, or every mail server, has no address
        NoMail,       // the domain publishes a null MX: it takes no mail
        Failed,       // a lookup got no usable answer: nothing can be vouched for
    };
    struct Ip {
        QString address; // IPv4 dotted or IPv6 canonical text
        QString host;    // the host name it is an address of
    };

    Outcome outcome = Outcome::Resolved;
    // Failed/Unresolvable: why; Resolved: the lookups that failed beside the
    // ones that answered, which leave the verdict incomplete.
    QString problem;
    QStringList mailHosts; // e-mail: the mail servers checked, best preference first
    std::vector<Ip> addresses;
};

} // namespace quarlo
