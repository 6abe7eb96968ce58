// The overview, event and machine pages over a store whose answers are set: what they
// show, what they escape, and the error pages they answer with.
#include <gtest/gtest.h>

#include <tuple>

#include "collector/pages/SitePages.h"
#include "testing/MemoryStore.h"

namespace collector::pages {
namespace {

constexpr int64_t kDayMs = 86400000;
constexpr int64_t kNow = 20000 * kDayMs + kDayMs / 2;
const std::string kHostile = "evil\"><img src=x onerror=alert(1)>";
constexpr auto npos = std::string::npos;

// The text between the first `from` and the `to` after it.
std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  const size_t start = text.find(from);
  if (start == npos) return "(no " + from + ")";
  return text.substr(start + from.size(), text.find(to, start + from.size()) - start - from.size());
}

class SitePages : public ::testing::Test {
 protected:
  void SetUp() override {
    store_.documents = {{3, kNow, "", "B"}, {1, kNow - kDayMs, "", "b"}, {2, kNow - 2 * kDayMs, "", kHostile}};
    store_.machines = {{"B", 1, kNow, {"Windows", "10", "cpu", 8, {}, {}}},
                       {"b", 1, kNow - kDayMs, {"Linux", "6", "cpu", 4, {}, {}}},
                       {kHostile, 1, kNow - 2 * kDayMs, {}}};
    store_.events = {{"load", 1, 1, 1, 1, 120, 120, 120}, {"quit", 2, 2, 2, 0, {}, {}, {}}};
  }
  MemoryStore store_;
};

// The selected machine is named in a box (escaped like every other name)
// and alone in the machines table; without one, the table holds the most
// recently seen, asked of the store as such, never a list of every machine.
TEST_F(SitePages, OverviewFiltersByAMachineWhoseNameIsEscapedEverywhere) {
  const Response page = OverviewPage(store_, {{"machine", kHostile}}, kNow);
  ASSERT_EQ(page.code, 200);
  EXPECT_EQ(page.body.find(kHostile), npos) << page.body;
  EXPECT_NE(page.body.find("name=\"machine\" value=\"evil&quot;&gt;&lt;img src=x onerror=alert(1)&gt;\""), npos);
  const std::string table = Between(page.body, "<section class=\"machines\">", "</section>");
  EXPECT_NE(table.find("<a href=\"/machines/evil%22%3E%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E\">"), npos);
  EXPECT_EQ(table.find("href=\"/machines/b\""), npos);
  EXPECT_TRUE(store_.asked.empty());
  OverviewPage(store_, {}, kNow);
  ASSERT_EQ(store_.asked.size(), 1u);
  EXPECT_EQ(std::tie(store_.asked[0].sort, store_.asked[0].descending, store_.asked[0].limit),
            std::make_tuple(MachineQuery::Sort::kLastSeen, true, int64_t{20}));
}

TEST_F(SitePages, MachinePageShowsThatMachineAlone) {
  const Response page = MachinePage(store_, "B", {}, kNow);
  ASSERT_EQ(page.code, 200);
  EXPECT_NE(page.body.find("<tr><th>operating system</th><td>Windows</td></tr>"), npos);
  EXPECT_EQ(page.body.find("Linux"), npos);
  EXPECT_NE(page.body.find("href=\"/documents/3\""), npos);
  EXPECT_EQ(page.body.find("href=\"/documents/1\""), npos);
}

TEST_F(SitePages, EventPageSaysWhenNoneOfItsEventsIsTimed) {
  const std::string quit = EventPage(store_, "quit", {}, kNow).body;
  EXPECT_NE(quit.find("<p class=\"muted\">None of these events carries an elapsed time.</p>"), npos);
  EXPECT_NE(Between(quit, "<section class=\"event-summary\">", "</table>").find("<td class=\"n\" data-v=\"2\">2</td>"),
            npos);
  store_.elapsed = {{120, 1}};
  const std::string load = EventPage(store_, "load", {}, kNow).body;
  EXPECT_EQ(load.find("None of these events"), npos);
  EXPECT_NE(load.find("Events per elapsed time"), npos);
  EXPECT_NE(EventPage(store_, "none", {}, kNow).body.find("No such event in this range."), npos);
}

TEST_F(SitePages, AnswersErrorPagesForBadArgumentsUnknownMachinesAndAFailingStore) {
  for (const std::string days : {"0", "3651", "-1", "7x", "", "<i>"}) {
    EXPECT_EQ(OverviewPage(store_, {{"days", days}}, kNow).code, 400) << days;
    EXPECT_EQ(EventPage(store_, "load", {{"days", days}}, kNow).code, 400) << days;
    EXPECT_EQ(MachinePage(store_, "b", {{"days", days}}, kNow).code, 400) << days;
  }
  EXPECT_NE(OverviewPage(store_, {{"days", "<i>"}}, kNow).body.find("from 1 to 3650: &lt;i&gt;</p>"), npos);
  for (const std::string days : {"1", "3650"}) EXPECT_EQ(OverviewPage(store_, {{"days", days}}, kNow).code, 200);

  const Response unknown = MachinePage(store_, "<i>", {}, kNow);
  EXPECT_EQ(unknown.code, 404);
  EXPECT_NE(unknown.body.find("no documents from a machine named &lt;i&gt;</p>"), npos) << unknown.body;
  EXPECT_EQ(MachinePage(store_, "bb", {}, kNow).code, 404);

  store_.failure = Failure("database <down> & out");
  const Response failed[] = {OverviewPage(store_, {}, kNow), EventPage(store_, "load", {}, kNow),
                             MachinePage(store_, "b", {}, kNow), DocumentPage(store_, "1")};
  for (const Response& r : failed) {
    EXPECT_EQ(r.code, 503);
    EXPECT_NE(r.body.find("<p class=\"error\">the store failed: database &lt;down&gt; &amp; out</p>"), npos) << r.body;
  }
}

}  // namespace
}  // namespace collector::pages
