#include "cli/CheckRun.h"

#include "scan/Addresslist.h"

#include <cstdio>

namespace quarlo {

CheckRun::CheckRun(Addresslist& list, bool progress, QObject* parent)
    : QObject(parent), list_(list), progress_(progress)
{
    progressTimer_.setInterval(200);
    connect(&progressTimer_, &QTimer::timeout, this, &CheckRun::showProgress);
    txtTimer_.setInterval(20);
    connect(&txtTimer_, &QTimer::timeout, this, &CheckRun::waitForTxt);
    // The last TXT reply ends the wait at once; the timer is for a lookup
    // control that does not say so.
    connect(&list_, &Addresslist::TxtQueriesSettled, this, [this] {
        if (txtTimer_.isActive()) waitForTxt();
    });
    connect(&list_, &Addresslist::ScanComplete, this, [this] {
        progressTimer_.stop();
        waitForTxt();
        if (list_.OutstandingTxtQueries() > 0) txtTimer_.start();
    });
}

void CheckRun::start(std::vector<CheckTarget> targets)
{
    targets_ = std::move(targets);
    if (progress_) progressTimer_.start();
    for (CheckTarget& target : targets_)
        if (target.invalid.isEmpty()) target.address = list_.AddTarget(target.target);
    list_.StartScan();
    // No need to wait a whole tick for the first pass.
    list_.Tick();
}

void CheckRun::waitForTxt()
{
    if (list_.OutstandingTxtQueries() > 0) return;
    txtTimer_.stop();
    if (progressShown_) std::fputs("\r\033[K", stderr);
    emit finished();
}

void CheckRun::showProgress()
{
    int complete = 0;
    for (const AddressPtr& address : list_) complete += address->Complete() ? 1 : 0;
    if (!clock_.isValid()) clock_.start();
    if (!scanProgressStarted_) {
        scanProgress_.start(clock_.elapsed(), list_.Count());
        scanProgressStarted_ = true;
    }
    scanProgress_.update(clock_.elapsed(), complete);
    std::fprintf(stderr, "\r\033[K%s, %d queries outstanding", qUtf8Printable(scanProgress_.text()),
                 list_.PendingDNSLookups());
    std::fflush(stderr);
    progressShown_ = true;
}

} // namespace quarlo
