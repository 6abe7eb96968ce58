// The report blocks in the order the builder creates them, with the mask
// bits that select each.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "report/Block.h"

namespace platform {
struct Machine;
}
class FileTree;

using BlockMask = uint32_t;

// The bits that select each block; the system block has one per section
// (SystemBlock::kWmi and the rest).
namespace blockbits {
inline constexpr BlockMask kNetworking = 0x2;
inline constexpr BlockMask kDiskSpace = 0x8;
inline constexpr BlockMask kRegistry = 0x10;
inline constexpr BlockMask kProducts = 0x20;
inline constexpr BlockMask kFilesystem = 0x80;
inline constexpr BlockMask kProcesses = 0x800;
// The 28 low bits: every block and every section, as report mode runs them.
inline constexpr BlockMask kAll = 0x0FFFFFFF;
}  // namespace blockbits

// What a block may be given at construction.
struct BlockContext {
  const platform::Machine& machine;
  FileTree& tree;
  bool excludePersonalData;
  BlockMask mask;
};

struct BlockRow {
  BlockMask bits;  // the row is selected when the mask has any of these bits
  std::unique_ptr<dromika::Block> (*create)(const BlockContext&);
};

const std::vector<BlockRow>& BlockTable();
