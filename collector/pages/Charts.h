// Charts as inline SVG made on the server. Each carries its numbers as text
// too (the SVG's title and description), for readers that cannot see it.
// Axes have about five ticks each; a label too long for its place is
// shortened, its whole text in a title shown on hover; legends sit above
// the plot, never on it; the caption tells the totals and the extremes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace collector::pages {

using Format = std::function<std::string(int64_t)>;

struct Bar {
  std::string label;
  int64_t value = 0;
};

// One bar per item, left to right, about five of the labels under them.
std::string BarChart(const std::string &title, const std::vector<Bar> &bars,
                     const Format &format);

// Several values per label side by side, one CSS class per series.
struct BarGroup {
  std::string label;
  std::vector<int64_t> values;
};
std::string GroupedBarChart(const std::string &title,
                            const std::vector<std::string> &series,
                            const std::vector<BarGroup> &groups,
                            const Format &format);

struct Point {
  int64_t x = 0, y = 0;
};
struct Series {
  std::string name;
  std::vector<Point> points; // in x order
};
// Lines over a shared x axis; `formatX` writes the x values of its ticks.
std::string LineChart(const std::string &title,
                      const std::vector<Series> &series, const Format &formatX,
                      const Format &formatY);

// `text` cut to at most `chars` characters (not bytes), ending in "…" when cut.
std::string Shorten(const std::string &text, size_t chars);

// The width an 11 px sans-serif text takes at most, in pixels, by its
// characters.
int TextWidth(const std::string &text);

} // namespace collector::pages
