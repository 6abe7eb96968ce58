// One contract for every store backend. SQLite always runs; PostgreSQL runs
// when the test is started inside a throwaway cluster (the ctest entry
// collector_postgresql wraps this binary in pg_virtualenv, which sets PGHOST).
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "collector/Digest.h"
#include "collector/Failure.h"
#include "collector/Gzip.h"
#include "collector/SqlSession.h"
#include "collector/Store.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

Arrival MakeArrival(const std::string& bytes, int64_t receivedMs) {
  return {Hex(Sha256(bytes)), Pack(bytes), static_cast<int64_t>(bytes.size()), receivedMs, "127.0.0.1"};
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
      std::unique_ptr<SqlSession> session;
      ASSERT_TRUE(OpenPostgres(url_, session).ok());
      ASSERT_TRUE(session->ExecScript("DROP TABLE IF EXISTS disks, machine_facts, data_points, events, documents, "
                                      "schema_migrations CASCADE; DROP FUNCTION IF EXISTS refuse_bad").ok());
    } else {
      url_ = "sqlite:" + (folder_.Root() / "store.db").string();
    }
    const qtl::status opened = OpenStore(url_, store_);
    ASSERT_TRUE(opened.ok()) << MessageOf(opened);
  }

  Store& store() { return *store_; }
  PutResult Put(const std::string& bytes, const DocumentRows& rows, int64_t receivedMs = 1000) {
    PutResult result;
    const qtl::status s = store().Put(MakeArrival(bytes, receivedMs), rows, result);
    EXPECT_TRUE(s.ok()) << MessageOf(s);
    return result;
  }

  testing::TempFolder folder_;
  std::string url_;
  std::unique_ptr<Store> store_;
};

TEST_P(StoreContract, KeepsEachDocumentOnceWithItsBytes) {
  const std::string bytes = "<dromika>\xc3\xa9\0\r\n</dromika>";
  const PutResult first = Put(bytes, MakeRows("m1", {{"open", 3, 5, 7}}));
  const PutResult again = Put(bytes, MakeRows("m1", {{"open", 3, 5, 7}}));
  EXPECT_TRUE(first.created);
  EXPECT_FALSE(again.created);
  EXPECT_EQ(again.id, first.id);

  std::string packed, body;
  bool found = false;
  ASSERT_TRUE(store().PackedBody(first.id, packed, found).ok());
  ASSERT_TRUE(found);
  ASSERT_TRUE(Unpack(packed, body).ok());
  EXPECT_EQ(body, bytes);
  ASSERT_TRUE(store().PackedBody(first.id + 1000, packed, found).ok());
  EXPECT_FALSE(found);

  std::vector<DocumentInfo> documents;
  ASSERT_TRUE(store().ListDocuments(Filter{}, documents).ok());
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_EQ(documents[0].sha256, Hex(Sha256(bytes)));
  EXPECT_EQ(documents[0].size, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(documents[0].kind, "analytics");
  EXPECT_EQ(documents[0].state, "parsed");
}

TEST_P(StoreContract, ConcurrentPutsOfTheSameBytesStoreOne) {
  std::vector<std::thread> threads;
  std::vector<PutResult> results(8);
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] { results[i] = Put("<same/>", MakeRows("m", {{"e", {}, {}, {}}})); });
  }
  for (auto& t : threads) t.join();
  int created = 0;
  for (const auto& r : results) {
    created += r.created;
    EXPECT_EQ(r.id, results[0].id);
  }
  EXPECT_EQ(created, 1);
  std::vector<EventSummary> events;
  ASSERT_TRUE(store().SummarizeEvents(Filter{}, events).ok());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].count, 1);

}

TEST_P(StoreContract, OneFailingDocumentDoesNotFailOthersStoredWithIt) {
  std::unique_ptr<SqlSession> session;
  if (GetParam() == "postgresql") {
    ASSERT_TRUE(OpenPostgres(url_, session).ok());
    ASSERT_TRUE(session->ExecScript(
        "CREATE FUNCTION refuse_bad() RETURNS trigger AS $$ BEGIN IF NEW.sender = 'bad' THEN RAISE EXCEPTION "
        "'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql; CREATE TRIGGER refuse_bad BEFORE INSERT ON "
        "documents FOR EACH ROW EXECUTE FUNCTION refuse_bad()").ok());
  } else {
    ASSERT_TRUE(OpenSqlite(url_.substr(7), session).ok());
    ASSERT_TRUE(session->ExecScript("CREATE TRIGGER refuse_bad BEFORE INSERT ON documents WHEN NEW.sender = 'bad' "
                                    "BEGIN SELECT RAISE(ABORT, 'refused'); END").ok());
  }
  std::vector<std::thread> threads;
  std::vector<qtl::status> statuses(12);
  for (size_t i = 0; i < statuses.size(); ++i) {
    threads.emplace_back([&, i] {
      Arrival arrival = MakeArrival("<doc n='" + std::to_string(i) + "'/>", 1000);
      if (i == 5) arrival.sender = "bad";
      PutResult result;
      statuses[i] = store().Put(arrival, MakeRows("m", {{"e", {}, {}, {}}}), result);
    });
  }
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(statuses[i].ok(), i != 5) << i;
  std::vector<DocumentInfo> documents;
  ASSERT_TRUE(store().ListDocuments(Filter{}, documents).ok());
  EXPECT_EQ(documents.size(), statuses.size() - 1);
  std::vector<EventSummary> events;
  ASSERT_TRUE(store().SummarizeEvents(Filter{}, events).ok());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].count, static_cast<int64_t>(statuses.size() - 1));  // no rows of the failed one
}

