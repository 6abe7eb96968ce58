// One contract for every store backend. SQLite always runs; PostgreSQL runs
// when the test is started inside a throwaway cluster (the ctest entry
// collector_postgresql wraps this binary in pg_virtualenv, which sets PGHOST).
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <tuple>

#include "collector/document/Digest.h"
#include "collector/base/Status.h"
#include "collector/document/Compression.h"
#include "collector/store/SqlSession.h"
#include "collector/store/Store.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

using Optional = std::optional<int64_t>;

Arrival MakeArrival(const std::string& bytes, int64_t receivedMs) {
  Arrival arrival{Hex(Sha256(bytes)), {}, static_cast<int64_t>(bytes.size()), receivedMs, "127.0.0.1"};
  EXPECT_TRUE(Pack(bytes, arrival.packed).ok());
  return arrival;
}

DocumentRows MakeRows(const std::string& machine, std::vector<EventRow> events) {
  DocumentRows rows;
  rows.machine = machine;
  rows.events = std::move(events);
  rows.dataPoints = {{"project", "files", "12"}, {"project/sub", "k", "v\"<&"}};
  rows.groups = 2;
  return rows;
}

class StoreContract : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "postgresql") {
      if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PostgreSQL cluster (run under pg_virtualenv)";
      url_ = "postgresql://";
      ASSERT_TRUE(Session().ExecScript("DROP TABLE IF EXISTS disks, machine_facts, data_points, events, documents, "
                                       "schema_migrations CASCADE; DROP FUNCTION IF EXISTS refuse_bad").ok());
    } else {
      url_ = "sqlite:" + (folder_.Root() / "store.db").string();
    }
    const Status opened = OpenStore(url_, store_);
    ASSERT_TRUE(opened.ok()) << opened.message();
  }

  SqlSession& Session() {
    const Status s = GetParam() == "postgresql" ? OpenPostgres(url_, session_) : OpenSqlite(url_.substr(7), session_);
    EXPECT_TRUE(s.ok()) << s.message();
    return *session_;
  }

  PutResult Put(const std::string& bytes, const DocumentRows& rows, int64_t receivedMs = 1000) {
    PutResult result;
    const Status s = store_->Put(MakeArrival(bytes, receivedMs), rows, result);
    EXPECT_TRUE(s.ok()) << s.message();
    return result;
  }

  // The answer of one query over everything stored, which must succeed.
  template <typename Out>
  Out Ask(Status (Store::*query)(const Filter&, Out&)) {
    Out out{};
    const Status s = (*store_.*query)(Filter{}, out);
    EXPECT_TRUE(s.ok()) << s.message();
    return out;
  }

  testing::TempFolder folder_;
  std::string url_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<SqlSession> session_;
};

// Twelve puts at once: the even ones bring the same bytes, one of the odd ones
// fails in the database; the others are stored, the same bytes once.
TEST_P(StoreContract, ConcurrentPutsStoreTheSameBytesOnceAndAFailureAlone) {
  ASSERT_TRUE(Session().ExecScript(GetParam() == "postgresql"
      ? "CREATE FUNCTION refuse_bad() RETURNS trigger AS $$ BEGIN IF NEW.sender = 'bad' THEN RAISE EXCEPTION "
        "'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql; CREATE TRIGGER refuse_bad BEFORE INSERT ON "
        "documents FOR EACH ROW EXECUTE FUNCTION refuse_bad()"
      : "CREATE TRIGGER refuse_bad BEFORE INSERT ON documents WHEN NEW.sender = 'bad' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END").ok());
  std::vector<std::thread> threads;
  std::vector<Status> statuses(12);
  std::vector<PutResult> results(12);
  for (size_t i = 0; i < statuses.size(); ++i) {
    threads.emplace_back([&, i] {
      Arrival arrival = MakeArrival(i % 2 ? "<doc n='" + std::to_string(i) + "'/>" : "<same/>", 1000);
      if (i == 5) arrival.sender = "bad";
      statuses[i] = store_->Put(arrival, MakeRows("m", {{"e", {}, {}, {}}}), results[i]);
    });
  }
  for (auto& t : threads) t.join();
  int created = 0;
  for (size_t i = 0; i < statuses.size(); ++i) {
    EXPECT_EQ(statuses[i].ok(), i != 5) << i;
    EXPECT_TRUE(i % 2 || results[i].id == results[0].id) << i;
    created += i % 2 == 0 && results[i].created;
  }
  EXPECT_EQ(created, 1);
  EXPECT_EQ(Ask(&Store::ListDocuments).size(), 6u);
  const std::vector<EventSummary> events = Ask(&Store::SummarizeEvents);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].count, 6);  // no rows of the failed one, one set of the same bytes
}

