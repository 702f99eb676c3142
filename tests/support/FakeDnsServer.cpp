#include "support/FakeDnsServer.h"
#include "support/Loopback.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quarlo {

struct FakeDnsServer::Connection {
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
    QByteArray in;
    QByteArray out;
};

namespace {

void appendU16(QByteArray* out, quint16 value)
{
    out->append(static_cast<char>(value >> 8));
    out->append(static_cast<char>(value & 0xff));
}

void appendU32(QByteArray* out, quint32 value)
{
    appendU16(out, static_cast<quint16>(value >> 16));
    appendU16(out, static_cast<quint16>(value & 0xffff));
}

quint16 u16At(const QByteArray& data, qsizetype offset)
{
    return static_cast<quint16>(static_cast<unsigned char>(data[offset]) << 8 |
                                static_cast<unsigned char>(data[offset + 1]));
}

} // namespace

FakeDnsServer::FakeDnsServer(QObject* parent) : QObject(parent) {}

FakeDnsServer::~FakeDnsServer() { stop(); }

QString FakeDnsServer::serverSpec() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

int FakeDnsServer::queryCount(bool tcp) const
{
    int count = 0;
    for (const Query& query : queries_)
        if (query.tcp == tcp) ++count;
    return count;
}

bool FakeDnsServer::start(QString* error)
{
    stop();
    QString failure;
    for (int attempt = 0; attempt < 20; ++attempt) {
        udpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(0);
        socklen_t size = sizeof address;
        if (udpFd_ < 0 || ::bind(udpFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(udpFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            failure = QStringLiteral("UDP socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            stop();
            continue;
        }
        port_ = ntohs(address.sin_port);
        // TCP on the same port, for replies too big for UDP.
        tcpFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(tcpFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        address = LoopbackAddress(port_);
        if (tcpFd_ < 0 || ::bind(tcpFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(tcpFd_, 16) != 0) {
            failure = QStringLiteral("TCP port %1: %2").arg(port_).arg(QString::fromLocal8Bit(std::strerror(errno)));
            stop();
            continue;
        }
        udpNotifier_ = new QSocketNotifier(udpFd_, QSocketNotifier::Read, this);
        connect(udpNotifier_, &QSocketNotifier::activated, this, &FakeDnsServer::readUdp);
        tcpNotifier_ = new QSocketNotifier(tcpFd_, QSocketNotifier::Read, this);
        connect(tcpNotifier_, &QSocketNotifier::activated, this, &FakeDnsServer::acceptTcp);
        return true;
    }
    if (error) *error = failure;
    return false;
}

void FakeDnsServer::stop()
{
    while (!connections_.empty()) closeTcp(connections_.begin()->first);
    delete udpNotifier_;
    udpNotifier_ = nullptr;
    delete tcpNotifier_;
    tcpNotifier_ = nullptr;
    if (udpFd_ >= 0) ::close(udpFd_);
    if (tcpFd_ >= 0) ::close(tcpFd_);
    udpFd_ = tcpFd_ = -1;
    port_ = 0;
}

QList<FakeDnsServer::Send> FakeDnsServer::handle(const QByteArray& packet, bool tcp, Query* query)
{
    if (!ParseQuery(packet, query)) query->packet = packet;
    query->tcp = tcp;
    queries_.append(*query);
    return script_ ? script_(*query) : QList<Send>();
}

void FakeDnsServer::readUdp()
{
    QByteArray buffer(65536, Qt::Uninitialized);
    for (;;) {
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = ::recvfrom(udpFd_, buffer.data(), static_cast<size_t>(buffer.size()), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) return;
        Query query;
        for (const Send& send : handle(buffer.left(n), false, &query)) {
            auto deliver = [this, from, query, packet = send.packet] {
                QByteArray data = packet;
                if (truncateUdp_ && data.size() > 512 && !query.question.isEmpty())
                    data = BuildReply(query, NoError, {}, query.id, true);
                ::sendto(udpFd_, data.constData(), static_cast<size_t>(data.size()), 0,
                         reinterpret_cast<const sockaddr*>(&from), sizeof from);
            };
            if (send.delayMs > 0)
                QTimer::singleShot(send.delayMs, this, deliver);
            else
                deliver();
        }
    }
}

void FakeDnsServer::acceptTcp()
{
    for (;;) {
        const int fd = ::accept4(tcpFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        auto connection = std::make_unique<Connection>();
        connection->read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connection->write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        connection->write->setEnabled(false);
        connect(connection->read, &QSocketNotifier::activated, this, [this, fd] { readTcp(fd); });
        connect(connection->write, &QSocketNotifier::activated, this, [this, fd] { flushTcp(fd); });
        connections_[fd] = std::move(connection);
    }
}

void FakeDnsServer::readTcp(int fd)
{
    const auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& connection = *it->second;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            closeTcp(fd);
            return;
        }
        if (n < 0) break;
        connection.in.append(buffer, n);
    }
    // Messages are framed by a two-byte length.
    while (connection.in.size() >= 2) {
        const int length = u16At(connection.in, 0);
        if (connection.in.size() < 2 + length) break;
        const QByteArray packet = connection.in.mid(2, length);
        connection.in.remove(0, 2 + length);
        Query query;
        for (const Send& send : handle(packet, true, &query)) {
            appendU16(&connection.out, static_cast<quint16>(send.packet.size()));
            connection.out.append(send.packet);
        }
    }
    flushTcp(fd);
}

void FakeDnsServer::flushTcp(int fd)
{
    const auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& connection = *it->second;
    while (!connection.out.isEmpty()) {
        const ssize_t n = ::send(fd, connection.out.constData(), static_cast<size_t>(connection.out.size()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            closeTcp(fd);
            return;
        }
        connection.out.remove(0, n);
    }
    connection.write->setEnabled(!connection.out.isEmpty());
}

void FakeDnsServer::closeTcp(int fd)
{
    const auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    // Possibly inside this connection's own notifier slot.
    for (QSocketNotifier* notifier : {it->second->read, it->second->write}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    ::close(fd);
    connections_.erase(it);
}

QByteArray FakeDnsServer::EncodeName(const QByteArray& dotted)
{
    QByteArray out;
    QByteArray name = dotted;
    if (name.endsWith('.')) name.chop(1);
    if (!name.isEmpty()) {
        for (const QByteArray& label : name.split('.')) {
            out.append(static_cast<char>(qMin<qsizetype>(label.size(), 63)));
            out.append(label.left(63));
        }
    }
    out.append('\0');
    return out;
}

QByteArray FakeDnsServer::BuildQuery(quint16 id, const QByteArray& name, quint16 type)
{
    QByteArray packet;
    appendU16(&packet, id);
    appendU16(&packet, 0x0100); // recursion desired
    appendU16(&packet, 1);
    appendU16(&packet, 0);
    appendU16(&packet, 0);
    appendU16(&packet, 0);
    packet.append(EncodeName(name));
    appendU16(&packet, type);
    appendU16(&packet, 1);
    return packet;
}

bool FakeDnsServer::ParseQuery(const QByteArray& packet, Query* query)
{
    *query = Query();
    query->packet = packet;
    if (packet.size() < 12 || u16At(packet, 4) < 1) return false;
    query->id = u16At(packet, 0);
    qsizetype offset = 12;
    QByteArrayList labels;
    for (;;) {
        if (offset >= packet.size()) return false;
        const int length = static_cast<unsigned char>(packet[offset]);
        if (length == 0) break;
        if (length > 63 || offset + 1 + length > packet.size()) return false;
        labels.append(packet.mid(offset + 1, length));
        offset += 1 + length;
    }
    offset += 1;
    if (offset + 4 > packet.size()) return false;
    query->name = labels.join('.');
    query->type = u16At(packet, offset);
    query->question = packet.mid(12, offset + 4 - 12);
    return true;
}

QByteArray FakeDnsServer::BuildReply(const Query& query, int rcode, const QList<Record>& answers, int id,
                                     bool truncated)
{
    const bool recursionDesired = query.packet.size() > 2 && (query.packet[2] & 0x01);
    quint16 flags = 0x8000 | 0x0400 | 0x0080 | (rcode & 0x0f); // QR, AA, RA
    if (recursionDesired) flags |= 0x0100;
    if (truncated) flags |= 0x0200;
    QByteArray packet;
    appendU16(&packet, static_cast<quint16>(id < 0 ? query.id : id));
    appendU16(&packet, flags);
    appendU16(&packet, query.question.isEmpty() ? 0 : 1);
    appendU16(&packet, static_cast<quint16>(answers.size()));
    appendU16(&packet, 0);
    appendU16(&packet, 0);
    packet.append(query.question);
    for (const Record& record : answers) {
        if (record.owner.isEmpty())
            appendU16(&packet, 0xC00C); // the question name right after the header
        else
            packet.append(EncodeName(record.owner));
        appendU16(&packet, record.type);
        appendU16(&packet, 1);
        appendU32(&packet, record.ttl);
        appendU16(&packet, static_cast<quint16>(record.rdata.size()));
        packet.append(record.rdata);
    }
    return packet;
}

FakeDnsServer::Record FakeDnsServer::A(const QByteArray& address, const QByteArray& owner)
{
    in_addr binary{};
    ::inet_pton(AF_INET, address.constData(), &binary);
    return Record{1, QByteArray(reinterpret_cast<const char*>(&binary), 4), owner};
}

FakeDnsServer::Record FakeDnsServer::Txt(const QList<QByteArray>& strings)
{
    QByteArray rdata;
    for (const QByteArray& string : strings) {
        rdata.append(static_cast<char>(qMin<qsizetype>(string.size(), 255)));
        rdata.append(string.left(255));
    }
    return Record{16, rdata, {}};
}

FakeDnsServer::Record FakeDnsServer::Mx(quint16 preference, const QByteArray& exchange)
{
    QByteArray rdata;
    appendU16(&rdata, preference);
    rdata.append(EncodeName(exchange));
    return Record{15, rdata, {}};
}

FakeDnsServer::Record FakeDnsServer::Cname(const QByteArray& target) { return Record{5, EncodeName(target), {}}; }

} // namespace quarlo
