#pragma once

#include "scan/DirectDns.h"

#include <vector>

// A DirectDns that records queries; the test emits replies itself.
class FakeDirectDns : public quarlo::DirectDns {
public:
    struct Sent {
        QString name, tag, server;
        int type;
    };

    explicit FakeDirectDns(QString servers = QStringLiteral("127.0.0.1:9")) : servers_(std::move(servers)) {}

    QString DNSServers() const override { return servers_; }
    void Query(const QString& name, const QString& tag, const QString& server, int type, QObject*) override
    {
        sent.push_back({name, tag, server, type});
    }
    int OutstandingCount() const override { return 0; }

    void reply(const QString& tag, const QString& name, const std::vector<quarlo::DnsRecord>& records)
    {
        quarlo::DnsResponse response;
        response.setTag(tag);
        response.setQueryName(name);
        for (const auto& r : records) response.addAnswer(r);
        emit Reply(response);
    }

    std::vector<Sent> sent;

private:
    QString servers_;
};
