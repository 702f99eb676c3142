#include "storage/HistoryStore.h"

#include "common/ConfigLocation.h"
#include "common/LogCategories.h"

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
#include <QtEndian>
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
    Statement& bind(int i, qint64 value)
    {
        sqlite3_bind_int64(stmt_, i, value);
        return *this;
    }
    Statement& bind(int i, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(stmt_, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW or SQLITE_DONE on success.
    int step() { return rc_ = sqlite3_step(stmt_); }
    void reset()
    {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
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
    // Plain texts (answer codes, most reasons) are written directly: the same
    // text the JSON writer makes, without building a document per outcome.
    const auto plain = [](const QString& item) {
        for (const QChar c : item)
            if (c.unicode() < 0x20 || c.unicode() >= 0x7f || c == u'"' || c == u'\\') return false;
        return true;
    };
    if (std::all_of(items.cbegin(), items.cend(), plain))
        return QStringLiteral("[\"") + items.join(QStringLiteral("\",\"")) + QStringLiteral("\"]");
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(items)).toJson(QJsonDocument::Compact));
}

QStringList decodeList(const QString& text)
{
    if (text.isEmpty()) return {};
    QStringList items;
    for (const QJsonValue value : QJsonDocument::fromJson(text.toUtf8()).array()) items.append(value.toString());
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
    rlimit limit{};
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

// Whether the file is as long as its header says, when the header can say:
// a file cut short (a copy or a disk that filled up) fails this cheaply. A
// whole-file check reads every page, which grows with the history and would
// cost every scan; it is left for files this cannot judge (a log with
// changes beside it, an old header) and for readers.
bool looksWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 size = file.size();
    if (size == 0) return true; // new
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3")) || hasPendingLog(path))
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
    const auto be32 = [bytes](int at) { return qFromBigEndian<quint32>(bytes + at); };
    const quint32 pageSize = qFromBigEndian<quint16>(bytes + 16) == 1 ? 65536u : qFromBigEndian<quint16>(bytes + 16);
    const quint32 pages = be32(28);
    // The page count is valid only when written by the same change as the counter.
    if (pages == 0 || pageSize < 512 || be32(24) != be32(92)) return false;
    return size >= qint64(pageSize) * pages;
}

qint64 toMs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}
QDateTime fromMs(qint64 ms)
{
    return ms > 0 ? QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC) : QDateTime();
}

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
    // The latest outcome per target and list (outcome_id 0: a first "not
    // listed", kept here alone until it changes), and its latest real answer
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
    // 2 -> 3
    // The latest outcome's own fields beside it: a scan compares a target's
    // outcomes with one range read, without a look-up per list.
    "ALTER TABLE current ADD COLUMN kind INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE current ADD COLUMN codes TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE current ADD COLUMN reasons TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE current ADD COLUMN scan_id INTEGER NOT NULL DEFAULT 0;"
    "UPDATE current SET (kind, codes, reasons, scan_id) ="
    " (SELECT kind, codes, reasons, scan_id FROM outcomes WHERE id=current.outcome_id);",
};
static_assert(std::size(kMigrations) == HistoryStore::kSchemaVersion);

} // namespace

HistoryStore::HistoryStore() = default;

QString HistoryStore::DefaultPath()
{
    QString fromEnv = qEnvironmentVariable("QUARLO_HISTORY");
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
        lastError_ =
            QStringLiteral("%1 is locked by another program (waited %2 s)").arg(name).arg(busyTimeoutMs_ / 1000.0);
    } else if (primary == SQLITE_FULL || systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT
               || (primary == SQLITE_IOERR && writeFailedForSpace(db_, path_))) {
        problem_ = Problem::DiskFull;
        lastError_ =
            QStringLiteral("cannot %1 %2: the disk is full (or the file size limit is reached)").arg(what, name);
    } else if (primary == SQLITE_READONLY || systemError == EACCES || systemError == EROFS || systemError == EPERM) {
        problem_ = Problem::ReadOnly;
        lastError_ = QStringLiteral("cannot %1 %2: it is read-only (%3)")
                         .arg(what, name, systemError ? QString::fromLocal8Bit(std::strerror(systemError)) : detail);
    } else if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        problem_ = Problem::Damaged;
        lastError_ = QStringLiteral("%1 is damaged (truncated or not a history database: %2); it was left as it is, "
                                    "move it aside to start a new history")
                         .arg(name, detail);
    } else {
        problem_ = Problem::Other;
        lastError_ = QStringLiteral("cannot %1 %2: %3").arg(what, name, detail);
    }
    qCDebug(lcHistory) << "sqlite code" << code << "errno" << systemError << lastError_;
    return false;
}

