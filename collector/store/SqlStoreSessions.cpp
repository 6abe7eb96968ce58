// SqlStore's browser sessions: in the store, so that every collector behind a
// balancer knows each one.
#include "collector/store/SqlStore.h"

namespace collector {
namespace {

// A session in use is kept alive by writing its expiry at most this often.
constexpr int64_t kExtendEveryMs = 60 * 1000;

}  // namespace

Status SqlStore::CreateSession(const std::string& digest, const SessionRecord& record, int64_t nowMs) {
  return WithSession([&](SqlSession& session) {
    Status s = session.BeginWrite();
    if (s.ok()) s = session.Exec("DELETE FROM sessions WHERE expires_ms <= $1", {SqlValue::Int(nowMs)});
    if (s.ok()) {
      s = session.Exec(
          "INSERT INTO sessions (digest, name, scopes, created_ms, expires_ms) VALUES ($1, $2, $3, $4, $5)",
          {SqlValue::Text(digest), SqlValue::Text(record.name), SqlValue::Int(record.scopes), SqlValue::Int(nowMs),
           SqlValue::Int(record.expiresMs)});
    }
    if (s.ok()) return session.ExecScript("COMMIT");
    (void)session.ExecScript("ROLLBACK");
    return s;
  });
}

Status SqlStore::FindSession(const std::string& digest, int64_t nowMs, int64_t idleMs,
                             std::optional<SessionRecord>& out) {
  out.reset();
  return WithSession([&](SqlSession& session) {
    auto s = session.Exec("SELECT name, scopes, expires_ms FROM sessions WHERE digest = $1 AND expires_ms > $2",
                          {SqlValue::Text(digest), SqlValue::Int(nowMs)}, [&](const SqlRow& row) {
                            out = SessionRecord{row[0].value_or(""), static_cast<unsigned>(AsInt(row[1]).value_or(0)),
                                                AsInt(row[2]).value_or(0)};
                          });
    if (!s.ok() || !out || nowMs + idleMs - out->expiresMs < kExtendEveryMs) return s;
    out->expiresMs = nowMs + idleMs;
    return session.Exec("UPDATE sessions SET expires_ms = $1 WHERE digest = $2",
                        {SqlValue::Int(out->expiresMs), SqlValue::Text(digest)});
  });
}

Status SqlStore::EndSession(const std::string& digest) {
  return WithSession([&](SqlSession& session) {
    return session.Exec("DELETE FROM sessions WHERE digest = $1", {SqlValue::Text(digest)});
  });
}

}  // namespace collector
