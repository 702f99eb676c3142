#include "storage/HistoryStore.h"

#include "common/ConfigLocation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace quarlo {
namespace {

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return rc_ == SQLITE_OK && stmt_; }
    int rc() const { return rc_; }
    Statement& bind(int i, qint64 value) { sqlite3_bind_int64(stmt_, i, value); return *this; }
    Statement& bind(int i, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(stmt_, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW or SQLITE_DONE on success.
    int step() { return rc_ = sqlite3_step(stmt_); }
    void reset() { sqlite3_reset(stmt_); sqlite3_clear_bindings(stmt_); }
    qint64 integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    QString text(int column) const
    {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(stmt_, column)) : QString();
    }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

// Lists are kept as compact JSON arrays; an empty list as an empty string.
QString encodeList(const QStringList& items)
{
    if (items.isEmpty()) return QString();
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(items)).toJson(QJsonDocument::Compact));
}

QStringList decodeList(const QString& text)
{
    if (text.isEmpty()) return {};
    QStringList items;
    for (const QJsonValue& value : QJsonDocument::fromJson(text.toUtf8()).array()) items.append(value.toString());
    return items;
}

// SQLite reports a write cut short by a full file system or a file size
// limit as a plain I/O error, without the system's error number: look at
// both to tell the user the likely cause.
bool writeFailedForSpace(sqlite3* db, const QString& path)
{
    const int code = sqlite3_extended_errcode(db);
    if (code != SQLITE_IOERR_WRITE && code != SQLITE_IOERR_TRUNCATE && code != SQLITE_IOERR_SHMSIZE
        && code != SQLITE_IOERR_FSYNC)
        return false;
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
    struct statvfs disk {};
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::statvfs(folder.constData(), &disk) == 0 && disk.f_bavail * disk.f_frsize < 1024 * 1024;
}

// Whether a write-ahead log beside the file holds changes not yet merged
// into it (a writer is running, or ended without closing the file).
bool hasPendingLog(const QString& path)
{
    const QFileInfo log(path + QStringLiteral("-wal"));
    return log.exists() && log.size() > 0;
}

// (The kernel's own answer: the C library's stand-in for an effective-id
// check tells root yes even on a read-only mount.)
bool folderWritable(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(folder.constData(), W_OK) == 0;
}

// A URI that opens path for reading only. A reader of a WAL file needs the
// "-shm" index beside it and creates it when missing, which fails in a
// folder it may not write; there the file opens as immutable instead, which
// needs no index and is right because nobody can be writing it either. (A
// log left with changes in it would be ignored as immutable: that file is
// opened plainly, and fails if its index cannot be made.)
QByteArray readOnlyUri(const QString& path, bool* immutable)
{
    const QFileInfo info(path);
    *immutable = !folderWritable(path) && !hasPendingLog(path);
    return "file:" + QUrl::toPercentEncoding(QFile::encodeName(info.absoluteFilePath()), "/") + "?mode=ro"
           + (*immutable ? "&immutable=1" : "");
}

qint64 toMs(const QDateTime& time) { return time.isValid() ? time.toMSecsSinceEpoch() : 0; }
QDateTime fromMs(qint64 ms) { return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC) : QDateTime(); }

