// One connection to a database, the narrow seam between SqlStore and the
// two client libraries. Statements use $1, $2, ... for parameters, which
// both SQLite and PostgreSQL accept.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/Status.h"

namespace collector {

enum class SqlDialect { kSqlite, kPostgres };

struct SqlValue {
  enum class Kind { kNull, kInt, kText, kBlob } kind = Kind::kNull;
  int64_t number = 0;
  std::string text;            // text or blob bytes
  std::string_view borrowed;   // blob bytes the caller keeps until the statement is done

  static SqlValue Null() { return {}; }
  static SqlValue Int(int64_t v) { return {Kind::kInt, v, {}, {}}; }
  static SqlValue Text(std::string v) { return {Kind::kText, 0, std::move(v), {}}; }
  static SqlValue Blob(std::string v) { return {Kind::kBlob, 0, std::move(v), {}}; }
  // Not copied: a document's body is held once.
  static SqlValue BorrowedBlob(std::string_view v) { return {Kind::kBlob, 0, {}, v}; }
  static SqlValue MaybeInt(const std::optional<int64_t>& v) { return v ? Int(*v) : Null(); }
  std::string_view Bytes() const { return borrowed.data() ? borrowed : std::string_view(text); }
};

// A result row: each column as text (blobs as their bytes), or empty for NULL.
using SqlRow = std::vector<std::optional<std::string>>;
using RowSink = std::function<void(const SqlRow&)>;

// Not thread-safe: one thread uses a session at a time.
class SqlSession {
 public:
  virtual ~SqlSession() = default;
  virtual SqlDialect Dialect() const = 0;
  // One statement; `sink` sees each result row.
  virtual Status Exec(const std::string& sql, const std::vector<SqlValue>& params = {},
                           const RowSink& sink = {}) = 0;
  // Several statements without parameters (schema scripts).
  virtual Status ExecScript(const std::string& sql) = 0;
  // The rows the last statement that changed rows inserted, updated or deleted.
  virtual int64_t Changes() const = 0;
  // Starts a transaction that holds the write lock from its first statement.
  virtual Status BeginWrite() = 0;
  // Called between units of work, never inside a transaction: a session
  // whose server went away (a restart, a fail-over) connects again here.
  virtual Status Revive() { return {}; }
};

// Which file a path named when it was opened.
struct FileIdentity {
  uint64_t device = 0, inode = 0;
  bool operator==(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
};

// Opens `path`, creating it unless `storeFile` is given: then the path must
// still name that file. Each session checks before every unit of work that
// its file is still there under its path and can be written, so that a store
// removed or replaced while serving fails instead of acknowledging writes
// that a restart would lose.
Status OpenSqlite(const std::string& path, std::unique_ptr<SqlSession>& session,
                  const FileIdentity* storeFile = nullptr);
// The identity of the file at `path`; fails when there is none.
Status IdentifyFile(const std::string& path, FileIdentity& identity);
Status OpenPostgres(const std::string& uri, std::unique_ptr<SqlSession>& session);

// A column as a number, or empty for NULL or a non-number.
std::optional<int64_t> AsInt(const std::optional<std::string>& column);

}  // namespace collector
