#pragma once

#include "model/DnsFailure.h"
#include "scan/DnsLookup.h"

#include <QMetaObject>
#include <deque>
#include <functional>

// A lookup control whose replies the test decides: lookups queue up and the
// test answers them (asynchronously by default, like the real control).
class FakeDnsLookup : public quarlo::DnsLookup {
public:
    struct Request {
        QString name;
        QString tag;
        bool blacklist;
        Kind kind = Kind::Blacklist;
    };

    // When set, every lookup is answered on the next event-loop turn with
    // what this returns (answer, failure flag); a negative flag leaves it
    // unreported.
    std::function<std::pair<QString, int>(const Request&)> autoAnswer;

    void Lookup(const QString& name) override
    {
        Request request{name, RequestTag(), BlacklistQuery(), LookupKind()};
        pending.push_back(request);
        history.push_back(request);
        if (autoAnswer) {
            const quint64 generation = generation_;
            QMetaObject::invokeMethod(
                this,
                [this, request, generation] {
                    if (generation != generation_) return; // cancelled
                    const auto [answer, flag] = autoAnswer(request);
                    if (flag >= 0) answer_(request, answer, flag); // a negative flag: never reported
                },
                Qt::QueuedConnection);
        }
    }
    int PendingCount() const override { return static_cast<int>(pending.size()); }
    void CancelAll() override
    {
        pending.clear();
        ++generation_;
        ++cancelCalls;
    }

    void ExpireAll() override
    {
        const std::deque<Request> expired = pending;
        ++generation_;
        ++expireCalls;
        QMetaObject::invokeMethod(
            this,
            [this, expired] {
                for (const Request& r : expired) answer_(r, QString(), quarlo::DnsFailure::Timeout);
            },
            Qt::QueuedConnection);
    }
    int LongestWaitMs() const override { return longestWaitMs; }

    // Answers the oldest pending request with that tag; false when none.
    // With tagAlias set, a tag that names a target by its text ("192.0.2.7:
    // BlacklistCheck:a.test") also finds the request that names it by id.
    bool answer(const QString& tag, const QString& answer, int flag = 0)
    {
        for (const Request& r : pending)
            if (r.tag == tag) return answer_(r, answer, flag);
        if (tagAlias) {
            const QString alias = tagAlias(tag);
            for (const Request& r : pending)
                if (r.tag == alias) return answer_(r, answer, flag);
        }
        return false;
    }
    std::function<QString(const QString&)> tagAlias;

    // Answers the oldest pending lookup of name (a target's own lookups
    // carry tags the test cannot know beforehand); false when none.
    bool answerName(const QString& name, const QString& answer, int flag = 0)
    {
        for (const Request& r : pending)
            if (r.name == name) return answer_(r, answer, flag);
        return false;
    }

    std::deque<Request> pending;
    std::vector<Request> history;
    int cancelCalls = 0;
    int expireCalls = 0;
    int longestWaitMs = 10000;

private:
    bool answer_(Request request, const QString& answer, int flag)
    {
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (it->tag == request.tag && it->name == request.name) {
                pending.erase(it);
                emit LookupComplete(request.name, answer, flag, request.tag, QVariant());
                return true;
            }
        }
        return false;
    }
    quint64 generation_ = 0;
};
