#include "runtime/Banner.h"

#include "runtime/Str.h"
#include "runtime/Version.h"

namespace version {

const char* BuildVersion() { return DROMIKA_VERSION_TEXT; }

std::wstring CmdLineBanner(const std::wstring& name) {
  return name + L" version " + str::as_wstring(BuildVersion()) + L" - machine report and usage analytics";
}

}  // namespace version
