#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

namespace quarlo {

// The asynchronous DNS lookup control shared by the address list and the
// add-addresses dialog. Callers set RequestTag, BlacklistQuery and
// RequestFlag, then call Lookup; every lookup is reported exactly once through
// LookupComplete unless CancelAll dropped it first.
//
// Host lookups (BlacklistQuery false) resolve a name to its first IPv4
// address the way the system does. Blacklist queries (BlacklistQuery true) ask
// the A record of a fully qualified name and answer every address, joined by
// single spaces. An empty answer with a non-zero failure flag means "not
// found".
class DnsLookup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DnsLookup() override = default;

    QString RequestTag() const { return requestTag_; }
    void setRequestTag(const QString& tag) { requestTag_ = tag; }
    bool BlacklistQuery() const { return blacklistQuery_; }
    void setBlacklistQuery(bool on) { blacklistQuery_ = on; }
    bool RequestFlag() const { return requestFlag_; }
    void setRequestFlag(bool on) { requestFlag_ = on; }

    // Queues a lookup of name with the current RequestTag and BlacklistQuery.
    virtual void Lookup(const QString& name) = 0;
    // Lookups queued and neither reported nor cancelled; exact at every
    // moment, also inside a LookupComplete handler.
    virtual int PendingCount() const = 0;
    // Drops every queued lookup; nothing is reported for them.
    virtual void CancelAll() = 0;
    // Reports every queued lookup as timed out, from the event loop, and
    // stops asking for them: for a caller that decided it waited enough.
    virtual void ExpireAll() = 0;
    // The longest a lookup can stay unanswered while its tries run; after
    // that it is reported (Timeout at the latest).
    virtual int LongestWaitMs() const = 0;

signals:
    void LookupComplete(const QString& name, const QString& answer, int failureFlag,
                        const QString& tag, const QVariant& extra);

private:
    QString requestTag_;
    bool blacklistQuery_ = false;
    bool requestFlag_ = false;
};

} // namespace quarlo
