#include "scan/AresDriver.h"

#include "common/LogCategories.h"
#include "scan/DnsServers.h"

#include <QUrl>
#include <QtGlobal>

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quarlo {

// One query as the caller asked it, across all its tries.
struct AresDriver::Request {
    quint64 id = 0;
    QByteArray name;
    QByteArray path; // shares a round-trip estimate; may be empty
    int type = 0;    // 0: host lookup
    QueryCallback onQuery;
    HostCallback onHost;
    int firstServer = 0;
    int tries = 0;         // handed to c-ares so far
    int outstanding = 0;   // of those, still inside c-ares
    qint64 deadlineNs = 0; // end of the latest try's wait; 0: none running
    qint64 tryStartNs = 0; // when the latest try went out
    int tryServer = 0;     // where it went
    int tryIndex = 0;      // its place among the tries, from 0
    bool retryQueued = false;
    bool overdue = false;
    bool sent = false;              // in requests_
    bool probe = false;             // asks a silent path whether it came back: one try
    int lastStatus = ARES_ETIMEOUT; // reported when the tries run out unanswered
};

// One try: the argument c-ares hands back to the callback. It names its
// request by ID, so a try that outlives its request finds nothing.
struct AresDriver::Attempt {
    AresDriver* driver = nullptr;
    Server* server = nullptr;
    quint64 request = 0;
    int tryNumber = 0; // 1 for the first try
    qint64 sentAtNs = 0;
    bool hostLookup = false;
    QByteArray path; // its request's, for replies that come after the request ended
    QByteArray name; // what it asks, and of which type
    int type = 0;
};

struct AresDriver::Server {
    AresDriver* driver = nullptr;
    int index = 0;
    QByteArray csv;             // as given by the caller, or empty:
    ares_addr_port_node node{}; // from the system's configuration
    ares_channel channel = nullptr;
    // Asks over TCP alone: for replies too long for a datagram. Made when
    // the first one comes.
    ares_channel streamChannel = nullptr;
    int attempts = 0; // tries to this server not ended yet, in c-ares or not
    Rtt rtt;
    int failures = 0; // tries timed out or refused since the last reply
    int streams = 0;  // open TCP connections (truncated replies)
    // Where the server is, for the datagram socket; length 0: unknown.
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    std::unique_ptr<DatagramQueries> datagrams; // made with the first query
};

namespace {

void initLibrary()
{
    static const int status = ares_library_init(ARES_LIB_INIT_ALL);
    if (status != ARES_SUCCESS) qCWarning(lcDns, "c-ares initialisation failed: %s", ares_strerror(status));
}

constexpr qint64 Ms = 1'000'000;

DnsTuning clamped(DnsTuning tuning)
{
    tuning.tries = std::clamp(tuning.tries, 1, 20);
    tuning.maxTimeoutMs = std::clamp(tuning.maxTimeoutMs, 10, 600000);
    return tuning;
}

bool failsOver(int status)
{
    return status == ARES_ESERVFAIL || status == ARES_EREFUSED || status == ARES_ENOTIMP;
}

} // namespace

AresDriver::AresDriver(const QStringList& servers, int flags, QObject* parent)
    : AresDriver(servers, AresRuntime::System(), flags, parent)
{
}

AresDriver::AresDriver(const QStringList& servers, AresRuntime& runtime, int flags, QObject* parent)
    : QObject(parent), flags_(flags | ARES_FLAG_NOCHECKRESP | ARES_FLAG_STAYOPEN), tuning_(clamped(DnsTuning())),
      runtime_(runtime), epochNs_(runtime.nowNs())
{
    // STAYOPEN: c-ares otherwise closes a channel's socket whenever its last
    // query ends and opens a new one, on a new port, for the next. A channel
    // that empties between bursts (the TXT queries of a scan) then goes
    // through a socket, two notifiers and a port per burst, and every new
    // port is a new flow to the firewalls and proxies on the path.
    initLibrary();
    channelLingerMs_ = lingerMs();
    timer_ = runtime_.timer(this, [this] { processTimeouts(); });
    deadlineTimer_ = runtime_.timer(this, [this] {
        expireDeadlines();
        settle();
    });
    burstTimer_ = runtime_.timer(this, [this] {
        burstSent_ = 0;
        settle();
    });

    if (servers.isEmpty()) {
        // The system's servers, each on a channel of its own.
        ares_channel probe = nullptr;
        status_ = ares_init(&probe);
        ares_addr_port_node* list = nullptr;
        if (status_ == ARES_SUCCESS) status_ = ares_get_servers_ports(probe, &list);
        for (const ares_addr_port_node* node = list; node; node = node->next) {
            auto server = std::make_unique<Server>();
            server->node = *node;
            server->node.next = nullptr;
            servers_.push_back(std::move(server));
        }
        if (list) ares_free_data(list);
        if (probe) ares_destroy(probe);
        if (status_ == ARES_SUCCESS && servers_.empty()) status_ = ARES_ENOTINITIALIZED;
    } else {
        for (const QString& entry : servers) {
            const QString aresEntry = DnsServerToAres(entry);
            if (aresEntry.isEmpty()) {
                qCWarning(lcDns, "Ignoring DNS server \"%s\": not an IP address with an optional port",
                          qUtf8Printable(entry));
                continue;
            }
            auto server = std::make_unique<Server>();
            server->csv = aresEntry.toLatin1();
            servers_.push_back(std::move(server));
        }
        // Never fall back to the system's resolvers when the caller named others.
        if (servers_.empty()) status_ = ARES_EBADSTR;
    }
    for (size_t i = 0; i < servers_.size() && status_ == ARES_SUCCESS; ++i) {
        servers_[i]->driver = this;
        servers_[i]->index = static_cast<int>(i);
        if (!openChannel(servers_[i].get())) status_ = status_ == ARES_SUCCESS ? ARES_ENOTINITIALIZED : status_;
    }
    if (status_ != ARES_SUCCESS) {
        qCWarning(lcDns, "DNS servers \"%s\": %s", qUtf8Printable(servers.join(QLatin1Char(','))),
                  ares_strerror(status_));
        for (auto& server : servers_)
            if (server->channel) ares_destroy(server->channel);
        servers_.clear();
    }
}

AresDriver::~AresDriver()
{
    requests_.clear();
    waiting_.clear();
    retries_.clear();
    // The tries' callbacks find no request and stay silent.
    ++aresDepth_;
    for (auto& server : servers_) {
        if (server->datagrams) server->datagrams->dropAll([](void* tag) { delete static_cast<Attempt*>(tag); });
        if (server->channel) ares_destroy(server->channel);
        if (server->streamChannel) ares_destroy(server->streamChannel);
    }
    --aresDepth_;
}

int AresDriver::lingerMs() const
{
    // c-ares' own time-out only has to outlast every deadline of a query, so
    // that a late reply to an early try still counts; after that a try that
    // was never answered is just dropped.
    return std::min(tuning_.tries * tuning_.maxTimeoutMs + 1000, 30 * 60 * 1000);
}

bool AresDriver::openChannel(Server* server, bool stream)
{
    ares_channel& channel = stream ? server->streamChannel : server->channel;
    ares_options options{};
    options.timeout = channelLingerMs_;
    options.tries = 1; // the driver retransmits
    options.flags = flags_ | (stream ? ARES_FLAG_USEVC : 0);
    options.sock_state_cb = &AresDriver::onSocketState;
    options.sock_state_cb_data = server;
    // Hundreds of answers can arrive between two turns of the event loop;
    // the default receive buffer would drop some and cost retries.
    options.socket_receive_buffer_size = 1 << 20;
    int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_FLAGS | ARES_OPT_SOCK_STATE_CB | ARES_OPT_SOCK_RCVBUF;
    if (!runtime_.systemConfiguration()) {
        // Everything c-ares would otherwise read from the system's files: it
        // then reads none of them.
        static char dnsOnly[] = "b";
        options.lookups = dnsOnly;
        options.ndots = 1;
        mask |= ARES_OPT_LOOKUPS | ARES_OPT_NDOTS | ARES_OPT_DOMAINS | ARES_OPT_SORTLIST | ARES_OPT_SERVERS;
    }
    int status = ares_init_options(&channel, &options, mask);
    if (status == ARES_SUCCESS && runtime_.socketFunctions())
        ares_set_socket_functions(channel, runtime_.socketFunctions(), &runtime_);
    if (status == ARES_SUCCESS)
        status = server->csv.isEmpty() ? ares_set_servers_ports(channel, &server->node)
                                       : ares_set_servers_ports_csv(channel, server->csv.constData());
    if (status != ARES_SUCCESS) {
        qCWarning(lcDns, "c-ares channel: %s", ares_strerror(status));
        if (channel) ares_destroy(channel);
        channel = nullptr;
        if (!stream) status_ = status;
        return false;
    }
    if (server->addressLength == 0) {
        ares_addr_port_node* list = nullptr;
        if (ares_get_servers_ports(server->channel, &list) == ARES_SUCCESS && list) {
            const int port = list->udp_port > 0 ? list->udp_port : 53;
            if (list->family == AF_INET) {
                auto* in = reinterpret_cast<sockaddr_in*>(&server->address);
                in->sin_family = AF_INET;
                in->sin_port = htons(quint16(port));
                in->sin_addr = list->addr.addr4;
                server->addressLength = sizeof(sockaddr_in);
            } else if (list->family == AF_INET6) {
                auto* in6 = reinterpret_cast<sockaddr_in6*>(&server->address);
                in6->sin6_family = AF_INET6;
                in6->sin6_port = htons(quint16(port));
                std::memcpy(&in6->sin6_addr, &list->addr.addr6, sizeof in6->sin6_addr);
                server->addressLength = sizeof(sockaddr_in6);
            }
        }
        if (list) ares_free_data(list);
    }
    return true;
}

bool AresDriver::sendDatagram(Server* server, Attempt* attempt, qint64 nowNs)
{
    // Channels with options of their own keep to c-ares.
    constexpr int ownWays = ARES_FLAG_USEVC | ARES_FLAG_NORECURSE | ARES_FLAG_EDNS | ARES_FLAG_IGNTC;
    if (attempt->type == 0 || (flags_ & ownWays) != 0 || server->addressLength == 0) return false;
    if (!server->datagrams) {
        server->datagrams = std::make_unique<DatagramQueries>(
            runtime_, this, server->address, server->addressLength,
            [this](void* tag, int status, const unsigned char* answer, int length) {
                ++aresDepth_;
                onQueryDone(tag, status, 0, const_cast<unsigned char*>(answer), length);
                --aresDepth_;
            },
            [this, server](void* tag) { askOverConnection(server, static_cast<Attempt*>(tag)); },
            [this] {
                // As after c-ares read replies: see process().
                burstSent_ = 0;
                settle();
            });
    }
    return server->datagrams->send(attempt, attempt->name, attempt->type, nowNs, qint64(channelLingerMs_) * Ms);
}

void AresDriver::askOverConnection(Server* server, Attempt* attempt)
{
    ++aresDepth_;
    if (server->streamChannel || openChannel(server, true))
        ares_query(server->streamChannel, attempt->name.constData(), 1 /* IN */, attempt->type,
                   &AresDriver::onQueryDone, attempt);
    else
        onQueryDone(attempt, ARES_ECONNREFUSED, 0, nullptr, 0);
    --aresDepth_;
}

QStringList AresDriver::servers() const
{
    QStringList result;
    for (const auto& server : servers_) {
        ares_addr_port_node* list = nullptr;
        if (!server->channel || ares_get_servers_ports(server->channel, &list) != ARES_SUCCESS) continue;
        for (const ares_addr_port_node* node = list; node; node = node->next) {
            char text[INET6_ADDRSTRLEN] = {};
            const void* address = node->family == AF_INET6 ? static_cast<const void*>(&node->addr.addr6)
                                                           : static_cast<const void*>(&node->addr.addr4);
            if (inet_ntop(node->family, address, text, sizeof text))
                result.append(FormatDnsServer(QString::fromLatin1(text), node->udp_port));
        }
        ares_free_data(list);
    }
    return result;
}

void AresDriver::setTuning(const DnsTuning& tuning)
{
    tuning_ = clamped(tuning);
    // The channels' own time-out changes with the next idle moment.
    if (aresDepth_ == 0 && !submitting_) settle();
}

bool AresDriver::Rtt::add(qint64 rttNs)
{
    if (rttNs < 0) return false;
    if (srttNs < 0) {
        srttNs = rttNs;
        rttvarNs = rttNs / 2;
        return true;
    }
    rttvarNs = (3 * rttvarNs + std::abs(srttNs - rttNs)) / 4;
    srttNs = (7 * srttNs + rttNs) / 8;
    return false;
}

int AresDriver::timeoutMs(const Rtt& rtt) const
{
    const int upper = tuning_.maxTimeoutMs;
    if (rtt.srttNs < 0) return std::min(InitialTimeoutMs, upper);
    const qint64 margin = std::max<qint64>(4 * rtt.rttvarNs, MinDeviationMarginMs * Ms);
    const qint64 ms = (rtt.srttNs + margin + Ms - 1) / Ms;
    return static_cast<int>(std::clamp<qint64>(ms, std::min(MinTimeoutMs, upper), upper));
}

int AresDriver::retryTimeoutMs(int index) const
{
    if (index < 0 || index >= static_cast<int>(servers_.size())) return timeoutMs(Rtt{});
    return timeoutMs(servers_[size_t(index)]->rtt);
}

int AresDriver::triesFor(const Request& request) const
{
    return request.probe ? 1 : tuning_.tries;
}

bool AresDriver::silent(const Path& path, qint64 nowNs) const
{
    return opened_ && path.rtt.srttNs < 0 && path.firstSentNs >= 0 && nowNs - path.firstSentNs >= silenceNs();
}

qint64 AresDriver::silenceNs() const
{
    // Never past the longest wait for one try, however slow the lists.
    const qint64 widest = std::max<qint64>(PathSilenceMs, tuning_.maxTimeoutMs) * Ms;
    return std::clamp(2 * slowestFirstAnswerNs_, qint64(PathSilenceMs) * Ms, widest);
}

qint64 AresDriver::tryWaitNs(int server, int tryIndex, qint64 tryStartNs, const QByteArray& path) const
{
    int timeout = retryTimeoutMs(server);
    const auto it = path.isEmpty() ? paths_.constEnd() : paths_.constFind(path);
    const Path* known = it == paths_.constEnd() ? nullptr : &*it;
    if (!path.isEmpty()) {
        if (known && known->rtt.srttNs >= 0) {
            timeout = timeoutMs(known->rtt);
        } else if (tryIndex == tuning_.tries - 1) {
            // Until the path has had silenceNs() to answer.
            const qint64 firstNs = !known || known->firstSentNs < 0 ? tryStartNs : known->firstSentNs;
            const qint64 graceMs =
                std::min<qint64>(silenceNs() / Ms, tuning_.maxTimeoutMs) - (tryStartNs - firstNs) / Ms;
            timeout = static_cast<int>(std::max<qint64>(timeout, graceMs));
        }
    }
    // The first round of tries waits the time-out, each server once; the
    // second round waits it again, because the first tries keep listening
    // (their replies are taken until the last deadline) and so have had
    // twice the time-out already; each further round doubles it.
    const int round = tryIndex / std::max<int>(1, int(servers_.size()));
    const qint64 wait = qint64(timeout) << std::clamp(round - 1, 0, 20);
    qint64 waitNs = std::min<qint64>(wait, tuning_.maxTimeoutMs) * Ms;
    if (known && opened_) {
        // A list that has not answered is given up the moment it falls
        // silent (see silent()): no try of it waits past that, however many
        // tries came before; a scan would otherwise wait on a dead list.
        if (known->rtt.srttNs < 0 && known->firstSentNs >= 0) {
            const qint64 silentAtNs = known->firstSentNs + silenceNs();
            if (silentAtNs > tryStartNs) waitNs = std::min(waitNs, silentAtNs - tryStartNs);
        }
    }
    return waitNs;
}

std::unique_ptr<AresDriver::Request> AresDriver::newRequest()
{
    if (spareRequests_.empty()) return std::make_unique<Request>();
    std::unique_ptr<Request> request = std::move(spareRequests_.back());
    spareRequests_.pop_back();
    return request;
}

void AresDriver::recycle(std::unique_ptr<Request> request)
{
    // A scan ends some hundred thousand requests: the next ones reuse them.
    if (spareRequests_.size() >= SpareRequests) return;
    *request = Request{};
    spareRequests_.push_back(std::move(request));
}

void AresDriver::query(const QByteArray& name, int type, QueryCallback done, const QByteArray& path)
{
    std::unique_ptr<Request> request = newRequest();
    request->name = name;
    request->path = path;
    request->type = type;
    request->onQuery = std::move(done);
    enqueue(std::move(request));
}

void AresDriver::getHostByName(const QByteArray& name, HostCallback done)
{
    std::unique_ptr<Request> request = newRequest();
    request->name = name;
    request->onHost = std::move(done);
    enqueue(std::move(request));
}

void AresDriver::enqueue(std::unique_ptr<Request> request)
{
    if (status_ != ARES_SUCCESS) {
        if (request->onQuery)
            request->onQuery(status_, nullptr, 0);
        else
            request->onHost(status_, nullptr);
        return;
    }
    request->id = nextId_++;
    if (!request->path.isEmpty()) {
        const auto it = paths_.find(request->path);
        const qint64 now = nowNs();
        if (it != paths_.end() && silent(*it, now)) {
            if (it->lastProbeNs >= 0 && now - it->lastProbeNs < ProbeIntervalMs * Ms) {
                if (request->onQuery)
                    request->onQuery(ARES_ETIMEOUT, nullptr, 0);
                else
                    request->onHost(ARES_ETIMEOUT, nullptr);
                return;
            }
            it->lastProbeNs = now;
            request->probe = true;
            markOverdue(*request);
        } else if (it != paths_.end() && it->quiet) {
            markOverdue(*request);
        }
    }
    waiting_.push_back(std::move(request));
    submitWaiting();
}

void AresDriver::submitWaiting()
{
    // A callback that queries again lands here while the outer loop runs;
    // the outer loop submits it in order.
    if (submitting_) return;
    if (burstSent_ >= pacing_.burst) {
        // The burst gap resets the count when no reply does: without it, a
        // burst whose tries all go unanswered would leave the rest unsent.
        rearmTimers();
        return;
    }
    submitting_ = true;
    do {
        sendDue();
        // The tries gathered above go out together; a refused one may be
        // due again at once.
    } while (flushDatagrams() > 0);
    submitting_ = false;
    rearmTimers();
}

int AresDriver::flushDatagrams()
{
    int refused = 0;
    ++aresDepth_;
    for (auto& server : servers_)
        if (server->datagrams) refused += server->datagrams->flush();
    --aresDepth_;
    return refused;
}

void AresDriver::sendDue()
{
    for (;;) {
        const bool retry = !retries_.empty();
        if (!retry && (waiting_.empty() || inFlight_ - overdueInFlight_ >= window_)) break;
        if (burstSent_ >= pacing_.burst) break; // rearmTimers starts the gap
        Request* request = nullptr;
        if (retry) {
            const auto it = requests_.find(retries_.front());
            retries_.pop_front();
            if (it == requests_.end() || !it->second->retryQueued) continue;
            request = it->second.get();
        } else {
            std::unique_ptr<Request> next = std::move(waiting_.front());
            waiting_.pop_front();
            // Start at the server that failed least recently; ties go to the
            // first named.
            for (const auto& server : servers_)
                if (server->failures < servers_[size_t(next->firstServer)]->failures) next->firstServer = server->index;
            request = next.get();
            request->sent = true;
            if (request->overdue) ++overdueInFlight_;
            requests_.emplace(request->id, std::move(next));
            ++inFlight_;
        }
        ++burstSent_;
        sendTry(request);
    }
}

void AresDriver::sendTry(Request* request)
{
    const int count = static_cast<int>(servers_.size());
    const int index = request->tries; // of this try, from 0
    Server* server = servers_[size_t((request->firstServer + index) % count)].get();
    const qint64 now = nowNs();
    request->tries += 1;
    request->outstanding += 1;
    request->retryQueued = false;
    request->tryStartNs = now;
    ++lossBucket(now, true)->sent;
    request->tryServer = server->index;
    request->tryIndex = index;
    if (!request->path.isEmpty()) {
        if (paths_.size() >= MaxPaths && !paths_.contains(request->path)) paths_.clear();
        Path& path = paths_[request->path];
        if (path.firstSentNs < 0) path.firstSentNs = now;
    }
    request->deadlineNs = now + tryWaitNs(server->index, index, now, request->path);
    deadlines_.push(Deadline{request->deadlineNs, request->id});
    auto* attempt = new Attempt{this,          server,        request->id,  request->tries, now, request->type == 0,
                                request->path, request->name, request->type};
    ++server->attempts;
    ++triesSent_;
    // The callback may run before these calls return and end the request.
    const QByteArray name = request->name;
    const int type = request->type;
    qCDebug(lcDns, "try %d of %s (type %d) to server %d, waits %lld ms%s%s", request->tries, name.constData(), type,
            server->index, static_cast<long long>((request->deadlineNs - now) / Ms),
            request->path.isEmpty() ? "" : ", list ", request->path.constData());
    ++aresDepth_;
    if (sendDatagram(server, attempt, now)) {
        // Goes out with the others of this turn (flushDatagrams).
    } else if (type != 0)
        ares_query(server->channel, name.constData(), 1 /* IN */, type, &AresDriver::onQueryDone, attempt);
    else
        ares_gethostbyname(server->channel, name.constData(), AF_INET, &AresDriver::onHostDone, attempt);
    --aresDepth_;
}

void AresDriver::onQueryDone(void* arg, int status, int, unsigned char* answer, int length)
{
    const std::unique_ptr<Attempt> attempt(static_cast<Attempt*>(arg));
    --attempt->server->attempts;
    if (status == ARES_ECANCELLED || status == ARES_EDESTRUCTION) return;
    const bool replied = answer && length >= 12;
    const bool retryable = !replied && (status == ARES_ETIMEOUT || status == ARES_ECONNREFUSED);
    if (attempt->driver->tryEnded(*attempt, status, replied, retryable))
        attempt->driver->finish(attempt->request, status, replied ? answer : nullptr, replied ? length : 0, nullptr);
}

void AresDriver::onHostDone(void* arg, int status, int, hostent* host)
{
    const std::unique_ptr<Attempt> attempt(static_cast<Attempt*>(arg));
    --attempt->server->attempts;
    if (status == ARES_ECANCELLED || status == ARES_EDESTRUCTION) return;
    const bool retryable = status == ARES_ETIMEOUT || status == ARES_ECONNREFUSED;
    if (attempt->driver->tryEnded(*attempt, status, !retryable, retryable))
        attempt->driver->finish(attempt->request, status, nullptr, 0, host);
}

bool AresDriver::tryEnded(const Attempt& attempt, int status, bool replied, bool retryable)
{
    Server* server = attempt.server;
    const auto it = requests_.find(attempt.request);
    if (replied) {
        server->failures = 0;
        // Each try has its own ID, so a reply says which try it answers: even
        // replies to retransmitted queries time the path. Host lookups may be
        // answered from the hosts file: their times say nothing.
        if (!attempt.hostLookup) {
            const qint64 now = nowNs();
            const qint64 rtt = now - attempt.sentAtNs;
            sample(server, rtt);
            samplePath(attempt.path, rtt, now);
            if (it != requests_.end()) learn(rtt);
        }
    } else if (status == ARES_ECONNREFUSED) {
        ++server->failures;
    }
    if (it == requests_.end()) return false; // reported, or cancelled
    Request& request = *it->second;
    --request.outstanding;

    if (replied) {
        if (failsOver(status) && servers_.size() > 1 && request.tries < triesFor(request)
            && request.tries < static_cast<int>(servers_.size())) {
            request.lastStatus = status;
            queueRetry(&request);
            return false;
        }
        return true;
    }
    if (!retryable) return true;
    request.lastStatus = status;
    if (request.retryQueued) return false;
    if (attempt.tryNumber == request.tries && request.tries < triesFor(request)) {
        queueRetry(&request);
        return false;
    }
    // Otherwise an earlier try may still be answered before the deadline.
    return request.outstanding == 0;
}

void AresDriver::queueRetry(Request* request)
{
    request->retryQueued = true;
    request->deadlineNs = 0;
    retries_.push_back(request->id);
}

void AresDriver::markOverdue(Request& request)
{
    if (request.overdue) return;
    request.overdue = true;
    ++overdue_;
    if (request.sent) ++overdueInFlight_;
}

void AresDriver::pathQuiet(const QByteArray& path, qint64 sentAtNs)
{
    if (path.isEmpty() || !opened_) return;
    const auto it = paths_.find(path);
    if (it == paths_.end() || it->quiet || it->lastReplyNs >= sentAtNs) return;
    it->quiet = true;
    qCDebug(lcDns, "list %s does not answer: its queries hold no room", path.constData());
    for (auto& [id, request] : requests_)
        if (request->path == path) markOverdue(*request);
    for (auto& request : waiting_)
        if (request->path == path) markOverdue(*request);
}

void AresDriver::finish(quint64 id, int status, const unsigned char* answer, int length, const hostent* host)
{
    const auto it = requests_.find(id);
    if (it == requests_.end()) return;
    if (it->second->overdue) --overdue_, --overdueInFlight_;
    // Out of the books before the callback runs: it may query again, cancel
    // everything or end the driver.
    std::unique_ptr<Request> request = std::move(it->second);
    requests_.erase(it);
    --inFlight_;
    const QueryCallback onQuery = std::move(request->onQuery);
    const HostCallback onHost = std::move(request->onHost);
    recycle(std::move(request));
    if (onQuery)
        onQuery(status, answer, length);
    else if (onHost)
        onHost(status, host);
}

void AresDriver::expireDeadlines()
{
    const qint64 now = nowNs();
    while (!deadlines_.empty() && deadlines_.top().atNs <= now) {
        const Deadline deadline = deadlines_.top();
        deadlines_.pop();
        const auto it = requests_.find(deadline.request);
        if (it == requests_.end()) continue;
        Request& request = *it->second;
        if (request.retryQueued || request.deadlineNs != deadline.atNs) continue;
        // A list found silent: its other lookups end now too, but for the
        // one asking whether it came back.
        const bool silentPath = !request.path.isEmpty() && silent(paths_.value(request.path), now);
        if (silentPath) endSilent(request.path, now);
        const bool endNow = silentPath && !request.probe;
        // The time-out may have grown since the try went out: a slower path
        // gets the longer wait.
        const qint64 due = endNow
            ? now
            : request.tryStartNs + tryWaitNs(request.tryServer, request.tryIndex, request.tryStartNs, request.path);
        if (due > now) {
            request.deadlineNs = due;
            deadlines_.push(Deadline{due, request.id});
            continue;
        }
        request.deadlineNs = 0;
        qCDebug(lcDns, "try %d of %s unanswered%s", request.tries, request.name.constData(),
                endNow ? ": its list is silent" : "");
        ++servers_[size_t(request.tryServer)]->failures;
        lost(request.path, request.tryStartNs);
        markOverdue(request);
        pathQuiet(request.path, request.tryStartNs);
        if (request.tries < triesFor(request) && !endNow) {
            queueRetry(&request);
            continue;
        }
        finish(deadline.request, request.lastStatus, nullptr, 0, nullptr);
    }
}

void AresDriver::endSilent(const QByteArray& path, qint64 now)
{
    Path& known = paths_[path];
    if (known.swept) return;
    known.swept = true;
    qCDebug(lcDns, "list %s silent: its lookups end unanswered", path.constData());
    for (auto& [id, request] : requests_) {
        if (request->path != path || request->probe || request->deadlineNs == now) continue;
        if (!request->retryQueued && request->deadlineNs == 0) continue; // being reported
        request->retryQueued = false;
        request->tries = triesFor(*request); // no more tries
        request->deadlineNs = now;
        deadlines_.push(Deadline{now, id});
    }
}

void AresDriver::sample(Server* server, qint64 rttNs)
{
    // Tries sent before the first reply wait the initial guess; now there is
    // a measurement. (A query to a zone that never answers, sent with the
    // first ones, would otherwise hold a scan for seconds.)
    if (server->rtt.add(rttNs))
        tightenDeadlines([index = server->index](const Request& request) { return request.tryServer == index; });
}

void AresDriver::samplePath(const QByteArray& path, qint64 rttNs, qint64 nowNs)
{
    if (path.isEmpty()) return;
    // Paths come from the caller's names: keep the table bounded.
    if (paths_.size() >= MaxPaths && !paths_.contains(path)) paths_.clear();
    // A longer estimate needs no pass: deadlines are checked against the
    // estimate when they pass.
    Path& known = paths_[path];
    // Only a path that answered in the time it was given widens it: one that
    // came back after falling silent says nothing about how long lists take.
    if (known.rtt.srttNs < 0 && known.firstSentNs >= 0 && nowNs - known.firstSentNs < silenceNs())
        slowestFirstAnswerNs_ = std::max(slowestFirstAnswerNs_, nowNs - known.firstSentNs);
    known.lastReplyNs = nowNs;
    known.quiet = false;
    if (known.rtt.add(rttNs)) tightenDeadlines([&path](const Request& request) { return request.path == path; });
}

void AresDriver::tightenDeadlines(const std::function<bool(const Request&)>& affected)
{
    for (auto& [id, request] : requests_) {
        if (request->retryQueued || request->deadlineNs == 0 || !affected(*request)) continue;
        const qint64 due =
            request->tryStartNs + tryWaitNs(request->tryServer, request->tryIndex, request->tryStartNs, request->path);
        if (due >= request->deadlineNs) continue;
        request->deadlineNs = due;
        deadlines_.push(Deadline{due, id});
    }
}

qint64 AresDriver::roundTripNs() const
{
    qint64 roundTrip = 100 * Ms;
    for (const auto& server : servers_) roundTrip = std::max(roundTrip, server->rtt.srttNs);
    return roundTrip;
}

AresDriver::LossBucket* AresDriver::lossBucket(qint64 atNs, bool create)
{
    const qint64 index = atNs / LossBucketNs;
    LossBucket& bucket = lossBuckets_[size_t(index % LossBuckets)];
    if (bucket.index == index) return &bucket;
    if (!create) return nullptr; // too long ago to weigh
    bucket = LossBucket{index, 0, 0};
    return &bucket;
}

void AresDriver::learn(qint64)
{
    if (!opened_) {
        // The server answers: from here the caller's limit governs (unless
        // losses before the first reply said otherwise).
        opened_ = true;
        window_ = std::max(window_, threshold_);
        return;
    }
    if (window_ >= pacing_.maxWindow) return;
    if (window_ < threshold_)
        ++window_;
    else if (++credit_ >= std::max(1, window_ / 8))
        credit_ = 0, ++window_;
}

void AresDriver::lost(const QByteArray& path, qint64 sentAtNs)
{
    // A path that never answered is silent, not congested.
    if (!path.isEmpty()) {
        const auto it = paths_.constFind(path);
        if (it == paths_.cend() || it->rtt.srttNs < 0) return;
    }
    LossBucket* bucket = lossBucket(sentAtNs, false);
    if (!bucket) return;
    ++bucket->lost;
    if (bucket->lost < pacing_.lossFloor || bucket->lost * LossShare < bucket->sent) return;
    // Once per round trip: one burst of losses is one signal.
    const qint64 now = nowNs();
    if (lastCutNs_ >= 0 && now - lastCutNs_ < roundTripNs()) return;
    lastCutNs_ = now;
    threshold_ = std::max(pacing_.minWindow, std::min(window_, inFlight_) / 2);
    qCDebug(lcDns, "%d of %d tries lost: window %d -> %d", bucket->lost, bucket->sent, window_, threshold_);
    window_ = threshold_;
    credit_ = 0;
}

void AresDriver::setPacing(const Pacing& pacing)
{
    pacing_.burst = std::max(1, pacing.burst);
    pacing_.maxWindow = std::max(1, pacing.maxWindow);
    pacing_.initialWindow = std::clamp(pacing.initialWindow, 1, pacing_.maxWindow);
    pacing_.minWindow = std::clamp(pacing.minWindow, 1, pacing_.initialWindow);
    pacing_.lossFloor = std::max(1, pacing.lossFloor);
    window_ = pacing_.initialWindow;
    threshold_ = pacing_.maxWindow;
}

void AresDriver::cancelAll()
{
    waiting_.clear();
    requests_.clear();
    overdue_ = 0;
    overdueInFlight_ = 0;
    retries_.clear();
    deadlines_ = {};
    inFlight_ = 0;
    // ares_cancel from inside a c-ares callback would run the current query's
    // callback twice and free it under c-ares' feet. There the dropped
    // tries finish on their own, silently, or go when the driver is idle.
    if (aresDepth_ == 0)
        for (auto& server : servers_) dropTries(server.get());
    rearmTimers();
}

void AresDriver::dropTries(Server* server)
{
    if (server->datagrams && server->datagrams->pending() > 0) {
        ++aresDepth_;
        server->datagrams->dropAll([](void* tag) { onQueryDone(tag, ARES_ECANCELLED, 0, nullptr, 0); });
        --aresDepth_;
    }
    if (!server->channel || server->attempts == 0) return;
    ++aresDepth_;
    if (server->streams == 0) {
        ares_cancel(server->channel);
        if (server->streamChannel) ares_cancel(server->streamChannel);
        --aresDepth_;
        return;
    }
    // A truncated reply moved a try to TCP. c-ares 1.18's ares_cancel frees
    // such a query but leaves its queued TCP send pointing at the freed
    // buffer, to be written on the next writable turn; destroying the
    // channels closes the connections and their queues with them.
    ares_destroy(server->channel);
    server->channel = nullptr;
    if (server->streamChannel) ares_destroy(server->streamChannel);
    server->streamChannel = nullptr;
    --aresDepth_;
    // Its sockets are closed; notifiers c-ares did not report closed go too.
    for (auto it = notifiers_.begin(); it != notifiers_.end();) {
        if (it->second.server != server) {
            ++it;
            continue;
        }
        it = notifiers_.erase(it);
    }
    server->streams = 0;
    openChannel(server);
    timer_->stop(); // it may be set for the old channel's time-outs
}

void AresDriver::onSocketState(void* data, ares_socket_t fd, int readable, int writable)
{
    auto* server = static_cast<Server*>(data);
    AresDriver* self = server->driver;
    auto it = self->notifiers_.find(fd);
    if (!readable && !writable) {
        // The socket is about to close, possibly inside its own watch's
        // callback, which the runtime allows.
        if (it != self->notifiers_.end()) {
            if (it->second.stream) --it->second.server->streams;
            self->notifiers_.erase(it);
        }
        return;
    }
    if (it == self->notifiers_.end()) {
        Notifiers notifiers;
        notifiers.server = server;
        notifiers.stream = self->runtime_.isStream(fd);
        if (notifiers.stream) ++server->streams;
        notifiers.watch = self->runtime_.watch(
            fd, self, [self, server, fd] { self->process(server, fd, ARES_SOCKET_BAD); },
            [self, server, fd] { self->process(server, ARES_SOCKET_BAD, fd); });
        it = self->notifiers_.emplace(fd, std::move(notifiers)).first;
    }
    it->second.watch->setEnabled(readable != 0, writable != 0);
}

void AresDriver::process(Server* server, ares_socket_t readFd, ares_socket_t writeFd)
{
    if (!server->channel) return;
    ++aresDepth_;
    // The socket is one of either channel's; the other ignores it.
    ares_process_fd(server->channel, readFd, writeFd);
    if (server->streamChannel) ares_process_fd(server->streamChannel, readFd, writeFd);
    --aresDepth_;
    // Replies came: the server keeps up, and the window alone decides what
    // may follow them. Waiting out the burst gap here would pace a fast
    // path by the event loop's timer latency instead of by its replies.
    if (readFd != ARES_SOCKET_BAD) burstSent_ = 0;
    settle();
}

void AresDriver::processTimeouts()
{
    ++aresDepth_;
    const qint64 now = nowNs();
    for (auto& server : servers_) {
        if (server->channel) ares_process_fd(server->channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
        if (server->streamChannel) ares_process_fd(server->streamChannel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
        if (server->datagrams) server->datagrams->expire(now);
    }
    --aresDepth_;
    settle();
}

void AresDriver::settle()
{
    submitWaiting();
    if (aresDepth_ > 0 || submitting_ || !requests_.empty() || !waiting_.empty()) return;
    // Idle: tries of queries already reported can only waste memory and
    // sockets now.
    int leftovers = 0;
    for (const auto& server : servers_) leftovers += server->attempts;
    if (leftovers > 0)
        for (auto& server : servers_) dropTries(server.get());
    if (channelLingerMs_ != lingerMs() && status_ == ARES_SUCCESS) {
        // New tuning: c-ares keeps its time-out for the life of a channel.
        channelLingerMs_ = lingerMs();
        ++aresDepth_;
        for (auto& server : servers_) {
            if (server->channel) ares_destroy(server->channel);
            server->channel = nullptr;
            if (server->streamChannel) ares_destroy(server->streamChannel);
            server->streamChannel = nullptr;
        }
        --aresDepth_;
        for (auto& server : servers_)
            if (!openChannel(server.get())) break;
        timer_->stop(); // set for the old channels' time-out
    }
    rearmTimers();
}

bool AresDriver::hasSendableWork() const
{
    return !retries_.empty() || (!waiting_.empty() && inFlight_ - overdueInFlight_ < window_);
}

void AresDriver::rearmTimers()
{
    // Whatever may be sent has a timer that sends it: a reply, a deadline or
    // this gap. Every path through the driver ends here.
    if (burstSent_ >= pacing_.burst && hasSendableWork() && !burstTimer_->isActive()) burstTimer_->start(BurstGapMs);

    // c-ares' own time-outs. ares_timeout walks every query of the channel,
    // and this runs after every submission and every reply: while the timer
    // runs it is left alone. Every channel gives each query the same
    // time-out, so a newer query never ends sooner than the one the timer
    // was set for; a timer that fires early because its query was answered
    // just sets itself again.
    if (!timer_->isActive()) {
        qint64 micros = -1;
        for (const auto& server : servers_) {
            for (ares_channel channel : {server->channel, server->streamChannel}) {
                if (!channel) continue;
                timeval buffer{};
                const timeval* next = ares_timeout(channel, nullptr, &buffer);
                if (!next) continue;
                const qint64 value = qint64(next->tv_sec) * 1000000 + next->tv_usec;
                micros = micros < 0 ? value : std::min(micros, value);
            }
        }
        const qint64 now = nowNs();
        for (const auto& server : servers_) {
            const qint64 at = server->datagrams ? server->datagrams->nextExpiryNs() : -1;
            if (at < 0) continue;
            const qint64 value = std::max<qint64>(0, (at - now) / 1000);
            micros = micros < 0 ? value : std::min(micros, value);
        }
        if (micros >= 0) timer_->start(static_cast<int>(std::min<qint64>((micros + 999) / 1000, INT_MAX)));
    }

    // The tries' deadlines; stale entries at the top are dropped here.
    while (!deadlines_.empty()) {
        const Deadline& top = deadlines_.top();
        const auto it = requests_.find(top.request);
        if (it != requests_.end() && !it->second->retryQueued && it->second->deadlineNs == top.atNs) break;
        deadlines_.pop();
    }
    if (deadlines_.empty()) {
        deadlineTimer_->stop();
        return;
    }
    // Restarting a Qt timer per query costs more than the query itself:
    // only a sooner deadline moves it. One that fires early finds nothing
    // due and sets the timer for the next.
    const qint64 next = deadlines_.top().atNs;
    if (deadlineTimer_->isActive() && armedDeadlineNs_ <= next) return;
    armedDeadlineNs_ = next;
    const qint64 waitNs = next - nowNs();
    deadlineTimer_->start(static_cast<int>(std::clamp<qint64>((waitNs + Ms - 1) / Ms, 0, INT_MAX)));
}

QByteArray AresDriver::EncodeName(const QString& name)
{
    if (name.isEmpty()) return {};
    bool ascii = true;
    for (QChar c : name)
        if (c.unicode() >= 0x80) ascii = false;
    QByteArray encoded = ascii ? name.toLatin1() : QUrl::toAce(name);
    // A view: chopping a copy would allocate for every query of a scan.
    QByteArrayView body = encoded;
    if (body.endsWith('.')) body.chop(1);
    if (body.isEmpty() || body.size() > 253) return {};
    for (char c : body) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '\\') return {};
    }
    // Label lengths, counted in place: this runs for every query.
    qsizetype label = 0;
    for (char c : body) {
        if (c != '.') {
            if (++label > 63) return {};
            continue;
        }
        if (label == 0) return {};
        label = 0;
    }
    if (label == 0) return {};
    return encoded;
}

} // namespace quarlo
