#include <algorithm>
#include <cstdint>
#include <vector>

#include "collector/compare/ReportChanges.h"

namespace collector {
namespace {

// Past this many line pairs in the part that differs, the lines are listed
// as all removed then all added rather than aligned.
constexpr size_t kMaxAlignedPairs = 1u << 20;

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  // The indentation before the closing tag is no line of the file.
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string_view::npos) lines.pop_back();
  while (!lines.empty() && lines.front().empty()) lines.erase(lines.begin());
  return lines;
}

// The longest common subsequence, walked from the front.
void Align(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
           std::vector<std::string>& out) {
  const size_t n = a.size(), m = b.size();
  std::vector<uint32_t> len((n + 1) * (m + 1), 0);
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      len[i * (m + 1) + j] = a[i] == b[j] ? len[(i + 1) * (m + 1) + j + 1] + 1
                                          : std::max(len[(i + 1) * (m + 1) + j], len[i * (m + 1) + j + 1]);
    }
  }
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) ++i, ++j;
    else if (i < n && (j == m || len[(i + 1) * (m + 1) + j] >= len[i * (m + 1) + j + 1])) out.push_back("-" + std::string(a[i++]));
    else out.push_back("+" + std::string(b[j++]));
  }
}

}  // namespace

std::vector<std::string> ExcerptLineChanges(std::string_view older, std::string_view newer, size_t maxLines) {
  std::vector<std::string_view> a = Lines(older), b = Lines(newer);
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
  a = {a.begin() + head, a.end() - tail};
  b = {b.begin() + head, b.end() - tail};
  std::vector<std::string> all;
  if (a.size() * b.size() <= kMaxAlignedPairs) {
    Align(a, b, all);
  } else {
    for (auto line : a) all.push_back("-" + std::string(line));
    for (auto line : b) all.push_back("+" + std::string(line));
  }
  if (all.size() > maxLines) {
    const size_t more = all.size() - maxLines;
    all.resize(maxLines);
    all.push_back("… " + std::to_string(more) + " more changed lines");
  }
  return all;
}

}  // namespace collector
