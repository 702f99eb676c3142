// quarlo-check --serve as a monitoring system meets it: a real Prometheus
// scrapes its probes and watches, clients send it garbage, several
// scrapers probe one target at once, and people open its status page.
#include "cli/CheckProgram.h"
#include "support/RbldnsdServer.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <QUrlQuery>
#include <algorithm>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

using namespace quarlo;

namespace {

const char* const kServers = "<Quarlo><BlackListServers>"
                             "<Server Server=\"bl.test\" Enabled=\"TRUE\" Name=\"Test list\"><ResultCodes>"
                             "<ResultCode Address=\"127.0.0.2\" Reason=\"Spam source\"/></ResultCodes></Server>"
                             "</BlackListServers></Quarlo>";

// Lets the event loop run until done() or the time is up (a wait whose end
// the caller may ignore: the checks after it tell).
bool waitFor(const std::function<bool()>& done, int ms)
{
    return QTest::qWaitFor(done, ms);
}

struct Http {
    int status = 0; // 0: no answer
    QByteArray body;
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One `quarlo-check --serve` process on a free loopback port.
class Service {
public:
    Service(const QString& dir, const QString& dnsServer, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUARLO_DNS_SERVERS", dnsServer);
        env.insert("QUARLO_REGISTRY_DIR", dir + "/registry");
        env.insert("QUARLO_HISTORY", dir + "/history.sqlite");
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(QUARLO_CHECK_PATH),
                       QStringList{"--config", dir + "/servers.cfg", "--serve", "127.0.0.1:0"} + args);
        static const QRegularExpression serving("serving on http://127\\.0\\.0\\.1:(\\d+)/");
        waitFor(
            [&] {
                err_ += process_.readAllStandardError();
                const QRegularExpressionMatch match = serving.match(QString::fromUtf8(err_));
                if (match.hasMatch()) port_ = match.captured(1).toUShort();
                return port_ != 0 || process_.state() == QProcess::NotRunning;
            },
            20000);
    }
    ~Service()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }

    quint16 port() const { return port_; }
    bool running() const { return process_.state() == QProcess::Running; }
    QString log()
    {
        err_ += process_.readAllStandardError();
        return QString::fromUtf8(err_);
    }
    QUrl url(const QString& pathAndQuery) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(pathAndQuery));
    }

    // Starts GETs of every path at once and waits for all of them.
    std::vector<Http> getAll(const QStringList& paths)
    {
        std::vector<Http> results(paths.size());
        std::vector<QNetworkReply*> replies;
        for (const QString& path : paths) {
            QNetworkRequest request(url(path));
            request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
            replies.push_back(network_.get(request));
        }
        waitFor(
            [&] {
                return std::all_of(replies.begin(), replies.end(), [](QNetworkReply* r) { return r->isFinished(); });
            },
            60000);
        for (size_t i = 0; i < replies.size(); ++i) {
            results[i].status = replies[i]->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            results[i].body = replies[i]->readAll();
            replies[i]->deleteLater();
        }
        return results;
    }
    Http get(const QString& path) { return getAll({path}).front(); }

    // The value of a sample of /metrics ("name" or "name{labels}"); -1 when absent.
    double metric(const QString& sample)
    {
        for (const QByteArray& line : get("/metrics").body.split('\n'))
            if (line.startsWith(sample.toUtf8() + ' ')) return line.mid(sample.size() + 1).toDouble();
        return -1;
    }

    // Sends raw bytes and reads the answer's status line; 0 when the
    // connection was closed without one.
    int raw(const QByteArray& bytes, int waitMs = 2000)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        if (!waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000)) return -1;
        socket.write(bytes);
        QByteArray answer;
        waitFor(
            [&] {
                answer += socket.readAll();
                return answer.contains("\r\n") || socket.state() != QAbstractSocket::ConnectedState;
            },
            waitMs);
        const QList<QByteArray> words = answer.left(answer.indexOf("\r\n")).split(' ');
        return words.size() > 1 ? words.at(1).toInt() : 0;
    }

private:
    QProcess process_;
    QByteArray err_;
    quint16 port_ = 0;
    QNetworkAccessManager network_;
};

