#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <utility>

namespace quarlo {

// The asynchronous DNS lookup control shared by the address list and the
// add-addresses dialog. Callers set RequestTag, BlacklistQuery and
// RequestFlag, then call Lookup; every lookup is reported exactly once through
// LookupComplete unless CancelAll dropped it first.
//
// What is asked is the LookupKind (BlacklistQuery is the older switch
// between a list's query and a host's A records). An empty answer with a
// non-zero failure flag means "not found" (NoData, NotFound) or no usable
// answer (the others).
class DnsLookup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DnsLookup() override = default;

    // What a lookup asks; every answer names a name absolutely, never
    // through the resolver's search domains.
    enum class Kind {
        Blacklist,      // a list's A records, every address joined by spaces
        HostAddresses,  // a host's A records, every address joined by spaces
        HostAddresses6, // a host's AAAA records, the same way
        // A domain's MX records, one "preference host" per line, best first
        // (equal preferences in answer order); a null MX is "0 .".
        MailExchangers,
    };

    QString RequestTag() const { return requestTag_; }
    void setRequestTag(const QString& tag) { requestTag_ = tag; }
    // The list a blacklist query asks, when the caller holds it: set before
    // each request, like the tag, and used by that request alone. Without
    // it the zone is read from the tag.
    void setRequestZone(const QString& zone) { requestZone_ = zone; }
    bool BlacklistQuery() const { return kind_ == Kind::Blacklist; }
    void setBlacklistQuery(bool on) { kind_ = on ? Kind::Blacklist : Kind::HostAddresses; }
    Kind LookupKind() const { return kind_; }
    void setLookupKind(Kind kind) { kind_ = kind; }
    bool RequestFlag() const { return requestFlag_; }
    void setRequestFlag(bool on) { requestFlag_ = on; }

    // Queues a lookup of name with the current RequestTag and BlacklistQuery.
    virtual void Lookup(const QString& name) = 0;
    // Lookups queued and neither reported nor cancelled; exact at every
    // moment, also inside a LookupComplete handler.
    virtual int PendingCount() const = 0;
    // Of those, the ones still expected to be answered soon: a caller
    // limiting what is in flight counts these. Lookups whose first try went
    // unanswered, or that go to a list that has never answered, keep their
    // tries but hold no place: a silent list must not starve the others.
    virtual int BusyCount() const { return PendingCount(); }
    // Drops every queued lookup; nothing is reported for them.
    virtual void CancelAll() = 0;
    // Reports every queued lookup as timed out, from the event loop, and
    // stops asking for them: for a caller that decided it waited enough.
    virtual void ExpireAll() = 0;
    // The longest a lookup can stay unanswered while its tries run; after
    // that it is reported (Timeout at the latest).
    virtual int LongestWaitMs() const = 0;

signals:
    void LookupComplete(const QString& name, const QString& answer, int failureFlag, const QString& tag,
                        const QVariant& extra);

protected:
    // The zone set for this request, cleared for the next one.
    QString takeRequestZone() { return std::exchange(requestZone_, QString()); }

private:
    QString requestTag_;
    QString requestZone_;
    Kind kind_ = Kind::HostAddresses;
    bool requestFlag_ = false;
};

} // namespace quarlo