// Each step brings the schema from version (index) to version (index + 1).
const char* const kMigrations[] = {
    // 0 -> 1
    "CREATE TABLE scans(id INTEGER PRIMARY KEY, started INTEGER NOT NULL, finished INTEGER NOT NULL,"
    " list_file TEXT NOT NULL DEFAULT '', source TEXT NOT NULL DEFAULT '', targets INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX scans_by_start ON scans(started);"
    "CREATE TABLE targets(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE);"
    "CREATE TABLE zones(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    " list_name TEXT NOT NULL DEFAULT '', link TEXT NOT NULL DEFAULT '');"
    // One row per change of a target's outcome on a list.
    "CREATE TABLE outcomes(id INTEGER PRIMARY KEY, scan_id INTEGER NOT NULL, target_id INTEGER NOT NULL,"
    " zone_id INTEGER NOT NULL, kind INTEGER NOT NULL, codes TEXT NOT NULL DEFAULT '',"
    " reasons TEXT NOT NULL DEFAULT '', txt TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX outcomes_by_target ON outcomes(target_id, scan_id);"
    "CREATE INDEX outcomes_by_scan ON outcomes(scan_id);"
    // The latest outcome per target and list, and its latest real answer
    // (listed or not) across failures, with the scan that answer began at.
    "CREATE TABLE current(target_id INTEGER NOT NULL, zone_id INTEGER NOT NULL, outcome_id INTEGER NOT NULL,"
    " answer INTEGER NOT NULL DEFAULT 0, answer_since_scan INTEGER NOT NULL DEFAULT 0,"
    " delisted_scan INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(target_id, zone_id)) WITHOUT ROWID;",
    // 1 -> 2
    // What each watch last saw per target and list: its changes are its own,
    // so a scan between two of its runs cannot swallow them.
    "CREATE TABLE watch_state(watch TEXT NOT NULL, target_id INTEGER NOT NULL, zone_id INTEGER NOT NULL,"
    " kind INTEGER NOT NULL, answer INTEGER NOT NULL DEFAULT 0, since_scan INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY(watch, target_id, zone_id)) WITHOUT ROWID;",
};
static_assert(std::size(kMigrations) == HistoryStore::kSchemaVersion);

} // namespace

HistoryStore::HistoryStore() = default;



QString HistoryStore::DefaultPath()
{
    const QString fromEnv = qEnvironmentVariable("QUARLO_HISTORY");
    if (!fromEnv.isEmpty()) return fromEnv;
    return ConfigLocation::UserDataDirectory() + QStringLiteral("/quarlo/history.sqlite");
}

void HistoryStore::Close()
{
    CancelScan();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool HistoryStore::fail(const QString& what)
{
    const int code = db_ ? sqlite3_errcode(db_) : SQLITE_CANTOPEN;
    const int primary = code & 0xff;
    const int systemError = db_ ? sqlite3_system_errno(db_) : 0;
    const QString name = QStringLiteral("the history database %1").arg(path_);
    const QString detail = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        problem_ = Problem::Locked;
        lastError_ = QStringLiteral("%1 is locked by another program (waited %2 s)").arg(name).arg(busyTimeoutMs_ / 1000.0);
    } else if (primary == SQLITE_FULL || systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT
               || (primary == SQLITE_IOERR && writeFailedForSpace(db_, path_))) {
        problem_ = Problem::DiskFull;
        lastError_ = QStringLiteral("cannot %1 %2: the disk is full (or the file size limit is reached)").arg(what, name);
    } else if (primary == SQLITE_READONLY || systemError == EACCES || systemError == EROFS || systemError == EPERM) {
        problem_ = Problem::ReadOnly;
        lastError_ = QStringLiteral("cannot %1 %2: it is read-only (%3)")
                         .arg(what, name,
                              systemError ? QString::fromLocal8Bit(std::strerror(systemError)) : detail);
    } else if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        problem_ = Problem::Damaged;
        lastError_ = QStringLiteral("%1 is damaged (truncated or not a history database: %2); it was left as it is, "
                                    "move it aside to start a new history")
                         .arg(name, detail);
    } else {
        problem_ = Problem::Other;
        lastError_ = QStringLiteral("cannot %1 %2: %3").arg(what, name, detail);
    }
    return false;
}

bool HistoryStore::exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// Switching a file to WAL needs it to itself for a moment, and SQLite gives
// up at once instead of asking the busy handler: a second program opening
// the file at the same time retries until the busy timeout.
bool HistoryStore::useWal()
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const int result = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (result != SQLITE_BUSY || waited.elapsed() >= busyTimeoutMs_) return result == SQLITE_OK;
        sqlite3_sleep(10);
    }
}