class Serve : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        spit(dir.filePath("servers.cfg"), kServers);
        watchFile = dir.filePath("servers.txt");
        spit(watchFile, "192.0.2.7\n192.0.2.8\n");
    }

    void serveZone()
    {
        rbldnsd = std::make_unique<RbldnsdServer>();
        rbldnsd->addZone("bl.test", "ip4set", ":127.0.0.2:Listed\n127.0.0.2\n192.0.2.7\n192.0.2.9\n");
        QString error;
        ASSERT_TRUE(rbldnsd->start(&error)) << error.toStdString();
    }

    std::unique_ptr<Service> start(const QStringList& args, const QString& dns = QString())
    {
        auto service = std::make_unique<Service>(dir.path(), dns.isEmpty() ? rbldnsd->serverSpec() : dns, args);
        EXPECT_NE(service->port(), 0) << service->log().toStdString();
        return service;
    }

    // One run of quarlo-check as a timer or a person starts it, beside the service.
    CliResult run(const QStringList& args, const QString& dns = QStringLiteral("127.0.0.1:9"))
    {
        CliRun how;
        how.args = QStringList{"--config", dir.filePath("servers.cfg")} + args;
        how.dnsServers = dns;
        how.registryDir = dir.filePath("registry");
        how.env = QStringList{"QUARLO_HISTORY=" + dir.filePath("history.sqlite")};
        return runProgram(how);
    }

    QTemporaryDir dir;
    QString watchFile;
    std::unique_ptr<RbldnsdServer> rbldnsd;
};

} // namespace

TEST_F(Serve, PrometheusScrapesProbesAndWatchesAndFindsTheListedTargets)
{
    serveZone();
    auto service = start({"--watch", watchFile, "--every", "1h"});
    ASSERT_NE(service->port(), 0);

    const quint16 promPort = freePort();
    const QString config = dir.filePath("prometheus.yml");
    spit(config,
         QStringLiteral("global:\n  scrape_interval: 2s\n  scrape_timeout: 2s\n"
                        "scrape_configs:\n"
                        "  - job_name: quarlo\n    static_configs:\n      - targets: ['127.0.0.1:%1']\n"
                        "  - job_name: quarlo-probe\n    metrics_path: /probe\n"
                        "    static_configs:\n      - targets: ['192.0.2.9', '192.0.2.10']\n"
                        "    relabel_configs:\n"
                        "      - source_labels: [__address__]\n        target_label: __param_target\n"
                        "      - source_labels: [__param_target]\n        target_label: instance\n"
                        "      - target_label: __address__\n        replacement: 127.0.0.1:%1\n")
             .arg(service->port())
             .toUtf8());
    QProcess prometheus;
    prometheus.setProcessChannelMode(QProcess::MergedChannels);
    prometheus.start("/usr/bin/prometheus",
                     {"--config.file=" + config, "--storage.tsdb.path=" + dir.filePath("tsdb"),
                      QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(promPort), "--log.level=warn"});
    ASSERT_TRUE(prometheus.waitForStarted(10000)) << "prometheus is needed: " << prometheus.errorString().toStdString();
    QNetworkAccessManager network;
    auto query = [&](const QString& promql) {
        QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(promPort));
        url.setQuery(QUrlQuery{{"query", promql}});
        QNetworkReply* reply = network.get(QNetworkRequest(url));
        waitFor([&] { return reply->isFinished(); }, 10000);
        // The Prometheus HTTP API's answer: data.result, one entry a series.
        const QJsonArray result =
            QJsonDocument::fromJson(reply->readAll()).object().value("data").toObject().value("result").toArray();
        reply->deleteLater();
        return result;
    };
    // Each series appears once Prometheus has scraped it successfully.
    auto appears = [&](const QString& promql, int series = 1) {
        QJsonArray result;
        waitFor(
            [&] {
                result = query(promql);
                return result.size() >= series;
            },
            45000);
        return result;
    };

    const QJsonArray watched = appears("quarlo_listed{job=\"quarlo\",target=\"192.0.2.7\",zone=\"bl.test\"} == 1");
    ASSERT_EQ(watched.size(), 1) << prometheus.readAll().toStdString() << service->log().toStdString();
    EXPECT_EQ(watched.at(0)["metric"]["watch"].toString(), "files:" + QFileInfo(watchFile).canonicalFilePath());
    const QJsonArray probed =
        appears("quarlo_listed{job=\"quarlo-probe\",instance=\"192.0.2.9\",list=\"bl.test\",code=\"127.0.0.2\"} == 1");
    EXPECT_EQ(probed.size(), 1) << prometheus.readAll().toStdString();
    // The clean ones are there too, answered "not listed", and every scrape parsed.
    const QJsonArray clean = appears("quarlo_listed{target=~\"192.0.2.(8|10)\"} == 0", 2);
    EXPECT_EQ(clean.size(), 2);
    EXPECT_EQ(appears("quarlo_probe_success{instance=\"192.0.2.10\"} == 1").size(), 1);
    EXPECT_EQ(query("up == 0").size(), 0) << "a scrape failed";
    EXPECT_EQ(appears("quarlo_watch_up == 1").size(), 1);

    prometheus.terminate();
    if (!prometheus.waitForFinished(10000)) prometheus.kill();
}

