#include "cli/CheckRun.h"

#include "cli/PrintableText.h"
#include "common/NameFunctions.h"
#include "common/PublicSuffixList.h"

#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/DirectDns.h"
#include "scan/DnsLookup.h"
#include "scan/DnsRecord.h"
#include "scan/DnsResponse.h"
#include "common/IpFunctions.h"

#include <cstdio>

namespace quarlo {

CheckRun::CheckRun(Addresslist& list, DirectDns& mxDns, bool progress, QObject* parent)
    : QObject(parent), list_(list), mxDns_(mxDns), progress_(progress)
{
    progressTimer_.setInterval(200);
    connect(&progressTimer_, &QTimer::timeout, this, &CheckRun::showProgress);
    txtTimer_.setInterval(20);
    connect(&txtTimer_, &QTimer::timeout, this, &CheckRun::waitForTxt);
    connect(&mxDns_, &DirectDns::Reply, this, &CheckRun::onMxReply);
    connect(&list_, &Addresslist::ScanComplete, this, [this] {
        progressTimer_.stop();
        waitForTxt();
        if (list_.directDns().OutstandingCount() > 0) txtTimer_.start();
    });
}

void CheckRun::start(std::vector<CheckTarget> targets)
{
    targets_ = std::move(targets);
    if (progress_) progressTimer_.start();
    resolveMailDomains();
}

void CheckRun::resolveMailDomains()
{
    const QStringList servers = queryServers();
    for (const CheckTarget& target : targets_) {
        if (!target.needsMx()) continue;
        const QString key = target.mailDomain.toCaseFolded();
        if (domainIndex_.contains(key)) continue;
        const int index = static_cast<int>(domains_.size());
        domainIndex_.insert(key, index);
        MailDomain domain;
        domain.name = target.mailDomain;
        domains_.push_back(domain);
        for (const QString& server : servers) {
            ++mxQueries_;
            mxDns_.Query(target.mailDomain, QString::number(index), server, 15, nullptr);
        }
    }
    if (domains_.empty()) {
        mailDomainsResolved();
        return;
    }
    whenLookupsDone(&CheckRun::mailDomainsResolved);
}

QStringList CheckRun::queryServers() const
{
    QStringList servers = mxDns_.ServerList();
    // An empty server name means the default servers.
    if (servers.isEmpty()) servers.append(QString());
    return servers;
}

void CheckRun::whenLookupsDone(void (CheckRun::*next)())
{
    // Unanswered queries end without a Reply, so the count is what tells.
    auto* poll = new QTimer(this);
    poll->setInterval(20);
    connect(poll, &QTimer::timeout, this, [this, poll, next] {
        if (mxDns_.OutstandingCount() > 0) return;
        poll->deleteLater();
        (this->*next)();
    });
    poll->start();
}

void CheckRun::resolveIPv6()
{
    const QStringList servers = queryServers();
    for (const CheckTarget& target : targets_) {
        const QString host = target.listTarget();
        // Address literals and ranges have no AAAA records of their own.
        if (host.isEmpty() || !IsValidHostName(host) || IsValidIP(host)) continue;
        const QString key = host.toCaseFolded();
        if (host6Index_.contains(key)) continue;
        host6Index_.insert(key, static_cast<int>(hosts6_.size()));
        hosts6_.push_back(Host6{host, {}});
        for (const QString& server : servers)
            mxDns_.Query(host, QStringLiteral("6:") + QString::number(hosts6_.size() - 1), server, DnsRecord::AAAA,
                         nullptr);
    }
    if (hosts6_.empty()) ipv6Resolved();
    else whenLookupsDone(&CheckRun::ipv6Resolved);
}

void CheckRun::ipv6Resolved()
{
    std::vector<CheckTarget> all;
    all.reserve(targets_.size());
    for (CheckTarget& target : targets_) {
        const QString host = target.listTarget();
        const int index = host.isEmpty() ? -1 : host6Index_.value(host.toCaseFolded(), -1);
        all.push_back(std::move(target));
        if (index < 0) continue;
        for (const QString& address : hosts6_[static_cast<size_t>(index)].addresses) {
            CheckTarget v6 = CheckTarget::FromText(address);
            v6.addressOf = host;
            all.push_back(std::move(v6));
        }
    }
    targets_ = std::move(all);
    startScan();
}

void CheckRun::onMxReply(const DnsResponse& response)
{
    bool ok = false;
    if (response.Tag().startsWith(QLatin1String("6:"))) {
        const int index = response.Tag().mid(2).toInt(&ok);
        if (!ok || index < 0 || index >= static_cast<int>(hosts6_.size())) return;
        Host6& host = hosts6_[static_cast<size_t>(index)];
        // Another server may have answered first.
        if (host.addresses.isEmpty()) host.addresses = response.IPv6Addresses();
        return;
    }
    const int index = response.Tag().toInt(&ok);
    if (!ok || index < 0 || index >= static_cast<int>(domains_.size())) return;
    ++mxReplies_;
    MailDomain& domain = domains_[static_cast<size_t>(index)];
    domain.answered = true;
    if (!domain.exchanger.isEmpty()) return;
    const DnsResponse::MailExchanger mx = response.PreferredExchanger();
    switch (mx.kind) {
    case DnsResponse::MailExchanger::Kind::None: break;
    case DnsResponse::MailExchanger::Kind::Null: domain.nullMx = true; break;
    case DnsResponse::MailExchanger::Kind::Host:
        domain.exchanger = mx.host;
        // Another server named a real exchanger.
        domain.nullMx = false;
        domain.badExchanger.clear();
        break;
    case DnsResponse::MailExchanger::Kind::Invalid:
        if (domain.badExchanger.isEmpty()) domain.badExchanger = Excerpt(mx.host);
        break;
    }
}

void CheckRun::mailDomainsResolved()
{
    for (CheckTarget& target : targets_) {
        if (!target.needsMx()) continue;
        const MailDomain& domain = domains_[static_cast<size_t>(domainIndex_.value(target.mailDomain.toCaseFolded()))];
        if (!domain.exchanger.isEmpty()) {
            target.mx = domain.exchanger;
        } else if (!domain.badExchanger.isEmpty()) {
            target.invalid = QStringLiteral("no valid mail exchanger (MX names \"%1\")").arg(domain.badExchanger);
        } else if (domain.nullMx) {
            target.nullMx = true;
        } else if (domain.answered) {
            target.mx = target.mailDomain; // no MX: the domain takes mail itself
        } else {
            target.mxUnanswered = true;
        }
    }
    if (ipv6Lookups_) resolveIPv6();
    else startScan();
}

void CheckRun::startScan()
{
    for (CheckTarget& target : targets_) {
        const QString key = target.listTarget();
        if (!key.isEmpty()) target.address = list_.AddTarget(key);
        // Only worth an entry when some domain list is there to ask, and
        // when the mail host's own entry does not ask them for the same name.
        const QString domainKey = target.domainListTarget();
        if (target.address && !domainKey.isEmpty() && anyDomainList()) {
            const QString mailDomain = AsciiHostName(target.mailDomain);
            if (mailDomain != PublicSuffixList::Shared().RegisteredDomain(AsciiHostName(key)))
                target.domainAddress = list_.AddTarget(domainKey);
        }
    }
    list_.StartScan();
    // No need to wait a whole tick for the first pass.
    list_.Tick();
}

bool CheckRun::anyDomainList() const
{
    for (const ServerPtr& server : list_.settings().BlacklistServers())
        if (server->Enabled() && server->IsDomainList()) return true;
    return false;
}

void CheckRun::waitForTxt()
{
    if (list_.directDns().OutstandingCount() > 0) return;
    txtTimer_.stop();
    if (progressShown_) std::fputs("\r\033[K", stderr);
    emit finished();
}

void CheckRun::showProgress()
{
    if (domains_.size() > 0 && mxDns_.OutstandingCount() > 0) {
        std::fprintf(stderr, "\r\033[KLooking up the mail servers of %d domains", static_cast<int>(domains_.size()));
    } else {
        int complete = 0;
        for (const AddressPtr& address : list_) complete += address->Complete() ? 1 : 0;
        if (!clock_.isValid()) clock_.start();
        if (!scanProgressStarted_) {
            scanProgress_.start(clock_.elapsed(), list_.Count());
            scanProgressStarted_ = true;
        }
        scanProgress_.update(clock_.elapsed(), complete);
        std::fprintf(stderr, "\r\033[K%s, %d queries outstanding", qUtf8Printable(scanProgress_.text()),
                     list_.lookupControl().PendingCount());
    }
    std::fflush(stderr);
    progressShown_ = true;
}

} // namespace quarlo
