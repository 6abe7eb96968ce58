#pragma once
#include <string>

#include "platform/Machine.h"
#include "report/Block.h"
#include "report/RegistryViews.h"

namespace dromika {

// A fixed set of registry keys with all their values and subkeys, nested as
// "key" and "value" elements in one "registry" element; lines end with LF.
// The machine's maker key is read in the 64-bit view and then the 32-bit one
// as one key: a subkey or value that both hold is written once, from the
// 64-bit view.
class RegistryBlock : public Block {
 public:
  explicit RegistryBlock(const platform::Machine& machine) : machine_(machine) {}
  std::wstring ProgressText() override { return L"Scanning system Registry..."; }
  std::wstring Produce() override;

  // The text of one key given as "HKLM\path". A depth of -1 writes a
  // configured key with the elements of its path around it, and nothing when
  // the key does not open; otherwise depth is the indent of its contents.
  std::wstring DumpRegistryKey(const std::wstring& path, int depth);
  // The same, with the key read in every one of views as one key (see
  // MergedSubkeys); a top-level key is written when any view opens it.
  std::wstring DumpRegistryKey(const std::wstring& path, int depth, const RegistryViews& views);

 private:
  void DumpValues(const std::wstring& path, int depth, const RegistryViews& views, std::wstring& text);
  void DumpSubkeys(const std::wstring& path, int depth, const RegistryViews& views, std::wstring& text);

  platform::Machine machine_;
};

}  // namespace dromika