// Clients' garbage is refused, never the end of the service: its watch
// (recorded as a timer's watch) and its status page keep answering.
TEST_F(Serve, MalformedRequestsAreRefusedAndTheWatchesKeepAnswering)
{
    serveZone();
    spit(dir.filePath("other.cfg"), kServers);
    auto service = start({"--watch", watchFile, "--every", "10m"});
    ASSERT_NE(service->port(), 0);
    const auto watchMetric = [&](const QString& name) {
        return service->metric(name + "{watch=\"files:" + QFileInfo(watchFile).canonicalFilePath() + "\"}");
    };
    ASSERT_TRUE(
        waitFor([&] { return watchMetric("quarlo_watch_up") == 1 && watchMetric("quarlo_status") >= 0; }, 20000))
        << service->log().toStdString();

    struct Case {
        QString path;
        int status;
        const char* reason; // the start of the one-line answer
    };
    const std::vector<Case> cases = {
        {"/probe?target=192.0.2.1&module=dnsbl", 400, "unknown parameter \"module\""},
        {"/probe?target=" + QString(400, 'a') + ".example", 400, "target longer than 320 characters"},
        {"/probe?target=192.0.2.1&list=..%2Fservers.cfg", 400, "list wants"},
        {"/probe?target=192.0.2.1&list=missing.cfg", 404, "no list configuration"},
        {"/probe?target=192.0.2.1&watch=nobody", 404, "no watch"},
        {"/probe?target=192.0.2.99&watch=servers.txt", 404, "192.0.2.99 is not a target of watch"},
        {"/metrics?debug=1", 400, "unknown parameter \"debug\""},
        {"/?x", 400, "unknown parameter \"x\""},
        {"/admin", 404, "no page /admin"},
    };
    for (const Case& c : cases) {
        const Http answer = service->get(c.path);
        EXPECT_EQ(answer.status, c.status) << c.path.left(60).toStdString() << ": " << answer.body.toStdString();
        EXPECT_TRUE(answer.body.startsWith(c.reason))
            << c.path.left(60).toStdString() << ": " << answer.body.toStdString();
        EXPECT_EQ(answer.body.count('\n'), 1) << "one line";
        EXPECT_LT(answer.body.size(), 200) << "never echoes more than a prefix";
    }
    // Allowed: another configuration beside the service's, a watched target.
    EXPECT_EQ(service->get("/probe?target=192.0.2.1&list=other.cfg").status, 200);
    EXPECT_EQ(service->get("/probe?target=192.0.2.8&watch=servers.txt").status, 200);

    // Not HTTP at all, or HTTP no one should send: refused or dropped,
    // never the end of the service.
    EXPECT_EQ(service->raw("POST /probe?target=192.0.2.1 HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"), 405);
    for (const QByteArray& garbage :
         {QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), QByteArray("GET\r\n\r\n"),
          QByteArray("GET / HTTP/1.1\r\nHost: x\r\nX-Big: ") + QByteArray(200000, 'a') + "\r\n\r\n",
          QByteArray("GET /" + QByteArray(100000, 'b') + " HTTP/1.1\r\nHost: x\r\n\r\n"), QByteArray(5000, '\0')}) {
        service->raw(garbage);
        ASSERT_TRUE(service->running()) << "after " << garbage.left(20).toHex().toStdString() << ": "
                                        << service->log().toStdString();
    }
    EXPECT_EQ(service->raw("GET /probe?target=a%01b HTTP/1.1\r\nHost: x\r\n\r\n"), 400) << "a control character";
    // A client that hangs up while its probe runs takes nothing down.
    {
        QTcpSocket impatient;
        impatient.connectToHost(QHostAddress::LocalHost, service->port());
        ASSERT_TRUE(impatient.waitForConnected(5000));
        impatient.write("GET /probe?target=192.0.2.77 HTTP/1.1\r\nHost: x\r\n\r\n");
        impatient.waitForBytesWritten(1000);
        impatient.abort();
    }
    const Http after = service->get("/probe?target=192.0.2.7");
    EXPECT_EQ(after.status, 200) << service->log().toStdString();
    EXPECT_TRUE(after.body.contains("quarlo_listed{target=\"192.0.2.7\",list=\"bl.test\",code=\"127.0.0.2\"} 1"))
        << after.body.toStdString();
    const auto refused = std::count_if(cases.begin(), cases.end(), [](const Case& c) { return c.status == 400; });
    EXPECT_EQ(service->metric("quarlo_serve_responses_total{code=\"400\"}"), refused + 1) << "every refusal is counted";

    EXPECT_EQ(watchMetric("quarlo_status"), 1) << "192.0.2.7 on one list is a WARNING";
    EXPECT_EQ(watchMetric("quarlo_watch_interval_seconds"), 600);
    EXPECT_EQ(watchMetric("quarlo_targets_listed"), 1);
    const Http page = service->get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("servers.txt") && page.body.contains("WARNING"));
    EXPECT_TRUE(page.body.contains("192.0.2.7 on 1 list (bl.test)")) << page.body.toStdString();
    EXPECT_FALSE(page.body.contains("<script")) << "the page runs nothing";
    service.reset();
    // The service's run is the watch's last run: a timer-started run of the
    // same file sees nothing new.
    const CliResult timer = run({"--watch", "--quiet", "--format", "json", watchFile}, rbldnsd->serverSpec());
    const QJsonObject report = QJsonDocument::fromJson(timer.out.toUtf8()).object();
    EXPECT_EQ(report.value("status").toString(), "WARNING") << timer.out.toStdString();
    EXPECT_TRUE(report.value("changes").toArray().isEmpty()) << timer.out.toStdString();
}

