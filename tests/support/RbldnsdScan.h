#pragma once

#include "common/Registry.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/AresDirectDns.h"
#include "scan/AresDnsLookup.h"
#include "support/MemoryRegistryBackend.h"
#include "support/RbldnsdServer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

// End-to-end scans: the real lookup control and TXT component against a DNS
// server on loopback, driven by the address list's scheduler. A test adds its
// zones to server and calls startServer(), or connects to a server of its own.
class RbldnsdScan : public ::testing::Test {
protected:
    void startServer()
    {
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        connect(QStringList{server.serverSpec()});
    }

    // A fresh list whose lookups and TXT queries go to dnsServers.
    void connect(const QStringList& dnsServers, const QStringList& txtServers = {})
    {
        list.reset();
        lookup = std::make_unique<quarlo::AresDnsLookup>(dnsServers);
        auto txt = std::make_unique<quarlo::AresDirectDns>(txtServers.isEmpty() ? dnsServers : txtServers);
        direct = txt.get();
        list = std::make_unique<quarlo::Addresslist>(settings, *lookup, std::move(txt));
    }

    // Runs a scan to its end and waits for the last TXT reply.
    void scanToEnd(int timeoutMs = 60000)
    {
        QSignalSpy complete(list.get(), &quarlo::Addresslist::ScanComplete);
        list->StartScan();
        list->Tick();
        ASSERT_TRUE(complete.count() == 1 || complete.wait(timeoutMs)) << "scan did not complete";
        ASSERT_TRUE(QTest::qWaitFor([&] { return direct->OutstandingCount() == 0; }, 30000));
        EXPECT_EQ(lookup->PendingCount(), 0);
    }

    // "code=reason" of each answer zone gave for address.
    static QStringList reasons(const quarlo::AddressPtr& address, const QString& zone)
    {
        QStringList out;
        if (const auto record = address->RespondingServers().Item(zone))
            for (const auto& r : record->Responses()) out << r->Address() + "=" + r->Reason();
        return out;
    }

    quarlo::RbldnsdServer server;
    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    quarlo::Registry registry{backend};
    quarlo::Settings settings{registry, nullptr};
    std::unique_ptr<quarlo::AresDnsLookup> lookup;
    quarlo::AresDirectDns* direct = nullptr;
    std::unique_ptr<quarlo::Addresslist> list;
};
