#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QHash>

namespace quarlo {

class Addresslist;
class DirectDns;
class DnsResponse;

// Drives one command-line check: e-mail addresses become their domain's mail
// server, every target joins the list, the scan runs, and the run finishes
// once late TXT replies have arrived too.
class CheckRun : public QObject {
    Q_OBJECT
public:
    CheckRun(Addresslist& list, DirectDns& mxDns, bool progress, QObject* parent = nullptr);

    void start(const QStringList& targets);

signals:
    void finished();

private:
    void resolveMailDomains();
    void onMxReply(const DnsResponse& response);
    void mailDomainsResolved();
    void startScan();
    void waitForTxt();
    void showProgress();

    Addresslist& list_;
    DirectDns& mxDns_;
    bool progress_;
    QStringList targets_;
    QHash<int, bool> mxAnswered_; // target index -> an MX answer replaced it
    QTimer progressTimer_;
    QTimer txtTimer_;
    bool progressShown_ = false;
};

} // namespace quarlo
