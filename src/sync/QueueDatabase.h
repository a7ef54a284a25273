#pragma once

#include "QueuedRequest.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class SqliteLibrary;
struct sqlite3;
struct sqlite3_stmt;

/// The SQLite file behind the offline queue, in WAL mode. An insert is on the disk (synchronous
/// FULL) before the call returns; a removal is committed at once but reaches the disk with the
/// next insert or checkpoint. The file and its journals are the owner's alone (0600).
///
/// Opening never fails and never blocks for long: a file that is corrupt, not a database or
/// not this program's queue is renamed aside (what could still be read is carried over into a
/// new file); a file that cannot be used at all leaves the queue in memory only (every insert fails).
///
/// Instances of the program share the file. Each holds a shared lock on "<path>.lock" while it
/// has the database open, and the file is only ever deleted under the exclusive lock, so never
/// from beneath another instance's connection.
class QueueDatabase {
public:
    explicit QueueDatabase(QString path);

    /// Whether something (a database or not) is at \a path.
    static bool existsAt(const QString& path);
    ~QueueDatabase();
    QueueDatabase(const QueueDatabase&) = delete;
    QueueDatabase& operator=(const QueueDatabase&) = delete;

    /// The requests found at opening that wait to be sent, oldest first, each with its rowId.
    QList<QueuedRequest> takeLoaded() { return std::move(loaded); }

    /// Stores \a request durably; answers its row id, or nothing when the write failed.
    std::optional<qint64> insert(const QueuedRequest& request);
    /// Forgets a delivered request; false when the write failed. After a power cut, not a crash,
    /// the latest removals may be undone.
    bool remove(qint64 rowId);
    /// Keeps a request the service refused for good, with its \a status and \a answer, where no
    /// later opening loads it again; false when the write failed.
    bool setAside(qint64 rowId, qint64 status, const QByteArray& answer);

    /// Ends this connection; deletes the file when it holds no request, set aside or not, and
    /// no other instance has it open. Answers whether it was deleted. The object is closed afterwards either
    /// way.
    bool closeRemovingIfEmpty();

private:
    enum class Outcome { Ok, Unusable, Busy };
    enum class Synchronous { Unknown, Normal, Full };
    static Outcome failure(int rc);
    /// Opens the file, creating it when missing, and reads its requests, oldest first, into
    /// loaded; \a salvage gets those that could be read even when the outcome is Unusable.
    Outcome open(QList<QueuedRequest>& salvage);
    Outcome configure();
    Outcome ensureSchema();
    Outcome readPending(QList<QueuedRequest>& salvage);
    bool setSynchronous(Synchronous wanted);
    sqlite3_stmt* prepared(sqlite3_stmt*& cache, const char* statement);
    void close();
    void moveAside();

    QString path;
    /// Null when SQLite cannot be loaded: the queue then lives in memory only.
    std::shared_ptr<const SqliteLibrary> sql;
    int lockFd = -1;
    sqlite3* db = nullptr;
    sqlite3_stmt* insertStatement = nullptr;
    sqlite3_stmt* removeStatement = nullptr;
    Synchronous synchronous = Synchronous::Unknown;
    QList<QueuedRequest> loaded;
};
