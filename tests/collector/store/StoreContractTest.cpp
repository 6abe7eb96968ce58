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
#include "collector/document/DocumentReader.h"
#include "collector/store/SqlSession.h"
#include "collector/store/SqlValueRollup.h"
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

// Rows made by hand, handed over in one batch, the summary known ahead.
class FixedRows : public RowSource {
 public:
  FixedRows(const std::string& machine, std::vector<EventRow> events, MachineFacts facts = {}) {
    summary_.machine = machine;
    batch_.disks = std::move(facts.disks);
    facts.disks.clear();
    summary_.facts = std::move(facts);
    summary_.disks = static_cast<int64_t>(batch_.disks.size());
    summary_.events = static_cast<int64_t>(events.size());
    summary_.groups = 2;
    batch_.events = std::move(events);
    batch_.groups = {{{}, "project"}, {0, "sub"}};
    batch_.dataPoints = {{0, "files", "12"}, {1, "k", "v\"<&"}};
  }
  FixedRows&& Points(std::vector<GroupRow> groups, std::vector<DataPointRow> points) && {
    batch_.groups = std::move(groups);
    batch_.dataPoints = std::move(points);
    return std::move(*this);
  }
  FixedRows&& Report() && {
    summary_.kind = DocumentKind::kReport;
    return std::move(*this);
  }
  Status Rewind() override { return {}; }
  Status Next(RowBatch& batch, bool& done) override {
    batch = batch_;
    done = true;
    return {};
  }
  const DocumentSummary& Summary() const override { return summary_; }
  bool ReadAhead() const override { return true; }

 private:
  RowBatch batch_;
  DocumentSummary summary_;
};

class StoreContract : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "postgresql") {
      if (!std::getenv("PGHOST")) GTEST_SKIP() << "no PostgreSQL cluster (run under pg_virtualenv)";
      url_ = "postgresql://";
      ASSERT_TRUE(Session().ExecScript("DROP TABLE IF EXISTS disks, machine_facts, data_points, groups, events, "
                                       "documents, sessions, schema_migrations, machines, inventory_products, "
                                       "inventory_adapters, product_names, product_versions, event_days, "
                                       "event_hours, event_machine_days, event_elapsed_days, event_elapsed_totals, "
                                       "event_machine_last, event_value_days, event_value_hours, event_value_elapsed_days, "
                                       "data_point_days, value_rollup_backlog, document_keys, document_days, "
                                       "event_name_last_days, document_event_names CASCADE; DROP FUNCTION IF EXISTS refuse_bad, document_month, "
                                       "document_removed, drop_document_months, document_days_count, event_name_last_count")
                      .ok());
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

  PutResult Put(const std::string& bytes, RowSource&& rows, int64_t receivedMs = 1000) {
    PutResult result;
    const Status s = store_->Put(MakeArrival(bytes, receivedMs), rows, result);
    EXPECT_TRUE(s.ok()) << s.message();
    return result;
  }

  Removed Remove(const Selection& selection) {
    Removed removed;
    const Status s = store_->RemoveDocuments(selection, removed);
    EXPECT_TRUE(s.ok()) << s.message();
    return removed;
  }

  // The rows of one query, each column as text ("-" for NULL).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    const Status s = Session().Exec(sql, {}, [&](const SqlRow& row) {
      rows.emplace_back();
      for (const auto& column : row) rows.back().push_back(column.value_or("-"));
    });
    EXPECT_TRUE(s.ok()) << s.message();
    return rows;
  }

  // The answer of one query over everything stored, which must succeed.
  template <typename Out>
  Out Ask(Status (Store::*query)(const Filter&, Out&)) {
    Out out{};
    const Status s = (*store_.*query)(Filter{}, out);
    EXPECT_TRUE(s.ok()) << s.message();
    return out;
  }

  // The database fails every insert into `table` of a row meeting `condition`.
  void RefuseInserts(const std::string& table, const std::string& condition) {
    ASSERT_TRUE(Session().ExecScript(GetParam() == "postgresql"
        ? "CREATE FUNCTION refuse_bad() RETURNS trigger AS $$ BEGIN IF " + condition + " THEN RAISE EXCEPTION "
          "'refused'; END IF; RETURN NEW; END $$ LANGUAGE plpgsql; CREATE TRIGGER refuse_bad BEFORE INSERT ON " +
          table + " FOR EACH ROW EXECUTE FUNCTION refuse_bad()"
        : "CREATE TRIGGER refuse_bad BEFORE INSERT ON " + table + " WHEN " + condition +
          " BEGIN SELECT RAISE(ABORT, 'refused'); END").ok());
  }

  testing::TempFolder folder_;
  std::string url_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<SqlSession> session_;
};

