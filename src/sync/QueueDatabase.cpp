#include "QueueDatabase.h"

#include "SqliteLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Marks the file as this program's queue ("CLQ1"), so that a foreign database is set aside
// rather than written into.
constexpr int applicationId = 0x434C5131;
constexpr int schemaVersion = 2;
// Long enough for another instance's single-row commit, short enough not to hold up start-up.
constexpr int busyTimeoutMs = 1000;

bool isDamage(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_CANTOPEN:
    case SQLITE_SCHEMA:
        return true;
    default:
        return false;
    }
}

/// Runs \a text and answers the first column of its first row; nothing when it fails.
std::optional<QString> firstValue(const SqliteLibrary& sql, sqlite3* db, const char* text, int* rc) {
    sqlite3_stmt* stmt = nullptr;
    *rc = sql.prepare_v2(db, text, -1, &stmt, nullptr);
    if (*rc != SQLITE_OK)
        return std::nullopt;
    std::optional<QString> value;
    *rc = sql.step(stmt);
    if (*rc == SQLITE_ROW) {
        value = QString::fromUtf8(reinterpret_cast<const char*>(sql.column_text(stmt, 0)));
        *rc = SQLITE_OK;
    } else if (*rc == SQLITE_DONE) {
        value = QString();
        *rc = SQLITE_OK;
    }
    sql.finalize(stmt);
    return value;
}

QString columnText(const SqliteLibrary& sql, sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sql.column_text(stmt, column));
    return text ? QString::fromUtf8(text, sql.column_bytes(stmt, column)) : QString();
}

} // namespace

QueueDatabase::QueueDatabase(QString path)
    : path(std::move(path)) {
    QDir().mkpath(QFileInfo(this->path).absolutePath());
    // Waits only while another instance deletes an emptied file, which takes microseconds.
    lockFd = ::open(QFile::encodeName(this->path + QLatin1String(".lock")).constData(),
                    O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd >= 0) {
        while (::flock(lockFd, LOCK_SH) != 0 && errno == EINTR) {
        }
    }
    sql = SqliteLibrary::load();
    if (!sql)
        return;
    QList<QueuedRequest> salvage;
    const Outcome outcome = open(salvage);
    if (outcome == Outcome::Ok)
        return;
    close();
    if (outcome == Outcome::Busy) {
        // In use or not writable right now: leave the file for the next launch.
        return;
    }
    moveAside();
    QList<QueuedRequest> none;
    if (open(none) != Outcome::Ok) {
        close();
        loaded = salvage;
        return;
    }
    for (QueuedRequest& request : salvage) {
        request.rowId = insert(request).value_or(0);
        loaded.append(request);
    }
}

QueueDatabase::~QueueDatabase() {
    close();
    if (lockFd >= 0)
        ::close(lockFd);
}

bool QueueDatabase::existsAt(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool QueueDatabase::closeRemovingIfEmpty() {
    bool removed = false;
    // Without the lock there is no knowing who else has the file open. A refused upgrade may
    // have dropped our shared lock too, which is why the connection ends here whatever happens.
    if (db && lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) == 0) {
        // Rows of an instance that was killed are in the file but not in our queue.
        int rc = SQLITE_OK;
        const std::optional<QString> any = firstValue(*sql, db, "SELECT EXISTS (SELECT 1 FROM pending)", &rc);
        if (any && any->toInt() == 0) {
            close();
            removed = ::unlink(QFile::encodeName(path).constData()) == 0;
            for (const char* suffix : {"-wal", "-shm"})
                ::unlink(QFile::encodeName(path + QLatin1String(suffix)).constData());
        }
    }
    close();
    if (lockFd >= 0) {
        ::close(lockFd);
        lockFd = -1;
    }
    return removed;
}

QueueDatabase::Outcome QueueDatabase::failure(int rc) {
    return isDamage(rc) ? Outcome::Unusable : Outcome::Busy;
}

