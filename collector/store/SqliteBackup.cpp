#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "collector/store/Backup.h"
#include "collector/store/SqlSession.h"

namespace collector {
namespace {

struct Closer {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, Closer>;

Status Open(const std::string& path, int flags, Database& db) {
  sqlite3* opened = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &opened, flags, nullptr);
  db.reset(opened);
  if (rc != SQLITE_OK)
    return Failure("cannot open " + path + ": " + (opened ? sqlite3_errmsg(opened) : "out of memory"));
  sqlite3_busy_timeout(opened, 30000);
  return {};
}

// One step copies every page inside one read transaction: in WAL mode the
// collector's writers go on meanwhile, and none of their commits can make
// the copy start over, as they would between smaller steps.
Status Copy(sqlite3* from, sqlite3* to, const std::string& outPath) {
  sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
  if (!backup) return Failure("cannot back up to " + outPath + ": " + sqlite3_errmsg(to));
  const int step = sqlite3_backup_step(backup, -1);
  const int finish = sqlite3_backup_finish(backup);
  if (step != SQLITE_DONE || finish != SQLITE_OK)
    return Failure("the backup failed: " + std::string(sqlite3_errmsg(to)));
  std::string verdict;
  char* message = nullptr;
  const int rc = sqlite3_exec(
      to, "PRAGMA quick_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] ? values[0] : "";
        return 0;
      },
      &verdict, &message);
  sqlite3_free(message);
  if (rc != SQLITE_OK || verdict != "ok") return Failure("the copy in " + outPath + " does not check out: " + verdict);
  return {};
}

}  // namespace

Status BackupSqlite(const std::string& storeUrl, const std::string& outPath) {
  if (storeUrl.rfind("sqlite:", 0) != 0) {
    return Invalid("backup copies SQLite stores; back up PostgreSQL with pg_dump");
  }
  const std::string path = storeUrl.substr(7);
  FileIdentity store, out;
  if (auto s = IdentifyFile(path, store); !s.ok()) return s;
  if (IdentifyFile(outPath, out).ok() && out == store) return Invalid("the backup would overwrite the store itself");
  Database from, to;
  if (auto s = Open(path, SQLITE_OPEN_READWRITE, from); !s.ok()) return s;
  const std::string partial = outPath + ".partial";
  std::remove(partial.c_str());
  if (auto s = Open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, to); !s.ok()) return s;
  Status s = Copy(from.get(), to.get(), outPath);
  to.reset();
  if (s.ok() && std::rename(partial.c_str(), outPath.c_str()) != 0) s = Failure("cannot rename " + partial);
  if (!s.ok()) std::remove(partial.c_str());
  return s;
}

}  // namespace collector
