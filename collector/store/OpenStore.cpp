#include "collector/base/Status.h"
#include "collector/store/SqlStore.h"

namespace collector {

Status OpenStore(const std::string& url, std::unique_ptr<Store>& store) {
  std::unique_ptr<SqlStore> opened;
  if (url.rfind("sqlite:", 0) == 0) {
    const std::string path = url.substr(7);
    if (path.empty()) return Failure("the store sqlite: needs a file name, as in sqlite:dromika.db");
    // Sessions opened later must find the same file the first one did.
    auto file = std::make_shared<std::optional<FileIdentity>>();
    opened = std::make_unique<SqlStore>(
        [path, file](std::unique_ptr<SqlSession>& session) {
          if (*file) return OpenSqlite(path, session, &**file);
          FileIdentity first;
          if (auto s = OpenSqlite(path, session); !s.ok()) return s;
          if (auto s = IdentifyFile(path, first); !s.ok()) return s;
          *file = first;
          return Status();
        },
        "sqlite", true);
  } else if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
    opened = std::make_unique<SqlStore>(
        [url](std::unique_ptr<SqlSession>& session) { return OpenPostgres(url, session); }, "postgresql", true);
  } else {
    return Failure("unknown store " + url + " (use sqlite:FILE or postgresql://...)");
  }
  if (auto s = opened->Init(); !s.ok()) return s;
  store = std::move(opened);
  return {};
}

}  // namespace collector
