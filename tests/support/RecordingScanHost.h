#pragma once

#include "model/ScanHost.h"

#include <QStringList>

#include <utility>
#include <vector>

// A scan host that records the lookups an address asks it for and sends
// nothing: the test answers them through the address itself.
struct RecordingScanHost : quarlo::ScanHost {
    void SubmitDNSLookup(const QString& tag, const QString& name, bool) override { sent.push_back({tag, name}); }
    int PendingDNSLookups() const override { return 0; }
    void NotifyUpdate(quarlo::Address&) override {}
    void ResolveTarget(quarlo::Address&, const quarlo::ResolveRequest& request) override
    {
        resolves.push_back(request);
    }

    QStringList names() const
    {
        QStringList list;
        for (const auto& [tag, name] : sent) list << name;
        return list;
    }

    std::vector<std::pair<QString, QString>> sent; // tag, name
    std::vector<quarlo::ResolveRequest> resolves;
};
