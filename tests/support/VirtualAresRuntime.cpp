#include "support/VirtualAresRuntime.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace quarlo {

class VirtualAresRuntime::VirtualTimer : public AresRuntime::Timer {
public:
    VirtualTimer(VirtualAresRuntime* runtime, std::function<void()> fired)
        : runtime_(runtime), id_(runtime->nextTimer_++), fired_(std::move(fired))
    {
        runtime_->timers_.emplace(id_, this);
    }
    ~VirtualTimer() override { runtime_->timers_.erase(id_); }
    void start(int ms) override
    {
        active_ = true;
        Event event;
        event.atNs = runtime_->nowNs_ + qint64(ms) * 1'000'000;
        event.timer = id_;
        event.generation = ++generation_;
        runtime_->schedule(std::move(event));
    }
    void stop() override
    {
        active_ = false;
        ++generation_;
    }
    bool isActive() const override { return active_; }

    // False for a firing that a later start() or stop() replaced.
    bool fire(quint64 generation)
    {
        if (!active_ || generation != generation_) return false;
        active_ = false;
        const std::function<void()> fired = fired_; // the timer may go inside
        fired();
        return true;
    }

private:
    VirtualAresRuntime* runtime_;
    quint64 id_;
    quint64 generation_ = 0;
    bool active_ = false;
    std::function<void()> fired_;
};

class VirtualAresRuntime::VirtualWatch : public AresRuntime::Watch {
public:
    VirtualWatch(VirtualAresRuntime* runtime, ares_socket_t fd, std::function<void()> readable,
                 std::function<void()> writable)
        : runtime_(runtime), fd_(fd), readable_(std::move(readable)), writable_(std::move(writable))
    {
        runtime_->watches_[fd_] = this;
    }
    ~VirtualWatch() override
    {
        const auto it = runtime_->watches_.find(fd_);
        if (it != runtime_->watches_.end() && it->second == this) runtime_->watches_.erase(it);
    }
    void setEnabled(bool read, bool write) override
    {
        read_ = read;
        write_ = write;
    }

    VirtualAresRuntime* runtime_;
    ares_socket_t fd_;
    std::function<void()> readable_;
    std::function<void()> writable_;
    bool read_ = false;
    bool write_ = false;
};

VirtualAresRuntime::VirtualAresRuntime() = default;

VirtualAresRuntime::~VirtualAresRuntime() = default;

void VirtualAresRuntime::setServer(quint16 port, Script script, qint64 latencyNs)
{
    Server& server = servers_[port];
    server.script = std::move(script);
    server.latencyNs = latencyNs;
}

const std::vector<VirtualAresRuntime::Received>& VirtualAresRuntime::received(quint16 port) const
{
    static const std::vector<Received> none;
    const auto it = servers_.find(port);
    return it == servers_.end() ? none : it->second.received;
}

void VirtualAresRuntime::schedule(Event event)
{
    event.order = nextOrder_++;
    if (event.socket != ARES_SOCKET_BAD)
        deliveries_.push(std::move(event));
    else
        events_.push(std::move(event));
}

void VirtualAresRuntime::arrive()
{
    while (!deliveries_.empty() && deliveries_.top().atNs <= nowNs_) {
        Event event = std::move(const_cast<Event&>(deliveries_.top()));
        deliveries_.pop();
        const auto it = sockets_.find(event.socket);
        if (it == sockets_.end()) continue; // closed meanwhile: the reply is lost
        if (it->second.stream)
            it->second.incoming.append(event.packet);
        else
            it->second.datagrams.push_back(std::move(event.packet));
    }
}

void VirtualAresRuntime::after(qint64 ms, std::function<void()> call)
{
    Event event;
    event.atNs = nowNs_ + ms * 1'000'000;
    event.call = std::move(call);
    schedule(std::move(event));
}

bool VirtualAresRuntime::readable(const Socket& socket) const
{
    return socket.stream ? !socket.incoming.isEmpty() : !socket.datagrams.empty();
}

