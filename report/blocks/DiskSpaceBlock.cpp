#include "report/blocks/DiskSpaceBlock.h"

#include "platform/Drives.h"
#include "report/XmlText.h"
#include "runtime/Format.h"

namespace dromika {
namespace {

// A fixed drive whose figures the system does not give still gets its line, with zeros.
std::wstring DiskLine(platform::Drives& drives, const std::wstring& root) {
  const platform::DriveSpace space = drives.FreeSpace(root).value_or(platform::DriveSpace{});
  std::wstring line = L"  <disk type=\"fixed\" drive=\"" + XmlEscape(root) + L"\"";
  line += str::snprintf(L" totalfreebytes=\"%I64d\" totalavailablebytes=\"%I64d\"",
                        static_cast<long long>(space.totalFree), static_cast<long long>(space.available));
  line += str::snprintf(L" totalfree=\"%s\" totalavailable=\"%s\"", FormatByteSize(space.totalFree, 0),
                        FormatByteSize(space.available, 0));
  return line + L"/>\n";
}

}  // namespace

std::wstring DiskSpaceBlock::Produce() {
  std::wstring text = L"<disks>\n";
  if (platform::Drives* drives = machine_.drives) {
    for (const auto& root : drives->RootPaths()) {
      if (drives->TypeOf(root) == platform::DriveType::kFixed) text += DiskLine(*drives, root);
    }
  }
  return text + L"</disks>\n";
}

}  // namespace dromika
