#pragma once

#include "scan/DnsLookup.h"

#include <QHash>
#include <QStringList>

#include <deque>

namespace quarlo {

class AresDriver;

// The lookup control on c-ares. Replies are emitted from the event loop,
// never from inside Lookup() or from inside c-ares, so a handler may call
// Lookup, CancelAll or delete the control.
class AresDnsLookup : public DnsLookup {
    Q_OBJECT
public:
    // servers: see AresDriver; empty means the system's resolvers.
    explicit AresDnsLookup(const QStringList& servers, QObject* parent = nullptr);
    ~AresDnsLookup() override;

    void Lookup(const QString& name) override;
    int PendingCount() const override { return static_cast<int>(pending_.size()); }
    void CancelAll() override;

private:
    struct Request {
        QString name;
        QString tag;
    };
    struct Result {
        quint64 id = 0;
        QString answer;
        int failure = 0;
    };

    void hostLookup(quint64 id, const QString& name);
    void blacklistQuery(quint64 id, const QString& name);
    // Records the outcome of request id (ignored when it was cancelled) and
    // schedules its emission.
    void finish(quint64 id, const QString& answer, int failure);
    void emitFinished();

    AresDriver* driver_;
    QHash<quint64, Request> pending_; // looked up, not yet reported
    std::deque<Result> finished_;     // outcomes waiting for emitFinished
    bool emitQueued_ = false;
    quint64 nextId_ = 1;
};

} // namespace quarlo
