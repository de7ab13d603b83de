// Opening the history: the checks of the file, its schema and its settings,
// and the statements every other part of the store runs through.
#include <fmt/format.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <utility>

#include "compare/history/store_sql.h"
#include "compare/render/table.h"

namespace compare {

namespace {

// "BCHS" in the database's header: this program's, whatever its tables.
constexpr std::int64_t kApplicationId = 0x42434853;

const char* const kSchema = R"(
CREATE TABLE machine(id INTEGER PRIMARY KEY, digest TEXT NOT NULL UNIQUE, cpu_model TEXT,
  architecture TEXT, logical_cpus TEXT, kernel TEXT, libc TEXT, clock_tick REAL);
CREATE TABLE comparison(id INTEGER PRIMARY KEY, machine_id INTEGER NOT NULL REFERENCES machine,
  label TEXT NOT NULL, version TEXT, method TEXT, started_at TEXT, finished_at TEXT,
  reference TEXT, warnings TEXT, stopped TEXT, governor TEXT, turbo TEXT, aslr TEXT,
  load_before TEXT, load_after TEXT, source TEXT);
CREATE TABLE build(id INTEGER PRIMARY KEY, comparison_id INTEGER NOT NULL REFERENCES comparison,
  label TEXT NOT NULL, random_path TEXT, random_compiler TEXT, random_architecture TEXT,
  random_sha1 TEXT, fixed_path TEXT, fixed_compiler TEXT, fixed_architecture TEXT, fixed_sha1 TEXT);
CREATE TABLE session(id INTEGER PRIMARY KEY, build_id INTEGER NOT NULL REFERENCES build,
  number INTEGER NOT NULL, started_at TEXT NOT NULL, rounds INTEGER NOT NULL,
  key TEXT NOT NULL UNIQUE);
CREATE TABLE round(session_id INTEGER NOT NULL REFERENCES session, number INTEGER NOT NULL,
  fixed_first INTEGER NOT NULL, random_1 REAL, random_2 REAL, random_3 REAL, fixed_1 REAL, fixed_2 REAL,
  fixed_3 REAL, usage BLOB, counts BLOB, PRIMARY KEY(session_id, number)) WITHOUT ROWID;
CREATE TABLE figure(session_id INTEGER NOT NULL REFERENCES session, test INTEGER NOT NULL,
  series INTEGER NOT NULL, value REAL NOT NULL, low REAL, high REAL, ratio REAL, ratio_low REAL,
  ratio_high REAL, PRIMARY KEY(session_id, test, series)) WITHOUT ROWID;
CREATE TABLE verdict(comparison_id INTEGER NOT NULL REFERENCES comparison, entry TEXT,
  test TEXT, series TEXT, ratio REAL, low REAL, high REAL, p REAL, p_adjusted REAL,
  method TEXT, verdict TEXT);
CREATE INDEX build_of_comparison ON build(comparison_id);
CREATE INDEX session_of_build ON session(build_id);
)";

// Another process holds the write lock: wait for it, however long. A lock
// dies with the process that held it, so a wait never outlives a writer, and
// a deadline would only turn a busy machine's slow writer into a lost
// comparison. The pause grows to a tenth of a second.
int wait_for_lock(void* /*unused*/, int attempt) {
  const long ms = attempt < 10 ? 1 : attempt < 100 ? 10 : 100;
  timespec pause{0, ms * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
  return 1;
}

// Write-ahead logging, so that readers never wait for a writer. Switching
// to it takes the database to itself, and SQLite answers "busy" to a switch
// while another process holds it, without calling the busy handler: the
// switch is tried again, after the same waits, until it is made.
void set_wal(Store::Impl& s) {
  for (int attempt = 0;; ++attempt) {
    const int status = sqlite3_exec(s.db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (status == SQLITE_OK) return;
    if ((status & 0xFF) != SQLITE_BUSY && (status & 0xFF) != SQLITE_LOCKED)
      store_failed(s, "cannot use the history");
    wait_for_lock(nullptr, attempt);
  }
}

bool empty_file(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode) && s.st_size == 0;
}

// Refuses what is not this program's history, or is of a later schema,
// before anything is written; true when the database has no schema yet.
bool check_ours(Store::Impl& s) {
  const std::int64_t tables = query_integer(s, "SELECT count(*) FROM sqlite_schema");
  const std::int64_t id = query_integer(s, "PRAGMA application_id");
  const std::int64_t version = query_integer(s, "PRAGMA user_version");
  if (tables == 0 && id == 0 && version == 0) return true;
  if (id != kApplicationId) {
    throw StoreError(
        fmt::format("{}: a SQLite database, but not a bench_compare history", printable(s.path)));
  }
  if (version > kHistorySchema) {
    throw StoreError(
        fmt::format("{}: history of schema version {}; this bench_compare reads up to {}",
                    printable(s.path), version, kHistorySchema));
  }
  if (version < 1) throw StoreError(printable(s.path) + ": a history without a schema version");
  return false;
}

// The schema, made once: the first of several processes to get the write
// lock makes it, the others find it made.
void create_schema(Store::Impl& s) {
  execute(s, "BEGIN IMMEDIATE");
  try {
    if (check_ours(s)) {
      execute(s, kSchema);
      execute(s, fmt::format("PRAGMA application_id = {}", kApplicationId).c_str());
      execute(s, fmt::format("PRAGMA user_version = {}", kHistorySchema).c_str());
    }
    execute(s, "COMMIT");
  } catch (...) {
    sqlite3_exec(s.db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

// Every page read: a file cut short or damaged is refused before it is
// written to.
void check_whole(Store::Impl& s) {
  Statement check(s, "PRAGMA quick_check");
  if (!check.step() || check.text(0) != "ok") {
    throw StoreError(printable(s.path) + ": the history is damaged (SQLite's check fails)");
  }
}

void set_up(Store::Impl& s, Store::Access access) {
  sqlite3_busy_handler(s.db, wait_for_lock, nullptr);
  sqlite3_extended_result_codes(s.db, 1);
  // Only this database's own SQL: no extensions, no triggers or views
  // of a file's making run here.
  sqlite3_db_config(s.db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(s.db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  sqlite3_db_config(s.db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(s.db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  const bool fresh = check_ours(s);
  if (access == Store::Access::Read) {
    if (fresh) throw StoreError(printable(s.path) + ": holds no history yet");
    return;
  }
  if (!fresh) check_whole(s);
  set_wal(s);
  execute(s, "PRAGMA synchronous = NORMAL");
  if (fresh) create_schema(s);
}

}  // namespace

void store_failed(const Store::Impl& store, const std::string& what) {
  const char* why = store.db != nullptr ? sqlite3_errmsg(store.db) : "out of memory";
  throw StoreError(fmt::format("{}: {} ({})", printable(store.path), what, printable(why)));
}

std::string history_unavailable() { return {}; }

Store::Store(const std::string& path, Access access) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  struct stat st {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) throw StoreError(printable(path) + ": not a regular file");
  if (!exists && access == Access::Read) throw StoreError(printable(path) + ": no such history");
  // Only a writer makes the file: read, an empty file is a history yet to
  // be made (and SQLite refuses to be asked to create a file read-only).
  int flags = access == Access::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (access == Access::Append && (!exists || empty_file(path))) flags |= SQLITE_OPEN_CREATE;
  const int opened =
      sqlite3_open_v2(path.c_str(), &impl_->db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  try {
    if (opened != SQLITE_OK) store_failed(*impl_, "cannot open the history");
    set_up(*impl_, access);
  } catch (...) {
    // Closed here, as no destructor will, whether or not it opened (SQLite
    // hands out a connection either way): no -wal or -shm file left behind.
    sqlite3_close_v2(impl_->db);
    impl_->db = nullptr;
    throw;
  }
}

Store::~Store() {
  if (impl_ && impl_->db != nullptr) sqlite3_close_v2(impl_->db);
}
Store::Store(Store&&) noexcept = default;
Store& Store::operator=(Store&&) noexcept = default;
const std::string& Store::path() const { return impl_->path; }

Statement::Statement(Store::Impl& store, const char* sql) : store_(store) {
  if (sqlite3_prepare_v2(store.db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
    store_failed(store, "cannot read the history");
}
Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int i, const std::string& text) {
  sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}
Statement& Statement::bind(int i, const std::optional<std::string>& text) {
  return text ? bind(i, *text) : (sqlite3_bind_null(stmt_, i), *this);
}
Statement& Statement::bind(int i, double value) {
  sqlite3_bind_double(stmt_, i, value);
  return *this;
}
Statement& Statement::bind(int i, const std::optional<double>& value) {
  return value ? bind(i, *value) : (sqlite3_bind_null(stmt_, i), *this);
}
Statement& Statement::bind(int i, std::int64_t value) {
  sqlite3_bind_int64(stmt_, i, value);
  return *this;
}
Statement& Statement::bind_blob(int i, const std::vector<unsigned char>& bytes) {
  if (bytes.empty()) return sqlite3_bind_null(stmt_, i), *this;
  sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  return *this;
}

bool Statement::step() {
  const int status = sqlite3_step(stmt_);
  if (status == SQLITE_ROW) return true;
  if (status == SQLITE_DONE) return false;
  store_failed(store_, "cannot use the history");
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  if (t == nullptr) return {};
  const int size = sqlite3_column_bytes(stmt_, column);
  if (static_cast<std::size_t>(size) > kMaxHistoryText) {
    throw StoreError(fmt::format("{}: holds a text of {} bytes, more than the {} a history may",
                                 printable(store_.path), size, kMaxHistoryText));
  }
  return printable(std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(size)));
}
std::optional<double> Statement::real(int column) const {
  if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_double(stmt_, column);
}
std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

void execute(Store::Impl& store, const char* sql) {
  if (sqlite3_exec(store.db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
    store_failed(store, "cannot use the history");
}

std::int64_t query_integer(Store::Impl& store, const char* sql) {
  Statement q(store, sql);
  return q.step() ? q.integer(0) : 0;
}

}  // namespace compare
