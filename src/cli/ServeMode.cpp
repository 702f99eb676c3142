#include "cli/ServeMode.h"

#include "cli/CheckRun.h"
#include "cli/HistoryRun.h"
#include "cli/ListFileReader.h"
#include "cli/MetricFamilies.h"
#include "cli/PrintableText.h"
#include "cli/ProbeRequest.h"
#include "cli/PrometheusWriter.h"
#include "cli/ScanDigest.h"
#include "cli/TargetCollector.h"
#include "cli/WatchReport.h"
#include "scan/Addresslist.h"
#include "scan/ScanRecorder.h"
#include "scan/Session.h"

#include <QDir>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QTextStream>
#include <QUrlQuery>

#include <sys/resource.h>
#include <unistd.h>

namespace quarlo {

namespace {

constexpr QByteArrayView kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

void note(const QString& message)
{
    QTextStream(stderr) << "quarlo-check: " << message << '\n';
}

// Every target checked completely: the probe vouches for its answer.
bool vouched(const std::vector<CheckTarget>& targets)
{
    for (const CheckTarget& target : targets) {
        const TargetStatus status = target.status();
        if (status != TargetStatus::Listed && status != TargetStatus::Clean) return false;
    }
    return !targets.empty();
}

} // namespace

// The responder keeps only a plain pointer to the socket; the watch on it
// tells whether writing is still safe.
struct ServeMode::Reply {
    QHttpServerResponder responder;
    QPointer<QTcpSocket> socket;
};

// One scan of the service, a probe's or a watch run's: its own session (the
// configuration read afresh, so edits apply without a restart) and run.
class ServeMode::Scan : public QObject {
public:
    Scan(Registry& registry, const CheckOptions& options, const QString& configPath, QObject* parent)
        : QObject(parent),
          session_(registry, {.configPath = configPath, .dnsServers = options.dnsServers, .tuning = options.tuning}),
          run_(session_.Addresslist(), false)
    {
        Settings& settings = session_.Settings();
        problem_ = session_.LastErrorText().OneLine();
        int enabled = 0;
        for (const ServerPtr& server : settings.BlacklistServers()) enabled += server->Enabled() ? 1 : 0;
        if (problem_.isEmpty() && enabled == 0)
            problem_ = QStringLiteral("%1 holds no enabled blacklist server").arg(configPath);
        if (options.maxQueries > 0) settings.setMaxQueries(options.maxQueries);
        if (options.noListTest) settings.setCheckListsBeforeScanning(false);
        for (const auto& [name, value] : options.accessKeys) settings.setRunAccessKey(name, value);
        session_.Addresslist().setResolverOptions(
            {.ipv6 = options.ipv6Lookups, .allMailExchangers = options.allMailExchangers});
    }

    // Why the scan cannot run, or empty.
    QString problem() const { return problem_; }
    Session& session() { return session_; }
    CheckRun& run() { return run_; }
    void start(std::vector<CheckTarget> targets)
    {
        clock_.start();
        run_.start(std::move(targets));
    }
    double seconds() const { return clock_.elapsed() / 1000.0; }

private:
    Session session_;
    CheckRun run_;
    QString problem_;
    QElapsedTimer clock_;
};

ServeMode::ServeMode(ServeOptions options, Registry& registry, QObject* parent)
    : QAbstractHttpServer(parent), options_(std::move(options)), registry_(registry),
      cache_(options_.maxScans, qint64(options_.keepSeconds) * 1000), rate_(options_.perMinute)
{
    clock_.start();
    for (const ServeArguments::Watch& watch : options_.watches) {
        auto state = std::make_unique<WatchState>();
        state->watch = watch;
        CheckOptions named = options_.check;
        named.listFiles = {watch.file};
        // The same name a timer-started watch of this file has, so moving
        // from the timer units to the service keeps the watch's history.
        state->name = HistoryRun::WatchName(named, {});
        state->label = QFileInfo(watch.file).fileName();
        state->view.name = state->label;
        state->view.file = QFileInfo(watch.file).absoluteFilePath();
        state->timer.setInterval(watch.everySeconds * 1000);
        WatchState* raw = state.get();
        connect(&state->timer, &QTimer::timeout, this, [this, raw] { runWatch(*raw); });
        watches_.push_back(std::move(state));
    }
}

ServeMode::~ServeMode() = default;

bool ServeMode::start(QString* error)
{
    port_ = listen(options_.listen.address, options_.listen.port);
    if (port_ == 0) {
        *error = QStringLiteral("cannot serve on %1 port %2 (in use, or a port below 1024 without the right)")
                     .arg(options_.listen.address.toString())
                     .arg(options_.listen.port);
        return false;
    }
    started_ = QDateTime::currentDateTimeUtc();
    for (const auto& state : watches_) {
        state->timer.start();
        WatchState* raw = state.get();
        QTimer::singleShot(0, this, [this, raw] { runWatch(*raw); });
    }
    return true;
}

QString ServeMode::url() const
{
    const QString host = options_.listen.address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + options_.listen.address.toString() + QLatin1Char(']')
        : options_.listen.address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port_);
}