bool HistoryStore::schemaVersion(int* version)
{
    Statement query(db_, "PRAGMA user_version");
    if (!query.ok() || query.step() != SQLITE_ROW) return false;
    *version = static_cast<int>(query.integer(0));
    return true;
}

bool HistoryStore::Open(const QString& path, bool readOnly)
{
    Close();
    path_ = path;
    lastError_.clear();
    problem_ = Problem::None;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        problem_ = Problem::Other;
        lastError_ = QStringLiteral("cannot open the history database %1: it is not a regular file").arg(path);
        return false;
    }
    if (readOnly && !info.exists()) {
        problem_ = Problem::Other;
        lastError_ = QStringLiteral("no history database at %1").arg(path);
        return false;
    }
    if (!readOnly && !QDir().mkpath(info.absolutePath())) {
        problem_ = Problem::ReadOnly;
        lastError_ = QStringLiteral("cannot create the folder of the history database %1").arg(path);
        return false;
    }
    int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
    bool immutable = false;
    QByteArray name = QFile::encodeName(path);
    if (readOnly) {
        name = readOnlyUri(path, &immutable);
        flags |= SQLITE_OPEN_URI;
    }
    if (sqlite3_open_v2(name.constData(), &db_, flags, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("open"));
        Close();
        return false;
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyTimeoutMs_);

    // Look before touching anything: a newer or damaged file stays as it is.
    int version = 0;
    if (!schemaVersion(&version)) {
        fail(QStringLiteral("read"));
        if (readOnly && !immutable && !folderWritable(path) && problem_ != Problem::Locked)
            lastError_ += QStringLiteral(" (its folder cannot be written and %1-wal holds changes not yet merged: "
                                         "open it once where it can be written)")
                              .arg(path);
        Close();
        return false;
    }
    if (version > kSchemaVersion) {
        problem_ = Problem::NewerSchema;
        lastError_ = QStringLiteral("the history database %1 was written by a newer version of Quarlo (schema %2; this "
                                    "version knows up to %3); it was left as it is")
                         .arg(path)
                         .arg(version)
                         .arg(kSchemaVersion);
        Close();
        return false;
    }
    {
        Statement check(db_, "PRAGMA quick_check(1)");
        if (!check.ok() || check.step() != SQLITE_ROW) {
            fail(QStringLiteral("read"));
            Close();
            return false;
        }
        if (check.text(0) != QLatin1String("ok")) {
            problem_ = Problem::Damaged;
            lastError_ = QStringLiteral("the history database %1 is damaged (%2); it was left as it is, move it aside to "
                                        "start a new history")
                             .arg(path, check.text(0).left(120));
            Close();
            return false;
        }
    }
    if (readOnly) {
        if (version < kSchemaVersion) {
            // Nothing recorded yet in a file this version can read.
            problem_ = Problem::Other;
            lastError_ = QStringLiteral("the history database %1 holds no history yet").arg(path);
            Close();
            return false;
        }
        return true;
    }
    // An empty new file takes incremental vacuum, so pruning can give space back.
    if (version == 0) exec("PRAGMA auto_vacuum=INCREMENTAL");
    if (!useWal() || !exec("PRAGMA synchronous=NORMAL")) {
        fail(QStringLiteral("open"));
        Close();
        return false;
    }
    if (!migrate()) {
        Close();
        return false;
    }
    return true;
}

bool HistoryStore::migrate()
{
    int version = 0;
    if (!schemaVersion(&version)) return fail(QStringLiteral("read"));
    if (version == kSchemaVersion) return true;
    // Another process may be migrating the same file: decide inside the lock.
    if (!exec("BEGIN IMMEDIATE")) return fail(QStringLiteral("update"));
    if (!schemaVersion(&version)) {
        fail(QStringLiteral("read"));
        exec("ROLLBACK");
        return false;
    }
    for (; version < kSchemaVersion; ++version) {
        if (!exec(kMigrations[version])) {
            fail(QStringLiteral("update"));
            exec("ROLLBACK");
            return false;
        }
    }
    if (!exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion).toUtf8().constData()) || !exec("COMMIT")) {
        fail(QStringLiteral("update"));
        exec("ROLLBACK");
        return false;
    }
    return true;
}

