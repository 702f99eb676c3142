#pragma once

#include "cli/CheckOptions.h"
#include "cli/ClientRate.h"
#include "cli/ProbeCache.h"
#include "cli/ServeArguments.h"
#include "cli/ServeOptions.h"
#include "cli/StatusPage.h"

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMap>
#include <QSet>
#include <QTimer>
#include <memory>
#include <vector>

class QHttpServerResponder;

namespace quarlo {

class Registry;
class ProbeRequest;

// quarlo-check as a long-running service for a monitoring system, on the
// same event loop as the DNS engine:
//   GET /probe?target=T[&list=FILE|&watch=NAME]  checks T now (Prometheus text)
//   GET /metrics  the scheduled watches' last scans and the service's own counters
//   GET /         a status page for people
// and the scheduled watches themselves (--watch FILE [--every 1h]), each
// run recorded in the history exactly as a timer-started watch run is.
class ServeMode : public QAbstractHttpServer {
    Q_OBJECT
public:
    ServeMode(ServeOptions options, Registry& registry, QObject* parent = nullptr);
    ~ServeMode() override;

    // Listens and starts the watches (each runs once at once); false with
    // *error when the address cannot be served.
    bool start(QString* error);
    // The address served, as a URL ("http://127.0.0.1:9150/").
    QString url() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    class Scan;
    struct WatchState {
        ServeArguments::Watch watch;
        QString name;
        QString label; // the file's name, for a probe's watch=NAME
        QTimer timer;
        Scan* scan = nullptr;  // the run in progress
        QByteArray metrics;    // the last run's report (node-exporter format)
        bool up = false;       // the last run scanned
        QSet<QString> targets; // case-folded, as last read
        StatusPage::Watch view;
    };
    // A request's way back, held until its answer is written (a probe
    // answers after its scan); the socket goes when the client hangs up.
    struct Reply;
    using Responder = std::shared_ptr<Reply>;

    void respond(const Responder& responder, int status, const QByteArray& body, const QByteArray& type,
                 const QByteArray& extraName = {}, const QByteArray& extraValue = {});
    void refuse(const Responder& responder, int status, const QString& reason);
    void handleProbe(const QHttpServerRequest& request, const Responder& responder);
    void startProbe(const ProbeRequest& probe, const QString& configPath);
    void runWatch(WatchState& state);
    void finishWatch(WatchState& state);
    QByteArray metrics() const;
    QByteArray serviceMetrics() const;
    WatchState* findWatch(const QString& name);

    ServeOptions options_;
    Registry& registry_;
    ProbeCache cache_;
    ClientRate rate_;
    QElapsedTimer clock_;
    QDateTime started_;
    std::vector<std::unique_ptr<WatchState>> watches_;
    QMap<int, qint64> responses_; // by HTTP status
    quint16 port_ = 0;
};

} // namespace quarlo