void ServeMode::respond(const Responder& responder, int status, const QByteArray& body, const QByteArray& type,
                        const QByteArray& extraName, const QByteArray& extraValue)
{
    ++responses_[status];
    // The client may have gone while its scan ran.
    if (!responder || !responder->socket) return;
    QHttpServerResponder* reply = &responder->responder;
    reply->writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    reply->writeHeader("Content-Type", type);
    reply->writeHeader("Content-Length", QByteArray::number(body.size()));
    reply->writeHeader("Cache-Control", "no-store");
    reply->writeHeader("X-Content-Type-Options", "nosniff");
    if (!extraName.isEmpty()) reply->writeHeader(extraName, extraValue);
    reply->writeBody(body);
}

void ServeMode::refuse(const Responder& responder, int status, const QString& reason)
{
    respond(responder, status, reason.toUtf8() + '\n', "text/plain; charset=utf-8",
            status == 429 ? QByteArray("Retry-After") : QByteArray(), status == 429 ? QByteArray("10") : QByteArray());
}

bool ServeMode::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    auto guarded = std::make_shared<Reply>(Reply{makeResponder(request, socket), socket});
    const QString path = request.url().path();
    if (request.method() != QHttpServerRequest::Method::Get) {
        refuse(guarded, 405, QStringLiteral("only GET is served"));
        return true;
    }
    const QList<QPair<QString, QString>> items = request.query().queryItems(QUrl::FullyDecoded);
    if (path == QLatin1String("/probe")) {
        handleProbe(request, guarded);
        return true;
    }
    if (path != QLatin1String("/") && path != QLatin1String("/metrics")) {
        refuse(guarded, 404, QStringLiteral("no page %1 here (/, /metrics, /probe?target=...)").arg(Excerpt(path)));
        return true;
    }
    if (!items.isEmpty()) {
        refuse(guarded, 400,
               QStringLiteral("unknown parameter \"%1\" (%2 takes none)").arg(Excerpt(items.first().first), path));
        return true;
    }
    if (path == QLatin1String("/metrics")) {
        respond(guarded, 200, metrics(), kMetricsType.toByteArray());
        return true;
    }
    std::vector<StatusPage::Watch> views;
    for (const auto& state : watches_) {
        StatusPage::Watch view = state->view;
        view.running = state->scan != nullptr;
        views.push_back(std::move(view));
    }
    // The page loads nothing and runs nothing; say so to the browser too.
    respond(guarded, 200, StatusPage::Html(views, started_, cache_.scansStarted(), QStringLiteral(QUARLO_VERSION)),
            "text/html; charset=utf-8", "Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    return true;
}

void ServeMode::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    ++responses_[404];
    responder.write(QByteArray("not found\n"), "text/plain; charset=utf-8", QHttpServerResponder::StatusCode::NotFound);
}

ServeMode::WatchState* ServeMode::findWatch(const QString& name)
{
    for (const auto& state : watches_)
        if (state->name == name || state->label == name) return state.get();
    return nullptr;
}