// One scan being recorded: its transaction's statements, the ids met so far
// and the list-level changes gathered while observations come in.
struct HistoryStore::Writer {
    explicit Writer(sqlite3* db)
        : addTarget(db, "INSERT OR IGNORE INTO targets(name) VALUES(?)"),
          findTarget(db, "SELECT id FROM targets WHERE name=?"),
          addZone(db,
                  "INSERT INTO zones(name, list_name, link) VALUES(?1,?2,?3) ON CONFLICT(name) DO UPDATE SET "
                  "list_name=?2, link=?3 WHERE list_name<>?2 OR link<>?3"),
          findZone(db, "SELECT id FROM zones WHERE name=?"),
          findCurrent(db,
                      "SELECT c.outcome_id, c.answer, c.answer_since_scan, c.delisted_scan, o.kind, o.codes, o.reasons,"
                      " o.scan_id FROM current c JOIN outcomes o ON o.id=c.outcome_id"
                      " WHERE c.target_id=? AND c.zone_id=?"),
          addOutcome(db,
                     "INSERT INTO outcomes(scan_id, target_id, zone_id, kind, codes, reasons, txt, detail)"
                     " VALUES(?,?,?,?,?,?,?,?)"),
          setCurrent(db,
                     "INSERT OR REPLACE INTO current(target_id, zone_id, outcome_id, answer, answer_since_scan,"
                     " delisted_scan) VALUES(?,?,?,?,?,?)"),
          scanTime(db, "SELECT started FROM scans WHERE id=?"),
          findWatch(db, "SELECT kind, answer, since_scan FROM watch_state WHERE watch=? AND target_id=? AND zone_id=?"),
          setWatch(db,
                   "INSERT OR REPLACE INTO watch_state(watch, target_id, zone_id, kind, answer, since_scan)"
                   " VALUES(?,?,?,?,?,?)")
    {
    }

    bool ok() const
    {
        for (const Statement* s : {&addTarget, &findTarget, &addZone, &findZone, &findCurrent, &addOutcome, &setCurrent,
                                   &scanTime, &findWatch, &setWatch})
            if (!s->ok()) return false;
        return true;
    }

    // The row id for name, added when new; -1 on failure.
    static qint64 idOf(Statement& add, Statement& find, const QString& name, QHash<QString, qint64>& cache,
                       const std::function<void(Statement&)>& bindMore)
    {
        const QString key = name.toCaseFolded();
        if (auto it = cache.constFind(key); it != cache.cend()) return *it;
        add.bind(1, name);
        if (bindMore) bindMore(add);
        const int rc = add.step();
        add.reset();
        if (rc != SQLITE_DONE) return -1;
        find.bind(1, name);
        const qint64 id = find.step() == SQLITE_ROW ? find.integer(0) : -1;
        find.reset();
        if (id > 0) cache.insert(key, id);
        return id;
    }

    QDateTime timeOf(qint64 id)
    {
        scanTime.bind(1, id);
        const QDateTime time = scanTime.step() == SQLITE_ROW ? fromMs(scanTime.integer(0)) : QDateTime();
        scanTime.reset();
        return time;
    }

    Statement addTarget, findTarget, addZone, findZone, findCurrent, addOutcome, setCurrent, scanTime, findWatch, setWatch;
    qint64 scanId = 0;
    QString watch;          // a watch's run: changes against its own last outcomes
    bool watchIsNew = false; // no outcome of it recorded yet: it starts from the latest ones
    QHash<QString, qint64> targetIds, zoneIds;
    struct ListChange {
        HistoryChange change;
        int order = 0;
    };
    std::vector<HistoryChange> changes;      // per target, in the order met
    bool collect = true;                     // whether changes are kept for FinishScan
    QMap<QString, ListChange> failing, recovered; // per case-folded zone
    int listOrder = 0;
};

