#include "collector/pages/Charts.h"

#include <algorithm>

#include "collector/pages/Html.h"

namespace collector::pages {
namespace {

constexpr int kWidth = 720, kHeight = 220, kLeft = 70, kBottom = 30, kTop = 10;
constexpr int kPlotWidth = kWidth - kLeft - 10, kPlotHeight = kHeight - kBottom - kTop;

std::string Open(const std::string& title, const std::string& description) {
  return "<figure><svg width=\"" + std::to_string(kWidth) + "\" height=\"" + std::to_string(kHeight) +
         "\" role=\"img\" aria-label=\"" + Escape(title + ": " + description) + "\"><title>" + Escape(title) +
         "</title><desc>" + Escape(description) + "</desc>";
}

std::string Close(const std::string& title) { return "</svg><figcaption>" + Escape(title) + "</figcaption></figure>\n"; }

std::string Text(int x, int y, const std::string& text, const char* anchor = "start") {
  return "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" text-anchor=\"" + anchor + "\">" +
         Escape(text) + "</text>";
}

std::string Axes(int64_t top, const Format& format) {
  const int base = kTop + kPlotHeight;
  return "<line class=\"axis\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(base) + "\" x2=\"" +
         std::to_string(kLeft + kPlotWidth) + "\" y2=\"" + std::to_string(base) + "\"/><line class=\"axis\" x1=\"" +
         std::to_string(kLeft) + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" + std::to_string(kLeft) + "\" y2=\"" +
         std::to_string(base) + "\"/>" + Text(kLeft - 4, kTop + 10, format(top), "end") +
         Text(kLeft - 4, base, format(0), "end");
}

int Scale(int64_t value, int64_t top, int span) {
  return top <= 0 ? 0 : static_cast<int>(static_cast<double>(std::max<int64_t>(value, 0)) * span / top);
}

std::string Rect(const char* cls, int x, int width, int height) {
  return std::string("<rect class=\"") + cls + "\" x=\"" + std::to_string(x) + "\" y=\"" +
         std::to_string(kTop + kPlotHeight - height) + "\" width=\"" + std::to_string(std::max(width, 1)) +
         "\" height=\"" + std::to_string(height) + "\"/>";
}

}  // namespace

std::string BarChart(const std::string& title, const std::vector<Bar>& bars, const Format& format) {
  std::string description;
  int64_t top = 0;
  for (const Bar& b : bars) {
    top = std::max(top, b.value);
    description += (description.empty() ? "" : "; ") + b.label + " " + format(b.value);
  }
  std::string svg = Open(title, bars.empty() ? "no data" : description) + Axes(top, format);
  const int slot = bars.empty() ? 0 : kPlotWidth / static_cast<int>(bars.size());
  for (size_t i = 0; i < bars.size(); ++i) {
    const int x = kLeft + static_cast<int>(i) * slot;
    std::string rect = Rect("bar", x + 1, slot - 2, Scale(bars[i].value, top, kPlotHeight));
    rect.resize(rect.size() - 2);
    svg += rect + "><title>" + Escape(bars[i].label + ": " + format(bars[i].value)) + "</title></rect>";
    if (i == 0 || i + 1 == bars.size()) {
      svg += Text(x + (i == 0 ? 0 : slot), kHeight - 8, bars[i].label, i == 0 ? "start" : "end");
    }
  }
  return svg + Close(title);
}

std::string GroupedBarChart(const std::string& title, const std::vector<std::string>& series,
                            const std::vector<BarGroup>& groups, const Format& format) {
  std::string description;
  int64_t top = 0;
  for (const BarGroup& g : groups) {
    description += (description.empty() ? "" : "; ") + g.label;
    for (size_t s = 0; s < g.values.size() && s < series.size(); ++s) {
      top = std::max(top, g.values[s]);
      description += " " + series[s] + " " + format(g.values[s]);
    }
  }
  std::string svg = Open(title, groups.empty() ? "no data" : description) + Axes(top, format);
  const int slot = groups.empty() ? 0 : kPlotWidth / static_cast<int>(groups.size());
  const int width = series.empty() ? 0 : std::max(1, (slot - 6) / static_cast<int>(series.size()));
  for (size_t i = 0; i < groups.size(); ++i) {
    const int x = kLeft + static_cast<int>(i) * slot + 3;
    for (size_t s = 0; s < groups[i].values.size() && s < series.size(); ++s) {
      svg += Rect(series[s].c_str(), x + static_cast<int>(s) * width, width - 1,
                  Scale(groups[i].values[s], top, kPlotHeight));
    }
    svg += Text(x, kHeight - 8, groups[i].label.substr(0, std::max(2, slot / 7)));
  }
  for (size_t s = 0; s < series.size(); ++s) {
    svg += "<rect class=\"" + Escape(series[s]) + "\" x=\"" + std::to_string(kWidth - 60) + "\" y=\"" +
           std::to_string(kTop + 14 * s) + "\" width=\"10\" height=\"10\"/>" +
           Text(kWidth - 46, kTop + 9 + 14 * static_cast<int>(s), series[s]);
  }
  return svg + Close(title);
}

std::string LineChart(const std::string& title, const std::vector<Series>& series, const Format& formatX,
                      const Format& formatY) {
  int64_t top = 0, first = INT64_MAX, last = INT64_MIN;
  std::string description;
  for (const Series& s : series) {
    for (const Point& p : s.points) {
      top = std::max(top, p.y);
      first = std::min(first, p.x);
      last = std::max(last, p.x);
    }
    if (!s.points.empty()) {
      description += (description.empty() ? "" : "; ") + s.name + " from " + formatY(s.points.front().y) + " at " +
                     formatX(s.points.front().x) + " to " + formatY(s.points.back().y) + " at " +
                     formatX(s.points.back().x);
    }
  }
  std::string svg = Open(title, description.empty() ? "no data" : description) + Axes(top, formatY);
  if (description.empty()) return svg + Close(title);
  const int64_t span = std::max<int64_t>(last - first, 1);
  for (size_t i = 0; i < series.size(); ++i) {
    std::string points, dots;
    const std::string cls = "s" + std::to_string(i % 4);
    for (const Point& p : series[i].points) {
      const std::string x = std::to_string(kLeft + static_cast<int>(static_cast<double>(p.x - first) * kPlotWidth / span));
      const std::string y = std::to_string(kTop + kPlotHeight - Scale(p.y, top, kPlotHeight));
      points += x + "," + y + " ";
      dots += "<circle class=\"dot " + cls + "\" cx=\"" + x + "\" cy=\"" + y + "\" r=\"3\"/>";
    }
    svg += "<polyline class=\"line " + cls + "\" points=\"" + points + "\"/>" + dots;
    svg += Text(kLeft + 8, kTop + 12 + 14 * static_cast<int>(i), series[i].name);
  }
  svg += Text(kLeft, kHeight - 8, formatX(first)) + Text(kLeft + kPlotWidth, kHeight - 8, formatX(last), "end");
  return svg + Close(title);
}

}  // namespace collector::pages
