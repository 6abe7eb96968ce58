#include "collector/pages/Charts.h"

#include <algorithm>
#include <cmath>

#include "collector/pages/Html.h"

namespace collector::pages {
namespace {

constexpr int kWidth = 720, kLeft = 84, kRight = 16, kBottom = 34,
              kPlotHeight = 180, kGap = 10;
constexpr int kPlotWidth = kWidth - kLeft - kRight;
constexpr int kCharWidth = 7, kLegendRow = 16, kTicks = 5;
constexpr size_t kColours = 10;

size_t Characters(const std::string &text) {
  size_t n = 0;
  for (unsigned char c : text)
    n += (c & 0xC0) != 0x80;
  return n;
}

// Where the plot starts and ends, below the legend.
struct Frame {
  int top = kGap;
  int Base() const { return top + kPlotHeight; }
  int Height() const { return Base() + kBottom; }
};

std::string Open(const std::string &title, const std::string &description,
                 const Frame &frame) {
  return "<figure><svg width=\"" + std::to_string(kWidth) + "\" height=\"" +
         std::to_string(frame.Height()) + "\" viewBox=\"0 0 " +
         std::to_string(kWidth) + " " + std::to_string(frame.Height()) +
         "\" role=\"img\" aria-label=\"" + Escape(title + ": " + description) +
         "\"><title>" + Escape(title) + "</title><desc>" + Escape(description) +
         "</desc>";
}

std::string Close(const std::string &caption) {
  return "</svg><figcaption class=\"muted\">" + Escape(caption) +
         "</figcaption></figure>\n";
}

// A label at x, kept inside the chart: shortened to `room` pixels, and
// moved off an edge it would cross.
std::string Label(int x, int y, const std::string &text, int room,
                  const char *anchor = "middle") {
  const size_t fits = static_cast<size_t>(std::max(room / kCharWidth, 2));
  const std::string shown =
      Characters(text) > fits ? Shorten(text, fits) : text;
  const int width = TextWidth(shown);
  std::string where = anchor;
  if (where == "middle" && x - width / 2 < 1)
    where = "start", x = 1;
  if (where == "middle" && x + width / 2 > kWidth - 1)
    where = "end", x = kWidth - 1;
  if (where == "start")
    x = std::clamp(x, 1, kWidth - 1 - width);
  if (where == "end")
    x = std::clamp(x, 1 + width, kWidth - 1);
  std::string out = "<text x=\"" + std::to_string(x) + "\" y=\"" +
                    std::to_string(y) + "\" text-anchor=\"" + where + "\">" +
                    Escape(shown);
  if (shown != text)
    out += "<title>" + Escape(text) + "</title>";
  return out + "</text>";
}

std::string Line(const char *cls, int x1, int y1, int x2, int y2) {
  return std::string("<line class=\"") + cls + "\" x1=\"" + std::to_string(x1) +
         "\" y1=\"" + std::to_string(y1) + "\" x2=\"" + std::to_string(x2) +
         "\" y2=\"" + std::to_string(y2) + "\"/>";
}

// A round step that divides [0, top] into about four or five parts.
int64_t NiceStep(int64_t top) {
  if (top <= 4)
    return 1;
  const double rough = static_cast<double>(top) / (kTicks - 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (m * power >= rough)
      return std::max<int64_t>(static_cast<int64_t>(m * power), 1);
  }
  return static_cast<int64_t>(10 * power);
}

// The y axis with its ticks and grid; returns the value at the top of the plot.
int64_t YAxis(int64_t top, const Format &format, const Frame &frame,
              std::string &svg) {
  const int64_t step = NiceStep(top);
  const int64_t ceiling =
      std::max<int64_t>((top + step - 1) / step * step, step);
  svg += Line("axis", kLeft, frame.Base(), kLeft + kPlotWidth, frame.Base()) +
         Line("axis", kLeft, frame.top, kLeft, frame.Base());
  for (int64_t v = 0; v <= ceiling; v += step) {
    const int y = frame.Base() - static_cast<int>(static_cast<double>(v) *
                                                  kPlotHeight / ceiling);
    if (v > 0)
      svg += Line("grid", kLeft, y, kLeft + kPlotWidth, y);
    svg += Line("axis", kLeft - 4, y, kLeft, y) +
           Label(kLeft - 6, y + 4, format(v), kLeft - 8, "end");
  }
  return ceiling;
}

int Scale(int64_t value, int64_t top, int span) {
  return top <= 0 ? 0
                  : static_cast<int>(
                        static_cast<double>(std::max<int64_t>(value, 0)) *
                        span / top);
}

// Every `step`-th of `count` items from the first, about five in all: evenly
// spaced, so each label has `step` items' room.
std::vector<size_t> TickIndices(size_t count, size_t &step) {
  std::vector<size_t> out;
  step = count > 1 ? (count - 2) / (kTicks - 1) + 1 : 1;
  for (size_t at = 0; at < count; at += step)
    out.push_back(at);
  return out;
}

std::string Rect(const std::string &cls, int x, int width, int height,
                 const Frame &frame) {
  return "<rect class=\"" + cls + "\" x=\"" + std::to_string(x) + "\" y=\"" +
         std::to_string(frame.Base() - height) + "\" width=\"" +
         std::to_string(std::max(width, 1)) + "\" height=\"" +
         std::to_string(height) + "\"";
}

// The legend's entries in rows above the plot; moves the plot down below them.
std::string Legend(const std::vector<std::string> &names,
                   const std::vector<std::string> &classes, Frame &frame) {
  std::string svg = "<g class=\"legend\">";
  int x = kLeft, y = kGap;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string shown = Shorten(names[i], 28);
    const int width = 14 + TextWidth(shown) + 14;
    if (x > kLeft && x + width > kWidth - kRight)
      x = kLeft, y += kLegendRow;
    svg += "<rect class=\"swatch " + classes[i] + "\" x=\"" +
           std::to_string(x) + "\" y=\"" + std::to_string(y) +
           "\" width=\"10\" height=\"10\"/>" +
           Label(x + 14, y + 9, names[i], 28 * kCharWidth, "start");
    x += width;
  }
  frame.top = y + kLegendRow + kGap;
  return svg + "</g>";
}

std::string Colour(size_t i) { return "s" + std::to_string(i % kColours); }

} // namespace

