#pragma once

// Thin owners of an SQLite connection and a prepared statement. Internal to
// the history library.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvel {

struct ConnectionWaits;

struct ConnectionOptions {
    // How long a statement waits for another connection's write to end.
    std::chrono::milliseconds busyTimeout{10000};
    // When set, every wait and every running statement of the connection
    // ends soon (SQLITE_BUSY or SQLITE_INTERRUPT).
    const std::atomic<bool>* abandon = nullptr;
    // The same once the steady clock has reached this time (its ticks since
    // the clock's epoch), unless it holds 0.
    const std::atomic<std::chrono::steady_clock::rep>* abandonAt = nullptr;
};

class SqliteDatabase {
  public:
    SqliteDatabase();
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Opens `path` with the SQLITE_OPEN_* `flags`; returns the result code.
    // The connection (when there is one) is kept even on failure, so that
    // errorText() can tell why.
    int open(const QString& path, int flags, const ConnectionOptions& options);
    void close();
    // Closes without the checkpoint that folds the -wal file into the
    // database and deletes it: for files we must leave as they are.
    void closeUntouched();
    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }

    // Runs one or more statements that return no rows; the result code.
    int exec(const char* sql);
    // The last error's text, on one line.
    QString errorText() const;
    // The extended result code of the last failure.
    int errorCode() const;
    bool abandoned() const;

  private:
    sqlite3* db_ = nullptr;
    std::unique_ptr<ConnectionWaits> waits_;
};

class SqliteStatement {
  public:
    SqliteStatement() = default;
    // Prepared once and kept; ok() says whether it compiled.
    SqliteStatement(const SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    // Why it did not compile; empty when it did.
    const QString& prepareError() const { return prepareError_; }
    // Parameters count from 1.
    void bind(int index, qint64 value);
    void bind(int index, const QString& text);
    void bindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Ready for the next use, with the parameters cleared.
    void reset();

    // Columns count from 0.
    qint64 int64At(int column) const;
    QString textAt(int column) const;
    bool isNull(int column) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    QString prepareError_;
};

// Resets a statement when the scope ends, however it ends.
class StatementUse {
  public:
    explicit StatementUse(SqliteStatement& statement) : statement_(statement) {}
    ~StatementUse() { statement_.reset(); }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

  private:
    SqliteStatement& statement_;
};

// Whether an SQLite result code means that the file is not a usable
// database (as opposed to busy, read-only or out of space).
bool isDamageCode(int code);
// Whether it means that the file or its directory cannot be written.
bool isUnwritableCode(int code);

}  // namespace quorvel
