#include "report/BlockTable.h"

#include "report/blocks/ProcessBlock.h"
#include "report/blocks/SystemBlock.h"

namespace {

std::unique_ptr<dromika::Block> CreateSystemBlock(const BlockContext& context) {
  return std::make_unique<dromika::SystemBlock>(context.machine, context.excludePersonalData, context.mask);
}

std::unique_ptr<dromika::Block> CreateProcessBlock(const BlockContext& context) {
  return std::make_unique<dromika::ProcessBlock>(context.machine);
}

}  // namespace

const std::vector<BlockRow>& BlockTable() {
  static const std::vector<BlockRow> table = {
      {dromika::SystemBlock::kAllSections, CreateSystemBlock},
      {0x800, CreateProcessBlock},
  };
  return table;
}
