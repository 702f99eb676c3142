#include "scan/AresDirectDns.h"

#include "scan/AresDriver.h"
#include "scan/DnsReplyParser.h"
#include "scan/DnsServers.h"

#include <utility>

namespace quarlo {
namespace {

// Every response reaches the callback, SERVFAIL and REFUSED included, so
// each answered query gets its Reply.
constexpr int ChannelFlags = ARES_FLAG_NOCHECKRESP;

} // namespace

AresDirectDns::AresDirectDns(const QStringList& servers, QObject* parent)
    : DirectDns(parent), defaultDriver_(new AresDriver(servers, ChannelFlags, this)),
      finished_(this, [this](std::optional<DnsResponse>&& outcome) { deliver(std::move(outcome)); })
{
    for (const QString& server : servers)
        if (!DnsServerToAres(server).isEmpty()) servers_.append(server.trimmed());
}

AresDirectDns::~AresDirectDns() = default;

QString AresDirectDns::DNSServers() const
{
    if (!servers_.isEmpty()) return servers_.join(QLatin1Char(','));
    return defaultDriver_->servers().join(QLatin1Char(','));
}

void AresDirectDns::setTuning(const DnsTuning& tuning)
{
    tuning_ = tuning;
    defaultDriver_->setTuning(tuning);
    for (AresDriver* driver : std::as_const(drivers_)) driver->setTuning(tuning);
}

AresDriver* AresDirectDns::driverFor(const QString& server)
{
    if (const auto given = byGiven_.constFind(server); given != byGiven_.cend()) return *given;
    if (server.trimmed().isEmpty()) return defaultDriver_;
    const QString key = DnsServerToAres(server);
    if (key.isEmpty()) return nullptr;
    AresDriver*& driver = drivers_[key];
    if (!driver) {
        driver = new AresDriver({key}, ChannelFlags, this);
        driver->setTuning(tuning_);
    }
    // Bounded: a caller naming endless spellings of its servers gets no
    // more entries, only the slower reading.
    if (byGiven_.size() < 256) byGiven_.insert(server, driver);
    return driver;
}

void AresDirectDns::Query(const QString& name, const QString& tag, const QString& server, int type, QObject*)
{
    ++outstanding_;
    DnsResponse request;
    request.setTag(tag);
    request.setQueryName(name);

    const QByteArray encoded = AresDriver::EncodeName(name);
    AresDriver* driver = driverFor(server);
    if (encoded.isEmpty() || !driver
        || (type != DnsRecord::A && type != DnsRecord::AAAA && type != DnsRecord::MX && type != DnsRecord::TXT)) {
        if (!driver) qWarning("DNS query to \"%s\": not an IP address with an optional port", qUtf8Printable(server));
        finish(std::nullopt);
        return;
    }
    driver->query(encoded, type, [this, request, type](int, const unsigned char* answer, int length) {
        if (!answer || length < 12) { // nobody answered
            finish(std::nullopt);
            return;
        }
        DnsResponse response = request;
        for (const DnsRecord& record : DnsReplyParser::Records(type, answer, length)) response.addAnswer(record);
        finish(response);
    });
}

void AresDirectDns::deliver(std::optional<DnsResponse>&& response)
{
    --outstanding_; // a handler that waits for the count sees this reply done
    if (response) emit Reply(*response);
    if (outstanding_ == 0) emit Settled();
}

} // namespace quarlo
