#include "cli/CheckRun.h"

#include "scan/Addresslist.h"
#include "scan/DirectDns.h"
#include "scan/DnsLookup.h"

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

void CheckRun::start(const QStringList& targets)
{
    targets_ = targets;
    if (progress_) progressTimer_.start();
    resolveMailDomains();
}

void CheckRun::resolveMailDomains()
{
    const QStringList servers = mxDns_.DNSServers().split(QLatin1Char(','), Qt::SkipEmptyParts);
    bool asked = false;
    for (int i = 0; i < targets_.size(); ++i) {
        const qsizetype at = targets_[i].indexOf(QLatin1Char('@'));
        if (at < 0) continue;
        // Until an MX answer names the mail server, the domain stands in.
        const QString domain = targets_[i].mid(at + 1);
        targets_[i] = domain;
        for (const QString& server : servers) {
            mxDns_.Query(domain, QString::number(i), server.trimmed(), 15, nullptr);
            asked = true;
        }
    }
    if (!asked) {
        startScan();
        return;
    }
    auto* poll = new QTimer(this);
    poll->setInterval(20);
    connect(poll, &QTimer::timeout, this, [this, poll] {
        if (mxDns_.OutstandingCount() > 0) return;
        poll->deleteLater();
        mailDomainsResolved();
    });
    poll->start();
}

void CheckRun::onMxReply(const DnsResponse& response)
{
    bool ok = false;
    const int index = response.Tag().toInt(&ok);
    if (!ok || index < 0 || index >= targets_.size() || mxAnswered_.value(index)) return;
    if (const DnsRecord* mx = response.FindRecord(1, DnsRecord::MX, 0)) {
        QString host = mx->Data;
        if (host.endsWith(QLatin1Char('.'))) host.chop(1);
        if (!host.isEmpty()) {
            targets_[index] = host;
            mxAnswered_.insert(index, true);
        }
    }
}

void CheckRun::mailDomainsResolved() { startScan(); }

void CheckRun::startScan()
{
    for (const QString& target : targets_) list_.AddTarget(target);
    list_.StartScan();
    // No need to wait a whole tick for the first pass.
    list_.Tick();
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
    int complete = 0;
    for (const AddressPtr& address : list_) complete += address->Complete() ? 1 : 0;
    std::fprintf(stderr, "\r\033[KChecked %d of %d addresses, %d queries outstanding", complete, list_.Count(),
                 list_.lookupControl().PendingCount());
    std::fflush(stderr);
    progressShown_ = true;
}

} // namespace quarlo
