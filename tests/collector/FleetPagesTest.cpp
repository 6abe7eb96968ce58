// The machines and products pages over a store whose answers are set: the
// query they ask, the paging links they give, the CSV they export.
#include <gtest/gtest.h>

#include "collector/pages/FleetPages.h"
#include "testing/MemoryStore.h"

namespace collector::pages {
namespace {

constexpr auto npos = std::string::npos;

TEST(FleetPages, MachinesPageAsksWhatTheLinkSaysAndPagesBothWays) {
  MemoryStore store;
  store.machines = {{"<b>", 2, 0, {"Windows", "10", "cpu", 8, {}, {}}}};
  store.next = "6e";
  const Response page = MachinesPage(store, {{"q", "a&b"},
                                             {"product", "Tool"},
                                             {"version", "1"},
                                             {"sort", "ram"},
                                             {"desc", "1"},
                                             {"before", "61"},
                                             {"limit", "900"}});
  ASSERT_EQ(page.code, 200);
  ASSERT_EQ(store.asked.size(), 1u);
  const MachineQuery &q = store.asked[0];
  EXPECT_EQ(std::tie(q.text, q.product, q.version, q.sort, q.descending,
                     q.after, q.backward, q.limit),
            std::make_tuple("a&b", "Tool", "1", MachineQuery::Sort::kRam, true,
                            "61", true, int64_t{100}));
  EXPECT_NE(page.body.find("href=\"/"
                           "machines?q=a%26b&amp;product=Tool&amp;version=1&"
                           "amp;sort=ram&amp;desc=1"
                           "&amp;after=6e\">next</a>"),
            npos)
      << page.body;
  EXPECT_EQ(page.body.find("previous"), npos);
  EXPECT_NE(page.body.find("&lt;b&gt;"), npos);
  EXPECT_EQ(page.body.find("<b>"), npos);
  // Sorting by RAM again turns it round; another column starts ascending.
  EXPECT_NE(
      page.body.find(
          "href=\"/"
          "machines?q=a%26b&amp;product=Tool&amp;version=1&amp;sort=ram\">RAM"),
      npos);
  EXPECT_NE(page.body.find("&amp;sort=last_seen\">last seen</a>"), npos);
  for (const QueryArgs &bad : std::vector<QueryArgs>{
           {{"sort", "x"}}, {{"limit", "0"}}, {{"version", "1"}}}) {
    EXPECT_EQ(MachinesPage(store, bad).code, 400);
  }
}

// Formulas made inert, quotes doubled, and every page of the selection read.
TEST(FleetPages, CsvHoldsTheWholeSelectionWithCellsMadeInert) {
  EXPECT_EQ(CsvCell("=1+2"), "\"'=1+2\"");
  EXPECT_EQ(CsvCell("-x"), "\"'-x\"");
  EXPECT_EQ(CsvCell("+x"), "\"'+x\"");
  EXPECT_EQ(CsvCell("@SUM(A1)"), "\"'@SUM(A1)\"");
  EXPECT_EQ(CsvCell("a \"b\", c"), "\"a \"\"b\"\", c\"");
  EXPECT_EQ(CsvCell("a=b"), "\"a=b\"");
  MemoryStore store;
  store.machines = {
      {"=cmd|' /C calc'!A0", 1, 0, {"Win", "10", "cpu", {}, 1024, {}}}};
  store.next = "";
  const Response csv = MachinesCsv(store, {{"os", "Win"}, {"after", "ff"}});
  ASSERT_EQ(csv.code, 200);
  EXPECT_EQ(csv.contentType, "text/csv");
  EXPECT_NE(csv.body.find("\r\n\"'=cmd|' /C "
                          "calc'!A0\",1,1970-01-01T00:00:00.000Z,\"Win\","
                          "\"10\",\"cpu\",,1024\r\n"),
            npos)
      << csv.body;
  ASSERT_EQ(store.asked.size(), 1u);
  EXPECT_EQ(
      std::tie(store.asked[0].os, store.asked[0].after, store.asked[0].limit),
      std::make_tuple("Win", "", int64_t{1000}));
}

TEST(FleetPages, ProductPagesShowVersionsAndAnswer404ForNone) {
  MemoryStore store;
  store.products = {{"Tally <Pro>", 3, {{"2.0", 2}, {"", 1}}}};
  store.installs = {{"2.0", "m1"}, {"2.0", "m2"}};
  const std::string list = ProductsPage(store, {}).body;
  EXPECT_NE(
      list.find(
          "<a href=\"/products/Tally%20%3CPro%3E\">Tally &lt;Pro&gt;</a>"),
      npos)
      << list;
  EXPECT_NE(list.find("2.0 2</span><span style=\"width:33%\">(none) 1"), npos);
  const Response one = ProductPage(store, "Tally <Pro>", {});
  ASSERT_EQ(one.code, 200);
  EXPECT_NE(one.body.find(
                "href=\"/machines?product=Tally%20%3CPro%3E&amp;version=2.0\""),
            npos);
  EXPECT_NE(one.body.find("<td>2.0</td><td><a href=\"/machines/m2\">m2</a>"),
            npos);
  EXPECT_EQ(ProductPage(store, "other", {}).code, 404);
}

} // namespace
} // namespace collector::pages
