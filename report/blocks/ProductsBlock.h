#pragma once
#include <string>
#include <vector>

#include "platform/Machine.h"
#include "platform/Registry.h"
#include "report/Block.h"

class FileTree;

namespace dromika {

// The maker's installed products, found in the uninstall list by their help
// link and under the maker's own key, in the 64-bit registry view and then
// in the 32-bit one (a key in both is listed once, from the 64-bit view); one
// "product" line each, lines ending with LF. Each install folder is noted, with its subfolders, in the tree,
// which the builder owns and which must outlive the block.
class ProductsBlock : public Block {
 public:
  ProductsBlock(const platform::Machine& machine, FileTree* tree) : machine_(machine), tree_(tree) {}
  std::wstring ProgressText() override { return L"Checking for installed VANTOREL products..."; }
  std::wstring Produce() override;

 private:
  void ScanUninstallList(std::wstring& text);
  void ScanMakerKey(const std::wstring& keyPath, const std::vector<platform::RegistryView>& views, std::wstring& text);
  std::wstring Read(const std::wstring& keyPath, platform::RegistryView view, const wchar_t* valueName,
                    bool* found = nullptr);
  void NoteFolder(const std::wstring& location);

  platform::Machine machine_;
  FileTree* tree_;
};

}  // namespace dromika
