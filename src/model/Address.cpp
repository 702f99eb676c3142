#include "model/Address.h"

#include "common/IpFunctions.h"
#include "model/ScanHost.h"
#include "model/Settings.h"

namespace quarlo {

Address::Address(const QString& target, Settings& settings, ScanHost* host)
    : settings_(settings), host_(host), target_(target), respondingServers_(&settings.BlacklistServers())
{
}

QString Address::Caption() const
{
    if (!ip_.isEmpty() && ip_.compare(target_, Qt::CaseInsensitive) != 0)
        return target_ + QStringLiteral(" (") + ip_ + QLatin1Char(')');
    return target_;
}

void Address::SetComplete(bool value)
{
    complete_ = value;
    if (value) return;
    serverIndex_ = 1;
    retryTime_ = Clock::time_point{};
    blacklisted_ = false;
    results_.clear();
    ip_.clear();
    respondingServers_.Clear();
}

void Address::Query()
{
    if (complete_) return;
    if (!ip_.isEmpty()) {
        BlacklistCheck();
        return;
    }
    if (IsValidIP(target_)) {
        ip_ = target_;
        BlacklistCheck();
        return;
    }
    const Clock::time_point now = Clock::now();
    if (retryTime_ < now && host_) {
        // Sent again each time the retry interval passes without a reply.
        retryTime_ = now + kLookupRetry;
        host_->SubmitDNSLookup(Key() + QStringLiteral(":LookupIP"), target_, false);
    }
}

void Address::BlacklistCheck()
{
    scanning_ = true;
    if (serverIndex_ == 0) serverIndex_ = 1;
    const Servers& servers = settings_.BlacklistServers();
    const int count = servers.Count();
    while (serverIndex_ <= count) {
        const ServerPtr server = servers.Item(serverIndex_);
        if (server && server->Enabled() && host_) {
            host_->SubmitDNSLookup(Key() + QStringLiteral(":BlacklistCheck:") + server->Zone(),
                                   ReverseIP(ip_) + QLatin1Char('.') + server->Zone() + QLatin1Char('.'), true);
        }
        ++serverIndex_;
        // Tested after every position, disabled ones too, so one pass
        // overshoots the limit by one query at most.
        if (host_ && host_->PendingDNSLookups() > settings_.MaxQueries()) break;
    }
    if (serverIndex_ > servers.Count()) complete_ = true;
}

void Address::ProcessDNSReply(const QStringList& parts, const QString& /*queryName*/, const QString& answer)
{
    if (parts.size() < 2) return;
    const QString kind = parts[1].toUpper();
    if (kind == QLatin1String("LOOKUPIP")) {
        if (IsValidIP(answer)) {
            ip_ = answer;
            BlacklistCheck();
        } else {
            ip_ = kUnresolvable;
            complete_ = true;
            if (host_) host_->NotifyUpdate(*this);
        }
    } else if (kind == QLatin1String("BLACKLISTCHECK") && parts.size() >= 3) {
        if (!answer.isEmpty()) {
            const RespondingServerPtr record = respondingServers_.Add(parts[2]);
            record->Responses().Add(parts[2], answer);
            if (record->Responses().Count() > 0) blacklisted_ = true;
        }
        if (host_) host_->NotifyUpdate(*this);
    }
}

} // namespace quarlo