std::string Shorten(const std::string &text, size_t chars) {
  if (Characters(text) <= chars)
    return text;
  size_t kept = 0, end = 0;
  for (; end < text.size(); ++end) {
    if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 &&
        kept++ == chars - 1)
      break;
  }
  return text.substr(0, end) + "\u2026";
}

int TextWidth(const std::string &text) {
  return static_cast<int>(Characters(text)) * kCharWidth;
}

std::string BarChart(const std::string &title, const std::vector<Bar> &bars,
                     const Format &format) {
  std::string description;
  int64_t top = 0, total = 0;
  size_t peak = 0;
  for (size_t i = 0; i < bars.size(); ++i) {
    if (bars[i].value > top)
      top = bars[i].value, peak = i;
    total += bars[i].value;
    description += (description.empty() ? "" : "; ") + bars[i].label + " " +
                   format(bars[i].value);
  }
  const Frame frame;
  std::string svg = Open(title, bars.empty() ? "no data" : description, frame);
  const int64_t ceiling = YAxis(top, format, frame, svg);
  const double slot =
      bars.empty() ? 0 : static_cast<double>(kPlotWidth) / bars.size();
  for (size_t i = 0; i < bars.size(); ++i) {
    const int x = kLeft + static_cast<int>(i * slot);
    const int width =
        static_cast<int>((i + 1) * slot) - static_cast<int>(i * slot);
    svg += Rect("bar", x + (width > 3 ? 1 : 0), width > 3 ? width - 2 : width,
                Scale(bars[i].value, ceiling, kPlotHeight), frame) +
           "><title>" + Escape(bars[i].label + ": " + format(bars[i].value)) +
           "</title></rect>";
  }
  size_t step = 1;
  // A label keeps a little of its room free, so neighbours never touch.
  for (size_t i : TickIndices(bars.size(), step)) {
    const int x = kLeft + static_cast<int>((i + 0.5) * slot);
    svg += Line("axis", x, frame.Base(), x, frame.Base() + 4) +
           Label(x, frame.Base() + 16, bars[i].label,
                 static_cast<int>(step * slot) - 2 * kCharWidth);
  }
  const std::string caption =
      bars.empty() ? "No data."
                   : "Total " + format(total) + " over " +
                         std::to_string(bars.size()) + " bars; highest " +
                         format(top) + " (" + bars[peak].label + ").";
  return svg + Close(caption);
}