bool HistoryStore::Record(const ScanRecord& scan, std::vector<HistoryChange>* changes)
{
    if (!BeginScan(scan)) {
        if (changes) changes->clear();
        return false;
    }
    for (const ScanObservation& seen : scan.observations)
        if (!Add(seen)) {
            if (changes) changes->clear();
            return false;
        }
    return FinishScan(changes);
}

bool HistoryStore::BeginScan(const ScanRecord& scan, bool collectChanges)
{
    CancelScan();
    if (!db_) {
        if (lastError_.isEmpty()) lastError_ = QStringLiteral("the history database is not open");
        return false;
    }
    if (!exec("BEGIN IMMEDIATE")) return fail(QStringLiteral("write"));
    previousScan_ = QDateTime();
    {
        Statement last(db_, "SELECT max(started) FROM scans");
        if (!last.ok() || last.step() != SQLITE_ROW) return abandon();
        previousScan_ = fromMs(last.integer(0));
    }
    auto writer = std::make_unique<Writer>(db_);
    if (!writer->ok()) return abandon();
    {
        Statement insert(db_, "INSERT INTO scans(started, finished, list_file, source, targets) VALUES(?,?,?,?,?)");
        const QDateTime started = scan.started.isValid() ? scan.started : QDateTime::currentDateTimeUtc();
        insert.bind(1, toMs(started))
            .bind(2, toMs(scan.finished.isValid() ? scan.finished : started))
            .bind(3, scan.listFile)
            .bind(4, scan.source)
            .bind(5, scan.targets);
        if (!insert.ok() || insert.step() != SQLITE_DONE) return abandon();
        writer->scanId = sqlite3_last_insert_rowid(db_);
    }
    writer->collect = collectChanges;
    writer_ = std::move(writer);
    return true;
}

bool HistoryStore::BeginWatchScan(const ScanRecord& scan, const QString& watch)
{
    if (!BeginScan(scan, true)) return false;
    writer_->watch = watch;
    Statement seen(db_, "SELECT 1 FROM watch_state WHERE watch=? LIMIT 1");
    seen.bind(1, watch);
    const int rc = seen.ok() ? seen.step() : SQLITE_ERROR;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return abandon();
    writer_->watchIsNew = rc == SQLITE_DONE;
    return true;
}

bool HistoryStore::abandon()
{
    fail(QStringLiteral("write"));
    writer_.reset();
    exec("ROLLBACK");
    return false;
}

void HistoryStore::CancelScan()
{
    if (!writer_) return;
    writer_.reset();
    exec("ROLLBACK");
}

