// The event page's breakdown, the data points pages, the documents list and
// the links on a document page, over a store whose answers are set.
#include <gtest/gtest.h>

#include "collector/pages/AnalyticsPages.h"
#include "collector/pages/DocumentPage.h"
#include "collector/pages/PageData.h"
#include "collector/pages/SitePages.h"
#include "testing/MemoryStore.h"

namespace collector::pages {
namespace {

constexpr int64_t kNow = 20000 * kDayMs + kDayMs / 2;
constexpr auto npos = std::string::npos;
const std::string kHostile = "<b>x</b>\"&";

TEST(AnalyticsPages,
     EventPageBreaksDownByADataPointPerHourAndSaysUnknownForNoMachine) {
  MemoryStore store;
  store.events = {{"load", 3, 2, 0, 0, 10, 20, 30}};
  store.dataPoints = {"app/version", "app/" + kHostile};
  store.breakdown.values = {
      {ValueSummary::Kind::kValue, kHostile, 2, 1, 0, 10, 10, 10},
      {ValueSummary::Kind::kMissing, "", 1, 1, 0, {}, {}, {}}};
  store.breakdown.series = {{kNow / kHourBucketMs, 0, 2},
                            {kNow / kHourBucketMs, 1, 1}};
  const Response plain = EventPage(store, "load", {{"days", "1"}}, kNow);
  EXPECT_NE(plain.body.find("counted per hour"), npos);
  EXPECT_NE(plain.body.find(">unknown</td>"), npos);
  EXPECT_NE(
      plain.body.find("href=\"/events/load?days=1&amp;by=app%2Fversion\""),
      npos);
  EXPECT_EQ(plain.body.find(kHostile), npos);
  const Response by =
      EventPage(store, "load", {{"days", "1"}, {"by", "app/version"}}, kNow);
  EXPECT_EQ(by.code, 200);
  EXPECT_NE(by.body.find("<b>app/version</b>"), npos);
  EXPECT_NE(by.body.find("not sent"), npos);
  EXPECT_NE(by.body.find("&lt;b&gt;x&lt;/b&gt;&quot;&amp;"), npos);
  EXPECT_EQ(by.body.find(kHostile), npos);
  EXPECT_EQ(
      EventPage(store, "load", {{"by", "app/version"}, {"machine", "m"}}, kNow)
          .code,
      400);
  EXPECT_EQ(EventPage(store, "load",
                      {{"from", "2026-01-02"}, {"to", "2026-01-01"}}, kNow)
                .code,
            400);
}

TEST(AnalyticsPages, DocumentsListFiltersAndPagesByItsLastRow) {
  MemoryStore store;
  for (int64_t id = 1; id <= 60; ++id)
    store.documents.push_back({id, kNow - id * 1000, "", "m", "analytics"});
  const Response first = DocumentsPage(store,
                                       {{"kind", "analytics"},
                                        {"name", "load"},
                                        {"machine", "m"},
                                        {"days", "7"}},
                                       kNow);
  ASSERT_EQ(first.code, 200);
  EXPECT_EQ(store.filters.back().kind, "analytics");
  EXPECT_EQ(store.filters.back().name, "load");
  EXPECT_EQ(store.filters.back().machine, "m");
  const std::string older = "after=" + std::to_string(kNow - 50 * 1000) + ".50";
  EXPECT_NE(first.body.find(older + "\">Older"), npos);
  EXPECT_EQ(first.body.find("/documents/51\""), npos);
  EXPECT_EQ(
      DocumentsPage(store, {{"after", std::to_string(kNow) + ".7"}}, kNow).code,
      200);
  EXPECT_EQ(store.filters.back().after, std::make_pair(kNow, int64_t{7}));
  EXPECT_EQ(DocumentsPage(store, {{"after", "7"}}, kNow).code, 400);
  EXPECT_EQ(DocumentsPage(store, {{"kind", "x"}}, kNow).code, 400);
}

TEST(AnalyticsPages, PropertiesListValuesEscapedAndADocumentLinksItsEvents) {
  MemoryStore store;
  store.properties = {{"app/version", 3, {{kHostile, 2}, {"1.0", 1}}}};
  const Response list = PropertiesPage(store, {}, kNow);
  EXPECT_NE(list.body.find("href=\"/properties/app%2Fversion?days=30\""), npos);
  EXPECT_EQ(list.body.find(kHostile), npos);
  EXPECT_EQ(PropertyPage(store, "app/version", {}, kNow).code, 404);
  store.history = {{{"1.0", 2}}, false, {{20000, 0, 2}}};
  EXPECT_EQ(PropertyPage(store, "app/version", {}, kNow).code, 200);

  std::string html;
  DocumentPageOptions options;
  options.linkEvents = true;
  ASSERT_TRUE(RenderDocumentPage(
                  "<a><events><event name=\"open &amp; go\"/></events></a>",
                  options, html)
                  .ok());
  EXPECT_NE(html.find("<a href=\"/events/open%20%26%20go\">open &amp; go</a>"),
            npos);
}

} // namespace
} // namespace collector::pages
