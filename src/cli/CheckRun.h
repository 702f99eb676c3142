#pragma once

#include "cli/CheckTarget.h"
#include "scan/ScanProgress.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <vector>

namespace quarlo {

class Addresslist;
class DirectDns;
class DnsResponse;

// Drives one command-line check: the mail domains of e-mail addresses get
// their mail servers looked up, every checkable target joins the list, the
// scan runs, and the run finishes once late TXT replies have arrived too.
class CheckRun : public QObject {
    Q_OBJECT
public:
    CheckRun(Addresslist& list, DirectDns& mxDns, bool progress, QObject* parent = nullptr);

    // Host names (given, or a mail domain's exchanger) also get their IPv6
    // addresses looked up; each is checked as a target of its own, listed
    // right after the host's.
    void setIPv6Lookups(bool on) { ipv6Lookups_ = on; }
    // At most this many IPv6 addresses of one host are checked.

    void start(std::vector<CheckTarget> targets);

    // The targets in the order given; complete once finished() was emitted.
    const std::vector<CheckTarget>& targets() const { return targets_; }
    // MX queries sent, and replies of any kind to them.
    int mxQueries() const { return mxQueries_; }
    int mxReplies() const { return mxReplies_; }

signals:
    void finished();

private:
    struct MailDomain {
        QString name;
        bool answered = false; // some server replied, with or without records
        QString exchanger;     // the preferred mail host of the first reply naming a valid one
        QString badExchanger;  // an excerpt of the first preferred MX that is no host name
        bool nullMx = false;
    };

    void resolveMailDomains();
    void onMxReply(const DnsResponse& response);
    void mailDomainsResolved();
    void resolveIPv6();
    void ipv6Resolved();
    // Every server a typed query goes to, each once.
    QStringList queryServers() const;
    // Waits until no query of mxDns_ is out, then calls next.
    void whenLookupsDone(void (CheckRun::*next)());
    void startScan();
    bool anyDomainList() const;
    void waitForTxt();
    void showProgress();

    Addresslist& list_;
    DirectDns& mxDns_;
    bool progress_;
    std::vector<CheckTarget> targets_;
    std::vector<MailDomain> domains_;
    QHash<QString, int> domainIndex_; // case-folded domain -> position in domains_
    bool ipv6Lookups_ = false;
    struct Host6 {
        QString name;
        QStringList addresses; // as the first reply with any gave them
    };
    std::vector<Host6> hosts6_;
    QHash<QString, int> host6Index_; // case-folded host -> position in hosts6_
    int mxQueries_ = 0;
    int mxReplies_ = 0;
    QTimer progressTimer_;
    QElapsedTimer clock_;
    ScanProgress scanProgress_; // started with the first progress line of the scan
    bool scanProgressStarted_ = false;
    QTimer txtTimer_;
    bool progressShown_ = false;
};

} // namespace quarlo
