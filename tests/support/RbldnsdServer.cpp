#include "support/RbldnsdServer.h"

#include "support/FakeDnsServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QUdpSocket>

#include <unistd.h>

namespace quarlo {

RbldnsdServer::RbldnsdServer() = default;

RbldnsdServer::~RbldnsdServer()
{
    stop();
}

QString RbldnsdServer::Program()
{
    return QStringLiteral("/usr/sbin/rbldnsd");
}

void RbldnsdServer::addZone(const QString& zone, const QString& type, const QString& contents)
{
    zones_.append(Zone{zone, type, contents});
}

bool RbldnsdServer::start(QString* error)
{
    QString failure;
    const auto fail = [&](const QString& message) {
        if (error) *error = message;
        return false;
    };
    if (!QFileInfo(Program()).isExecutable())
        return fail(QStringLiteral("rbldnsd is not installed (%1 missing); run scripts/install-deps").arg(Program()));
    if (zones_.isEmpty()) return fail(QStringLiteral("no zones added"));
    if (!dir_.isValid()) return fail(QStringLiteral("temporary directory: %1").arg(dir_.errorString()));

    // rbldnsd drops root privileges before it reads the zone files.
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(dir_.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    for (int i = 0; i < zones_.size(); ++i) {
        QFile file(dir_.filePath(QStringLiteral("zone%1.data").arg(i)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(zones_[i].contents.toUtf8()) < 0)
            return fail(QStringLiteral("writing %1: %2").arg(file.fileName(), file.errorString()));
        file.close();
        file.setPermissions(readable);
    }

    for (int attempt = 0; attempt < 10; ++attempt) {
        const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 60000));
        if (!QUdpSocket().bind(QHostAddress::LocalHost, port)) continue; // taken
        if (launch(port, &failure)) {
            if (!envSaved_) {
                envSaved_ = true;
                hadEnv_ = qEnvironmentVariableIsSet("QUARLO_DNS_SERVERS");
                savedEnv_ = qgetenv("QUARLO_DNS_SERVERS");
            }
            qputenv("QUARLO_DNS_SERVERS", serverSpec().toLatin1());
            return true;
        }
    }
    return fail(QStringLiteral("rbldnsd did not start: %1").arg(failure));
}

bool RbldnsdServer::launch(quint16 port, QString* error)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-b"), QStringLiteral("127.0.0.1/%1").arg(port),
                          QStringLiteral("-w"), dir_.path(),          QStringLiteral("-t"),
                          QStringLiteral("60"), QStringLiteral("-c"), QStringLiteral("0")};
    // Only root may switch users, and rbldnsd refuses to keep running as root.
    if (::geteuid() == 0) arguments << QStringLiteral("-u") << QStringLiteral("nobody");
    for (int i = 0; i < zones_.size(); ++i)
        arguments << QStringLiteral("%1:%2:zone%3.data").arg(zones_[i].name, zones_[i].type).arg(i);

    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(Program(), arguments);
    if (!process_->waitForStarted(5000)) {
        *error = process_->errorString();
        process_.reset();
        return false;
    }
    port_ = port;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (process_->state() != QProcess::Running || process_->waitForFinished(0)) break;
        if (answers(100)) return true;
    }
    process_->waitForFinished(100);
    *error = QString::fromLocal8Bit(process_->readAll()).trimmed();
    if (error->isEmpty()) *error = QStringLiteral("no answer on port %1").arg(port);
    stop();
    return false;
}

// One query for the first zone's apex; any reply with its ID will do.
bool RbldnsdServer::answers(int timeoutMs) const
{
    QUdpSocket socket;
    const auto id = static_cast<quint16>(QRandomGenerator::global()->generate());
    const QByteArray query = FakeDnsServer::BuildQuery(id, zones_.first().name.toLatin1(), 6 /* SOA */);
    if (socket.writeDatagram(query, QHostAddress::LocalHost, port_) != query.size()) return false;
    while (socket.waitForReadyRead(timeoutMs)) {
        while (socket.hasPendingDatagrams()) {
            const QByteArray reply = socket.receiveDatagram().data();
            if (reply.size() >= 2 && reply.left(2) == query.left(2)) return true;
        }
    }
    return false;
}

void RbldnsdServer::stop()
{
    if (process_) {
        if (process_->state() != QProcess::NotRunning) {
            process_->terminate();
            if (!process_->waitForFinished(2000)) {
                process_->kill();
                process_->waitForFinished(2000);
            }
        }
        process_.reset();
    }
    port_ = 0;
    if (envSaved_) {
        if (hadEnv_)
            qputenv("QUARLO_DNS_SERVERS", savedEnv_);
        else
            qunsetenv("QUARLO_DNS_SERVERS");
        envSaved_ = false;
    }
}

} // namespace quarlo