TEST_P(StoreContract, ListsNewestFirstWithFilters) {
  Put("<a/>", MakeRows("m1", {}), 1000);
  Put("<b/>", MakeRows("m2", {}), 2000);
  Put("<c/>", MakeRows("m1", {}), 3000);
  struct Case {
    Filter filter;
    std::vector<int64_t> received;
  };
  const Case cases[] = {
      {Filter{}, {3000, 2000, 1000}},
      {Filter{std::nullopt, std::nullopt, "m1", "", 100}, {3000, 1000}},
      {Filter{2000, std::nullopt, "", "", 100}, {3000, 2000}},
      {Filter{std::nullopt, 3000, "", "", 100}, {2000, 1000}},
      {Filter{std::nullopt, std::nullopt, "", "", 1}, {3000}},
      {Filter{std::nullopt, std::nullopt, "nobody", "", 100}, {}},
  };
  for (const auto& c : cases) {
    std::vector<DocumentInfo> documents;
    ASSERT_TRUE(store().ListDocuments(c.filter, documents).ok());
    std::vector<int64_t> received;
    for (const auto& d : documents) received.push_back(d.receivedMs);
    EXPECT_EQ(received, c.received) << c.filter.machine << " limit " << c.filter.limit;
  }
}

TEST_P(StoreContract, SummarizesEventsPerName) {
  std::vector<EventRow> many;
  for (int i = 1; i <= 100; ++i) many.push_back({"load", i, {}, i * 10});
  Put("<1/>", MakeRows("m1", many));
  Put("<2/>", MakeRows("m2", {{"load", 5, {}, {}}, {"quit", {}, {}, {}}}));
  Put("<3/>", MakeRows("", {{"quit", {}, {}, {}}}), 5000);

  std::vector<EventSummary> events;
  ASSERT_TRUE(store().SummarizeEvents(Filter{}, events).ok());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "load");
  EXPECT_EQ(events[0].count, 101);
  EXPECT_EQ(events[0].documents, 2);
  EXPECT_EQ(events[0].machines, 2);
  EXPECT_EQ(events[0].valueSum, 5050 + 5);
  EXPECT_EQ(events[0].p50, 500);
  EXPECT_EQ(events[0].p90, 900);
  EXPECT_EQ(events[0].p99, 990);
  EXPECT_EQ(events[1].name, "quit");
  EXPECT_EQ(events[1].machines, 1);  // a document without a machine name counts no machine
  EXPECT_FALSE(events[1].p50.has_value());

  Filter filter;
  filter.name = "quit";
  filter.sinceMs = 4000;
  events.clear();
  ASSERT_TRUE(store().SummarizeEvents(filter, events).ok());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].count, 1);

  std::vector<EventTime> times;
  filter = Filter{};
  filter.name = "load";
  filter.limit = 3;
  ASSERT_TRUE(store().EventTimes(filter, times).ok());
  ASSERT_EQ(times.size(), 3u);
  EXPECT_EQ(times[0].elapsedMs, 10);
  EXPECT_EQ(times[2].receivedMs, 1000);

  std::vector<std::pair<int64_t, int64_t>> days;
  Put("<4/>", MakeRows("", {}), 86400000 + 7);
  ASSERT_TRUE(store().DocumentsPerDay(Filter{}, days).ok());
  EXPECT_EQ(days, (std::vector<std::pair<int64_t, int64_t>>{{0, 3}, {1, 1}}));
}

TEST_P(StoreContract, MachinesShowTheNewestFacts) {
  DocumentRows old = MakeRows("pc", {});
  old.facts = {"Old OS", "1", "cpu", 2, 1024, {{"C:\\", 10, 5}}};
  DocumentRows fresh = MakeRows("pc", {});
  fresh.facts = {"New OS", "2", "cpu", 4, 2048, {{"C:\\", 20, 15}, {"D:\\", std::nullopt, 1}}};
  Put("<old/>", old, 1000);
  Put("<new/>", fresh, 2000);
  Put("<bare/>", MakeRows("pc", {}), 3000);
  Put("<anon/>", MakeRows("", {}), 3000);

  std::vector<MachineInfo> machines;
  ASSERT_TRUE(store().Machines(machines).ok());
  ASSERT_EQ(machines.size(), 1u);
  EXPECT_EQ(machines[0].name, "pc");
  EXPECT_EQ(machines[0].documents, 3);
  EXPECT_EQ(machines[0].lastReceivedMs, 3000);
  EXPECT_EQ(machines[0].facts.osCaption, "New OS");
  EXPECT_EQ(machines[0].facts.logicalProcessors, 4);
  ASSERT_EQ(machines[0].facts.disks.size(), 2u);
  EXPECT_EQ(machines[0].facts.disks[1].drive, "D:\\");
  EXPECT_FALSE(machines[0].facts.disks[1].freeBytes.has_value());

  std::vector<DiskSample> disks;
  Filter filter;
  filter.machine = "pc";
  ASSERT_TRUE(store().DiskHistory(filter, disks).ok());
  ASSERT_EQ(disks.size(), 3u);
  EXPECT_EQ(disks[0].receivedMs, 1000);
  EXPECT_EQ(disks[0].disk.freeBytes, 10);
  EXPECT_EQ(disks[2].disk.drive, "D:\\");
}

TEST_P(StoreContract, ReopeningKeepsTheSchemaAndTheData) {
  Put("<kept/>", MakeRows("m", {}));
  std::unique_ptr<Store> reopened;
  ASSERT_TRUE(OpenStore(url_, reopened).ok());
  int64_t schema = 0;
  ASSERT_TRUE(reopened->Health(schema).ok());
  EXPECT_EQ(schema, 1);
  std::vector<DocumentInfo> documents;
  ASSERT_TRUE(reopened->ListDocuments(Filter{}, documents).ok());
  EXPECT_EQ(documents.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreContract, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collector
