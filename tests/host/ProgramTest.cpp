#include <gtest/gtest.h>

#include "platform/Program.h"
#include "report/ReportBuilder.h"
#include "runtime/Banner.h"
#include "runtime/Str.h"

namespace {

// Every executable of the tree carries the build's version where the host
// keeps file versions: a version resource on Windows, an ELF section on Linux.
TEST(HostProgram, ReadsTheBuildVersionFromItsOwnFile) {
  auto& program = platform::HostProgram();
  std::wstring version;
  ASSERT_EQ(program.FileVersion(program.ModulePath(), version), 0u);
  EXPECT_EQ(version, str::as_wstring(version::BuildVersion()));
}

TEST(HostProgram, MissingFileHasNoVersion) {
  std::wstring version = L"stale";
  EXPECT_NE(platform::HostProgram().FileVersion(L"no-such-file.exe", version), 0u);
  EXPECT_EQ(version, L"");
}

TEST(ReportBuilder, RootTagCarriesTheRealVersion) {
  ReportBuilder builder;
  const std::wstring full = str::as_wstring(version::BuildVersion());
  const std::wstring document = builder.GetDocument();
  EXPECT_NE(document.find(L"<dromika version='" + ShortVersion(full) + L"' versionDisplay='" + full + L"'>\r\n"),
            std::wstring::npos)
      << str::as_u8string(document);
}

}  // namespace