bool VirtualAresRuntime::step()
{
    // Everything that has arrived by now waits in its socket together, as
    // datagrams pile up in the kernel while the program is busy.
    arrive();
    // Ready sockets first: they are ready now. A connection can always be
    // written to.
    for (const auto& [fd, socket] : sockets_) {
        const auto watch = watches_.find(fd);
        if (watch == watches_.end()) continue;
        std::function<void()> run;
        if (watch->second->read_ && readable(socket))
            run = watch->second->readable_;
        else if (watch->second->write_ && socket.stream)
            run = watch->second->writable_;
        if (!run) continue;
        run(); // copied: the watch may go inside
        return true;
    }
    for (;;) {
        if (!deliveries_.empty() && (events_.empty() || events_.top() > deliveries_.top())) {
            nowNs_ = std::max(nowNs_, deliveries_.top().atNs);
            arrive();
            return true;
        }
        if (events_.empty()) return false;
        Event event = std::move(const_cast<Event&>(events_.top()));
        events_.pop();
        if (event.timer != 0) {
            const auto it = timers_.find(event.timer);
            if (it == timers_.end()) continue;
            const qint64 before = nowNs_;
            nowNs_ = std::max(nowNs_, event.atNs);
            if (it->second->fire(event.generation)) return true;
            nowNs_ = before; // a stale firing takes no time
            continue;
        }
        nowNs_ = std::max(nowNs_, event.atNs);
        event.call();
        return true;
    }
}

std::unique_ptr<AresRuntime::Timer> VirtualAresRuntime::timer(QObject*, std::function<void()> fired)
{
    return std::make_unique<VirtualTimer>(this, std::move(fired));
}

std::unique_ptr<AresRuntime::Watch>
VirtualAresRuntime::watch(ares_socket_t fd, QObject*, std::function<void()> readable, std::function<void()> writable)
{
    return std::make_unique<VirtualWatch>(this, fd, std::move(readable), std::move(writable));
}

bool VirtualAresRuntime::isStream(ares_socket_t fd) const
{
    const auto it = sockets_.find(fd);
    return it != sockets_.end() && it->second.stream;
}

const ares_socket_functions* VirtualAresRuntime::socketFunctions() const
{
    static const ares_socket_functions functions{&Open, &Close, &Connect, &ReceiveFrom, &SendV};
    return &functions;
}

VirtualAresRuntime* VirtualAresRuntime::Self(void* data)
{
    // The driver hands its runtime over as the base class.
    return static_cast<VirtualAresRuntime*>(static_cast<AresRuntime*>(data));
}

VirtualAresRuntime::Socket* VirtualAresRuntime::find(ares_socket_t fd)
{
    const auto it = sockets_.find(fd);
    if (it != sockets_.end()) return &it->second;
    errno = EBADF;
    return nullptr;
}

ares_socket_t VirtualAresRuntime::Open(int domain, int type, int, void* data)
{
    VirtualAresRuntime* self = Self(data);
    const int kind = type & 0xff; // without SOCK_NONBLOCK and SOCK_CLOEXEC
    if (domain != AF_INET || (kind != SOCK_DGRAM && kind != SOCK_STREAM)) {
        errno = EAFNOSUPPORT;
        return ARES_SOCKET_BAD;
    }
    const ares_socket_t fd = self->nextFd_++;
    self->sockets_[fd].stream = kind == SOCK_STREAM;
    return fd;
}

int VirtualAresRuntime::Close(ares_socket_t fd, void* data)
{
    Self(data)->sockets_.erase(fd);
    return 0;
}

