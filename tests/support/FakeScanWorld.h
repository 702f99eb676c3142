#pragma once

#include "common/Registry.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeDirectDns.h"
#include "support/FakeDnsLookup.h"
#include "support/MemoryRegistryBackend.h"
#include "support/TagAlias.h"

#include <QTemporaryDir>
#include <memory>

// Settings over an in-memory registry, an address list and fake DNS
// components whose replies the test decides: the world most tests scan in.
struct FakeScanWorld {
    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    quarlo::Registry registry{backend};
    quarlo::Settings settings{registry, nullptr};
    FakeDnsLookup dns;
    FakeDirectDns* directDns = nullptr; // owned by the list
    quarlo::Addresslist list{settings, dns, makeDirectDns()};

    // Tests that are about the zone tests before a scan switch them on; the
    // others count queries without them.
    FakeScanWorld()
    {
        settings.setCheckListsBeforeScanning(false);
        dns.tagAlias = [this](const QString& tag) { return TagByTarget(list, tag); };
    }

private:
    std::unique_ptr<FakeDirectDns> makeDirectDns()
    {
        auto direct = std::make_unique<FakeDirectDns>("127.0.0.1:9, 127.0.0.2:9");
        directDns = direct.get();
        return direct;
    }
};