QueueDatabase::Outcome QueueDatabase::open(QList<QueuedRequest>& salvage) {
    const QByteArray nativePath = QFile::encodeName(path);
    // Created here rather than by SQLite so that the file is the owner's alone from its first
    // byte; SQLite gives its -wal and -shm files the mode of the database file.
    const int fd = ::open(nativePath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return (errno == EISDIR || errno == ELOOP || errno == ENXIO) ? Outcome::Unusable : Outcome::Busy;
    ::fchmod(fd, 0600);
    ::close(fd);

    const int rc =
        sql->open_v2(nativePath.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc != SQLITE_OK)
        return failure(rc);
    sql->busy_timeout(db, busyTimeoutMs);
    Outcome outcome = configure();
    if (outcome == Outcome::Ok)
        outcome = ensureSchema();
    if (outcome == Outcome::Ok)
        outcome = readPending(salvage);
    return outcome;
}

QueueDatabase::Outcome QueueDatabase::configure() {
    int rc = SQLITE_OK;
    const std::optional<QString> mode = firstValue(*sql, db, "PRAGMA journal_mode=WAL", &rc);
    if (!mode)
        return failure(rc);
    if (mode->compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return Outcome::Busy;
    if (!firstValue(*sql, db, "PRAGMA synchronous=FULL", &rc))
        return failure(rc);
    synchronous = Synchronous::Full;
    const std::optional<QString> check = firstValue(*sql, db, "PRAGMA quick_check", &rc);
    if (!check)
        return failure(rc);
    return *check == QLatin1String("ok") ? Outcome::Ok : Outcome::Unusable;
}

QueueDatabase::Outcome QueueDatabase::ensureSchema() {
    int rc = SQLITE_OK;
    const std::optional<QString> appId = firstValue(*sql, db, "PRAGMA application_id", &rc);
    const std::optional<QString> version =
        appId ? firstValue(*sql, db, "PRAGMA user_version", &rc) : std::nullopt;
    const std::optional<QString> tables =
        version ? firstValue(*sql, db, "SELECT count(*) FROM sqlite_schema", &rc) : std::nullopt;
    if (!tables)
        return failure(rc);
    const bool ours = appId->toInt() == applicationId;
    // The first version's queue lacks only the record of refusals.
    const char* refusals = "ALTER TABLE pending ADD COLUMN refused_status INTEGER; "
                           "ALTER TABLE pending ADD COLUMN refused_answer BLOB; ";
    QByteArray change;
    if (ours && version->toInt() == 1)
        change = QByteArray("BEGIN; ") + refusals + "PRAGMA user_version=2; COMMIT";
    else if (appId->toInt() != 0 || tables->toInt() != 0)
        return ours && version->toInt() == schemaVersion ? Outcome::Ok : Outcome::Unusable;
    else
        change = QStringLiteral("BEGIN; PRAGMA application_id=%1; PRAGMA user_version=%2; "
                                "CREATE TABLE pending (id INTEGER PRIMARY KEY, "
                                "method TEXT NOT NULL, path TEXT NOT NULL, body TEXT NOT NULL, "
                                "idempotency_key TEXT NOT NULL); %3COMMIT")
                     .arg(applicationId)
                     .arg(schemaVersion)
                     .arg(QLatin1String(refusals))
                     .toUtf8();
    rc = sql->exec(db, change.constData(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Outcome::Ok : failure(rc);
}

QueueDatabase::Outcome QueueDatabase::readPending(QList<QueuedRequest>& salvage) {
    sqlite3_stmt* select = nullptr;
    int rc = sql->prepare_v2(db,
                             "SELECT id, method, path, body, idempotency_key FROM pending "
                             "WHERE refused_status IS NULL ORDER BY id",
                             -1, &select, nullptr);
    if (rc != SQLITE_OK)
        return isDamage(rc) || (rc & 0xFF) == SQLITE_ERROR ? Outcome::Unusable : Outcome::Busy;
    bool damaged = false;
    QList<QueuedRequest> rows;
    while ((rc = sql->step(select)) == SQLITE_ROW) {
        QueuedRequest request;
        request.rowId = sql->column_int64(select, 0);
        request.method = columnText(*sql, select, 1);
        request.path = columnText(*sql, select, 2);
        QJsonParseError parseError;
        const QJsonDocument body = QJsonDocument::fromJson(columnText(*sql, select, 3).toUtf8(), &parseError);
        request.idempotencyKey = columnText(*sql, select, 4).toUtf8();
        if (parseError.error != QJsonParseError::NoError || !body.isObject()) {
            damaged = true;
            continue;
        }
        request.body = body.object();
        rows.append(request);
    }
    sql->finalize(select);
    salvage = rows;
    if (rc != SQLITE_DONE)
        return failure(rc);
    if (damaged)
        return Outcome::Unusable;
    loaded = rows;
    return Outcome::Ok;
}

void QueueDatabase::close() {
    if (!sql)
        return;
    sql->finalize(insertStatement);
    sql->finalize(removeStatement);
    insertStatement = nullptr;
    removeStatement = nullptr;
    if (db) {
        sql->close_v2(db);
        db = nullptr;
    }
    synchronous = Synchronous::Unknown;
}

void QueueDatabase::moveAside() {
    QString target;
    for (int n = 1;; ++n) {
        target = QStringLiteral("%1.unreadable-%2").arg(path).arg(n);
        if (!QFileInfo::exists(target) && !QFileInfo(target).isSymLink())
            break;
    }
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0)
        return;
    // The journals belong to the file they were written for and go with it.
    for (const char* suffix : {"-wal", "-shm"}) {
        const QByteArray from = QFile::encodeName(path + QLatin1String(suffix));
        const QByteArray to = QFile::encodeName(target + QLatin1String(suffix));
        if (::rename(from.constData(), to.constData()) != 0 && errno != ENOENT)
            ::unlink(from.constData());
    }
}

bool QueueDatabase::setSynchronous(Synchronous wanted) {
    if (synchronous == wanted)
        return true;
    const char* pragma =
        wanted == Synchronous::Full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL";
    if (sql->exec(db, pragma, nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    synchronous = wanted;
    return true;
}

sqlite3_stmt* QueueDatabase::prepared(sqlite3_stmt*& cache, const char* statement) {
    if (!cache && sql->prepare_v3(db, statement, -1, SQLITE_PREPARE_PERSISTENT, &cache, nullptr) != SQLITE_OK)
        cache = nullptr;
    return cache;
}

std::optional<qint64> QueueDatabase::insert(const QueuedRequest& request) {
    if (!db || !setSynchronous(Synchronous::Full))
        return std::nullopt;
    sqlite3_stmt* stmt = prepared(
        insertStatement, "INSERT INTO pending (method, path, body, idempotency_key) VALUES (?1, ?2, ?3, ?4)");
    if (!stmt)
        return std::nullopt;
    const QByteArray method = request.method.toUtf8();
    const QByteArray requestPath = request.path.toUtf8();
    const QByteArray body = QJsonDocument(request.body).toJson(QJsonDocument::Compact);
    sql->bind_text(stmt, 1, method.constData(), int(method.size()), SQLITE_STATIC);
    sql->bind_text(stmt, 2, requestPath.constData(), int(requestPath.size()), SQLITE_STATIC);
    sql->bind_text(stmt, 3, body.constData(), int(body.size()), SQLITE_STATIC);
    sql->bind_text(stmt, 4, request.idempotencyKey.constData(), int(request.idempotencyKey.size()),
                   SQLITE_STATIC);
    const int rc = sql->step(stmt);
    sql->reset(stmt);
    sql->clear_bindings(stmt);
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return sql->last_insert_rowid(db);
}

bool QueueDatabase::remove(qint64 rowId) {
    // A removal lost to a power cut only sends a delivered request once more, under the same
    // Idempotency-Key; it need not wait for the disk. WAL keeps the file consistent either way,
    // and the next insert's sync carries the removal to the disk with it.
    if (!db || rowId <= 0 || !setSynchronous(Synchronous::Normal))
        return false;
    sqlite3_stmt* stmt = prepared(removeStatement, "DELETE FROM pending WHERE id = ?1");
    if (!stmt)
        return false;
    sql->bind_int64(stmt, 1, rowId);
    const int rc = sql->step(stmt);
    sql->reset(stmt);
    return rc == SQLITE_DONE;
}

bool QueueDatabase::setAside(qint64 rowId, qint64 status, const QByteArray& answer) {
    sqlite3_stmt* stmt = nullptr;
    if (!db || rowId <= 0 ||
        sql->prepare_v2(db, "UPDATE pending SET refused_status = ?1, refused_answer = ?2 WHERE id = ?3", -1,
                        &stmt, nullptr) != SQLITE_OK)
        return false;
    sql->bind_int64(stmt, 1, status);
    sql->bind_blob(stmt, 2, answer.constData(), int(answer.size()), SQLITE_STATIC);
    sql->bind_int64(stmt, 3, rowId);
    const int rc = sql->step(stmt);
    sql->finalize(stmt);
    return rc == SQLITE_DONE;
}
