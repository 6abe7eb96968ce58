#include <gtest/gtest.h>

#include "RegistryFixture_win32.h"
#include "platform/Machine.h"
#include "report/blocks/RegistryBlock.h"
#include "runtime/Str.h"

namespace {

// The part of the block text from the line that opens `first` to the line
// that closes it.
std::wstring Section(const std::wstring& text, const std::wstring& first, const std::wstring& last) {
  const size_t start = text.find(first);
  const size_t end = text.find(last, start);
  if (start == std::wstring::npos || end == std::wstring::npos) return L"(missing)";
  return text.substr(start, end + last.size() - start);
}

TEST(HostRegistryBlock, WritesTheMakersKeysAsStored) {
  fixture::ScratchKey user(HKEY_CURRENT_USER, L"Software\\VANTOREL");
  fixture::ScratchKey machine(HKEY_LOCAL_MACHINE, L"Software\\VANTOREL");
  const std::wstring key = L"Software\\VANTOREL";
  user.Text(key, L"", L"the default value is never written");
  user.Text(key, L"Alpha", L"a & <b>");
  user.Text(key, L"Bravo", L"%TEMP%\\x", REG_EXPAND_SZ);
  user.Number(key, L"Charlie", 1024);
  const BYTE binary[] = {1, 2, 3};
  user.Raw(key, L"Delta", REG_BINARY, binary, sizeof binary);
  const wchar_t multi[] = L"a\0b\0";
  user.Raw(key, L"Echo", REG_MULTI_SZ, multi, sizeof multi);
  user.Raw(key, L"Foxtrot", REG_NONE, binary, sizeof binary);
  user.Raw(key, L"Golf", REG_SZ, nullptr, 0);
  user.Raw(key, L"Hotel", REG_SZ, L"abc", 3 * sizeof(wchar_t));  // no terminating NUL
  user.Raw(key, L"India", REG_DWORD, nullptr, 0);
  user.Text(key, L"Juliet", std::wstring(1500, L'j'));  // larger than the first data buffer
  user.Text(key + L"\\Nested\\Deeper", L"Leaf", L"\u00e9t\u00e9");
  user.Key(key + L"\\Other");
  user.Text(key, std::wstring(300, L'n'), L"a name longer than the buffer ends the list");
  user.Text(key, L"Zulu", L"never reached");
  machine.Text(key + L"\\Tally", L"Version", L"10.2");
  // What a 32-bit installer wrote: a key both views hold is written once, the 64-bit view's.
  fixture::ScratchKey narrow(HKEY_LOCAL_MACHINE, L"Software\\VANTOREL", KEY_WOW64_32KEY);
  narrow.Text(key + L"\\Tally", L"Version", L"9.0");
  narrow.Text(key + L"\\Legacy", L"Version", L"1.0");

  const std::wstring text = dromika::RegistryBlock(platform::HostMachine()).Produce();
  EXPECT_EQ(Section(text, L"  <key name=\"HKCU\">\n", L"\n  </key>\n"),
            L"  <key name=\"HKCU\">\n"
            L"    <key name=\"Software\">\n"
            L"      <key name=\"VANTOREL\">\n"
            L"        <value name=\"Alpha\" type=\"REG_SZ\" value=\"a &amp; &lt;b&gt;\"/>\n"
            L"        <value name=\"Bravo\" type=\"REG_EXPAND_SZ\" value=\"%TEMP%\\x\"/>\n"
            L"        <value name=\"Charlie\" type=\"REG_DWORD\" value=\"0x00000400 (1024)\"/>\n"
            L"        <value name=\"Delta\" type=\"REG_BINARY\"/>\n"
            L"        <value name=\"Echo\" type=\"\"/>\n"
            L"        <value name=\"Golf\" type=\"REG_SZ\" value=\"\"/>\n"
            L"        <value name=\"Hotel\" type=\"REG_SZ\" value=\"abc\"/>\n"
            L"        <value name=\"India\" type=\"REG_DWORD\" value=\"\"/>\n"
            L"        <value name=\"Juliet\" type=\"REG_SZ\" value=\"" + std::wstring(1500, L'j') + L"\"/>\n"
            L"        <key name=\"Nested\">\n"
            L"          <key name=\"Deeper\">\n"
            L"            <value name=\"Leaf\" type=\"REG_SZ\" value=\"&#233;t&#233;\"/>\n"
            L"          </key>\n"
            L"        </key>\n"
            L"        <key name=\"Other\">\n"
            L"        </key>\n"
            L"      </key>\n"
            L"    </key>\n"
            L"  </key>\n")
      << str::as_u8string(text);
  EXPECT_NE(text.find(L"  <key name=\"HKLM\">\n    <key name=\"Software\">\n      <key name=\"VANTOREL\">\n"
                      L"        <key name=\"Tally\">\n"
                      L"          <value name=\"Version\" type=\"REG_SZ\" value=\"10.2\"/>\n"
                      L"        </key>\n"
                      L"        <key name=\"Legacy\">\n"
                      L"          <value name=\"Version\" type=\"REG_SZ\" value=\"1.0\"/>\n"
                      L"        </key>\n      </key>\n    </key>\n  </key>\n</registry>\n"),
            std::wstring::npos)
      << str::as_u8string(text);
}

TEST(HostRegistryBlock, MissingMakerKeysLeaveNoTrace) {
  fixture::ScratchKey user(HKEY_CURRENT_USER, L"Software\\VANTOREL");
  fixture::ScratchKey machine(HKEY_LOCAL_MACHINE, L"Software\\VANTOREL");
  fixture::ScratchKey narrow(HKEY_LOCAL_MACHINE, L"Software\\VANTOREL", KEY_WOW64_32KEY);
  const std::wstring text = dromika::RegistryBlock(platform::HostMachine()).Produce();
  EXPECT_EQ(text.find(L"VANTOREL"), std::wstring::npos);
  EXPECT_EQ(text.substr(0, 11), L"<registry>\n");
}

}  // namespace
