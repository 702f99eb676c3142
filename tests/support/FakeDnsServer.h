#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace quarlo {

// A DNS server inside the test process, on 127.0.0.1 (UDP and TCP on the same
// random port). It runs in the test's Qt event loop, so a test spins the loop
// (QTest::qWaitFor, QSignalSpy::wait) while c-ares talks to it. A script
// decides, for every query, which packets go back: well-formed replies built
// with the helpers below, raw bytes, nothing, or several packets.
class FakeDnsServer : public QObject {
    Q_OBJECT
public:
    enum Rcode { NoError = 0, FormErr = 1, ServFail = 2, NxDomain = 3, Refused = 5 };

    struct Query {
        quint16 id = 0;
        QByteArray name; // dotted, without trailing dot, as sent
        quint16 type = 0;
        QByteArray question; // the question section as sent
        QByteArray packet;
        bool tcp = false;
    };
    struct Record {
        quint16 type = 0;
        QByteArray rdata;
        QByteArray owner; // empty: a compression pointer to the question name
        quint32 ttl = 60;
    };
    struct Send {
        QByteArray packet;
        int delayMs = 0; // UDP only; TCP replies go out at once
    };
    using Script = std::function<QList<Send>(const Query&)>;

    explicit FakeDnsServer(QObject* parent = nullptr);
    ~FakeDnsServer() override;

    bool start(QString* error = nullptr);
    quint16 port() const;
    QString serverSpec() const;

    // No script, or an empty list from it: silence.
    void setScript(Script script) { script_ = std::move(script); }
    // Like a server without EDNS, replies over 512 bytes go out over UDP as an
    // empty reply with the TC bit, and whole over TCP. On by default.
    void setTruncateUdp(bool on) { truncateUdp_ = on; }

    const QList<Query>& queries() const { return queries_; }
    int queryCount(bool tcp) const;

    static QByteArray EncodeName(const QByteArray& dotted);
    static QByteArray BuildQuery(quint16 id, const QByteArray& name, quint16 type);
    // False when packet holds no complete header and question.
    static bool ParseQuery(const QByteArray& packet, Query* query);
    // A reply echoing query's question, with query's ID unless id is given.
    static QByteArray BuildReply(const Query& query, int rcode, const QList<Record>& answers = {}, int id = -1,
                                 bool truncated = false);
    static Record A(const QByteArray& address, const QByteArray& owner = {});
    static Record Aaaa(const QByteArray& address, const QByteArray& owner = {});
    // One TXT record with one character-string per entry (each at most 255 bytes).
    static Record Txt(const QList<QByteArray>& strings);
    static Record Mx(quint16 preference, const QByteArray& exchange);
    static Record Cname(const QByteArray& target, const QByteArray& owner = {});
    static QList<Send> Reply(const QByteArray& packet, int delayMs = 0) { return {Send{packet, delayMs}}; }

private:
    void readUdp();
    void acceptTcp();
    void readTcp(QTcpSocket* connection);
    QList<Send> handle(const QByteArray& packet, bool tcp, Query* query);
    void stop();

    QUdpSocket* udp_ = nullptr;
    QTcpServer* tcp_ = nullptr;
    Script script_;
    bool truncateUdp_ = true;
    QList<Query> queries_;
};

} // namespace quarlo