// Twelve puts at once: the even ones bring the same bytes, one of the odd ones
// fails in the database; the others are stored, the same bytes once.
TEST_P(StoreContract, ConcurrentPutsStoreTheSameBytesOnceAndAFailureAlone) {
  RefuseInserts("documents", "NEW.sender = 'bad'");
  std::vector<std::thread> threads;
  std::vector<Status> statuses(12);
  std::vector<PutResult> results(12);
  for (size_t i = 0; i < statuses.size(); ++i) {
    threads.emplace_back([&, i] {
      Arrival arrival = MakeArrival(i % 2 ? "<doc n='" + std::to_string(i) + "'/>" : "<same/>", 1000);
      if (i == 5) arrival.sender = "bad";
      FixedRows rows("m", {{"e", {}, {}, {}}});
      statuses[i] = store_->Put(arrival, rows, results[i]);
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

// Several documents at once, as import stores them: ids in the order given,
// the same bytes once, and one the database fails left out alone.
TEST_P(StoreContract, PutEachStoresInOrderAndAFailureAlone) {
  RefuseInserts("documents", "NEW.sender = 'bad'");
  std::vector<Arrival> arrivals;
  for (const char* body : {"<a/>", "<b/>", "<a/>", "<c/>", "<d/>"}) arrivals.push_back(MakeArrival(body, 1000));
  arrivals[3].sender = "bad";
  std::vector<FixedRows> rows(arrivals.size(), FixedRows("m", {{"e", {}, {}, {}}}));
  std::vector<PutResult> results(arrivals.size());
  std::vector<PutItem> items;
  for (size_t i = 0; i < arrivals.size(); ++i) items.push_back({&arrivals[i], &rows[i], &results[i], {}});
  store_->PutEach(items);
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].status.ok(), i != 3) << i;
  EXPECT_TRUE(results[0].id < results[1].id && results[1].id < results[4].id);
  EXPECT_EQ(results[2].id, results[0].id);
  EXPECT_FALSE(results[2].created);
  EXPECT_EQ(Ask(&Store::ListDocuments).size(), 3u);
}

TEST_P(StoreContract, SummarizesEventsPerName) {
  std::vector<EventRow> many;
  for (int i = 1; i <= 100; ++i) many.push_back({"load", i, {}, i * 10});
  Put("<1/>", FixedRows("m1", many));
  Put("<2/>", FixedRows("m2", {{"load", 5, {}, {}}, {"quit", {}, {}, {}}}));
  Put("<3/>", FixedRows("", {{"quit", {}, {}, {}}}), 5000);
  using Row = std::tuple<std::string, int64_t, int64_t, int64_t, int64_t, Optional, Optional, Optional>;
  std::vector<Row> rows;
  for (const auto& e : Ask(&Store::SummarizeEvents)) {
    rows.emplace_back(e.name, e.count, e.documents, e.machines, e.valueSum, e.p50, e.p90, e.p99);
  }
  // A document without a machine name counts no machine; elapsed times
  // rank by bucket (496 holds 496..511), alike from the rollups (whole days,
  // every machine) and from the events (one machine, or inside a day).
  EXPECT_EQ(rows, (std::vector<Row>{{"load", 101, 2, 2, 5050 + 5, 496, 896, 960}, {"quit", 2, 2, 1, 0, {}, {}, {}}}));
  for (Filter raw : {Filter{1, {}, "", "", "load"}, Filter{{}, 86400000, "", "", "load"}, Filter{{}, {}, "m1", "", "load"}}) {
    std::vector<EventSummary> one;
    const Status asked = store_->SummarizeEvents(raw, one);
    ASSERT_TRUE(asked.ok()) << asked.message();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(std::tie(one[0].p50, one[0].p90, one[0].p99), std::make_tuple(Optional(496), Optional(896), Optional(960)));
    EXPECT_EQ(one[0].count, raw.machine.empty() ? 101 : 100);
  }
  // The documents that hold a name, newest first.
  std::vector<DocumentInfo> quitting;
  ASSERT_TRUE(store_->ListDocuments(Filter{{}, {}, "", "", "quit"}, quitting).ok());
  ASSERT_EQ(quitting.size(), 2u);
  EXPECT_EQ(std::tie(quitting[0].receivedMs, quitting[1].machine), std::make_tuple(int64_t{5000}, std::string("m2")));
  // Open-ended windows and bounded ones count machines alike.
  Put("<late/>", FixedRows("m3", {{"load", {}, {}, 5}}), 3 * 86400000);
  for (Filter window : {Filter{86400000, {}, "", "", ""}, Filter{86400000, 4 * 86400000, "", "", ""}}) {
    std::vector<EventSummary> later;
    ASSERT_TRUE(store_->SummarizeEvents(window, later).ok());
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(std::tie(later[0].count, later[0].machines, later[0].p50), std::make_tuple(1, 1, Optional(5)));
  }
  std::vector<std::pair<int64_t, int64_t>> perDay, elapsed;
  ASSERT_TRUE(store_->EventHistogram(Filter{{}, {}, "", "", "load"}, perDay, elapsed).ok());
  EXPECT_EQ(perDay, (std::vector<std::pair<int64_t, int64_t>>{{0, 101}, {3, 1}}));
  EXPECT_EQ(elapsed.front(), std::make_pair(int64_t{5}, int64_t{1}));
  Rows("DELETE FROM events WHERE document_id IN (SELECT id FROM documents WHERE received_ms > 86400000)");
  Rows("DELETE FROM documents WHERE received_ms > 86400000");
  Put("<4/>", FixedRows("", {}), 86400000 + 7);
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
  Put("<1/>", FixedRows("b", {}, {"Old", "1", "cpu", 2, 1024, {{"C:", 10, 5}}}), 1000);
  Put("<2/>", FixedRows("b", {}, {"New", "2", "cpu <x>", 4, {}, {{"D:", 30, 3}, {"C:", 20, {}}}}), 2000);
  Put("<3/>", FixedRows("b", {}), 3000);
  Put("<4/>", FixedRows("a", {}, {"", "", "", {}, {}, {{"E:", 1, 1}}}), 500);
  Put("<5/>", FixedRows("B", {}), 700);
  Put("<6/>", FixedRows("", {}), 800);

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

// Neighbours pass over other machines and, when asked, other kinds; equal
// times are ordered by id, as the document lists are.
TEST_P(StoreContract, FindsADocumentAndItsNeighboursOnOneMachine) {
  const int64_t a = Put("<1/>", FixedRows("m", {}).Report(), 1000).id;
  const int64_t b = Put("<2/>", FixedRows("m", {}), 2000).id;
  Put("<3/>", FixedRows("other", {}).Report(), 2000);
  const int64_t c = Put("<4/>", FixedRows("m", {}).Report(), 2000).id;
  std::optional<DocumentInfo> info;
  ASSERT_TRUE(store_->Document(c, info).ok());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(std::tie(info->machine, info->kind, info->receivedMs, info->size), std::make_tuple("m", "report", 2000, 4));
  Optional before, after;
  ASSERT_TRUE(store_->Neighbours(*info, "", before, after).ok());
  EXPECT_EQ(std::tie(before, after), std::make_tuple(Optional(b), Optional()));
  ASSERT_TRUE(store_->Neighbours(*info, "report", before, after).ok());
  EXPECT_EQ(before, a);
  ASSERT_TRUE(store_->Document(a, info).ok());
  ASSERT_TRUE(store_->Neighbours(*info, "", before, after).ok());
  EXPECT_EQ(std::tie(before, after), std::make_tuple(Optional(), Optional(b)));
  ASSERT_TRUE(store_->Document(c + 100, info).ok());
  EXPECT_FALSE(info.has_value());
  Filter reports;
  reports.machine = "m";
  reports.kind = "report";
  std::vector<DocumentInfo> listed;
  ASSERT_TRUE(store_->ListDocuments(reports, listed).ok());
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(std::make_pair(listed[0].id, listed[1].id), std::make_pair(c, a));
}

using Table = std::vector<std::vector<std::string>>;

// Each group is stored once, numbered in document order, and its data points
// read back with the paths they always had, though handed over in batches.
TEST_P(StoreContract, StoresEachGroupOnceAndReadsPathsBack) {
  const std::string xml = "<dromika><app build='7'><ui><pane n='1'><tab t='a' u='b'/></pane><pane n='2'/></ui>"
                          "<none/></app><top k='v'/></dromika>";
  DocumentReader::Limits small;
  small.batchRows = 2;
  EXPECT_TRUE(Put(xml, DocumentReader(xml, small)).created);
  EXPECT_EQ(Rows("SELECT seq, parent, name FROM groups ORDER BY seq"),
            (Table{{"0", "-", "app"}, {"1", "0", "ui"}, {"2", "1", "pane"}, {"3", "2", "tab"}, {"4", "1", "pane"},
                   {"5", "-", "top"}}));
  EXPECT_EQ(Rows("SELECT seq, group_path, name, value FROM data_point_paths ORDER BY seq"),
            (Table{{"0", "app", "build", "7"}, {"1", "app/ui/pane", "n", "1"}, {"2", "app/ui/pane/tab", "t", "a"},
                   {"3", "app/ui/pane/tab", "u", "b"}, {"4", "app/ui/pane", "n", "2"}, {"5", "top", "k", "v"}}));
  const std::vector<DocumentInfo> documents = Ask(&Store::ListDocuments);
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_EQ(std::tie(documents[0].kind, documents[0].state), std::make_tuple("analytics", "parsed"));
}

// A document refused by its reader or failed by the database halfway
// through its rows leaves nothing behind; a document found broken after
// some of its rows went in is kept unparsed without them.
TEST_P(StoreContract, KeepsNothingOfADocumentRefusedOrFailedHalfway) {
  std::string broken = "<dromika><app>";
  for (int i = 0; i < 30; ++i) broken += "<g a='" + std::to_string(i) + "'/>";
  const std::string whole = broken + "</app></dromika>";
  broken.replace(broken.find("'20'"), 4, "'-'");  // past the database's refusal below
  DocumentReader::Limits limits;
  limits.batchRows = 4;
  limits.budget = RowBudget{40, 1 << 20};  // 61 rows: refused after several batches
  DocumentReader over(whole, limits);
  PutResult result;
  EXPECT_EQ(store_->Put(MakeArrival(whole, 1000), over, result).code(), StatusCode::kTooLarge);
  EXPECT_EQ(std::tie(result.id, result.created), std::make_tuple(int64_t{0}, false));
  RefuseInserts("data_points", "NEW.value = '20'");
  limits.budget.reset();
  DocumentReader failing(whole, limits);
  EXPECT_EQ(store_->Put(MakeArrival(whole, 1000), failing, result).code(), StatusCode::kUnavailable);
  EXPECT_TRUE(Ask(&Store::ListDocuments).empty());
  EXPECT_TRUE(Put(broken, DocumentReader(broken, limits)).created);
  const std::vector<DocumentInfo> documents = Ask(&Store::ListDocuments);
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_EQ(std::tie(documents[0].state, documents[0].size), std::make_tuple("unparsed", int64_t(broken.size())));
  EXPECT_EQ(Rows("SELECT (SELECT COUNT(*) FROM groups) + (SELECT COUNT(*) FROM data_points)"), (Table{{"0"}}));
}

// $N is the N-th value wherever it stands, however often, and again on the
// statement's next run.
TEST_P(StoreContract, ParametersAreBoundByTheirNumber) {
  SqlSession& session = Session();
  for (const char* last : {"c", "d"}) {
    std::vector<std::string> row;
    const Status s =
        session.Exec("SELECT $3, $1, $3 || $2", {SqlValue::Text("a"), SqlValue::Text("b"), SqlValue::Text(last)},
                     [&](const SqlRow& r) {
                       for (const auto& column : r) row.push_back(column.value_or("-"));
                     });
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_EQ(row, (std::vector<std::string>{last, "a", std::string(last) + "b"}));
  }
}

// Rows of any table whose document is gone.
constexpr const char* kOrphans =
    "SELECT (SELECT COUNT(*) FROM events WHERE document_id NOT IN (SELECT id FROM documents))"
    " + (SELECT COUNT(*) FROM groups WHERE document_id NOT IN (SELECT id FROM documents))"
    " + (SELECT COUNT(*) FROM data_points WHERE document_id NOT IN (SELECT id FROM documents))"
    " + (SELECT COUNT(*) FROM machine_facts WHERE document_id NOT IN (SELECT id FROM documents))"
    " + (SELECT COUNT(*) FROM disks WHERE document_id NOT IN (SELECT id FROM documents))"
    " + (SELECT COUNT(*) FROM document_event_names WHERE document_id NOT IN (SELECT id FROM documents))";

// A removal takes every row of the documents it selects, from every table,
// and nothing of the others; so does a plain DELETE of documents by hand,
// through the schema's cascades; removed space is given back.
TEST_P(StoreContract, RemovesEveryRowOfTheSelectedDocumentsAndNothingElse) {
  const MachineFacts facts{"OS", "1", "cpu", 2, 1024, {{"C:", 10, 5}, {"D:", 1, 1}}};
  const std::vector<EventRow> events = {{"a", 1, {}, 5}, {"b", {}, {}, {}}};
  const int64_t gone = Put("<1/>", FixedRows("gone", events, facts), 1000).id;
  Put(std::string(100000, ' ') + "<2/>", FixedRows("gone", events, facts), 2000);
  const int64_t kept = Put("<3/>", FixedRows("kept", events, facts), 500).id;
  const int64_t old = Put("<4/>", FixedRows("old", events), 100).id;

  std::optional<DocumentInfo> document;
  ASSERT_TRUE(store_->Document(gone, document).ok());
  ASSERT_TRUE(document.has_value());
  EXPECT_EQ(std::tie(document->machine, document->receivedMs), std::make_tuple("gone", int64_t{1000}));
  Selection machine;
  machine.machine = "gone";
  Removed removed = Remove(machine);
  EXPECT_EQ(std::vector<int64_t>({removed.documents, removed.events, removed.groups, removed.dataPoints,
                                  removed.machineFacts, removed.disks}),
            std::vector<int64_t>({2, 4, 4, 4, 2, 4}));
  ASSERT_TRUE(store_->Document(gone, document).ok());
  EXPECT_FALSE(document.has_value());
  EXPECT_EQ(Rows(kOrphans), (Table{{"0"}}));
  EXPECT_EQ(Rows("SELECT machine, (SELECT COUNT(*) FROM events e WHERE e.document_id = d.id),"
                 " (SELECT COUNT(*) FROM disks k WHERE k.document_id = d.id) FROM documents d ORDER BY machine"),
            (Table{{"kept", "2", "2"}, {"old", "2", "0"}}));

  Selection before;
  before.beforeMs = 500;
  ASSERT_TRUE(store_->RemoveDocuments(before, removed).ok());
  EXPECT_EQ(removed.documents, 1);
  ASSERT_TRUE(store_->Document(old, document).ok());
  EXPECT_FALSE(document.has_value());
  EXPECT_TRUE(store_->RemoveDocuments(Selection{}, removed).code() == StatusCode::kInvalid);
  ASSERT_TRUE(store_->Reclaim(false).ok());
  if (GetParam() == "sqlite") EXPECT_EQ(Rows("PRAGMA freelist_count"), (Table{{"0"}}));

  ASSERT_TRUE(Session().Exec("DELETE FROM documents WHERE id = $1", {SqlValue::Int(kept)}).ok());
  EXPECT_EQ(Rows(kOrphans), (Table{{"0"}}));
}

// A session is found until it has been idle too long, kept alive by use,
// shared by every store on the database, and gone once ended.
TEST_P(StoreContract, KeepsSessionsUntilIdleOrEnded) {
  constexpr int64_t kIdle = 1000 * 1000;
  ASSERT_TRUE(store_->CreateSession("old", {"x", 1, 50}, 0).ok());
  ASSERT_TRUE(store_->CreateSession("d1", {"alice", 6, 100 + kIdle}, 0).ok());
  EXPECT_EQ(Rows("SELECT digest FROM sessions ORDER BY digest"), (Table{{"d1"}, {"old"}}));
  ASSERT_TRUE(store_->CreateSession("d2", {"bob", 2, 100 + kIdle}, 100).ok());
  EXPECT_EQ(Rows("SELECT digest FROM sessions ORDER BY digest"), (Table{{"d1"}, {"d2"}}));  // the expired one went

  std::unique_ptr<Store> other;
  ASSERT_TRUE(OpenStore(url_, other).ok());
  std::optional<SessionRecord> found;
  ASSERT_TRUE(other->FindSession("d1", kIdle, kIdle, found).ok());  // used just before it would expire
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(std::tie(found->name, found->scopes, found->expiresMs), std::make_tuple("alice", 6u, 2 * kIdle));
  ASSERT_TRUE(store_->FindSession("d1", 2 * kIdle - 1, kIdle, found).ok());
  EXPECT_TRUE(found.has_value());
  ASSERT_TRUE(store_->FindSession("d2", 100 + kIdle, kIdle, found).ok());
  EXPECT_FALSE(found.has_value());
  ASSERT_TRUE(store_->EndSession("d1").ok());
  ASSERT_TRUE(other->FindSession("d1", kIdle, kIdle, found).ok());
  EXPECT_FALSE(found.has_value());
}

// A report of `machine` with these products (name, version) and adapters.
std::string ReportXml(const std::string& machine, const std::vector<std::pair<std::string, std::string>>& products,
                      const std::vector<AdapterRow>& adapters = {}, const std::string& tag = "") {
  std::string xml = "<dromika v='" + tag + "'><networking>";
  for (const AdapterRow& a : adapters) {
    xml += "<adapter description='" + a.description + "' address='" + a.hardwareAddress + "'>";
    for (const std::string& ip : a.ipv4) xml += "<ip v='4' address='" + ip + "' mask=''/>";
    xml += "</adapter>";
  }
  xml += "</networking><system><wmi><Win32_ComputerSystem Name='" + machine + "'/></wmi></system><disks/><registry/>"
         "<products>";
  for (const auto& [name, version] : products) {
    xml += "<product name='" + name + "' installedversion='" + version + "' installlocation='C:\\'/>";
  }
  return xml + "</products><filesystem/><processes/></dromika>";
}

std::vector<std::string> Names(const std::vector<MachineInfo>& machines) {
  std::vector<std::string> names;
  for (const MachineInfo& m : machines) names.push_back(m.name);
  return names;
}

// The newest report (made last, then stored last) gives a machine its
// inventory: a report that arrives late, or an imported file made before
// the one held, changes nothing; the fleet's counts follow, and a machine
// is rebuilt from what it has left.
TEST_P(StoreContract, InventoryTakesTheNewestReportAndCountsFollow) {
  auto report = [&](const std::string& machine, std::vector<std::pair<std::string, std::string>> products,
                    int64_t receivedMs) {
    const std::string xml = ReportXml(machine, products, {}, std::to_string(receivedMs));
    EXPECT_TRUE(Put(xml, DocumentReader(xml), receivedMs).created);
    return xml;
  };
  report("pc", {{"Tool", "1"}, {"Suite", "5"}}, 5000);
  const std::string r2 = report("pc", {{"Tool", "2"}}, 9000);
  report("pc", {{"Tool", "0"}}, 7000);  // arrives late: made before r2
  const std::string old = ReportXml("pc", {{"Tool", "old"}});
  Arrival imported = MakeArrival(old, 20000);
  imported.takenMs = 6000;
  PutResult result;
  DocumentReader oldRows(old);
  ASSERT_TRUE(store_->Put(imported, oldRows, result).ok());
  report("other", {{"Tool", "2"}, {"Tool", "3"}}, 8000);
  Put("<a/>", FixedRows("pc", {{"e", {}, {}, {}}}), 30000);  // analytics: no inventory of its own

  ProductPage products;
  ASSERT_TRUE(store_->Products({}, products).ok());
  ASSERT_EQ(products.products.size(), 1u);
  const ProductCount& tool = products.products[0];
  EXPECT_EQ(std::tie(tool.name, tool.machines), std::make_tuple("Tool", 2));
  ASSERT_EQ(tool.versions.size(), 2u);
  EXPECT_EQ(std::tie(tool.versions[0].version, tool.versions[0].machines), std::make_tuple("2", 2));
  EXPECT_EQ(std::tie(tool.versions[1].version, tool.versions[1].machines), std::make_tuple("3", 1));
  ProductMachinesPage installs;
  ASSERT_TRUE(store_->ProductMachines("Tool", "", 2, installs).ok());
  EXPECT_EQ(installs.machines, (std::vector<std::pair<std::string, std::string>>{{"2", "other"}, {"2", "pc"}}));
  const std::string next = installs.next;
  ASSERT_TRUE(store_->ProductMachines("Tool", next, 2, installs).ok());
  EXPECT_EQ(installs.machines, (std::vector<std::pair<std::string, std::string>>{{"3", "other"}}));
  EXPECT_TRUE(installs.next.empty());
  ASSERT_TRUE(store_->ProductMachines("Suite", "", 10, installs).ok());
  EXPECT_FALSE(installs.product.has_value());

  // The newest report is deleted: the one made before it takes its place.
  Rows("DELETE FROM documents WHERE sha256 = '" + MakeArrival(r2, 0).sha256 + "'");
  ASSERT_TRUE(store_->RebuildInventory("pc").ok());
  MachineQuery query;
  query.product = "Tool";
  query.version = "0";
  MachinePage page;
  ASSERT_TRUE(store_->FindMachines(query, page).ok());
  EXPECT_EQ(Names(page.machines), (std::vector<std::string>{"pc"}));
  EXPECT_EQ(page.machines[0].documents, 4);
  ASSERT_TRUE(store_->Products({}, products).ok());
  EXPECT_EQ(products.products[0].versions.size(), 3u);  // 0, 2 and 3 on one machine each
  Rows("DELETE FROM documents WHERE machine = 'other'");
  ASSERT_TRUE(store_->RebuildInventory("other").ok());
  ASSERT_TRUE(store_->Products({}, products).ok());
  ASSERT_EQ(products.products.size(), 1u);
  EXPECT_EQ(products.products[0].machines, 1);
  std::optional<MachineInfo> gone;
  ASSERT_TRUE(store_->Machine("other", gone).ok());
  EXPECT_FALSE(gone.has_value());
}

// A name in any case, an IPv4 address or a hardware address (either
// spelling) finds a machine; LIKE's own characters match only themselves.
TEST_P(StoreContract, FindsMachinesByNameAndAddresses) {
  for (const std::string& xml : {ReportXml("Web-01", {}, {{"eth", "00-1A-2B-3C-4D-5E", {"10.0.0.5", "192.168.1.20"}}}),
                                 ReportXml("db_1", {}, {{"eth", "aa:bb:cc:dd:ee:ff", {"10.0.0.50"}}})}) {
    Put(xml, DocumentReader(xml));
  }
  Put("<3/>", FixedRows("dbx1", {}));
  auto find = [&](const std::string& text) {
    MachineQuery query;
    query.text = text;
    MachinePage page;
    EXPECT_TRUE(store_->FindMachines(query, page).ok()) << text;
    return Names(page.machines);
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(find("WEB"), Names{"Web-01"});
  EXPECT_EQ(find("10.0.0.5"), Names{"Web-01"});
  EXPECT_EQ(find("192.168.1.20"), Names{"Web-01"});
  EXPECT_EQ(find("00:1A:2B:3C:4D:5E"), Names{"Web-01"});
  EXPECT_EQ(find("aa-bb-cc-dd-ee-ff"), Names{"db_1"});
  EXPECT_EQ(find("db_"), Names{"db_1"});
  EXPECT_EQ(find("%"), Names{});
  EXPECT_EQ(find("10.0.0"), Names{});
  MachineQuery bad;
  bad.after = "zz";
  MachinePage page;
  EXPECT_EQ(store_->FindMachines(bad, page).code(), StatusCode::kInvalid);
}

// Pages of a sorted selection, walked forward while machines keep arriving
// and then back, hold every machine that was there once, in order.
TEST_P(StoreContract, KeysetPagesNeitherSkipNorRepeatWhileUploadsArrive) {
  for (int i = 0; i < 9; ++i) Put("<m" + std::to_string(i) + "/>", FixedRows("m" + std::to_string(i), {}), 1000 + i);
  MachineQuery query;
  query.sort = MachineQuery::Sort::kLastSeen;
  query.descending = true;
  query.limit = 4;
  std::vector<std::string> seen;
  std::vector<std::string> cursors;
  for (int page = 0; page < 5; ++page) {
    MachinePage out;
    ASSERT_TRUE(store_->FindMachines(query, out).ok());
    for (const auto& name : Names(out.machines)) seen.push_back(name);
    // Arrives meanwhile: before the cursor, so on no page still to come.
    Put("<new" + std::to_string(page) + "/>", FixedRows("new" + std::to_string(page), {}), 5000 + page);
    if (out.next.empty()) break;
    cursors.push_back(out.previous);
    query.after = out.next;
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"m8", "m7", "m6", "m5", "m4", "m3", "m2", "m1", "m0"}));
  query.after = cursors.back();
  query.backward = true;
  MachinePage back;
  ASSERT_TRUE(store_->FindMachines(query, back).ok());
  EXPECT_EQ(Names(back.machines), (std::vector<std::string>{"m8", "m7", "m6", "m5"}));
  EXPECT_FALSE(back.previous.empty());  // the machines that arrived meanwhile
}

// Every event summary the store gives: from the rollups over an open and a
// bounded window, and from the events themselves (a window that starts
// inside a day), as comparable text.
std::vector<std::string> Summaries(Store& store) {
  std::vector<std::string> out;
  for (const Filter& window : {Filter{0, {}, "", "", ""}, Filter{0, 100 * 86400000LL, "", "", ""},
                               Filter{1, {}, "", "", ""}}) {
    std::vector<EventSummary> events;
    EXPECT_TRUE(store.SummarizeEvents(window, events).ok());
    std::string text;
    for (const EventSummary& e : events) {
      text += e.name + ":" + std::to_string(e.count) + "/" + std::to_string(e.documents) + "/" +
              std::to_string(e.machines) + "/" + std::to_string(e.valueSum) + "/" + std::to_string(e.p50.value_or(-1)) +
              "/" + std::to_string(e.p99.value_or(-1)) + " ";
    }
    out.push_back(text);
  }
  return out;
}

// Removals by id, by machine and by age leave the inventory, the product
// counts and the event rollups as the remaining documents would make them,
// and nothing anywhere of a machine removed on request.
TEST_P(StoreContract, RemovalsKeepTheInventoryAndRollupsTrue) {
  constexpr int64_t kDay = 86400000;
  auto report = [&](const std::string& machine, std::vector<std::pair<std::string, std::string>> products,
                    int64_t receivedMs) {
    const std::string xml = ReportXml(machine, products, {{"eth", "00-11-22-33-44-55", {"10.1.1.1"}}},
                                      std::to_string(receivedMs));
    return Put(xml, DocumentReader(xml), receivedMs).id;
  };
  const std::vector<EventRow> events = {{"a", 3, {}, 5}, {"a", 4, {}, 700}, {"b", {}, {}, {}}};
  report("gone", {{"A", "1"}, {"B", "1"}}, 1000);
  Put("<g1/>", FixedRows("gone", events), 2000);
  Put("<g2/>", FixedRows("gone", events), 2 * kDay + 5);
  report("kept", {{"A", "1"}}, 3000);
  const int64_t newest = report("kept", {{"A", "2"}}, kDay + 10);
  const int64_t early = Put("<k1/>", FixedRows("kept", events), 4000).id;
  Put("<k2/>", FixedRows("kept", {{"a", 1, {}, 90}}), 4000 + 3600000);
  Put("<k3/>", FixedRows("kept", events), kDay + 20);

  // What Rebuild makes of every machine from its documents is the truth the
  // tables kept along the way must equal.
  const std::string inventory =
      "SELECT name, documents, last_received_ms, facts_document_id, report_document_id, os_caption FROM machines"
      " UNION ALL SELECT name, machines, 0, 0, 0, '' FROM product_names"
      " UNION ALL SELECT name || ' ' || version, machines, 0, 0, 0, '' FROM product_versions"
      " UNION ALL SELECT name || ' ' || version, document_id, seq, 0, 0, '' FROM inventory_products"
      " UNION ALL SELECT hardware_address, document_id, seq, 0, 0, ipv4 FROM inventory_adapters ORDER BY 1, 2, 3";
  const std::string hours =
      "SELECT hour, name, events, documents, value_sum, elapsed_events FROM event_hours"
      " EXCEPT SELECT d.received_ms / 3600000, e.name, COUNT(*), COUNT(DISTINCT d.id), COALESCE(SUM(e.value), 0),"
      " COUNT(e.elapsed_ms) FROM documents d JOIN events e ON e.document_id = d.id"
      " GROUP BY d.received_ms / 3600000, e.name";
  auto expectTrue = [&](const std::string& step) {
    SCOPED_TRACE(step);
    ASSERT_TRUE(store_->CatchUp().ok());
    const Table kept = Rows(inventory);
    const std::vector<std::string> summaries = Summaries(*store_);
    for (const std::string& machine : {"gone", "kept"}) ASSERT_TRUE(store_->RebuildInventory(machine).ok());
    EXPECT_EQ(Rows(inventory), kept);
    EXPECT_EQ(summaries[0], summaries[2]);
    EXPECT_EQ(summaries[1], summaries[2]);
    std::vector<std::pair<int64_t, int64_t>> counted, read;
    ASSERT_TRUE(store_->DocumentsPerDay(Filter{}, counted).ok());
    ASSERT_TRUE(store_->DocumentsPerDay(Filter{1, {}, "", "", ""}, read).ok());
    EXPECT_EQ(counted, read);
    EXPECT_EQ(Rows(hours), Table{});
    // Each document here holds two data points, one value each.
    EXPECT_EQ(Rows("SELECT COALESCE(SUM(documents), 0) FROM data_point_days"),
              Rows("SELECT COUNT(*) FROM data_points"));
  };
  expectTrue("stored");
  Selection one;
  for (int64_t id : {newest, early}) {
    one.id = id;
    Remove(one);
    expectTrue("document " + std::to_string(id));
  }
  Selection machine;
  machine.machine = "gone";
  Remove(machine);
  expectTrue("machine");
  EXPECT_EQ(Rows("SELECT (SELECT COUNT(*) FROM documents WHERE machine = 'gone')"
                 " + (SELECT COUNT(*) FROM machines WHERE name = 'gone')"
                 " + (SELECT COUNT(*) FROM event_machine_days WHERE machine = 'gone')"
                 " + (SELECT COUNT(*) FROM event_machine_last WHERE machine = 'gone')"
                 " + (SELECT COUNT(*) FROM inventory_products WHERE name = 'B')"
                 " + (SELECT COUNT(*) FROM product_names WHERE name = 'B')"),
            (Table{{"0"}}));
  Selection old;
  old.beforeMs = kDay;
  EXPECT_EQ(Remove(old).documents, 2);
  expectTrue("retention");
  EXPECT_EQ(Rows("SELECT documents, report_document_id FROM machines"), (Table{{"1", "-"}}));
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM product_names"), (Table{{"0"}}));
  // A month wholly before the cutoff goes whole; PostgreSQL drops its partition.
  Put("<february/>", FixedRows("kept", events), 40 * kDay);
  old.beforeMs = 35 * kDay;
  EXPECT_EQ(Remove(old).documents, 1);
  expectTrue("a month");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM documents"), (Table{{"1"}}));
  if (GetParam() == "postgresql") {
    EXPECT_EQ(Rows("SELECT to_regclass('documents_197001') IS NULL, to_regclass('documents_197002') IS NULL"),
              (Table{{"t", "f"}}));
  }
}

// Each value of a data point, whatever its text, splits the event; events
// whose document lacks the data point are counted apart; the same answers
// come back once the rollups are taken again from the stored rows.
TEST_P(StoreContract, BreaksEventsDownByADataPointOfTheirDocuments) {
  constexpr int64_t kHour = 3600000, kDay = 86400000;
  const std::vector<GroupRow> app = {{{}, "app"}};
  const std::string markup = "2.0 <i>\"&amp;";
  Put("<a/>", FixedRows("m1", {{"load", 1, {}, 10}, {"load", 2, {}, 20}})
                  .Points(app, {{0, "version", "1.0"}, {0, "channel", "<b>beta</b>"}}), 10);
  Put("<b/>", FixedRows("", {{"load", 4, {}, 100}}).Points(app, {{0, "version", markup}}), kHour + 10);
  Put("<c/>", FixedRows("m2", {{"load", {}, {}, 5}}).Points({}, {}), 2 * kHour);
  Put("<d/>", FixedRows("m1", {{"quit", {}, {}, {}}}).Points(app, {{0, "version", "1.0"}}), kDay + 10);
  // The store folds what waits by itself, within about a second, unasked.
  for (int i = 0; i < 100 && Rows("SELECT COUNT(*) FROM value_rollup_backlog") != Table{{"0"}}; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(Rows("SELECT COUNT(*), SUM(documents) FROM data_point_days"), (Table{{"4", "4"}}));
  auto breakDown = [&](int64_t bucketMs) {
    Breakdown b;
    const Status s = store_->BreakDownEvent(Filter{{}, {}, "", "", "load"}, "app/version", bucketMs, b);
    EXPECT_TRUE(s.ok()) << s.message();
    std::vector<std::tuple<int, std::string, int64_t, int64_t, int64_t, Optional, Optional>> values;
    for (const ValueSummary& v : b.values) {
      values.emplace_back(static_cast<int>(v.kind), v.value, v.count, v.documents, v.valueSum, v.p50, v.p99);
    }
    std::vector<std::tuple<int64_t, size_t, int64_t>> series;
    for (const BucketCount& c : b.series) series.emplace_back(c.bucket, c.entry, c.count);
    return std::make_pair(values, series);
  };
  const auto daily = breakDown(kDay), hourly = breakDown(kHour);
  using K = ValueSummary::Kind;
  EXPECT_EQ(daily.first, (decltype(daily.first){{int(K::kValue), "1.0", 2, 1, 3, 10, 20},
                                                  {int(K::kValue), markup, 1, 1, 4, 100, 100},
                                                  {int(K::kMissing), "", 1, 1, 0, 5, 5}}));
  EXPECT_EQ(daily.second, (decltype(daily.second){{0, 0, 2}, {0, 1, 1}, {0, 2, 1}}));
  EXPECT_EQ(hourly.second, (decltype(hourly.second){{0, 0, 2}, {1, 1, 1}, {2, 2, 1}}));
  std::vector<std::string> points;
  ASSERT_TRUE(store_->EventDataPoints(Filter{{}, {}, "", "", "load"}, points).ok());
  EXPECT_EQ(points, (std::vector<std::string>{"app/channel", "app/version"}));
  std::vector<PropertySummary> properties;
  ASSERT_TRUE(store_->Properties(Filter{}, 5, properties).ok());
  ASSERT_EQ(properties.size(), 2u);
  EXPECT_EQ(std::tie(properties[0].path, properties[0].documents, properties[0].top[0].value),
            std::make_tuple(std::string("app/channel"), int64_t{1}, std::string("<b>beta</b>")));
  EXPECT_EQ(std::tie(properties[1].documents, properties[1].top[0].value, properties[1].top[0].documents),
            std::make_tuple(int64_t{3}, std::string("1.0"), int64_t{2}));
  PropertyHistory history;
  ASSERT_TRUE(store_->PropertyOverTime(Filter{kDay, {}, "", "", ""}, "app/version", history).ok());
  ASSERT_EQ(history.values.size(), 1u);
  EXPECT_EQ(std::tie(history.values[0].value, history.series[0].bucket), std::make_tuple(std::string("1.0"), int64_t{1}));

  // The documents stored before the rollups existed are folded in like new ones.
  for (const char* table : {"event_value_days", "event_value_hours", "event_value_elapsed_days", "data_point_days"}) {
    Rows(std::string("DELETE FROM ") + table);
  }
  Rows("INSERT INTO value_rollup_backlog (document_id) SELECT id FROM documents");
  store_.reset();
  ASSERT_TRUE(OpenStore(url_, store_).ok());
  EXPECT_EQ(breakDown(kDay), daily);
  EXPECT_EQ(breakDown(kHour), hourly);
  EXPECT_TRUE(Rows("SELECT document_id FROM value_rollup_backlog").empty());

  // Past the top values, the rest are answered together.
  for (int i = 0; i < 22; ++i) {
    Put("<v" + std::to_string(i) + "/>",
        FixedRows("", std::vector<EventRow>(i < 2 ? 1 : 2, EventRow{"tap", {}, {}, {}}))
            .Points(app, {{0, "version", "v" + std::to_string(i)}}), 5 * kDay);
  }
  Breakdown many;
  ASSERT_TRUE(store_->BreakDownEvent(Filter{5 * kDay, {}, "", "", "tap"}, "app/version", kDay, many).ok());
  ASSERT_EQ(many.values.size(), kTopValues + 1);
  EXPECT_EQ(std::tie(many.values.back().kind, many.values.back().count, many.values.back().documents),
            std::make_tuple(K::kOther, int64_t{2}, int64_t{2}));
}

// A document rolls up its first kRolledPaths data points, each value cut
// to kRolledTextBytes at a character boundary.
TEST_P(StoreContract, ADocumentRollsUpABoundedNumberOfDataPointsAndBytes) {
  std::string accents;
  for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
  std::vector<DataPointRow> points;
  for (int i = 0; i < 40; ++i) points.push_back({0, "p" + std::to_string(10 + i), i == 0 ? "x" + accents : "v"});
  Put("<many/>", FixedRows("", {{"tap", {}, {}, {}}}).Points({{{}, "g"}}, points));
  ASSERT_TRUE(store_->CatchUp().ok());
  EXPECT_EQ(Rows("SELECT COUNT(*), MAX(path) FROM data_point_days"),
            (Table{{std::to_string(kRolledPaths), "g/p" + std::to_string(10 + kRolledPaths - 1)}}));
  EXPECT_EQ(Rows("SELECT value FROM data_point_days WHERE path = 'g/p10'"),
            (Table{{"x" + accents.substr(0, kRolledTextBytes - 2)}}));  // 255 bytes: no half character
}

// A data point keeps kValuesPerDay values a day; documents with further
// values count as the other values, and a removal takes each document off
// where it was counted, until the day has none left among the others.
TEST_P(StoreContract, KeepsABoundedNumberOfValuesADayAndTheRestTogether) {
  constexpr int64_t kDay = 86400000;
  const int kept = static_cast<int>(kValuesPerDay), more = 3;
  std::vector<Arrival> arrivals;
  std::vector<FixedRows> rows;
  auto add = [&](const std::string& run, int64_t day) {
    arrivals.push_back(MakeArrival("<run n='" + run + "' i='" + std::to_string(arrivals.size()) + "'/>", day * kDay + 10));
    rows.push_back(FixedRows("", {{"tap", {}, {}, 7}}).Points({{{}, "session"}}, {{0, "run", run}}));
  };
  for (int i = 0; i < kept + more; ++i) add(std::to_string(100000 + i), 2);
  add("100000", 2);  // a value the day keeps, after the day has others
  std::vector<PutResult> results(arrivals.size());
  std::vector<PutItem> items;
  for (size_t i = 0; i < arrivals.size(); ++i) items.push_back({&arrivals[i], &rows[i], &results[i], {}});
  store_->PutEach(items);
  for (const PutItem& item : items) ASSERT_TRUE(item.status.ok()) << item.status.message();
  auto other = [&] {
    Breakdown b;
    EXPECT_TRUE(store_->BreakDownEvent(Filter{2 * kDay, 3 * kDay, "", "", "tap"}, "session/run", kDay, b).ok());
    EXPECT_EQ(b.values.front().value, "100000");
    return b.values.back().kind == ValueSummary::Kind::kOther ? b.values.back().count : -1;
  };
  // The top values are answered alone; kept values past them and the rest, together.
  EXPECT_EQ(other(), kept + more + 1 - 2 - (static_cast<int>(kTopValues) - 1));
  const std::string counts = "SELECT COUNT(*), SUM(documents) FROM data_point_days WHERE day = 2";
  EXPECT_EQ(Rows(counts), (Table{{std::to_string(kept + 1), std::to_string(kept + more + 1)}}));
  EXPECT_EQ(Rows("SELECT documents FROM data_point_days WHERE value = '" + kOtherValues + "'"), (Table{{"3"}}));

  Selection one;
  one.id = results[kept].id;  // counted among the others
  Remove(one);
  one.id = results[1].id;  // a value of its own
  Remove(one);
  EXPECT_EQ(Rows(counts), (Table{{std::to_string(kept), std::to_string(kept + more - 1)}}));
  // A new value joins the others while the day has any; once none is left, it is kept.
  const std::string others = "SELECT documents FROM data_point_days WHERE value = '" + kOtherValues + "'";
  auto putOne = [&](const std::string& run, int64_t at) {
    arrivals.clear();
    rows.clear();
    add(run, 2);
    const int64_t id = Put("<" + run + "/>", std::move(rows[0]), 2 * kDay + at).id;
    EXPECT_TRUE(store_->CatchUp().ok());
    return id;
  };
  const int64_t joined = putOne("new", 20);
  EXPECT_EQ(Rows(others), (Table{{"3"}}));
  for (int64_t id : {results[kept + 1].id, results[kept + 2].id, joined}) {
    one.id = id;
    Remove(one);
  }
  EXPECT_EQ(Rows(others), Table{});
  putOne("newer", 30);
  EXPECT_EQ(Rows("SELECT value, documents FROM data_point_days WHERE value IN ('new', 'newer')"),
            (Table{{"newer", "1"}}));
  Selection day;
  day.beforeMs = 3 * kDay;
  day.limit = 5000;
  EXPECT_EQ(Remove(day).documents, kept + 1);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM data_point_days"), (Table{{"0"}}));
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreContract, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collector