int VirtualAresRuntime::Connect(ares_socket_t fd, const struct sockaddr* address, ares_socklen_t length, void* data)
{
    VirtualAresRuntime* self = Self(data);
    Socket* socket = self->find(fd);
    if (!socket) return -1;
    if (address->sa_family != AF_INET || length < ares_socklen_t(sizeof(sockaddr_in))) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (ntohl(in->sin_addr.s_addr) != INADDR_LOOPBACK) {
        errno = ENETUNREACH;
        return -1;
    }
    socket->port = ntohs(in->sin_port);
    if (socket->stream && !self->servers_.count(socket->port)) {
        errno = ECONNREFUSED;
        return -1;
    }
    return 0;
}

ares_ssize_t VirtualAresRuntime::ReceiveFrom(ares_socket_t fd, void* buffer, size_t length, int, struct sockaddr* from,
                                             ares_socklen_t* fromLength, void* data)
{
    VirtualAresRuntime* self = Self(data);
    Socket* found = self->find(fd);
    if (!found) return -1;
    Socket& socket = *found;
    if (!self->readable(socket)) {
        errno = EAGAIN;
        return -1;
    }
    if (from && fromLength && *fromLength >= ares_socklen_t(sizeof(sockaddr_in))) {
        sockaddr_in sender{};
        sender.sin_family = AF_INET;
        sender.sin_port = htons(socket.port);
        sender.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::memcpy(from, &sender, sizeof sender);
        *fromLength = sizeof sender;
    }
    if (socket.stream) {
        const size_t count = std::min(length, size_t(socket.incoming.size()));
        std::memcpy(buffer, socket.incoming.constData(), count);
        socket.incoming.remove(0, qsizetype(count));
        return ares_ssize_t(count);
    }
    // A datagram longer than the buffer loses its tail, as on a real socket.
    const QByteArray datagram = std::move(socket.datagrams.front());
    socket.datagrams.pop_front();
    const size_t count = std::min(length, size_t(datagram.size()));
    std::memcpy(buffer, datagram.constData(), count);
    return ares_ssize_t(count);
}

ares_ssize_t VirtualAresRuntime::SendV(ares_socket_t fd, const struct iovec* parts, int count, void* data)
{
    VirtualAresRuntime* self = Self(data);
    Socket* found = self->find(fd);
    if (!found) return -1;
    Socket& socket = *found;
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<const char*>(parts[i].iov_base), qsizetype(parts[i].iov_len));
    if (!socket.stream) {
        self->deliver(fd, bytes, socket);
        return ares_ssize_t(bytes.size());
    }
    // Messages on a connection are framed by a two-byte length.
    socket.outgoing.append(bytes);
    for (;;) {
        Socket& current = self->sockets_.at(fd);
        if (current.outgoing.size() < 2) break;
        const int size = uchar(current.outgoing[0]) << 8 | uchar(current.outgoing[1]);
        if (current.outgoing.size() < 2 + size) break;
        const QByteArray message = current.outgoing.mid(2, size);
        current.outgoing.remove(0, 2 + size);
        self->deliver(fd, message, current);
    }
    return ares_ssize_t(bytes.size());
}

void VirtualAresRuntime::deliver(ares_socket_t fd, const QByteArray& message, const Socket& socket)
{
    const auto server = servers_.find(socket.port);
    if (server == servers_.end()) return; // nobody there
    Query query;
    if (!FakeDnsServer::ParseQuery(message, &query)) query.packet = message;
    query.tcp = socket.stream;
    server->second.received.push_back(Received{query, nowNs_});
    if (!server->second.script) return;
    const bool stream = socket.stream;
    const qint64 latencyNs = server->second.latencyNs;
    for (const Send& send : server->second.script(query)) {
        Event event;
        event.atNs = nowNs_ + latencyNs + qint64(std::max(0, send.delayMs)) * 1'000'000;
        event.socket = fd;
        if (stream) {
            const auto size = quint16(std::min<qsizetype>(send.packet.size(), 0xffff));
            event.packet.append(char(size >> 8)).append(char(size & 0xff)).append(send.packet.left(size));
        } else {
            event.packet = send.packet;
        }
        schedule(std::move(event));
    }
}

} // namespace quarlo
