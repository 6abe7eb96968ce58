// The top-level elements a report's blocks write, in the order they write them.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace collector {

enum class ReportBlock { kNetworking, kSystem, kDisks, kRegistry, kProducts, kFilesystem, kProcesses };

struct ReportBlockInfo {
  ReportBlock block;
  std::string_view element;  // the element name in a document
  std::string_view title;    // the heading a page shows
};

constexpr std::array<ReportBlockInfo, 7> kReportBlocks = {{
    {ReportBlock::kNetworking, "networking", "Network adapters"},
    {ReportBlock::kSystem, "system", "System configuration"},
    {ReportBlock::kDisks, "disks", "Disks"},
    {ReportBlock::kRegistry, "registry", "Registry"},
    {ReportBlock::kProducts, "products", "Products"},
    {ReportBlock::kFilesystem, "filesystem", "File system"},
    {ReportBlock::kProcesses, "processes", "Processes"},
}};

// The block that writes `element`, or none for any other element.
constexpr std::optional<ReportBlock> ReportBlockNamed(std::string_view element) {
  for (const auto& info : kReportBlocks) {
    if (info.element == element) return info.block;
  }
  return std::nullopt;
}

constexpr const ReportBlockInfo& InfoOf(ReportBlock block) { return kReportBlocks[static_cast<size_t>(block)]; }

}  // namespace collector
