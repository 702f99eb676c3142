#include "scan/AresDirectDns.h"

#include "scan/AresDriver.h"
#include "scan/DnsServers.h"

#include <QPointer>

#include <algorithm>
#include <arpa/inet.h>
#include <utility>
#include <vector>

namespace quarlo {
namespace {

// Every response reaches the callback, SERVFAIL and REFUSED included, so
// each answered query gets its Reply.
constexpr int ChannelFlags = ARES_FLAG_NOCHECKRESP;

void appendA(DnsResponse* response, const unsigned char* answer, int length)
{
    // A records take at least 16 bytes each: that bounds the buffer.
    const int announced = answer[6] << 8 | answer[7];
    int count = qBound(1, announced, qMax(1, length / 16));
    std::vector<ares_addrttl> addresses(static_cast<size_t>(count));
    if (ares_parse_a_reply(answer, length, nullptr, addresses.data(), &count) != ARES_SUCCESS) return;
    for (int i = 0; i < count; ++i) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &addresses[static_cast<size_t>(i)].ipaddr, text, sizeof text);
        response->addAnswer(DnsRecord{QString::fromLatin1(text), DnsRecord::A});
    }
}

void appendMx(DnsResponse* response, const unsigned char* answer, int length)
{
    ares_mx_reply* list = nullptr;
    if (ares_parse_mx_reply(answer, length, &list) != ARES_SUCCESS) return;
    // Callers take the first record as the mail exchanger to use.
    std::vector<std::pair<unsigned short, QString>> records;
    for (const ares_mx_reply* mx = list; mx; mx = mx->next) {
        QString host = QString::fromUtf8(mx->host);
        if (host == QLatin1String(".")) host.clear(); // null MX: no mail accepted
        records.emplace_back(mx->priority, host);
    }
    ares_free_data(list);
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [priority, host] : records) response->addAnswer(DnsRecord{host, DnsRecord::MX});
}

void appendTxt(DnsResponse* response, const unsigned char* answer, int length)
{
    ares_txt_ext* list = nullptr;
    if (ares_parse_txt_reply_ext(answer, length, &list) != ARES_SUCCESS) return;
    // c-ares gives one node per character-string; record_start marks the
    // first string of each record.
    QByteArray text;
    bool open = false;
    for (const ares_txt_ext* node = list; node; node = node->next) {
        if (node->record_start && open) {
            response->addAnswer(DnsRecord{QString::fromUtf8(text), DnsRecord::TXT});
            text.clear();
        }
        open = true;
        text.append(reinterpret_cast<const char*>(node->txt), static_cast<qsizetype>(node->length));
    }
    if (open) response->addAnswer(DnsRecord{QString::fromUtf8(text), DnsRecord::TXT});
    ares_free_data(list);
}

} // namespace

AresDirectDns::AresDirectDns(const QStringList& servers, QObject* parent)
    : DirectDns(parent), defaultDriver_(new AresDriver(servers, ChannelFlags, this))
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
    if (server.trimmed().isEmpty()) return defaultDriver_;
    const QString key = DnsServerToAres(server);
    if (key.isEmpty()) return nullptr;
    AresDriver*& driver = drivers_[key];
    if (!driver) {
        driver = new AresDriver({key}, ChannelFlags, this);
        driver->setTuning(tuning_);
    }
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
    if (encoded.isEmpty() || !driver || (type != DnsRecord::A && type != DnsRecord::MX && type != DnsRecord::TXT)) {
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
        if (type == DnsRecord::A)
            appendA(&response, answer, length);
        else if (type == DnsRecord::MX)
            appendMx(&response, answer, length);
        else
            appendTxt(&response, answer, length);
        finish(response);
    });
}

void AresDirectDns::finish(std::optional<DnsResponse> response)
{
    finished_.push_back(std::move(response));
    if (!emitQueued_) {
        emitQueued_ = true;
        QMetaObject::invokeMethod(this, &AresDirectDns::emitFinished, Qt::QueuedConnection);
    }
}

void AresDirectDns::emitFinished()
{
    emitQueued_ = false;
    const QPointer<AresDirectDns> self(this);
    while (!finished_.empty()) {
        const std::optional<DnsResponse> response = std::move(finished_.front());
        finished_.pop_front();
        --outstanding_; // a handler that waits for the count sees this reply done
        if (response) emit Reply(*response);
        if (!self) return;
    }
}

} // namespace quarlo