bool HistoryStore::Add(const ScanObservation& seen)
{
    if (!writer_) {
        lastError_ = QStringLiteral("no scan is being recorded");
        problem_ = Problem::Other;
        return false;
    }
    if (seen.target.isEmpty() || seen.zone.isEmpty()) return true;
    Writer& w = *writer_;
    const qint64 scanId = w.scanId;
    const qint64 targetId = Writer::idOf(w.addTarget, w.findTarget, seen.target, w.targetIds, nullptr);
    const qint64 zoneId = Writer::idOf(w.addZone, w.findZone, seen.zone, w.zoneIds, [&](Statement& s) {
        s.bind(2, seen.listName).bind(3, seen.link);
    });
    if (targetId < 0 || zoneId < 0) return abandon();

    w.findCurrent.bind(1, targetId).bind(2, zoneId);
    const int found = w.findCurrent.step();
    if (found != SQLITE_ROW && found != SQLITE_DONE) {
        w.findCurrent.reset();
        return abandon();
    }
    const bool known = found == SQLITE_ROW;
    const int oldAnswer = known ? static_cast<int>(w.findCurrent.integer(1)) : 0;
    const qint64 answerSince = known ? w.findCurrent.integer(2) : 0;
    qint64 delisted = known ? w.findCurrent.integer(3) : 0;
    const int oldKind = known ? static_cast<int>(w.findCurrent.integer(4)) : 0;
    const QString oldCodes = known ? w.findCurrent.text(5) : QString();
    const QString oldReasons = known ? w.findCurrent.text(6) : QString();
    const qint64 oldScan = known ? w.findCurrent.integer(7) : 0;
    w.findCurrent.reset();

    const int kind = static_cast<int>(seen.outcome);
    const QString codes = encodeList(seen.codes);
    const QString reasons = encodeList(seen.reasons);
    using Outcome = ScanObservation::Outcome;
    // A new TXT text or failure detail alone is no change: lists put
    // times and counters in them.
    const bool unchanged = known && kind == oldKind && codes == oldCodes && reasons == oldReasons;
    if (!unchanged) {
        w.addOutcome.bind(1, scanId)
            .bind(2, targetId)
            .bind(3, zoneId)
            .bind(4, kind)
            .bind(5, codes)
            .bind(6, reasons)
            .bind(7, encodeList(seen.txt))
            .bind(8, seen.detail);
        const int added = w.addOutcome.step();
        w.addOutcome.reset();
        if (added != SQLITE_DONE) return abandon();
        const qint64 outcomeId = sqlite3_last_insert_rowid(db_);

        int answer = oldAnswer;
        // Only a list's answer moves the standing: a failure leaves it as it was.
        if (ScanObservation::IsAnswer(seen.outcome) && kind != oldAnswer) {
            if (seen.outcome == Outcome::NotListed && oldAnswer == int(Outcome::Listed)) delisted = scanId;
            answer = kind;
        }
        const qint64 newAnswerSince = answer != oldAnswer ? scanId : answerSince;
        w.setCurrent.bind(1, targetId).bind(2, zoneId).bind(3, outcomeId).bind(4, answer).bind(5, newAnswerSince).bind(6, delisted);
        const int set = w.setCurrent.step();
        w.setCurrent.reset();
        if (set != SQLITE_DONE) return abandon();
    }

    // What the changes are measured against: the latest outcome, or for a
    // watch what that watch saw last.
    bool baseKnown = known;
    int baseKind = oldKind, baseAnswer = oldAnswer;
    qint64 baseSince = answerSince;
    if (!w.watch.isEmpty()) {
        w.findWatch.bind(1, w.watch).bind(2, targetId).bind(3, zoneId);
        const int got = w.findWatch.step();
        if (got != SQLITE_ROW && got != SQLITE_DONE) {
            w.findWatch.reset();
            return abandon();
        }
        if (got == SQLITE_ROW) {
            baseKnown = true;
            baseKind = static_cast<int>(w.findWatch.integer(0));
            baseAnswer = static_cast<int>(w.findWatch.integer(1));
            baseSince = w.findWatch.integer(2);
        } else if (!w.watchIsNew) {
            baseKnown = false;
            baseKind = baseAnswer = 0;
            baseSince = 0;
        }
        w.findWatch.reset();
        const int watchAnswer = ScanObservation::IsAnswer(seen.outcome) ? kind : baseAnswer;
        const qint64 watchSince = watchAnswer != baseAnswer || !baseKnown ? scanId : baseSince;
        w.setWatch.bind(1, w.watch).bind(2, targetId).bind(3, zoneId).bind(4, kind).bind(5, watchAnswer).bind(6, watchSince);
        const int set = w.setWatch.step();
        w.setWatch.reset();
        if (set != SQLITE_DONE) return abandon();
    } else if (unchanged) {
        return true;
    }

    HistoryChange change;
    change.target = seen.target;
    change.zone = seen.zone;
    change.listName = seen.listName;
    change.link = seen.link;
    if (seen.outcome == Outcome::Listed && baseAnswer != int(Outcome::Listed)) {
        change.kind = HistoryChange::Kind::Listed;
        change.codes = seen.codes;
        change.reasons = seen.reasons;
        change.txt = seen.txt;
        if (w.collect) w.changes.push_back(change);
    } else if (seen.outcome == Outcome::NotListed && baseAnswer == int(Outcome::Listed)) {
        // Delisted only from a list's own "not listed": a failure is no answer.
        change.kind = HistoryChange::Kind::Delisted;
        change.since = w.timeOf(baseSince);
        if (w.collect) w.changes.push_back(change);
    }
    // Failures and recoveries concern the list: one change per list.
    if (!w.collect) return true;
    const bool wasFailing = baseKnown && ScanObservation::IsFailing(static_cast<Outcome>(baseKind));
    const bool failingNow = ScanObservation::IsFailing(seen.outcome);
    if (failingNow == wasFailing || (!failingNow && !ScanObservation::IsAnswer(seen.outcome))) return true;
    auto& lists = failingNow ? w.failing : w.recovered;
    const QString zoneKey = seen.zone.toCaseFolded();
    auto it = lists.find(zoneKey);
    if (it == lists.end()) {
        change.kind = failingNow ? HistoryChange::Kind::Failing : HistoryChange::Kind::Recovered;
        change.target.clear();
        change.targets = 0;
        if (failingNow) change.detail = seen.detail;
        else change.since = w.timeOf(oldScan);
        it = lists.insert(zoneKey, Writer::ListChange{change, w.listOrder++});
    }
    ++it->change.targets;
    if (failingNow && baseAnswer == int(Outcome::Listed) && it->change.stillListed.size() < 100)
        it->change.stillListed.append(seen.target);
    return true;
}

