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
