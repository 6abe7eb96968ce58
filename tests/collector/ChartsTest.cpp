// The charts' SVG read back: ticks on both axes, every text inside the
// picture, long labels shortened with their whole text kept, legends above
// the plot rather than on it, and a caption that is not the title again.
#include <gtest/gtest.h>

#include <regex>

#include "collector/pages/Charts.h"

namespace collector::pages {
namespace {

std::string Count(int64_t n) { return std::to_string(n); }

struct Text {
  int x = 0, y = 0;
  std::string anchor, shown, title;
};

int Attribute(const std::string &tag, const std::string &name) {
  std::smatch m;
  return std::regex_search(tag, m, std::regex(" " + name + "=\"(-?\\d+)\""))
             ? std::stoi(m[1])
             : -1;
}

std::vector<Text> Texts(const std::string &svg) {
  std::vector<Text> out;
  const std::regex text(
      "<text x=\"(-?\\d+)\" y=\"(-?\\d+)\" "
      "text-anchor=\"(\\w+)\">([^<]*)(<title>([^<]*)</title>)?");
  for (std::sregex_iterator it(svg.begin(), svg.end(), text), end; it != end;
       ++it) {
    // As shown: an escaped character takes the room of one.
    const std::string shown =
        std::regex_replace((*it)[4].str(), std::regex("&[a-z#0-9]+;"), "x");
    out.push_back(
        {std::stoi((*it)[1]), std::stoi((*it)[2]), (*it)[3], shown, (*it)[6]});
  }
  return out;
}

// Every text lies inside the picture's width and height.
void ExpectInside(const std::string &svg) {
  const int width = Attribute(svg, "width"), height = Attribute(svg, "height");
  for (const Text &t : Texts(svg)) {
    const int w = TextWidth(t.shown);
    const int left = t.anchor == "end"      ? t.x - w
                     : t.anchor == "middle" ? t.x - w / 2
                                            : t.x;
    EXPECT_GE(left, 0) << t.shown;
    EXPECT_LE(left + w, width) << t.shown;
    EXPECT_GT(t.y, 0) << t.shown;
    EXPECT_LE(t.y, height) << t.shown;
  }
}

// The top of the plot: where the y axis starts.
int PlotTop(const std::string &svg) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(
      svg, m,
      std::regex(
          "<line class=\"axis\" x1=\"(\\d+)\" y1=\"(\\d+)\" x2=\"\\1\"")));
  return std::stoi(m[2]);
}

TEST(Charts, BarChartHasTicksOnBothAxesAndKeepsEveryLabelInside) {
  std::vector<Bar> bars;
  for (int i = 0; i < 30; ++i)
    bars.push_back(
        {"2026-03-" + std::to_string(10 + i) + " a long day", i * 37});
  const std::string svg = BarChart("Documents per day", bars, Count);
  ExpectInside(svg);
  int yTicks = 0, xTicks = 0;
  for (const Text &t : Texts(svg))
    (t.anchor == "end" && t.x < 84 ? yTicks : xTicks) += 1;
  EXPECT_GE(yTicks, 4);
  EXPECT_LE(yTicks, 7);
  EXPECT_GE(xTicks, 4);
  EXPECT_LE(xTicks, 6);
  // Seven hourly bars: their dated labels stand apart.
  std::vector<Bar> hours;
  for (int h = 0; h < 7; ++h) hours.push_back({"2026-12-07 0" + std::to_string(h) + ":00", h});
  int right = -1;
  for (const Text &t : Texts(BarChart("Per hour", hours, Count))) {
    if (t.shown.rfind("2026", 0) != 0) continue;
    const int w = TextWidth(t.shown);
    const int left = t.anchor == "middle" ? t.x - w / 2 : t.anchor == "end" ? t.x - w : t.x;
    EXPECT_GT(left, right) << t.shown;
    right = left + w;
  }
  EXPECT_EQ(svg.find("<figcaption class=\"muted\">Documents per day"),
            std::string::npos);
  EXPECT_NE(svg.find("highest 1073"), std::string::npos);
}

TEST(Charts,
     LongLabelsAreShortenedWithTheirTextOnHoverAndLegendsSitAboveThePlot) {
  std::vector<BarGroup> groups;
  for (const char *name : {"settings.changed.everywhere.at.once",
                           "mesh.generate.for.the.whole.model", "open"}) {
    groups.push_back({name, {10, 40, 90}});
  }
  for (int i = 0; i < 9; ++i)
    groups.push_back({"event.number." + std::to_string(i), {1, 2, 3}});
  const std::string grouped =
      GroupedBarChart("Elapsed", {"p50", "p90", "p99"}, groups, Count);
  ExpectInside(grouped);
  bool shortened = false;
  for (const Text &t : Texts(grouped)) {
    if (t.title == "settings.changed.everywhere.at.once")
      shortened = t.shown.find("\u2026") != std::string::npos;
  }
  EXPECT_TRUE(shortened);

  std::vector<Series> series;
  for (int i = 0; i < 14; ++i)
    series.push_back({"version 1." + std::to_string(i) + " <beta>",
                      {{0, i}, {86400000, 2 * i}}});
  const std::string lines = LineChart(
      "By version", series,
      [](int64_t ms) { return std::to_string(ms / 86400000); }, Count);
  ExpectInside(lines);
  for (const std::string &svg : {grouped, lines}) {
    const size_t start = svg.find("<g class=\"legend\">"),
                 end = svg.find("</g>", start);
    ASSERT_NE(start, std::string::npos);
    const std::string legend = svg.substr(start, end - start);
    const int top = PlotTop(svg);
    for (const Text &t : Texts(legend))
      EXPECT_LT(t.y, top) << t.shown;
    const std::regex rect("<rect class=\"swatch[^\"]*\" x=\"\\d+\" "
                          "y=\"(\\d+)\" width=\"\\d+\" height=\"(\\d+)\"");
    int swatches = 0;
    for (std::sregex_iterator it(legend.begin(), legend.end(), rect), e;
         it != e; ++it, ++swatches) {
      EXPECT_LE(std::stoi((*it)[1]) + std::stoi((*it)[2]), top);
    }
    EXPECT_GE(swatches, 3);
  }
  EXPECT_NE(lines.find("version 1.3 &lt;beta&gt;"), std::string::npos);
  EXPECT_EQ(lines.find("<beta>"), std::string::npos);
}

} // namespace
} // namespace collector::pages