bool HistoryStore::FinishScan(std::vector<HistoryChange>* changes)
{
    if (changes) changes->clear();
    if (!writer_) {
        lastError_ = QStringLiteral("no scan is being recorded");
        problem_ = Problem::Other;
        return false;
    }
    if (!exec("COMMIT")) return abandon();
    if (changes) {
        *changes = std::move(writer_->changes);
        // Lists in the order they were met.
        std::vector<Writer::ListChange> lists;
        for (const Writer::ListChange& c : writer_->failing) lists.push_back(c);
        for (const Writer::ListChange& c : writer_->recovered) lists.push_back(c);
        std::sort(lists.begin(), lists.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
        for (const Writer::ListChange& c : lists) changes->push_back(c.change);
    }
    writer_.reset();
    return true;
}

bool HistoryStore::Timeline(const QString& target, std::vector<HistoryEvent>* events)
{
    events->clear();
    if (!db_) return false;
    Statement query(db_,
                    "SELECT s.started, t.name, z.name, z.list_name, z.link, o.kind, o.codes, o.reasons, o.txt, o.detail"
                    " FROM outcomes o JOIN scans s ON s.id=o.scan_id JOIN zones z ON z.id=o.zone_id"
                    " JOIN targets t ON t.id=o.target_id WHERE t.name=? ORDER BY s.started, o.id");
    if (!query.ok()) return fail(QStringLiteral("read"));
    query.bind(1, target);
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        HistoryEvent event;
        event.when = fromMs(query.integer(0));
        ScanObservation& seen = event.observation;
        seen.target = query.text(1);
        seen.zone = query.text(2);
        seen.listName = query.text(3);
        seen.link = query.text(4);
        if (!ScanObservation::FromNumber(static_cast<int>(query.integer(5)), &seen.outcome)) continue;
        seen.codes = decodeList(query.text(6));
        seen.reasons = decodeList(query.text(7));
        seen.txt = decodeList(query.text(8));
        seen.detail = query.text(9);
        events->push_back(std::move(event));
    }
    if (rc != SQLITE_DONE) return fail(QStringLiteral("read"));
    return true;
}