void ServeMode::handleProbe(const QHttpServerRequest& request, const Responder& responder)
{
    if (!rate_.allow(request.remoteAddress().toString(), clock_.elapsed())) {
        refuse(responder, 429,
               QStringLiteral("more than %1 probes a minute from %2")
                   .arg(options_.perMinute)
                   .arg(request.remoteAddress().toString()));
        return;
    }
    QString why;
    const std::optional<ProbeRequest> probe = ProbeRequest::Parse(request.query().queryItems(QUrl::FullyDecoded), &why);
    if (!probe) {
        refuse(responder, 400, why);
        return;
    }
    QString configPath = options_.check.configPath;
    if (!probe->list.isEmpty()) {
        configPath = QFileInfo(options_.check.configPath).dir().filePath(probe->list);
        if (!QFileInfo(configPath).isFile()) {
            refuse(responder, 404,
                   QStringLiteral("no list configuration \"%1\" beside the service's").arg(probe->list));
            return;
        }
    }
    if (!probe->watch.isEmpty()) {
        const WatchState* watch = findWatch(probe->watch);
        if (!watch) {
            refuse(responder, 404, QStringLiteral("no watch \"%1\" here").arg(Excerpt(probe->watch)));
            return;
        }
        for (const QString& entry : probe->entries) {
            if (!watch->targets.contains(entry.toCaseFolded())) {
                refuse(responder, 404,
                       QStringLiteral("%1 is not a target of watch \"%2\"").arg(Excerpt(entry), watch->label));
                return;
            }
        }
    }
    const ProbeCache::Outcome outcome =
        cache_.request(probe->key(), clock_.elapsed(), [this, responder](const ProbeCache::Answer& answer) {
            if (answer.status == 200)
                respond(responder, 200, answer.body, kMetricsType.toByteArray());
            else
                refuse(responder, answer.status, QString::fromUtf8(answer.body));
        });
    if (outcome == ProbeCache::Outcome::Busy) {
        refuse(responder, 429,
               QStringLiteral("%1 probe scans already running; try again shortly").arg(options_.maxScans));
        return;
    }
    if (outcome == ProbeCache::Outcome::Started) startProbe(*probe, configPath);
}

void ServeMode::startProbe(const ProbeRequest& probe, const QString& configPath)
{
    const QString key = probe.key();
    auto* scan = new Scan(registry_, options_.check, configPath, this);
    if (!scan->problem().isEmpty()) {
        note(scan->problem());
        cache_.finish(key,
                      {500, QStringLiteral("the list configuration cannot be used; see the service's log").toUtf8()},
                      clock_.elapsed());
        scan->deleteLater();
        return;
    }
    std::vector<CheckTarget> targets;
    for (const QString& entry : probe.entries) targets.push_back(CheckTarget::FromText(entry));
    connect(
        &scan->run(), &CheckRun::finished, this,
        [this, scan, key] {
            ScanDigest digest(true);
            ScanRecorder::ObserveEach(scan->session().Addresslist(),
                                      [&](const ScanObservation& seen) { digest.add(seen); });
            cache_.finish(key, {200, digest.probeMetrics(vouched(scan->run().targets()), scan->seconds())},
                          clock_.elapsed());
            scan->deleteLater();
        },
        Qt::QueuedConnection);
    scan->start(std::move(targets));
}

void ServeMode::runWatch(WatchState& state)
{
    state.view.nextScan = QDateTime::currentDateTimeUtc().addSecs(state.watch.everySeconds);
    // Still running when the next one is due: that one is skipped, as the
    // timer units' runs are.
    if (state.scan) return;
    TargetCollector collector;
    ListFileReader::Kind kind = ListFileReader::Kind::Text;
    QString why;
    const ListFileReader::Status status = ListFileReader::Read(
        state.watch.file, [&](const QString& text, bool cut) { return collector.addEntry(text, cut); }, &kind, &why);
    if (status == ListFileReader::Status::Failed || collector.empty()) {
        if (status != ListFileReader::Status::Failed) why = ListFileReader::WhyEmpty(state.watch.file, kind);
        state.view.problem =
            QStringLiteral("cannot load Address List from %1: %2").arg(Printable(state.watch.file), why);
        state.up = false;
        note(QStringLiteral("watch %1: %2").arg(state.label, state.view.problem));
        return;
    }
    if (status == ListFileReader::Status::Stopped)
        note(QStringLiteral("watch %1: more than %2 targets; only the first are checked")
                 .arg(state.label)
                 .arg(TargetLimits::kMaxTargets));
    std::vector<CheckTarget> targets = collector.take();
    state.targets.clear();
    for (const CheckTarget& target : targets) state.targets.insert(target.target.toCaseFolded());
    state.scan = new Scan(registry_, options_.check, options_.check.configPath, this);
    if (!state.scan->problem().isEmpty()) {
        state.view.problem = state.scan->problem();
        state.up = false;
        note(QStringLiteral("watch %1: %2").arg(state.label, state.view.problem));
        state.scan->deleteLater();
        state.scan = nullptr;
        return;
    }
    WatchState* raw = &state;
    connect(
        &state.scan->run(), &CheckRun::finished, this, [this, raw] { finishWatch(*raw); }, Qt::QueuedConnection);
    state.scan->start(std::move(targets));
}

