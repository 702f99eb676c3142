#include "scan/TargetResolver.h"

#include "common/IpFunctions.h"
#include "common/NameFunctions.h"
#include "model/DnsFailure.h"

#include <algorithm>

namespace quarlo {
namespace {

QString shortened(const QString& text)
{
    return text.size() <= 40 ? text : text.left(40) + QStringLiteral("...");
}

} // namespace

void TargetResolver::Start(const QString& key, const ResolveRequest& request)
{
    Job job;
    job.request = request;
    if (request.kind == ResolveRequest::Kind::Mail) {
        job.outstanding = 1;
        jobs_.emplace(key, std::move(job));
        submit_(QueryTag::Resolve(key, QStringLiteral("MX")), request.name, DnsLookup::Kind::MailExchangers);
        return;
    }
    job.hosts.push_back(Host{request.name, {}, 0});
    Job& held = jobs_.emplace(key, std::move(job)).value();
    lookUpAddresses(key, held);
}

void TargetResolver::lookUpAddresses(const QString& key, Job& job)
{
    // Counted before anything goes out: a lookup control may answer at once.
    for (Host& host : job.hosts) host.outstanding = options_.ipv6 ? 2 : 1;
    job.outstanding += static_cast<int>(job.hosts.size()) * (options_.ipv6 ? 2 : 1);
    const std::vector<Host> hosts = job.hosts;
    for (size_t i = 0; i < hosts.size(); ++i) {
        const QString index = QString::number(i);
        submit_(QueryTag::Resolve(key, QStringLiteral("A") + index), hosts[i].name, DnsLookup::Kind::HostAddresses);
        if (options_.ipv6)
            submit_(QueryTag::Resolve(key, QStringLiteral("AAAA") + index), hosts[i].name,
                    DnsLookup::Kind::HostAddresses6);
    }
}

std::vector<std::pair<int, QString>> TargetResolver::ParseMailExchangers(const QString& answer)
{
    std::vector<std::pair<int, QString>> records;
    for (QStringView line : QStringView(answer).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        if (blank <= 0) continue;
        bool ok = false;
        const int preference = line.left(blank).toInt(&ok);
        if (!ok) continue;
        QString host = line.mid(blank + 1).trimmed().toString();
        if (host.size() > 1 && host.endsWith(QLatin1Char('.'))) host.chop(1);
        if (host.isEmpty()) host = QStringLiteral(".");
        records.emplace_back(preference, host);
    }
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return records;
}

void TargetResolver::mailExchangersReplied(Job& job, const QString& answer, int failureFlag)
{
    const QString& domain = job.request.name;
    if (failureFlag == DnsFailure::NoData) {
        // No MX records: the domain takes its mail itself.
        job.hosts.push_back(Host{domain, {}, 0});
        return;
    }
    if (failureFlag == DnsFailure::NotFound) {
        TargetResolution result;
        result.outcome = TargetResolution::Outcome::Unresolvable;
        result.problem = QString::fromUtf8(kNoMailDomainText).arg(domain);
        job.done = result;
        return;
    }
    if (failureFlag != DnsFailure::None) {
        TargetResolution result;
        result.outcome = TargetResolution::Outcome::Failed;
        result.problem = QString::fromUtf8(kMxFailedText).arg(DnsFailure::Text(failureFlag));
        job.done = result;
        return;
    }
    const auto records = ParseMailExchangers(answer);
    if (records.empty()) {
        job.hosts.push_back(Host{domain, {}, 0});
        return;
    }
    const int best = records.front().first;
    if (records.front().second == QLatin1String(".")) {
        TargetResolution result;
        result.outcome = TargetResolution::Outcome::NoMail;
        result.problem = QString::fromUtf8(kNullMxText).arg(domain);
        job.done = result;
        return;
    }
    QStringList names;
    QString badName;
    for (const auto& [preference, host] : records) {
        if (!options_.allMailExchangers && preference != best) break;
        QString why;
        const QString ascii = host == QLatin1String(".") ? QString() : AsciiHostName(host, &why);
        if (ascii.isEmpty() || IsValidIP(ascii)) {
            if (badName.isEmpty()) badName = shortened(host);
            continue;
        }
        if (!names.contains(ascii)) names.append(ascii);
    }
    // Equal preferences come in whatever order the resolver likes; the
    // verdict and the report must not.
    std::sort(names.begin(), names.end());
    if (names.size() > kMaxMailHosts) names.resize(kMaxMailHosts);
    if (!badName.isEmpty()) job.problems.append(QString::fromUtf8(kBadMxNameText).arg(badName));
    if (names.isEmpty()) {
        TargetResolution result;
        result.outcome = TargetResolution::Outcome::Failed;
        result.problem = QString::fromUtf8(kNoValidMxText).arg(badName);
        job.done = result;
        return;
    }
    for (const QString& name : names) job.hosts.push_back(Host{name, {}, 0});
}

std::optional<TargetResolution> TargetResolver::Reply(const QueryTag& tag, const QString& answer, int failureFlag)
{
    const auto it = jobs_.find(tag.Key());
    if (it == jobs_.end()) return std::nullopt;
    Job& job = it.value();
    const QString step = tag.Zone();
    if (step == QLatin1String("MX")) {
        if (job.outstanding != 1 || !job.hosts.empty()) return std::nullopt; // a duplicate
        job.outstanding = 0;
        mailExchangersReplied(job, answer, failureFlag);
        if (!job.done) lookUpAddresses(tag.Key(), job);
    } else {
        const bool v6 = step.startsWith(QLatin1String("AAAA"));
        const bool v4 = !v6 && step.startsWith(QLatin1Char('A'));
        bool ok = false;
        const int index = QStringView(step).mid(v6 ? 4 : 1).toInt(&ok);
        if (!(v4 || v6) || !ok || index < 0 || index >= static_cast<int>(job.hosts.size())) return std::nullopt;
        Host& host = job.hosts[static_cast<size_t>(index)];
        if (host.outstanding <= 0) return std::nullopt;
        --host.outstanding;
        --job.outstanding;
        if (failureFlag == DnsFailure::None) {
            for (const QString& text : answer.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (host.addresses.size() >= kMaxAddressesPerHost) break;
                // Only what is an address becomes one.
                const bool valid = v6 ? IsIPv6Literal(text) && !HasIPv6ZoneIndex(text) : IsValidIP(text);
                if (!valid) continue;
                const QString canonical = v6 ? CanonicalIPv6(text) : CanonicalIP(text);
                if (!host.addresses.contains(canonical)) host.addresses.append(canonical);
            }
        } else if (failureFlag == DnsFailure::NotFound) {
            if (job.request.kind == ResolveRequest::Kind::Host) job.notFound = true;
        } else if (failureFlag != DnsFailure::NoData) {
            job.problems.append(
                QString::fromUtf8(kHostLookupFailedText)
                    .arg(host.name, v6 ? QStringLiteral("AAAA") : QStringLiteral("A"), DnsFailure::Text(failureFlag)));
        }
    }
    if (job.outstanding > 0) return std::nullopt;
    TargetResolution result = job.done ? *job.done : finish(job);
    jobs_.erase(it);
    return result;
}

TargetResolution TargetResolver::finish(const Job& job)
{
    TargetResolution result;
    const bool mail = job.request.kind == ResolveRequest::Kind::Mail;
    for (const Host& host : job.hosts) {
        if (mail) result.mailHosts.append(host.name);
        QStringList sorted = host.addresses;
        std::sort(sorted.begin(), sorted.end());
        for (const QString& address : sorted) result.addresses.push_back(TargetResolution::Ip{address, host.name});
    }
    result.problem = job.problems.join(QStringLiteral("; "));
    if (!result.addresses.empty()) return result;
    if (!job.problems.isEmpty()) {
        result.outcome = TargetResolution::Outcome::Failed;
        return result;
    }
    result.outcome = TargetResolution::Outcome::Unresolvable;
    if (mail)
        result.problem = result.mailHosts.size() == 1
            ? QString::fromUtf8(kMailServerWithoutAddressText).arg(result.mailHosts.front())
            : QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "no mail server of the domain has an address"));
    else
        result.problem = job.notFound ? DnsFailure::Text(DnsFailure::NotFound)
                                      : QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "no IPv4 address"));
    return result;
}

} // namespace quarlo
