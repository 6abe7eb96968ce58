#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "collector/base/Status.h"
#include "collector/store/SqlSession.h"

namespace collector {
namespace {

Status Gone(const std::string& path) {
  return Failure("the store file " + path + " was removed or replaced while in use; nothing more is stored until the "
                 "collector is restarted");
}

class SqliteSession : public SqlSession {
 public:
  SqliteSession(sqlite3* db, std::string path, FileIdentity file) : db_(db), path_(std::move(path)), file_(file) {}
  ~SqliteSession() override {
    for (auto& [sql, prepared] : cache_) sqlite3_finalize(prepared.statement);
    sqlite3_close_v2(db_);
  }

  SqlDialect Dialect() const override { return SqlDialect::kSqlite; }

  Status Exec(const std::string& sql, const std::vector<SqlValue>& params, const RowSink& sink) override {
    Prepared* prepared = nullptr;
    if (auto s = Prepare(sql, prepared); !s.ok()) return s;
    sqlite3_stmt* statement = prepared->statement;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    const size_t bound = std::min(params.size(), prepared->indexOf.size());
    for (size_t i = 0; i < bound; ++i) {
      if (prepared->indexOf[i] != 0) Bind(statement, prepared->indexOf[i], params[i]);
    }
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      if (sink) sink(Row(statement));
    }
    sqlite3_reset(statement);
    return rc == SQLITE_DONE ? Status() : Error(sql);
  }

  Status ExecScript(const std::string& sql) override {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    return Failure("SQLite: " + text);
  }

  int64_t Changes() const override { return sqlite3_changes64(db_); }

  // IMMEDIATE takes the write lock at once, so two writers wait for each
  // other at the start instead of failing when the first one upgrades.
  Status BeginWrite() override { return ExecScript("BEGIN IMMEDIATE"); }

 private:
  // A statement and, for each $N, the index SQLite gave it. Looking a name
  // up scans every name before it, so a statement of many parameters is
  // looked up once, here, not on every run.
  struct Prepared {
    sqlite3_stmt* statement = nullptr;
    std::vector<int> indexOf;  // [N - 1]: the index of $N, 0 when absent
  };

  Status Prepare(const std::string& sql, Prepared*& prepared) {
    auto hit = cache_.find(sql);
    if (hit != cache_.end()) {
      prepared = &hit->second;
      return {};
    }
    Prepared made;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &made.statement, nullptr) != SQLITE_OK) {
      return Error(sql);
    }
    const int count = sqlite3_bind_parameter_count(made.statement);
    for (int index = 1; index <= count; ++index) {
      const char* name = sqlite3_bind_parameter_name(made.statement, index);
      const long n = name && name[0] == '$' ? std::strtol(name + 1, nullptr, 10) : 0;
      if (n <= 0 || n > 65536) continue;
      if (made.indexOf.size() < static_cast<size_t>(n)) made.indexOf.resize(n);
      made.indexOf[n - 1] = index;
    }
    prepared = &cache_.emplace(sql, std::move(made)).first->second;
    return {};
  }

  static void Bind(sqlite3_stmt* statement, int index, const SqlValue& value) {
    switch (value.kind) {
      case SqlValue::Kind::kNull: sqlite3_bind_null(statement, index); break;
      case SqlValue::Kind::kInt: sqlite3_bind_int64(statement, index, value.number); break;
      case SqlValue::Kind::kText:
        sqlite3_bind_text64(statement, index, value.text.data(), value.text.size(), SQLITE_STATIC, SQLITE_UTF8);
        break;
      case SqlValue::Kind::kBlob: {
        const std::string_view bytes = value.Bytes();
        sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_STATIC);
        break;
      }
    }
  }

  static SqlRow Row(sqlite3_stmt* statement) {
    SqlRow row;
    const int columns = sqlite3_column_count(statement);
    for (int c = 0; c < columns; ++c) {
      if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
        row.emplace_back();
        continue;
      }
      const void* data = sqlite3_column_type(statement, c) == SQLITE_BLOB ? sqlite3_column_blob(statement, c)
                                                                           : sqlite3_column_text(statement, c);
      row.emplace_back(std::string(static_cast<const char*>(data), sqlite3_column_bytes(statement, c)));
    }
    return row;
  }

  Status Error(const std::string& sql) {
    return Failure(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in: " + sql.substr(0, 80));
  }

  Status Revive() override {
    FileIdentity now;
    if (!IdentifyFile(path_, now).ok() || !(now == file_)) return Gone(path_);
    if (access(path_.c_str(), W_OK) != 0) {
      return Failure("the store file " + path_ + " cannot be written: " + std::strerror(errno));
    }
    return {};
  }

  sqlite3* db_;
  std::string path_;
  FileIdentity file_;
  std::unordered_map<std::string, Prepared> cache_;
};

}  // namespace

Status IdentifyFile(const std::string& path, FileIdentity& identity) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return Failure("cannot find " + path + ": " + std::strerror(errno));
  identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return {};
}

Status OpenSqlite(const std::string& path, std::unique_ptr<SqlSession>& session, const FileIdentity* storeFile) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (storeFile ? 0 : SQLITE_OPEN_CREATE);
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    FileIdentity file;
    if (storeFile && (!IdentifyFile(path, file).ok() || !(file == *storeFile))) return Gone(path);
    return Failure("cannot open " + path + ": " + message);
  }
  sqlite3_busy_timeout(db, 30000);
  FileIdentity file;
  if (!IdentifyFile(path, file).ok() || (storeFile && !(file == *storeFile))) {
    sqlite3_close_v2(db);
    return Gone(path);
  }
  auto opened = std::make_unique<SqliteSession>(db, path, file);
  // WAL lets readers run beside the writer; FULL makes every commit durable
  // before Put returns. Incremental vacuum only takes on a new file: it
  // lets removals give space back without rewriting the whole store.
  if (auto s = opened->ExecScript("PRAGMA auto_vacuum=INCREMENTAL; PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON; PRAGMA temp_store=MEMORY;");
      !s.ok()) {
    return s;
  }
  session = std::move(opened);
  return {};
}

}  // namespace collector
