#include "history/sqlite_db.h"

#include <sqlite3.h>

#include <thread>
#include <utility>

namespace quorvel {

// What the busy and progress handlers need; lives as long as the connection.
struct ConnectionWaits {
    std::chrono::milliseconds busyTimeout;
    const std::atomic<bool>* abandon = nullptr;
    const std::atomic<std::chrono::steady_clock::rep>* abandonAt = nullptr;
    std::chrono::steady_clock::time_point busySince;

    bool abandoned() const {
        if (abandon && abandon->load(std::memory_order_relaxed)) {
            return true;
        }
        const auto at = abandonAt ? abandonAt->load(std::memory_order_relaxed) : 0;
        return at != 0 && std::chrono::steady_clock::now().time_since_epoch().count() >= at;
    }
};

namespace {

// SQLite's own busy timeout cannot be cut short from outside; this one
// polls the abandon flag between short sleeps.
int onBusy(void* context, int attempt) {
    auto* waits = static_cast<ConnectionWaits*>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        waits->busySince = now;
    }
    if (waits->abandoned() || now - waits->busySince >= waits->busyTimeout) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 10));
    return 1;
}

int onProgress(void* context) {
    return static_cast<ConnectionWaits*>(context)->abandoned() ? 1 : 0;
}

}  // namespace

SqliteDatabase::SqliteDatabase() = default;

SqliteDatabase::~SqliteDatabase() {
    close();
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), waits_(std::move(other.waits_)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
        waits_ = std::move(other.waits_);
    }
    return *this;
}

int SqliteDatabase::open(const QString& path, int flags, const ConnectionOptions& options) {
    close();
    const QByteArray name = path.toUtf8();
    const int rc = sqlite3_open_v2(name.constData(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (db_ == nullptr) {
        return rc;
    }
    sqlite3_extended_result_codes(db_, 1);
    waits_ = std::make_unique<ConnectionWaits>(
        ConnectionWaits{options.busyTimeout, options.abandon, options.abandonAt, {}});
    sqlite3_busy_handler(db_, onBusy, waits_.get());
    if (options.abandon || options.abandonAt) {
        sqlite3_progress_handler(db_, 1000, onProgress, waits_.get());
    }
    return rc;
}

void SqliteDatabase::close() {
    if (db_ != nullptr) {
        // Statements are finalized by their owners first; v2 copes either way.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    waits_.reset();
}

void SqliteDatabase::closeUntouched() {
    if (db_ != nullptr) {
        sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        int persist = 1;
        sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    close();
}

int SqliteDatabase::exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

QString SqliteDatabase::errorText() const {
    // One line, for messages: a damaged schema's error quotes its SQL.
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)).simplified()
               : QStringLiteral("out of memory");
}

int SqliteDatabase::errorCode() const {
    return db_ ? sqlite3_extended_errcode(db_) : SQLITE_NOMEM;
}

bool SqliteDatabase::abandoned() const {
    return waits_ && waits_->abandoned();
}

SqliteStatement::SqliteStatement(const SqliteDatabase& db, const char* sql) {
    if (sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) !=
        SQLITE_OK) {
        prepareError_ = db.errorText();
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)),
      prepareError_(std::exchange(other.prepareError_, QString())) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
        prepareError_ = std::exchange(other.prepareError_, QString());
    }
    return *this;
}

void SqliteStatement::bind(int index, qint64 value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void SqliteStatement::bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index) {
    sqlite3_bind_null(stmt_, index);
}

int SqliteStatement::step() {
    return sqlite3_step(stmt_);
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

qint64 SqliteStatement::int64At(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

QString SqliteStatement::textAt(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, column));
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

bool isDamageCode(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool isUnwritableCode(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM;
}

}  // namespace quorvel