TEST_P(StoreContract, SummarizesEventsPerName) {
  std::vector<EventRow> many;
  for (int i = 1; i <= 100; ++i) many.push_back({"load", i, {}, i * 10});
  Put("<1/>", MakeRows("m1", many));
  Put("<2/>", MakeRows("m2", {{"load", 5, {}, {}}, {"quit", {}, {}, {}}}));
  Put("<3/>", MakeRows("", {{"quit", {}, {}, {}}}), 5000);
  using Row = std::tuple<std::string, int64_t, int64_t, int64_t, int64_t, Optional, Optional, Optional>;
  std::vector<Row> rows;
  for (const auto& e : Ask(&Store::SummarizeEvents)) {
    rows.emplace_back(e.name, e.count, e.documents, e.machines, e.valueSum, e.p50, e.p90, e.p99);
  }
  // A document without a machine name counts no machine.
  EXPECT_EQ(rows, (std::vector<Row>{{"load", 101, 2, 2, 5050 + 5, 500, 900, 990}, {"quit", 2, 2, 1, 0, {}, {}, {}}}));
  Put("<4/>", MakeRows("", {}), 86400000 + 7);
  EXPECT_EQ(Ask(&Store::DocumentsPerDay),
            (std::vector<std::pair<int64_t, int64_t>>{{0, 3}, {1, 1}}));
}

// Every field of a machine, disks included, as one comparable text.
std::string Describe(const MachineInfo& m) {
  auto number = [](const Optional& n) { return n ? std::to_string(*n) : std::string("-"); };
  const MachineFacts& f = m.facts;
  std::string text = m.name + "|" + std::to_string(m.documents) + "|" + std::to_string(m.lastReceivedMs) + "|" +
                     f.osCaption + "|" + f.osVersion + "|" + f.processor + "|" + number(f.logicalProcessors) + "|" +
                     number(f.ramBytes);
  for (const DiskRow& d : f.disks) text += "|" + d.drive + ":" + number(d.freeBytes) + ":" + number(d.availableBytes);
  return text;
}

// A machine's facts and disks come from its newest document that carries
// any; one machine alone is answered as in the list; names sort by bytes.
TEST_P(StoreContract, MachinesTakeTheNewestFactsAlikeInTheListAndAlone) {
  DocumentRows rows = MakeRows("b", {});
  rows.facts = {"Old", "1", "cpu", 2, 1024, {{"C:", 10, 5}}};
  Put("<1/>", rows, 1000);
  rows.facts = {"New", "2", "cpu <x>", 4, {}, {{"D:", 30, 3}, {"C:", 20, {}}}};
  Put("<2/>", rows, 2000);
  rows.facts = {};
  Put("<3/>", rows, 3000);
  rows = MakeRows("a", {});
  rows.facts.disks = {{"E:", 1, 1}};
  Put("<4/>", rows, 500);
  Put("<5/>", MakeRows("B", {}), 700);
  Put("<6/>", MakeRows("", {}), 800);

  std::vector<MachineInfo> machines;
  ASSERT_TRUE(store_->Machines(machines).ok());
  std::vector<std::string> described;
  for (const MachineInfo& m : machines) described.push_back(Describe(m));
  EXPECT_EQ(described, (std::vector<std::string>{"B|1|700||||-|-", "a|1|500||||-|-|E::1:1",
                                                  "b|3|3000|New|2|cpu <x>|4|-|D::30:3|C::20:-"}));
  for (const MachineInfo& m : machines) {
    std::optional<MachineInfo> one;
    ASSERT_TRUE(store_->Machine(m.name, one).ok());
    ASSERT_TRUE(one.has_value()) << m.name;
    EXPECT_EQ(Describe(*one), Describe(m));
  }
  for (const std::string name : {"nobody", "", "A"}) {
    std::optional<MachineInfo> none;
    ASSERT_TRUE(store_->Machine(name, none).ok());
    EXPECT_FALSE(none.has_value()) << name;
  }
  std::vector<std::string> names;
  ASSERT_TRUE(store_->MachineNames(names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"B", "a", "b"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreContract, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collector
