#include "support/FakeDnsServer.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace quarlo {

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
    return static_cast<quint16>(static_cast<unsigned char>(data[offset]) << 8
                                | static_cast<unsigned char>(data[offset + 1]));
}

} // namespace

FakeDnsServer::FakeDnsServer(QObject* parent) : QObject(parent) {}

FakeDnsServer::~FakeDnsServer()
{
    stop();
}

QString FakeDnsServer::serverSpec() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

quint16 FakeDnsServer::port() const
{
    return udp_ ? udp_->localPort() : 0;
}

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
        udp_ = new QUdpSocket(this);
        tcp_ = new QTcpServer(this);
        // TCP on the same port, for replies too big for UDP.
        if (!udp_->bind(QHostAddress::LocalHost, 0))
            failure = QStringLiteral("UDP socket: %1").arg(udp_->errorString());
        else if (!tcp_->listen(QHostAddress::LocalHost, udp_->localPort()))
            failure = QStringLiteral("TCP port %1: %2").arg(udp_->localPort()).arg(tcp_->errorString());
        else
            break;
        stop();
    }
    if (!udp_) {
        if (error) *error = failure;
        return false;
    }
    connect(udp_, &QUdpSocket::readyRead, this, &FakeDnsServer::readUdp);
    connect(tcp_, &QTcpServer::newConnection, this, &FakeDnsServer::acceptTcp);
    return true;
}

void FakeDnsServer::stop()
{
    // The server owns its connections.
    delete tcp_;
    tcp_ = nullptr;
    delete udp_;
    udp_ = nullptr;
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
    while (udp_ && udp_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp_->receiveDatagram();
        Query query;
        for (const Send& send : handle(datagram.data(), false, &query)) {
            auto deliver = [this, datagram, query, packet = send.packet] {
                QByteArray data = packet;
                if (truncateUdp_ && data.size() > 512 && !query.question.isEmpty())
                    data = BuildReply(query, NoError, {}, query.id, true);
                if (udp_) udp_->writeDatagram(datagram.makeReply(data));
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
    while (QTcpSocket* connection = tcp_->nextPendingConnection()) {
        connect(connection, &QTcpSocket::readyRead, this, [this, connection] { readTcp(connection); });
        connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
    }
}

void FakeDnsServer::readTcp(QTcpSocket* connection)
{
    // Messages are framed by a two-byte length.
    while (connection->bytesAvailable() >= 2) {
        const int length = u16At(connection->peek(2), 0);
        if (connection->bytesAvailable() < 2 + length) break;
        const QByteArray packet = connection->read(2 + length).mid(2);
        Query query;
        for (const Send& send : handle(packet, true, &query)) {
            QByteArray framed;
            appendU16(&framed, static_cast<quint16>(send.packet.size()));
            connection->write(framed + send.packet);
        }
    }
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
    QByteArray name; // built in place: the fuzz targets parse every query
    for (;;) {
        if (offset >= packet.size()) return false;
        const int length = static_cast<unsigned char>(packet[offset]);
        if (length == 0) break;
        if (length > 63 || offset + 1 + length > packet.size()) return false;
        if (!name.isEmpty()) name.append('.');
        name.append(packet.constData() + offset + 1, length);
        offset += 1 + length;
    }
    offset += 1;
    if (offset + 4 > packet.size()) return false;
    query->name = name;
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
    packet.reserve(12 + query.question.size() + answers.size() * 32);
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
    QByteArray rdata;
    appendU32(&rdata, QHostAddress(QString::fromLatin1(address)).toIPv4Address());
    return Record{1, rdata, owner};
}

FakeDnsServer::Record FakeDnsServer::Aaaa(const QByteArray& address, const QByteArray& owner)
{
    const Q_IPV6ADDR bytes = QHostAddress(QString::fromLatin1(address)).toIPv6Address();
    return Record{28, QByteArray(reinterpret_cast<const char*>(bytes.c), 16), owner};
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

FakeDnsServer::Record FakeDnsServer::Cname(const QByteArray& target, const QByteArray& owner)
{
    return Record{5, EncodeName(target), owner};
}

} // namespace quarlo
