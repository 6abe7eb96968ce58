#pragma once
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"

namespace dromika {

// The fixed drives with their free space: one "disks" element, lines ending with LF.
class DiskSpaceBlock : public Block {
 public:
  explicit DiskSpaceBlock(const platform::Machine& machine) : machine_(machine) {}
  std::wstring ProgressText() override { return L"Checking available disk space..."; }
  std::wstring Produce() override;

 private:
  platform::Machine machine_;
};

}  // namespace dromika
