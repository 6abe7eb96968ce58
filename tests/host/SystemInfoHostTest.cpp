#include <gtest/gtest.h>

#include "platform/SystemInfo.h"

namespace {

bool Matches(const std::wstring& text, const std::wstring& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= L'0' && text[i] <= L'9';
    if (shape[i] == L'9' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

TEST(HostSystemInfo, FiguresAreConsistent) {
  auto& info = platform::HostSystemInfo();
  const auto cpu = info.Processors();
  EXPECT_GE(cpu.count, 1u);
  EXPECT_NE(cpu.architecture, 0xFFFF);
  const auto memory = info.Memory();
  EXPECT_GT(memory.totalPhys, 0u);
  EXPECT_GE(memory.totalPageFile, memory.totalPhys);
  EXPECT_LE(memory.availPageFile, memory.totalPageFile);
}

TEST(HostSystemInfo, LocalTimeTexts) {
  const auto time = platform::HostSystemInfo().LocalTime();
  EXPECT_TRUE(Matches(time.time, L"99:99:99"));
  EXPECT_TRUE(Matches(time.date, L"99/99/9999"));
  EXPECT_FALSE(time.zone.empty());
}

}  // namespace