bool HistoryStore::exec(const char* sql)
{
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

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
    if (readOnly || !looksWhole(path)) {
        Statement check(db_, "PRAGMA quick_check(1)");
        if (!check.ok() || check.step() != SQLITE_ROW) {
            fail(QStringLiteral("read"));
            Close();
            return false;
        }
        if (check.text(0) != QLatin1String("ok")) {
            problem_ = Problem::Damaged;
            lastError_ =
                QStringLiteral("the history database %1 is damaged (%2); it was left as it is, move it aside to "
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
    qCDebug(lcHistory) << "opened" << path << (readOnly ? "to read" : "to write") << "schema" << version;
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
//
// Observations come target by target: the latest outcomes of a target (and
// what the watch saw of it) are read in one range read when it is first met
// and compared in memory, and only what changed is written.
struct HistoryStore::Writer {
    explicit Writer(sqlite3* db)
        : addTarget(db, "INSERT OR IGNORE INTO targets(name) VALUES(?)"),
          findTarget(db, "SELECT id FROM targets WHERE name=?"),
          addZone(db,
                  "INSERT INTO zones(name, list_name, link) VALUES(?1,?2,?3) ON CONFLICT(name) DO UPDATE SET "
                  "list_name=?2, link=?3 WHERE list_name<>?2 OR link<>?3"),
          findZone(db, "SELECT id FROM zones WHERE name=?"),
          readCurrent(db,
                      "SELECT zone_id, outcome_id, answer, answer_since_scan, delisted_scan, kind, codes, reasons,"
                      " scan_id FROM current WHERE target_id=?"),
          readOutcomes(db, "SELECT zone_id, kind, codes, reasons FROM current WHERE target_id=?"),
          readStanding(db,
                       "SELECT outcome_id, answer, answer_since_scan, delisted_scan, scan_id FROM current"
                       " WHERE target_id=? AND zone_id=?"),
          addOutcome(db,
                     "INSERT INTO outcomes(scan_id, target_id, zone_id, kind, codes, reasons, txt, detail)"
                     " VALUES(?,?,?,?,?,?,?,?)"),
          setCurrent(db,
                     "INSERT OR REPLACE INTO current(target_id, zone_id, outcome_id, answer, answer_since_scan,"
                     " delisted_scan, kind, codes, reasons, scan_id) VALUES(?,?,?,?,?,?,?,?,?,?)"),
          scanTime(db, "SELECT started FROM scans WHERE id=?"),
          readWatch(db, "SELECT zone_id, kind, answer, since_scan FROM watch_state WHERE watch=? AND target_id=?"),
          setWatch(db,
                   "INSERT OR REPLACE INTO watch_state(watch, target_id, zone_id, kind, answer, since_scan)"
                   " VALUES(?,?,?,?,?,?)")
    {
    }

    bool ok() const
    {
        for (const Statement* s : {&addTarget, &findTarget, &addZone, &findZone, &readCurrent, &readOutcomes,
                                   &readStanding, &addOutcome, &setCurrent, &scanTime, &readWatch, &setWatch})
            if (!s->ok()) return false;
        return true;
    }

    // The row id for name, added when new; -1 on failure.
    static qint64 idOf(Statement& add, Statement& find, const QString& name, QHash<QString, qint64>& cache,
                       const std::function<void(Statement&)>& bindMore)
    {
        // Keys are folded, and folding a folded name changes nothing: a name
        // already in that form, the usual one, is found without a copy.
        if (auto it = cache.constFind(name); it != cache.cend()) return *it;
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
        QDateTime time = scanTime.step() == SQLITE_ROW ? fromMs(scanTime.integer(0)) : QDateTime();
        scanTime.reset();
        return time;
    }

    // The latest outcome of one target on one list.
    struct Latest {
        qint64 zoneId = 0;
        qint64 outcomeId = 0;
        int answer = 0;
        qint64 answerSince = 0;
        qint64 delisted = 0;
        int kind = 0;
        QString codes, reasons; // as stored
        qint64 scanId = 0;
        bool whole = true; // false: only the outcome (zone, kind, codes, reasons) read so far
    };
    // What a watch saw last of one target on one list.
    struct Seen {
        qint64 zoneId = 0;
        int kind = 0;
        int answer = 0;
        qint64 since = 0;
    };

    // Makes targetId the target whose rows are held; false on a read error.
    bool holdTarget(qint64 targetId)
    {
        if (targetId == heldTarget) return true;
        heldTarget = 0;
        latest.clear();
        seen.clear();
        int rc;
        // A plain scan compares outcomes alone, and most are unchanged: the
        // rest of a row is read when it is needed (complete).
        if (watch.isEmpty()) {
            readOutcomes.bind(1, targetId);
            while ((rc = readOutcomes.step()) == SQLITE_ROW) {
                Latest row;
                row.zoneId = readOutcomes.integer(0);
                row.kind = static_cast<int>(readOutcomes.integer(1));
                row.codes = readOutcomes.text(2);
                row.reasons = readOutcomes.text(3);
                row.whole = false;
                latest.push_back(std::move(row));
            }
            readOutcomes.reset();
            if (rc != SQLITE_DONE) return false;
            heldTarget = targetId;
            return true;
        }
        readCurrent.bind(1, targetId);
        while ((rc = readCurrent.step()) == SQLITE_ROW) {
            Latest row;
            row.zoneId = readCurrent.integer(0);
            row.outcomeId = readCurrent.integer(1);
            row.answer = static_cast<int>(readCurrent.integer(2));
            row.answerSince = readCurrent.integer(3);
            row.delisted = readCurrent.integer(4);
            row.kind = static_cast<int>(readCurrent.integer(5));
            row.codes = readCurrent.text(6);
            row.reasons = readCurrent.text(7);
            row.scanId = readCurrent.integer(8);
            latest.push_back(std::move(row));
        }
        readCurrent.reset();
        if (rc != SQLITE_DONE) return false;
        if (!watch.isEmpty()) {
            readWatch.bind(1, watch).bind(2, targetId);
            while ((rc = readWatch.step()) == SQLITE_ROW)
                seen.push_back(Seen{readWatch.integer(0), static_cast<int>(readWatch.integer(1)),
                                    static_cast<int>(readWatch.integer(2)), readWatch.integer(3)});
            readWatch.reset();
            if (rc != SQLITE_DONE) return false;
        }
        heldTarget = targetId;
        return true;
    }
    // Reads the rest of a row of heldTarget; false on a read error.
    bool complete(Latest& row)
    {
        if (row.whole) return true;
        readStanding.bind(1, heldTarget).bind(2, row.zoneId);
        const int rc = readStanding.step();
        if (rc == SQLITE_ROW) {
            row.outcomeId = readStanding.integer(0);
            row.answer = static_cast<int>(readStanding.integer(1));
            row.answerSince = readStanding.integer(2);
            row.delisted = readStanding.integer(3);
            row.scanId = readStanding.integer(4);
            row.whole = true;
        }
        readStanding.reset();
        return row.whole;
    }
    template <typename Row>
    static Row* rowOf(std::vector<Row>& rows, qint64 zoneId)
    {
        for (Row& row : rows)
            if (row.zoneId == zoneId) return &row;
        return nullptr;
    }

    Statement addTarget, findTarget, addZone, findZone, readCurrent, readOutcomes, readStanding, addOutcome, setCurrent,
        scanTime, readWatch, setWatch;
    qint64 scanId = 0;
    QString watch;           // a watch's run: changes against its own last outcomes
    bool watchIsNew = false; // no outcome of it recorded yet: it starts from the latest ones
    QHash<QString, qint64> targetIds, zoneIds;
    QString lastTarget, lastZone; // as given, with their ids: most calls repeat one
    qint64 lastTargetId = 0, lastZoneId = 0;
    qint64 heldTarget = 0;      // whose rows are held; 0 while none are
    std::vector<Latest> latest; // of heldTarget, per list
    std::vector<Seen> seen;     // of heldTarget by the watch, per list
    struct ListChange {
        HistoryChange change;
        int order = 0;
    };
    std::vector<HistoryChange> changes;           // per target, in the order met
    bool collect = true;                          // whether changes are kept for FinishScan
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
    // Most calls repeat the last target, in the very same text.
    const auto same = [](const QString& a, const QString& b) {
        return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
    };
    if (!same(seen.target, w.lastTarget) || w.lastTargetId <= 0) {
        w.lastTargetId = Writer::idOf(w.addTarget, w.findTarget, seen.target, w.targetIds, nullptr);
        w.lastTarget = seen.target;
    }
    if (!same(seen.zone, w.lastZone) || w.lastZoneId <= 0) {
        w.lastZoneId = Writer::idOf(w.addZone, w.findZone, seen.zone, w.zoneIds,
                                    [&](Statement& s) { s.bind(2, seen.listName).bind(3, seen.link); });
        w.lastZone = seen.zone;
    }
    const qint64 targetId = w.lastTargetId;
    const qint64 zoneId = w.lastZoneId;
    if (targetId < 0 || zoneId < 0 || !w.holdTarget(targetId)) return abandon();

    Writer::Latest* latest = Writer::rowOf(w.latest, zoneId);
    const bool known = latest != nullptr;
    const int oldKind = known ? latest->kind : 0;

    const int kind = static_cast<int>(seen.outcome);
    const QString codes = encodeList(seen.codes);
    const QString reasons = encodeList(seen.reasons);
    using Outcome = ScanObservation::Outcome;
    // A new TXT text or failure detail alone is no change: lists put
    // times and counters in them.
    const bool unchanged = known && kind == oldKind && codes == latest->codes && reasons == latest->reasons;
    // Nothing to write and nothing to tell: the usual case on a second scan.
    if (unchanged && w.watch.isEmpty()) return true;
    if (known && !w.complete(*latest)) return abandon();
    const int oldAnswer = known ? latest->answer : 0;
    const qint64 answerSince = known ? latest->answerSince : 0;
    const qint64 oldScan = known ? latest->scanId : 0;
    if (!unchanged) {
        const auto addOutcome = [&](qint64 scan, int kind, const QString& codes, const QString& reasons,
                                    const QString& txt, const QString& detail) {
            w.addOutcome.bind(1, scan)
                .bind(2, targetId)
                .bind(3, zoneId)
                .bind(4, kind)
                .bind(5, codes)
                .bind(6, reasons)
                .bind(7, txt)
                .bind(8, detail);
            const int added = w.addOutcome.step();
            w.addOutcome.reset();
            return added == SQLITE_DONE ? sqlite3_last_insert_rowid(db_) : qint64(-1);
        };
        // A list's first answer for a target is nearly always "not listed":
        // it is kept in the latest outcomes alone, which makes the first scan
        // of a large network cheap, and becomes a row of its own once
        // something follows it.
        if (known && latest->outcomeId == 0
            && addOutcome(latest->scanId, latest->kind, latest->codes, latest->reasons, {}, {}) < 0)
            return abandon();
        const bool implicit = !known && seen.outcome == Outcome::NotListed && seen.codes.isEmpty()
            && seen.reasons.isEmpty() && seen.txt.isEmpty() && seen.detail.isEmpty();
        Writer::Latest next;
        next.zoneId = zoneId;
        next.outcomeId = implicit ? 0 : addOutcome(scanId, kind, codes, reasons, encodeList(seen.txt), seen.detail);
        if (next.outcomeId < 0) return abandon();
        next.answer = oldAnswer;
        next.delisted = known ? latest->delisted : 0;
        // Only a list's answer moves the standing: a failure leaves it as it was.
        if (ScanObservation::IsAnswer(seen.outcome) && kind != oldAnswer) {
            if (seen.outcome == Outcome::NotListed && oldAnswer == int(Outcome::Listed)) next.delisted = scanId;
            next.answer = kind;
        }
        next.answerSince = next.answer != oldAnswer ? scanId : answerSince;
        next.kind = kind;
        next.codes = codes;
        next.reasons = reasons;
        next.scanId = scanId;
        w.setCurrent.bind(1, targetId)
            .bind(2, zoneId)
            .bind(3, next.outcomeId)
            .bind(4, next.answer)
            .bind(5, next.answerSince)
            .bind(6, next.delisted)
            .bind(7, next.kind)
            .bind(8, next.codes)
            .bind(9, next.reasons)
            .bind(10, next.scanId);
        const int set = w.setCurrent.step();
        w.setCurrent.reset();
        if (set != SQLITE_DONE) return abandon();
        if (latest)
            *latest = std::move(next);
        else
            w.latest.push_back(std::move(next));
    }

    // What the changes are measured against: the latest outcome, or for a
    // watch what that watch saw last.
    bool baseKnown = known;
    int baseKind = oldKind, baseAnswer = oldAnswer;
    qint64 baseSince = answerSince;
    if (!w.watch.isEmpty()) {
        Writer::Seen* last = Writer::rowOf(w.seen, zoneId);
        if (last) {
            baseKnown = true;
            baseKind = last->kind;
            baseAnswer = last->answer;
            baseSince = last->since;
        } else if (!w.watchIsNew) {
            baseKnown = false;
            baseKind = baseAnswer = 0;
            baseSince = 0;
        }
        const int watchAnswer = ScanObservation::IsAnswer(seen.outcome) ? kind : baseAnswer;
        const qint64 watchSince = watchAnswer != baseAnswer || !baseKnown ? scanId : baseSince;
        // What the watch saw is written only when it differs.
        if (!last || last->kind != kind || last->answer != watchAnswer || last->since != watchSince) {
            w.setWatch.bind(1, w.watch)
                .bind(2, targetId)
                .bind(3, zoneId)
                .bind(4, kind)
                .bind(5, watchAnswer)
                .bind(6, watchSince);
            const int set = w.setWatch.step();
            w.setWatch.reset();
            if (set != SQLITE_DONE) return abandon();
            const Writer::Seen now{zoneId, kind, watchAnswer, watchSince};
            if (last)
                *last = now;
            else
                w.seen.push_back(now);
        }
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
        if (failingNow)
            change.detail = seen.detail;
        else
            change.since = w.timeOf(oldScan);
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
    qCDebug(lcHistory) << "scan recorded" << writer_->changes.size() << "changes";
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

// An observation as the reading queries select it, first in their rows:
// target, zone, list name, link, kind, codes, reasons, TXT, detail. False for
// a kind this program does not know (written by a newer one).
constexpr int ObservationColumns = 9;
static bool readObservation(Statement& query, ScanObservation* seen)
{
    seen->target = query.text(0);
    seen->zone = query.text(1);
    seen->listName = query.text(2);
    seen->link = query.text(3);
    if (!ScanObservation::FromNumber(static_cast<int>(query.integer(4)), &seen->outcome)) return false;
    seen->codes = decodeList(query.text(5));
    seen->reasons = decodeList(query.text(6));
    seen->txt = decodeList(query.text(7));
    seen->detail = query.text(8);
    return true;
}

bool HistoryStore::Timeline(const QString& target, std::vector<HistoryEvent>* events)
{
    events->clear();
    if (!db_) return false;
    Statement query(
        db_,
        "SELECT t.name, z.name, z.list_name, z.link, e.kind, e.codes, e.reasons, e.txt, e.detail, s.started"
        " FROM targets t JOIN (SELECT id, scan_id, target_id, zone_id, kind, codes, reasons, txt, detail"
        "   FROM outcomes WHERE target_id=(SELECT id FROM targets WHERE name=?1)"
        "   UNION ALL SELECT 0, scan_id, target_id, zone_id, kind, codes, reasons, '', '' FROM current"
        "   WHERE target_id=(SELECT id FROM targets WHERE name=?1) AND outcome_id=0) e ON e.target_id=t.id"
        " JOIN scans s ON s.id=e.scan_id JOIN zones z ON z.id=e.zone_id ORDER BY s.started, e.zone_id, e.id");
    if (!query.ok()) return fail(QStringLiteral("read"));
    query.bind(1, target);
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        HistoryEvent event;
        if (!readObservation(query, &event.observation)) continue;
        event.when = fromMs(query.integer(ObservationColumns));
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
                    "SELECT t.name, z.name, z.list_name, z.link, c.kind, c.codes, c.reasons, ifnull(o.txt, ''),"
                    " ifnull(o.detail, ''), (SELECT started FROM scans WHERE id=c.scan_id), c.answer,"
                    " (SELECT started FROM scans WHERE id=c.answer_since_scan),"
                    " (SELECT started FROM scans WHERE id=c.delisted_scan)"
                    " FROM current c LEFT JOIN outcomes o ON o.id=c.outcome_id JOIN zones z ON z.id=c.zone_id"
                    " JOIN targets t ON t.id=c.target_id WHERE t.name=? ORDER BY z.id");
    if (!query.ok()) return fail(QStringLiteral("read"));
    query.bind(1, target);
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        ZoneStanding entry;
        if (!readObservation(query, &entry.latest)) continue;
        constexpr int next = ObservationColumns;
        entry.latestSince = fromMs(query.integer(next));
        if (ScanObservation::FromNumber(static_cast<int>(query.integer(next + 1)), &entry.answer))
            entry.answerSince = fromMs(query.integer(next + 2));
        entry.delistedOn = fromMs(query.integer(next + 3));
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
                        " AND id NOT IN (SELECT scan_id FROM current)"
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
HistoryStore::~HistoryStore()
{
    Close();
}

} // namespace quarlo
