#include <libpq-fe.h>

#include <cstdlib>
#include <string>
#include <unordered_map>

#include "collector/base/Status.h"
#include "collector/store/SqlSession.h"

namespace collector {
namespace {

constexpr Oid kByteaOid = 17;
// Distinct statements a connection keeps prepared: every statement the store
// writes (multi-row inserts of each length included) fits many times over.
constexpr size_t kMaxPrepared = 1024;

struct ResultCloser {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultCloser>;

void IgnoreNotice(void*, const char*) {}

// libpq's last message for `connection`, without its line ends.
std::string ErrorOf(const PGconn* connection) {
  std::string message = PQerrorMessage(connection);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return message;
}

class PgSession : public SqlSession {
 public:
  explicit PgSession(PGconn* connection) : connection_(connection) {
    PQsetNoticeProcessor(connection_, IgnoreNotice, nullptr);
  }
  ~PgSession() override { PQfinish(connection_); }

  SqlDialect Dialect() const override { return SqlDialect::kPostgres; }

  Status Exec(const std::string& sql, const std::vector<SqlValue>& params, const RowSink& sink) override {
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size());
    std::vector<int> lengths(params.size()), formats(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
      const SqlValue& p = params[i];
      if (p.kind == SqlValue::Kind::kNull) continue;
      if (p.kind == SqlValue::Kind::kInt) texts[i] = std::to_string(p.number);
      const std::string_view text = p.kind == SqlValue::Kind::kInt ? std::string_view(texts[i]) : p.Bytes();
      values[i] = text.data();
      lengths[i] = static_cast<int>(text.size());
      formats[i] = p.kind == SqlValue::Kind::kBlob ? 1 : 0;
    }
    const std::string* name = nullptr;
    if (auto s = Prepare(sql, static_cast<int>(params.size()), name); !s.ok()) return s;
    Result result(name ? PQexecPrepared(connection_, name->c_str(), static_cast<int>(params.size()), values.data(),
                                        lengths.data(), formats.data(), 0)
                       : PQexecParams(connection_, sql.c_str(), static_cast<int>(params.size()), nullptr,
                                      values.data(), lengths.data(), formats.data(), 0));
    if (auto s = Check(result.get()); !s.ok()) return s;
    changes_ = std::atoll(PQcmdTuples(result.get()));
    if (sink) EachRow(result.get(), sink);
    return {};
  }

  int64_t Changes() const override { return changes_; }

  Status ExecScript(const std::string& sql) override {
    Result result(PQexec(connection_, sql.c_str()));
    return Check(result.get());
  }

  Status BeginWrite() override { return ExecScript("BEGIN"); }

  // One try to connect again; a failure fails this unit of work only.
  Status Revive() override {
    if (PQstatus(connection_) != CONNECTION_BAD) return {};
    prepared_.clear();  // they went with the old connection
    PQreset(connection_);
    if (PQstatus(connection_) == CONNECTION_OK) return {};
    return Failure("cannot connect to PostgreSQL again: " + ErrorOf(connection_));
  }

 private:
  // Sets `name` to where `sql` is parsed and planned once per connection;
  // past kMaxPrepared statements it stays null and `sql` runs unprepared.
  Status Prepare(const std::string& sql, int count, const std::string*& name) {
    if (auto found = prepared_.find(sql); found != prepared_.end()) {
      name = &found->second;
      return {};
    }
    if (prepared_.size() >= kMaxPrepared) return {};
    std::string next = "q" + std::to_string(prepared_.size());
    Result result(PQprepare(connection_, next.c_str(), sql.c_str(), count, nullptr));
    if (auto s = Check(result.get()); !s.ok()) return s;
    name = &prepared_.emplace(sql, std::move(next)).first->second;
    return {};
  }

  Status Check(PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return {};
    std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(connection_);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    return Failure("PostgreSQL: " + message);
  }

  static void EachRow(PGresult* result, const RowSink& sink) {
    const int rows = PQntuples(result), columns = PQnfields(result);
    SqlRow row(columns);
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(result, r, c)) {
          row[c].reset();
        } else if (PQftype(result, c) == kByteaOid) {
          size_t size = 0;
          unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result, r, c)), &size);
          row[c] = std::string(reinterpret_cast<char*>(bytes), size);
          PQfreemem(bytes);
        } else {
          row[c] = std::string(PQgetvalue(result, r, c), PQgetlength(result, r, c));
        }
      }
      sink(row);
    }
  }

  PGconn* connection_;
  int64_t changes_ = 0;
  std::unordered_map<std::string, std::string> prepared_;  // by statement text
};

}  // namespace

Status OpenPostgres(const std::string& uri, std::unique_ptr<SqlSession>& session) {
  PGconn* connection = PQconnectdb(uri.c_str());
  if (PQstatus(connection) != CONNECTION_OK) {
    const std::string message = ErrorOf(connection);
    PQfinish(connection);
    return Failure("cannot connect to PostgreSQL: " + message);
  }
  session = std::make_unique<PgSession>(connection);
  return {};
}

}  // namespace collector
