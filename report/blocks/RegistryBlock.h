#pragma once
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"

namespace dromika {

// A fixed set of registry keys with all their values and subkeys, nested as
// "key" and "value" elements in one "registry" element; lines end with LF.
class RegistryBlock : public Block {
 public:
  explicit RegistryBlock(const platform::Machine& machine) : machine_(machine) {}
  std::wstring ProgressText() override { return L"Scanning system Registry..."; }
  std::wstring Produce() override;

  // The text of one key given as "HKLM\path". A depth of -1 writes a
  // configured key with the elements of its path around it, and nothing when
  // the key does not open; otherwise depth is the indent of its contents.
  std::wstring DumpRegistryKey(const std::wstring& path, int depth);

 private:
  void DumpValues(const std::wstring& path, int depth, std::wstring& text);
  void DumpSubkeys(const std::wstring& path, int depth, std::wstring& text);

  platform::Machine machine_;
};

}  // namespace dromika
