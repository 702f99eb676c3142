#pragma once

#include "model/QueryTag.h"
#include "model/TargetResolution.h"
#include "scan/DnsLookup.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace quarlo {

// Finds what a host name or an e-mail address stands for, the one way every
// front end gets: the window's list, list files, automation and quarlo-check
// all scan through Addresslist, which asks this.
//
// - A host name: every A record (and every AAAA record when IPv6 is asked
//   for) is an address to check.
// - An e-mail domain: its MX records; every mail server at the best
//   preference (all of them when asked), each with every address. NOERROR
//   without MX records: the domain itself (RFC 5321's implicit MX). A null
//   MX: the domain takes no mail. NXDOMAIN: unresolvable. Any other failure
//   (SERVFAIL, REFUSED, a time-out, a CNAME loop): the lookup failed and
//   nothing may be vouched for; there is no falling back to the domain's own
//   address.
// - Names are asked as absolute names: no search domain is ever tried.
//
// Lookups go out through submit with QueryTag::Resolve tags; their replies
// come back through Reply. Each target started is finished exactly once by a
// Reply, unless Clear drops it.
class TargetResolver {
public:
    // Why a target was not resolved, with parts filled in: English in
    // reports, automation and the history; the window reads them back into
    // the user's language (ui/ShownText).
    static constexpr const char* kNoMailDomainText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "the mail domain %1 does not exist (NXDOMAIN)");
    static constexpr const char* kMxFailedText = QT_TRANSLATE_NOOP("quarlo::EngineText", "MX lookup failed: %1");
    static constexpr const char* kNullMxText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "%1 publishes a null MX: it accepts no mail");
    static constexpr const char* kBadMxNameText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "an MX record names \"%1\", which is no host name");
    static constexpr const char* kNoValidMxText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "no valid mail exchanger (MX names \"%1\")");
    static constexpr const char* kHostLookupFailedText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "%1: %2 lookup failed: %3");
    static constexpr const char* kMailServerWithoutAddressText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "the mail server %1 has no address");

    struct Options {
        bool ipv6 = false;              // AAAA records too
        bool allMailExchangers = false; // every mail server, not only the best preference
    };
    // Mail servers and addresses per target at most: a hostile zone can
    // name hundreds.
    static constexpr int kMaxMailHosts = 8;
    static constexpr int kMaxAddressesPerHost = 16;

    using Submit = std::function<void(const QString& tag, const QString& name, DnsLookup::Kind kind)>;
    explicit TargetResolver(Submit submit) : submit_(std::move(submit)) {}

    void setOptions(const Options& options) { options_ = options; }
    const Options& options() const { return options_; }

    // Starts looking up request for the target known by key (no ":").
    void Start(const QString& key, const ResolveRequest& request);
    // One lookup's reply; the target's resolution once its last lookup is in.
    std::optional<TargetResolution> Reply(const QueryTag& tag, const QString& answer, int failureFlag);
    // Forgets one target: its remaining replies are dropped.
    void Forget(const QString& key) { jobs_.remove(key); }
    // Forgets every target being resolved.
    void Clear() { jobs_.clear(); }
    int Pending() const { return static_cast<int>(jobs_.size()); }
    // Whether key names a target being resolved.
    bool Knows(const QString& key) const { return jobs_.contains(key); }

    // Reads a MailExchangers answer: each line's host (without the final
    // dot, "." for a null MX) with its preference, best first.
    static std::vector<std::pair<int, QString>> ParseMailExchangers(const QString& answer);

private:
    struct Host {
        QString name;
        QStringList addresses;
        int outstanding = 0;
    };
    struct Job {
        ResolveRequest request;
        std::vector<Host> hosts;
        QStringList problems;  // lookups that failed
        bool notFound = false; // the name itself does not exist
        int outstanding = 0;
        std::optional<TargetResolution> done; // decided before the addresses
    };

    void lookUpAddresses(const QString& key, Job& job);
    void mailExchangersReplied(Job& job, const QString& answer, int failureFlag);
    static TargetResolution finish(const Job& job);

    Submit submit_;
    Options options_;
    QHash<QString, Job> jobs_;
};

} // namespace quarlo
