#include <gtest/gtest.h>

#include "report/SystemReaders.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::RegistryRoot;

TEST(ReadRegistryString, ReadsStringTypesOnly) {
  platform::MemoryMachine memory;
  auto& reg = memory.registry;
  const std::wstring key = L"Software\\Test";
  reg.SetString(RegistryRoot::kLocalMachine, key, L"sz", L"text");
  reg.SetString(RegistryRoot::kLocalMachine, key, L"expand", L"%TEMP%\\x", platform::kRegExpandSz);
  reg.SetString(RegistryRoot::kLocalMachine, key, L"long", std::wstring(300, L'x'));
  reg.SetDword(RegistryRoot::kLocalMachine, key, L"dword", 5);
  reg.SetValue(RegistryRoot::kLocalMachine, key, {L"empty", platform::kRegSz, {}});
  reg.SetValue(RegistryRoot::kLocalMachine, key, {L"unterminated", platform::kRegSz, {'h', 0, 'i', 0}});

  std::wstring out = L"unchanged";
  EXPECT_FALSE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"dword", out));
  EXPECT_FALSE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"missing", out));
  EXPECT_FALSE(ReadRegistryString(reg, RegistryRoot::kCurrentUser, key, L"sz", out));
  EXPECT_EQ(out, L"unchanged");

  EXPECT_TRUE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"SZ", out));
  EXPECT_EQ(out, L"text");
  EXPECT_TRUE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"expand", out));
  EXPECT_EQ(out, L"%TEMP%\\x");
  EXPECT_TRUE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"long", out));
  EXPECT_EQ(out.size(), 300u);
  EXPECT_TRUE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"empty", out));
  EXPECT_EQ(out, L"");
  EXPECT_TRUE(ReadRegistryString(reg, RegistryRoot::kLocalMachine, key, L"unterminated", out));
  EXPECT_EQ(out, L"hi");
}

TEST(GetEnvVar, UnsetIsEmpty) {
  platform::MemoryMachine memory;
  memory.environment.Set(L"SystemRoot", L"C:\\Windows");
  EXPECT_EQ(GetEnvVar(memory.environment, L"SystemRoot"), L"C:\\Windows");
  EXPECT_EQ(GetEnvVar(memory.environment, L"Nope"), L"");
}

TEST(GetFileVersion, ClearsTheTextOnFailure) {
  platform::MemoryMachine memory;
  memory.program.versions[L"C:\\a.dll"] = L"1.2.3.4";
  std::wstring out = L"old";
  EXPECT_EQ(GetFileVersion(memory.program, L"C:\\a.dll", out), 0u);
  EXPECT_EQ(out, L"1.2.3.4");
  EXPECT_NE(GetFileVersion(memory.program, L"C:\\b.dll", out), 0u);
  EXPECT_EQ(out, L"");
}

}  // namespace
