// The "processes" element: every non-system property of every running
// process, one line per process, as the management source lists them.
#pragma once
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"

namespace dromika {

class ProcessBlock : public Block {
 public:
  explicit ProcessBlock(const platform::Machine& machine) : machine_(machine) {}

  std::wstring ProgressText() override { return L"Examining running processes..."; }
  std::wstring Produce() override;

 private:
  platform::Machine machine_;
};

}  // namespace dromika
