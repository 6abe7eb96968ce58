#include "report/BlockTable.h"

#include "report/blocks/DiskSpaceBlock.h"
#include "report/blocks/FilesystemBlock.h"
#include "report/blocks/NetworkingBlock.h"
#include "report/blocks/ProcessBlock.h"
#include "report/blocks/ProductsBlock.h"
#include "report/blocks/RegistryBlock.h"
#include "report/blocks/SystemBlock.h"

namespace {

template <class B>
std::unique_ptr<dromika::Block> WithMachine(const BlockContext& context) {
  return std::make_unique<B>(context.machine);
}

// The products block notes the install folders in the tree that the file
// system block writes out later.
template <class B>
std::unique_ptr<dromika::Block> WithTree(const BlockContext& context) {
  return std::make_unique<B>(context.machine, &context.tree);
}

std::unique_ptr<dromika::Block> CreateSystemBlock(const BlockContext& context) {
  return std::make_unique<dromika::SystemBlock>(context.machine, context.excludePersonalData, context.mask);
}

}  // namespace

const std::vector<BlockRow>& BlockTable() {
  static const std::vector<BlockRow> table = {
      {blockbits::kNetworking, WithMachine<dromika::NetworkingBlock>},
      {dromika::SystemBlock::kAllSections, CreateSystemBlock},
      {blockbits::kDiskSpace, WithMachine<dromika::DiskSpaceBlock>},
      {blockbits::kRegistry, WithMachine<dromika::RegistryBlock>},
      {blockbits::kProducts, WithTree<dromika::ProductsBlock>},
      {blockbits::kFilesystem, WithTree<dromika::FilesystemBlock>},
      {blockbits::kProcesses, WithMachine<dromika::ProcessBlock>},
  };
  return table;
}
