#pragma once

#include "model/RespondingServers.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>

namespace quarlo {

class ScanHost;
class Settings;

// One entry of the address list: the target as entered, its resolved IPv4
// address, its scan progress and its results.
class Address : public std::enable_shared_from_this<Address> {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds kLookupRetry{30};
    static inline const QString kUnresolvable = QStringLiteral("Unresolvable");

    Address(const QString& target, Settings& settings, ScanHost* host = nullptr);

    QString Key() const { return target_; }
    QString Target() const { return target_; }
    // Changes the text and Key, not the key under which the list holds it.
    void setTarget(const QString& target) { target_ = target; }
    QString IP() const { return ip_; }
    quarlo::RespondingServers& RespondingServers() { return respondingServers_; }
    const quarlo::RespondingServers& RespondingServers() const { return respondingServers_; }
    // The target, followed by its IP (or "Unresolvable") in parentheses when
    // that differs from it.
    QString Caption() const;
    bool Scanning() const { return scanning_; }
    bool Complete() const { return complete_; }
    QString Results() const { return results_; }
    bool Blacklisted() const { return blacklisted_; }

    // Setting false also resets the address for a new scan.
    void SetComplete(bool value);

    // One scheduling step: host lookup first, then blacklist queries.
    void Query();
    // Sends blacklist queries from ServerIndex on, while the limit allows.
    void BlacklistCheck();
    // Applies one lookup reply; parts is the reply's tag split at ":".
    void ProcessDNSReply(const QStringList& parts, const QString& queryName, const QString& answer);

    int ServerIndex() const { return serverIndex_; }
    Clock::time_point RetryTime() const { return retryTime_; }

    // The list this address belongs to; null once it left the list.
    void setHost(ScanHost* host) { host_ = host; }
    ScanHost* host() const { return host_; }

private:
    Settings& settings_;
    ScanHost* host_;
    QString target_;
    QString ip_;
    QString results_;
    bool complete_ = false;
    bool scanning_ = false;
    bool blacklisted_ = false;
    int serverIndex_ = 0;
    Clock::time_point retryTime_{};
    quarlo::RespondingServers respondingServers_;
};

using AddressPtr = std::shared_ptr<Address>;

} // namespace quarlo