std::string GroupedBarChart(const std::string &title,
                            const std::vector<std::string> &series,
                            const std::vector<BarGroup> &groups,
                            const Format &format) {
  std::string description;
  int64_t top = 0;
  size_t peak = 0;
  for (size_t i = 0; i < groups.size(); ++i) {
    description += (description.empty() ? "" : "; ") + groups[i].label;
    for (size_t s = 0; s < groups[i].values.size() && s < series.size(); ++s) {
      if (groups[i].values[s] > top)
        top = groups[i].values[s], peak = i;
      description += " " + series[s] + " " + format(groups[i].values[s]);
    }
  }
  Frame frame;
  const std::string legend = Legend(series, series, frame);
  std::string svg =
      Open(title, groups.empty() ? "no data" : description, frame) + legend;
  const int64_t ceiling = YAxis(top, format, frame, svg);
  const int slot =
      groups.empty() ? 0 : kPlotWidth / static_cast<int>(groups.size());
  const int width =
      series.empty()
          ? 0
          : std::max(1, (slot - 6) / static_cast<int>(series.size()));
  for (size_t i = 0; i < groups.size(); ++i) {
    const int x = kLeft + static_cast<int>(i) * slot + 3;
    for (size_t s = 0; s < groups[i].values.size() && s < series.size(); ++s) {
      svg += Rect(series[s], x + static_cast<int>(s) * width, width - 1,
                  Scale(groups[i].values[s], ceiling, kPlotHeight), frame) +
             "><title>" +
             Escape(groups[i].label + " " + series[s] + ": " +
                    format(groups[i].values[s])) +
             "</title></rect>";
    }
    svg += Label(kLeft + static_cast<int>(i) * slot + slot / 2,
                 frame.Base() + 16, groups[i].label, slot - 4);
  }
  const std::string caption =
      groups.empty() ? "No data."
                     : std::to_string(groups.size()) + " shown; the highest, " +
                           format(top) + ", is " + groups[peak].label + "'s.";
  return svg + Close(caption);
}

std::string LineChart(const std::string &title,
                      const std::vector<Series> &series, const Format &formatX,
                      const Format &formatY) {
  int64_t top = 0, first = INT64_MAX, last = INT64_MIN;
  std::string description;
  std::vector<std::string> names, classes;
  for (size_t i = 0; i < series.size(); ++i) {
    const Series &s = series[i];
    names.push_back(s.name);
    classes.push_back(Colour(i));
    for (const Point &p : s.points) {
      top = std::max(top, p.y);
      first = std::min(first, p.x);
      last = std::max(last, p.x);
    }
    if (!s.points.empty()) {
      description += (description.empty() ? "" : "; ") + s.name + " from " +
                     formatY(s.points.front().y) + " at " +
                     formatX(s.points.front().x) + " to " +
                     formatY(s.points.back().y) + " at " +
                     formatX(s.points.back().x);
    }
  }
  Frame frame;
  const std::string legend =
      description.empty() ? std::string() : Legend(names, classes, frame);
  std::string svg =
      Open(title, description.empty() ? "no data" : description, frame) +
      legend;
  const int64_t ceiling = YAxis(top, formatY, frame, svg);
  if (description.empty())
    return svg + Close("No data.");
  const int64_t span = std::max<int64_t>(last - first, 1);
  auto xOf = [&](int64_t x) {
    return kLeft +
           static_cast<int>(static_cast<double>(x - first) * kPlotWidth / span);
  };
  for (size_t i = 0; i < series.size(); ++i) {
    std::string points, dots;
    for (const Point &p : series[i].points) {
      const std::string x = std::to_string(xOf(p.x));
      const std::string y =
          std::to_string(frame.Base() - Scale(p.y, ceiling, kPlotHeight));
      points += x + "," + y + " ";
      if (series[i].points.size() <= 100) {
        dots +=
            "<circle class=\"dot " + classes[i] + "\" cx=\"" + x + "\" cy=\"" +
            y + "\" r=\"3\"><title>" +
            Escape(series[i].name + ", " + formatX(p.x) + ": " + formatY(p.y)) +
            "</title></circle>";
      }
    }
    svg += "<polyline class=\"line " + classes[i] + "\" points=\"" + points +
           "\"/>" + dots;
  }
  const int ticks = first == last ? 1 : kTicks;
  for (int t = 0; t < ticks; ++t) {
    const int64_t x = first + (last - first) * t / std::max(ticks - 1, 1);
    svg += Line("axis", xOf(x), frame.Base(), xOf(x), frame.Base() + 4) +
           Label(xOf(x), frame.Base() + 16, formatX(x), kPlotWidth / ticks);
  }
  return svg + Close(std::to_string(series.size()) +
                     (series.size() == 1 ? " line" : " lines") + " from " +
                     formatX(first) + " to " + formatX(last) + "; highest " +
                     formatY(top) + ".");
}

} // namespace collector::pages
