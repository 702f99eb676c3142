#pragma once

#include <QString>
#include <QtGlobal>

namespace quarlo {

// The failure flag that comes with every lookup reply. 0: the name resolved.
// The values are those of the resolver library (c-ares status codes); the
// lookup control checks at compile time that they agree.
namespace DnsFailure {

constexpr int None = 0;
constexpr int NoData = 1;             // NOERROR without a record of the type
constexpr int FormatError = 2;        // FORMERR
constexpr int ServerFailure = 3;      // SERVFAIL
constexpr int NotFound = 4;           // NXDOMAIN
constexpr int NotImplemented = 5;     // NOTIMP
constexpr int Refused = 6;            // REFUSED
constexpr int BadName = 8;            // not a usable DNS name
constexpr int BadResponse = 10;       // an answer that could not be parsed
constexpr int ConnectionRefused = 11; // the port is closed
constexpr int Timeout = 12;           // nobody answered after every try
// Ours, above c-ares' codes: the answer's CNAME chain runs in a circle or
// on for longer than any resolver follows, so it answers nothing.
constexpr int CnameLoop = 100;

// The server answered that the name has no address: the list does not
// list the address. Every other non-zero flag means no usable answer.
inline bool IsNegativeAnswer(int flag)
{
    return flag == NoData || flag == NotFound;
}

// The texts are English wherever they go (reports, automation, the
// history); the window shows them in the user's language from the same
// marked sources ("quarlo::EngineText").
inline constexpr const char* kOtherErrorText = QT_TRANSLATE_NOOP("quarlo::EngineText", "DNS error %1");

// A short text for the user: "timed out", "server failure (SERVFAIL)", ...
inline QString Text(int flag)
{
    switch (flag) {
    case None: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "answered"));
    case NoData: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "no address record"));
    case FormatError: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "format error (FORMERR)"));
    case ServerFailure: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "server failure (SERVFAIL)"));
    case NotFound: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "name not found (NXDOMAIN)"));
    case NotImplemented: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "not implemented (NOTIMP)"));
    case Refused: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "refused by the DNS server"));
    // A closed port answers with an ICMP error: nobody is there to refuse.
    case ConnectionRefused:
        return QStringLiteral(
            QT_TRANSLATE_NOOP("quarlo::EngineText", "no DNS server at that address: connection refused"));
    case BadName: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "not a valid DNS name"));
    case BadResponse: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "unreadable answer"));
    case Timeout: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "timed out"));
    case CnameLoop: return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "CNAME chain loops or is too long"));
    default: return QString::fromUtf8(kOtherErrorText).arg(flag);
    }
}

} // namespace DnsFailure
} // namespace quarlo