TEST_F(Serve, OneClientIsHeldToItsProbesPerMinute)
{
    serveZone();
    auto service = start({"--probe-rate", "3"});
    ASSERT_NE(service->port(), 0);
    std::vector<int> statuses;
    for (int i = 0; i < 5; ++i)
        statuses.push_back(service->get(QStringLiteral("/probe?target=192.0.2.%1").arg(i + 1)).status);
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 429, 429}));
    // Scrapes of the metrics and the page are not probes.
    EXPECT_EQ(service->get("/metrics").status, 200);
    EXPECT_EQ(service->get("/").status, 200);
}

TEST_F(Serve, ConcurrentProbesOfOneTargetShareOneScan)
{
    // A resolver that never answers: every scan lasts its tries' time
    // (2 x 400 ms), so probes sent together overlap for sure.
    QUdpSocket silent;
    ASSERT_TRUE(silent.bind(QHostAddress::LocalHost, 0));
    qint64 queries = 0;
    QObject::connect(&silent, &QUdpSocket::readyRead, [&] {
        while (silent.hasPendingDatagrams()) {
            silent.receiveDatagram();
            ++queries;
        }
    });
    auto service = start({"--probe-cache", "0", "--probe-scans", "1", "--timeout", "400", "--tries", "2"},
                         QStringLiteral("127.0.0.1:%1").arg(silent.localPort()));
    ASSERT_NE(service->port(), 0);

    std::vector<Http> together =
        service->getAll({"/probe?target=192.0.2.1", "/probe?target=192.0.2.1", "/probe?target=192.0.2.1"});
    ASSERT_EQ(together.size(), 3u);
    for (const Http& answer : together) {
        EXPECT_EQ(answer.status, 200) << answer.body.toStdString();
        EXPECT_EQ(answer.body, together.front().body) << "one scan, one answer";
    }
    EXPECT_TRUE(together.front().body.contains("quarlo_probe_success 0")) << "no list answered";
    EXPECT_EQ(service->metric("quarlo_serve_probe_scans_total"), 1);
    const qint64 oneScan = queries;
    EXPECT_GT(oneScan, 0);

    // Without a cache the next probe scans again, asking the same again;
    // while it runs, the one scan allowed is taken. The two arrive together,
    // so either may be the one that scans.
    std::vector<Http> next = service->getAll({"/probe?target=192.0.2.1", "/probe?target=192.0.2.2"});
    ASSERT_EQ(next.size(), 2u);
    std::vector<int> statuses{next[0].status, next[1].status};
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (std::vector<int>{200, 429})) << next[0].body.toStdString() << next[1].body.toStdString();
    EXPECT_EQ(service->metric("quarlo_serve_probe_scans_total"), 2);
    waitFor([&] { return queries >= 2 * oneScan; }, 2000);
    EXPECT_EQ(queries, 2 * oneScan) << "the three probes together asked what one asks";
}