void ServeMode::finishWatch(WatchState& state)
{
    Scan* scan = state.scan;
    state.scan = nullptr;
    CheckOptions options = options_.check;
    options.listFiles = {state.watch.file};
    options.watch = true;
    Addresslist& list = scan->session().Addresslist();
    const int status =
        HistoryRun::FinishWatch(list, scan->session().Settings(), options, scan->run().targets(), &state.metrics);
    ScanDigest digest(false);
    ScanRecorder::ObserveEach(list, [&](const ScanObservation& seen) { digest.add(seen); });
    state.up = true;
    state.view.problem.clear();
    state.view.status = WatchReport::StatusWord(static_cast<WatchReport::Status>(status));
    state.view.lastScan = list.Summary().started.isValid() ? list.Summary().started : QDateTime::currentDateTimeUtc();
    state.view.targets = static_cast<int>(scan->run().targets().size());
    state.view.listed = digest.listedTargets();
    state.view.failingLists = digest.failingLists();
    note(QStringLiteral("watch %1: %2, %3 targets, %4 listed, %5 failing lists")
             .arg(state.label, state.view.status)
             .arg(state.view.targets)
             .arg(state.view.listed.size())
             .arg(state.view.failingLists.size()));
    scan->deleteLater();
}

QByteArray ServeMode::serviceMetrics() const
{
    QString text;
    QTextStream out(&text);
    auto header = [&](const char* name, const char* type, const char* help) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
    };
    header("quarlo_watch_interval_seconds", "gauge", "How often the service runs the watch.");
    for (const auto& state : watches_)
        out << "quarlo_watch_interval_seconds{watch=\"" << PrometheusWriter::LabelValue(state->name) << "\"} "
            << state->watch.everySeconds << '\n';
    header("quarlo_watch_up", "gauge",
           "1 when the watch's last run scanned its list, 0 when it could not (unreadable list or configuration).");
    for (const auto& state : watches_)
        out << "quarlo_watch_up{watch=\"" << PrometheusWriter::LabelValue(state->name) << "\"} " << (state->up ? 1 : 0)
            << '\n';
    header("quarlo_serve_probe_scans_total", "counter",
           "Scans started for probes (cached and shared probes start none).");
    out << "quarlo_serve_probe_scans_total " << cache_.scansStarted() << '\n';
    header("quarlo_serve_probe_scans_running", "gauge", "Probe scans running now.");
    out << "quarlo_serve_probe_scans_running " << cache_.running() << '\n';
    header("quarlo_serve_responses_total", "counter", "HTTP responses by status code.");
    for (auto it = responses_.cbegin(); it != responses_.cend(); ++it)
        out << "quarlo_serve_responses_total{code=\"" << it.key() << "\"} " << it.value() << '\n';

    header("process_start_time_seconds", "gauge", "Start time of the process since the epoch in seconds.");
    out << "process_start_time_seconds " << started_.toSecsSinceEpoch() << '\n';
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) == 0) {
        const double cpu =
            usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        header("process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.");
        out << "process_cpu_seconds_total " << QString::number(cpu, 'f', 3) << '\n';
    }
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        if (fields.size() > 1) {
            header("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
            out << "process_resident_memory_bytes " << fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) << '\n';
        }
    }
    const qsizetype fds =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
    if (fds > 0) {
        header("process_open_fds", "gauge", "Number of open file descriptors.");
        out << "process_open_fds " << fds << '\n';
    }
    out.flush();
    return text.toUtf8();
}

QByteArray ServeMode::metrics() const
{
    QList<QByteArray> texts;
    for (const auto& state : watches_)
        if (!state->metrics.isEmpty()) texts << state->metrics;
    texts << serviceMetrics();
    return MetricFamilies::Merge(texts);
}

} // namespace quarlo
