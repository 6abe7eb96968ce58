#pragma once
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"

namespace dromika {

// The network adapters with their hardware and IPv4 addresses: one
// "networking" element, lines ending with CR LF.
class NetworkingBlock : public Block {
 public:
  explicit NetworkingBlock(const platform::Machine& machine) : machine_(machine) {}
  std::wstring ProgressText() override { return L"Scanning network settings..."; }
  std::wstring Produce() override;

 private:
  platform::Machine machine_;
};

}  // namespace dromika
