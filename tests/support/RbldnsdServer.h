#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace quarlo {

// An rbldnsd on a free loopback UDP port serving zones the test writes:
//
//     RbldnsdServer server;
//     server.addZone("bl.test", "ip4set", "127.0.0.2\n");
//     ASSERT_TRUE(server.start(&error)) << error;
//
// start() returns only once the server answers, and points
// QUARLO_DNS_SERVERS at it until the server is destroyed. A machine without
// rbldnsd fails start() with a message saying so: tests that need it fail
// rather than skip.
class RbldnsdServer {
public:
    RbldnsdServer();
    ~RbldnsdServer();
    RbldnsdServer(const RbldnsdServer&) = delete;
    RbldnsdServer& operator=(const RbldnsdServer&) = delete;

    static QString Program();

    // type: an rbldnsd dataset type such as "ip4set", "generic" or "combined".
    void addZone(const QString& zone, const QString& type, const QString& contents);
    bool start(QString* error = nullptr);
    void stop();

    quint16 port() const { return port_; }
    QString serverSpec() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

private:
    struct Zone {
        QString name;
        QString type;
        QString contents;
    };

    bool launch(quint16 port, QString* error);
    bool answers(int timeoutMs) const;

    QTemporaryDir dir_;
    QList<Zone> zones_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    bool envSaved_ = false;
    bool hadEnv_ = false;
    QByteArray savedEnv_;
};

} // namespace quarlo
