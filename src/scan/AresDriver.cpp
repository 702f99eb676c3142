#include "scan/AresDriver.h"

#include "scan/DnsServers.h"

#include <QSocketNotifier>
#include <QUrl>
#include <QtGlobal>

#include <arpa/inet.h>

namespace quarlo {

struct AresDriver::Request {
    AresDriver* driver = nullptr;
    QByteArray name;
    int type = 0; // 0: host lookup
    QueryCallback onQuery;
    HostCallback onHost;
    bool cancelled = false;
    qint64 sentAtNs = 0;
};

namespace {

void initLibrary()
{
    static const int status = ares_library_init(ARES_LIB_INIT_ALL);
    if (status != ARES_SUCCESS) qWarning("c-ares initialisation failed: %s", ares_strerror(status));
}

} // namespace

AresDriver::AresDriver(const QStringList& servers, int flags, QObject* parent)
    : QObject(parent)
{
    initLibrary();
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); });
    burstTimer_.setSingleShot(true);
    burstTimer_.setTimerType(Qt::PreciseTimer);
    burstTimer_.setInterval(BurstGapMs);
    connect(&burstTimer_, &QTimer::timeout, this, &AresDriver::submitWaiting);

    ares_options options{};
    options.timeout = TimeoutMs;
    options.tries = Tries;
    options.flags = flags;
    options.sock_state_cb = &AresDriver::onSocketState;
    options.sock_state_cb_data = this;
    // Hundreds of answers can arrive between two turns of the event loop;
    // the default receive buffer would drop some and cost retries.
    options.socket_receive_buffer_size = 1 << 20;
    int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_SOCK_STATE_CB | ARES_OPT_SOCK_RCVBUF;
    if (flags != 0) mask |= ARES_OPT_FLAGS;
    status_ = ares_init_options(&channel_, &options, mask);
    if (status_ != ARES_SUCCESS) {
        qWarning("c-ares channel: %s", ares_strerror(status_));
        channel_ = nullptr;
        return;
    }
    if (servers.isEmpty()) return;

    QStringList csv;
    for (const QString& entry : servers) {
        const QString server = DnsServerToAres(entry);
        if (server.isEmpty())
            qWarning("Ignoring DNS server \"%s\": not an IP address with an optional port",
                     qUtf8Printable(entry));
        else
            csv.append(server);
    }
    // Never fall back to the system's resolvers when the caller named others.
    status_ = csv.isEmpty() ? ARES_EBADSTR
                            : ares_set_servers_ports_csv(channel_, csv.join(QLatin1Char(',')).toLatin1().constData());
    if (status_ != ARES_SUCCESS) {
        qWarning("DNS servers \"%s\": %s", qUtf8Printable(servers.join(QLatin1Char(','))), ares_strerror(status_));
        ares_destroy(channel_);
        channel_ = nullptr;
    }
}

AresDriver::~AresDriver()
{
    for (Request* request : live_) request->cancelled = true;
    live_.clear();
    waiting_.clear();
    if (channel_) ares_destroy(channel_); // callbacks see cancelled requests and stay silent
}

QStringList AresDriver::servers() const
{
    QStringList result;
    ares_addr_port_node* list = nullptr;
    if (!channel_ || ares_get_servers_ports(channel_, &list) != ARES_SUCCESS) return result;
    for (const ares_addr_port_node* node = list; node; node = node->next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* address = node->family == AF_INET6 ? static_cast<const void*>(&node->addr.addr6)
                                                       : static_cast<const void*>(&node->addr.addr4);
        if (inet_ntop(node->family, address, text, sizeof text))
            result.append(FormatDnsServer(QString::fromLatin1(text), node->udp_port));
    }
    ares_free_data(list);
    return result;
}

void AresDriver::query(const QByteArray& name, int type, QueryCallback done)
{
    auto request = std::make_unique<Request>();
    request->name = name;
    request->type = type;
    request->onQuery = std::move(done);
    enqueue(std::move(request));
}

void AresDriver::getHostByName(const QByteArray& name, HostCallback done)
{
    auto request = std::make_unique<Request>();
    request->name = name;
    request->onHost = std::move(done);
    enqueue(std::move(request));
}

void AresDriver::enqueue(std::unique_ptr<Request> request)
{
    if (!channel_) {
        if (request->onQuery) request->onQuery(status_, nullptr, 0);
        else request->onHost(status_, nullptr);
        return;
    }
    request->driver = this;
    waiting_.push_back(std::move(request));
    submitWaiting();
}

void AresDriver::submitWaiting()
{
    // A callback that queries again lands here while the outer loop runs;
    // the outer loop submits it in order.
    if (submitting_ || burstTimer_.isActive()) return;
    submitting_ = true;
    int sent = 0;
    while (!waiting_.empty() && inFlight_ < window_) {
        if (sent++ == Burst) {
            burstTimer_.start();
            break;
        }
        Request* request = waiting_.front().release();
        waiting_.pop_front();
        live_.insert(request);
        ++inFlight_;
        request->sentAtNs = clock_.nsecsElapsed();
        ++aresDepth_;
        if (request->type != 0)
            ares_query(channel_, request->name.constData(), 1 /* IN */, request->type, &AresDriver::onQueryDone,
                       request);
        else
            ares_gethostbyname(channel_, request->name.constData(), AF_INET, &AresDriver::onHostDone, request);
        --aresDepth_;
    }
    submitting_ = false;
    rearmTimer();
}

