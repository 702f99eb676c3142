#pragma once

#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/AresDnsLookup.h"
#include "scan/DirectDns.h"
#include "scan/DnsTuning.h"
#include "storage/ServerConfigStore.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace quarlo {

class Registry;

// The program's objects wired together the one way every front end needs
// them (the window, quarlo-check, the screenshot and benchmark tools): the
// server configuration, the settings, the DNS servers, the lookup control
// and the address list with its TXT component, all on the same servers.
class Session {
public:
    struct Options {
        QString configPath = {}; // the server configuration file
        QString savePath = {};   // where server changes are saved; empty: configPath
        // "DNS Servers" text that overrides the stored option and the
        // environment; empty: those (else the system's resolvers).
        QString dnsServers = {};
        DnsTuning tuning = {};
    };

    Session(Registry& registry, const Options& options);

    quarlo::Settings& Settings() { return settings_; }
    quarlo::Addresslist& Addresslist() { return list_; }
    AresDnsLookup& Lookup() { return lookup_; }
    QStringList DnsServers() const { return dnsServers_; }
    // A typed-query component on the session's DNS servers and tuning (MX
    // and AAAA look-ups, each add-addresses dialog).
    std::unique_ptr<DirectDns> NewDirectDns() const;
    // Why the server configuration could not be read, or empty.
    QString LastError() const;
    const ErrorText& LastErrorText() const;

private:
    ServerConfigStore store_;
    quarlo::Settings settings_;
    QStringList dnsServers_;
    DnsTuning tuning_;
    AresDnsLookup lookup_;
    quarlo::Addresslist list_; // after the lookup control: it cancels its lookups there
};

} // namespace quarlo