bool HistoryStore::Standing(const QString& target, std::vector<ZoneStanding>* standing)
{
    standing->clear();
    if (!db_) return false;
    Statement query(db_,
                    "SELECT t.name, z.name, z.list_name, z.link, o.kind, o.codes, o.reasons, o.txt, o.detail,"
                    " (SELECT started FROM scans WHERE id=o.scan_id), c.answer,"
                    " (SELECT started FROM scans WHERE id=c.answer_since_scan),"
                    " (SELECT started FROM scans WHERE id=c.delisted_scan)"
                    " FROM current c JOIN outcomes o ON o.id=c.outcome_id JOIN zones z ON z.id=c.zone_id"
                    " JOIN targets t ON t.id=c.target_id WHERE t.name=? ORDER BY z.id");
    if (!query.ok()) return fail(QStringLiteral("read"));
    query.bind(1, target);
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        ZoneStanding entry;
        ScanObservation& seen = entry.latest;
        seen.target = query.text(0);
        seen.zone = query.text(1);
        seen.listName = query.text(2);
        seen.link = query.text(3);
        if (!ScanObservation::FromNumber(static_cast<int>(query.integer(4)), &seen.outcome)) continue;
        seen.codes = decodeList(query.text(5));
        seen.reasons = decodeList(query.text(6));
        seen.txt = decodeList(query.text(7));
        seen.detail = query.text(8);
        entry.latestSince = fromMs(query.integer(9));
        if (ScanObservation::FromNumber(static_cast<int>(query.integer(10)), &entry.answer))
            entry.answerSince = fromMs(query.integer(11));
        entry.delistedOn = fromMs(query.integer(12));
        standing->push_back(std::move(entry));
    }
    if (rc != SQLITE_DONE) return fail(QStringLiteral("read"));
    return true;
}

bool HistoryStore::Targets(QStringList* targets)
{
    targets->clear();
    if (!db_) return false;
    Statement query(db_, "SELECT name FROM targets ORDER BY id");
    if (!query.ok()) return fail(QStringLiteral("read"));
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) targets->append(query.text(0));
    return rc == SQLITE_DONE || fail(QStringLiteral("read"));
}

bool HistoryStore::ScanCount(qint64* count)
{
    if (!db_) return false;
    Statement query(db_, "SELECT count(*) FROM scans");
    if (!query.ok() || query.step() != SQLITE_ROW) return fail(QStringLiteral("read"));
    *count = query.integer(0);
    return true;
}

bool HistoryStore::Prune(int days, const QDateTime& now, qint64* removed)
{
    if (removed) *removed = 0;
    if (!db_) return false;
    if (days < 0) {
        lastError_ = QStringLiteral("a history is kept for zero days or more");
        problem_ = Problem::Other;
        return false;
    }
    const qint64 cutoff = toMs(now.addDays(-days));
    if (!exec("BEGIN IMMEDIATE")) return fail(QStringLiteral("prune"));
    qint64 count = 0;
    {
        Statement outcomes(db_,
                           "DELETE FROM outcomes WHERE scan_id IN (SELECT id FROM scans WHERE started < ?1)"
                           " AND id NOT IN (SELECT outcome_id FROM current)");
        Statement scans(db_,
                        "DELETE FROM scans WHERE started < ?1 AND id NOT IN (SELECT scan_id FROM outcomes)"
                        " AND id NOT IN (SELECT answer_since_scan FROM current)"
                        " AND id NOT IN (SELECT delisted_scan FROM current)"
                        " AND id <> (SELECT max(id) FROM scans)");
        for (Statement* s : {&outcomes, &scans}) {
            if (!s->ok()) {
                fail(QStringLiteral("prune"));
                exec("ROLLBACK");
                return false;
            }
            s->bind(1, cutoff);
            if (s->step() != SQLITE_DONE) {
                fail(QStringLiteral("prune"));
                exec("ROLLBACK");
                return false;
            }
            count += sqlite3_changes(db_);
        }
    }
    if (!exec("COMMIT")) {
        fail(QStringLiteral("prune"));
        exec("ROLLBACK");
        return false;
    }
    // Gives the freed pages back to the file system; harmless when it cannot.
    exec("PRAGMA incremental_vacuum");
    if (removed) *removed = count;
    return true;
}

// Here, where the writer's type is complete.
HistoryStore::~HistoryStore() { Close(); }

} // namespace quarlo