void AresDriver::cancelAll()
{
    waiting_.clear();
    for (Request* request : live_) request->cancelled = true;
    live_.clear();
    // ares_cancel from inside a c-ares callback would run the current query's
    // callback twice and free it under c-ares' feet. There the dropped
    // queries finish on their own, silently.
    if (channel_ && aresDepth_ == 0 && inFlight_ > 0) {
        ++aresDepth_;
        ares_cancel(channel_);
        --aresDepth_;
        submitWaiting();
    }
}

bool AresDriver::retire(Request* request, int timeouts)
{
    --inFlight_;
    // Host lookups may be answered from the hosts file: their times say
    // nothing about the server.
    if (request->type != 0 && !request->cancelled) learn(request->sentAtNs, timeouts);
    if (request->cancelled) return false;
    live_.erase(request);
    return true;
}

void AresDriver::onQueryDone(void* arg, int status, int timeouts, unsigned char* answer, int length)
{
    const std::unique_ptr<Request> request(static_cast<Request*>(arg));
    if (!request->driver->retire(request.get(), timeouts)) return;
    if (status == ARES_ECANCELLED || status == ARES_EDESTRUCTION) return;
    request->onQuery(status, answer, answer ? length : 0);
}

void AresDriver::onHostDone(void* arg, int status, int, hostent* host)
{
    const std::unique_ptr<Request> request(static_cast<Request*>(arg));
    if (!request->driver->retire(request.get(), 0)) return;
    if (status == ARES_ECANCELLED || status == ARES_EDESTRUCTION) return;
    request->onHost(status, host);
}

void AresDriver::learn(qint64 sentAtNs, int timeouts)
{
    if (timeouts > 0) {
        window_ = std::max(MinWindow, window_ / 2);
        return;
    }
    const qint64 rtt = clock_.nsecsElapsed() - sentAtNs;
    if (baseRttNs_ < 0 || rtt < baseRttNs_) baseRttNs_ = rtt;
    // Late by more than 5 ms, or by half the fastest round trip: queued.
    const qint64 late = baseRttNs_ + std::max<qint64>(5'000'000, baseRttNs_ / 2);
    window_ = rtt <= late ? std::min(MaxWindow, window_ + 1) : std::max(MinWindow, window_ - 1);
}

void AresDriver::onSocketState(void* data, ares_socket_t fd, int readable, int writable)
{
    auto* self = static_cast<AresDriver*>(data);
    auto it = self->notifiers_.find(fd);
    if (!readable && !writable) {
        // The socket is about to close, possibly inside its own notifier's
        // slot: switch the notifiers off now, delete them later.
        if (it != self->notifiers_.end()) {
            for (QSocketNotifier* notifier : {it->second.read, it->second.write}) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
            self->notifiers_.erase(it);
        }
        return;
    }
    if (it == self->notifiers_.end()) {
        Notifiers notifiers;
        notifiers.read = new QSocketNotifier(fd, QSocketNotifier::Read, self);
        notifiers.write = new QSocketNotifier(fd, QSocketNotifier::Write, self);
        connect(notifiers.read, &QSocketNotifier::activated, self, [self, fd] { self->process(fd, ARES_SOCKET_BAD); });
        connect(notifiers.write, &QSocketNotifier::activated, self, [self, fd] { self->process(ARES_SOCKET_BAD, fd); });
        it = self->notifiers_.emplace(fd, notifiers).first;
    }
    it->second.read->setEnabled(readable != 0);
    it->second.write->setEnabled(writable != 0);
}

void AresDriver::process(ares_socket_t readFd, ares_socket_t writeFd)
{
    if (!channel_) return;
    ++aresDepth_;
    ares_process_fd(channel_, readFd, writeFd);
    --aresDepth_;
    submitWaiting();
}

void AresDriver::rearmTimer()
{
    if (!channel_) return;
    timeval buffer{};
    const timeval* next = ares_timeout(channel_, nullptr, &buffer);
    if (!next) {
        timer_.stop();
        return;
    }
    const qint64 micros = qint64(next->tv_sec) * 1000000 + next->tv_usec;
    timer_.start(static_cast<int>((micros + 999) / 1000));
}

QByteArray AresDriver::EncodeName(const QString& name)
{
    if (name.isEmpty()) return {};
    bool ascii = true;
    for (QChar c : name)
        if (c.unicode() >= 0x80) ascii = false;
    const QByteArray encoded = ascii ? name.toLatin1() : QUrl::toAce(name);
    QByteArray body = encoded;
    if (body.endsWith('.')) body.chop(1);
    if (body.isEmpty() || body.size() > 253) return {};
    for (char c : body) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '\\') return {};
    }
    for (const QByteArray& label : body.split('.'))
        if (label.isEmpty() || label.size() > 63) return {};
    return encoded;
}

} // namespace quarlo
