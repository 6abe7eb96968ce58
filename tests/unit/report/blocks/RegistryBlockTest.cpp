#include <gtest/gtest.h>

#include "report/blocks/RegistryBlock.h"
#include "runtime/Str.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::RegistryRoot;

constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kMachine = RegistryRoot::kLocalMachine;
const std::wstring kBios = L"Hardware\\Description\\System\\BIOS";

class RegistryBlockTest : public ::testing::Test {
 protected:
  std::wstring Produce() { return dromika::RegistryBlock(machine.machine()).Produce(); }
  void SetRaw(RegistryRoot root, const std::wstring& key, const std::wstring& name, uint32_t type,
              std::vector<uint8_t> data) {
    machine.registry.SetValue(root, key, {name, type, std::move(data)});
  }

  platform::MemoryMachine machine;
};

TEST_F(RegistryBlockTest, NoKeysGivesTheBareContainer) { EXPECT_EQ(Produce(), L"<registry>\n</registry>\n"); }

TEST_F(RegistryBlockTest, BiosKeyNestsItsPathAndValues) {
  machine.registry.SetString(kMachine, kBios, L"BIOSVendor", L"Acme & Sons");
  machine.registry.SetDword(kMachine, kBios, L"BiosMajorRelease", 1024);
  EXPECT_EQ(Produce(),
            L"<registry>\n"
            L"  <key name=\"HKLM\">\n"
            L"    <key name=\"Hardware\">\n"
            L"      <key name=\"Description\">\n"
            L"        <key name=\"System\">\n"
            L"          <key name=\"BIOS\">\n"
            L"            <value name=\"BIOSVendor\" type=\"REG_SZ\" value=\"Acme &amp; Sons\"/>\n"
            L"            <value name=\"BiosMajorRelease\" type=\"REG_DWORD\" value=\"0x00000400 (1024)\"/>\n"
            L"          </key>\n"
            L"        </key>\n"
            L"      </key>\n"
            L"    </key>\n"
            L"  </key>\n"
            L"</registry>\n");
}

TEST_F(RegistryBlockTest, EveryValueTypeHasItsLineAndSubkeysFollowValues) {
  const std::wstring key = L"Software\\VANTOREL";
  machine.registry.SetString(kUser, key, L"", L"default is never written");
  machine.registry.SetString(kUser, key, L"Path", L"%ProgramFiles%\\V", platform::kRegExpandSz);
  SetRaw(kUser, key, L"Blob", platform::kRegBinary, {1, 2, 3});
  SetRaw(kUser, key, L"List", platform::kRegMultiSz, platform::Utf16Bytes(L"a\0b", true));
  SetRaw(kUser, key, L"Nothing", platform::kRegNone, {});
  SetRaw(kUser, key, L"Big", platform::kRegDwordBigEndian, {0, 0, 0, 1});
  SetRaw(kUser, key, L"Link", platform::kRegLink, {});
  SetRaw(kUser, key, L"Resources", platform::kRegResourceList, {9});
  SetRaw(kUser, key, L"Wide", platform::kRegQword, std::vector<uint8_t>(8, 0xFF));
  SetRaw(kUser, key, L"Odd", 12345, {});
  machine.registry.SetString(kUser, key + L"\\Inner\\Deeper", L"Name", L"<deep>");
  machine.registry.CreateKey(kUser, key + L"\\Empty");
  EXPECT_EQ(Produce(),
            L"<registry>\n"
            L"  <key name=\"HKCU\">\n"
            L"    <key name=\"Software\">\n"
            L"      <key name=\"VANTOREL\">\n"
            L"        <value name=\"Path\" type=\"REG_EXPAND_SZ\" value=\"%ProgramFiles%\\V\"/>\n"
            L"        <value name=\"Blob\" type=\"REG_BINARY\"/>\n"
            L"        <value name=\"List\" type=\"\"/>\n"
            L"        <value name=\"Big\" type=\"REG_DWORD_BIG_ENDIAN\"/>\n"
            L"        <value name=\"Link\" type=\"REG_LINK\"/>\n"
            L"        <value name=\"Resources\" type=\"REG_RESOURCE_LIST\"/>\n"
            L"        <value name=\"Wide\" type=\"REG_QWORD\"/>\n"
            L"        <value name=\"Odd\" type=\"\"/>\n"
            L"        <key name=\"Inner\">\n"
            L"          <key name=\"Deeper\">\n"
            L"            <value name=\"Name\" type=\"REG_SZ\" value=\"&lt;deep&gt;\"/>\n"
            L"          </key>\n"
            L"        </key>\n"
            L"        <key name=\"Empty\">\n"
            L"        </key>\n"
            L"      </key>\n"
            L"    </key>\n"
            L"  </key>\n"
            L"</registry>\n");
}

TEST_F(RegistryBlockTest, KeysComeInTheirFixedOrder) {
  machine.registry.SetDword(kMachine, L"Software\\VANTOREL", L"Machine", 1);
  machine.registry.SetDword(kMachine, kBios, L"Bios", 2);
  machine.registry.SetDword(kUser, L"Software\\VANTOREL", L"User", 3);
  const std::wstring text = Produce();
  const size_t user = text.find(L"\"User\""), bios = text.find(L"\"Bios\""), mine = text.find(L"\"Machine\"");
  ASSERT_NE(mine, std::wstring::npos);
  EXPECT_LT(user, bios);
  EXPECT_LT(bios, mine);
}

// Data of every size, with and without its terminating NUL, and names that
// need escaping or do not fit the name buffer.
TEST_F(RegistryBlockTest, AwkwardDataDegradesToText) {
  const std::wstring key = L"Software\\VANTOREL";
  SetRaw(kUser, key, L"EmptyString", platform::kRegSz, {});
  SetRaw(kUser, key, L"OneByte", platform::kRegSz, {'x'});
  SetRaw(kUser, key, L"Unterminated", platform::kRegSz, platform::Utf16Bytes(L"abc", false));
  SetRaw(kUser, key, L"OddLength", platform::kRegSz, {'h', 0, 'i', 0, '!'});
  SetRaw(kUser, key, L"EmbeddedNul", platform::kRegSz, platform::Utf16Bytes(std::wstring(L"up\0to", 5)));
  SetRaw(kUser, key, L"NoDword", platform::kRegDword, {});
  SetRaw(kUser, key, L"ShortDword", platform::kRegDword, {0x34, 0x12});
  SetRaw(kUser, key, L"LongDword", platform::kRegDword, {1, 0, 0, 0, 0xFF});
  SetRaw(kUser, key, L"Lone", platform::kRegSz, {0x00, 0xD8, 'z', 0});  // an unpaired surrogate
  SetRaw(kUser, key, L"Ctl\t<&>\"'", platform::kRegSz, platform::Utf16Bytes(L"\x01\x1f ok"));
  machine.registry.CreateKey(kUser, key + L"\\A&B");
  const std::wstring text = Produce();
  for (const wchar_t* line : {
           L"<value name=\"EmptyString\" type=\"REG_SZ\" value=\"\"/>\n",
           L"<value name=\"OneByte\" type=\"REG_SZ\" value=\"\"/>\n",
           L"<value name=\"Unterminated\" type=\"REG_SZ\" value=\"abc\"/>\n",
           L"<value name=\"OddLength\" type=\"REG_SZ\" value=\"hi\"/>\n",
           L"<value name=\"EmbeddedNul\" type=\"REG_SZ\" value=\"up\"/>\n",
           L"<value name=\"NoDword\" type=\"REG_DWORD\" value=\"\"/>\n",
           L"<value name=\"ShortDword\" type=\"REG_DWORD\" value=\"0x00001234 (4660)\"/>\n",
           L"<value name=\"LongDword\" type=\"REG_DWORD\" value=\"0x00000001 (1)\"/>\n",
           L"<value name=\"Lone\" type=\"REG_SZ\" value=\"z\"/>\n",
           L"<value name=\"Ctl&#009;&lt;&amp;&gt;&quot;&apos;\" type=\"REG_SZ\" value=\" ok\"/>\n",
           L"<key name=\"A&amp;B\">\n",
       }) {
    EXPECT_NE(text.find(line), std::wstring::npos) << str::as_u8string(line);
  }

  // A name longer than the 260-character buffer ends that key's value list.
  SetRaw(kUser, key, std::wstring(300, L'n'), platform::kRegSz, platform::Utf16Bytes(L"long"));
  SetRaw(kUser, key, L"After", platform::kRegSz, platform::Utf16Bytes(L"unseen"));
  const std::wstring cut = Produce();
  EXPECT_EQ(cut.find(L"nnnn"), std::wstring::npos);
  EXPECT_EQ(cut.find(L"After"), std::wstring::npos);
  EXPECT_NE(cut.find(L"<key name=\"A&amp;B\">"), std::wstring::npos);
}

TEST_F(RegistryBlockTest, UnreadableKeysLeaveTheirTraces) {
  machine.registry.SetDword(kUser, L"Software\\VANTOREL\\Closed", L"Hidden", 1);
  machine.registry.DenyAccess(kUser, L"Software\\VANTOREL\\Closed");
  machine.registry.SetDword(kMachine, L"Software\\VANTOREL", L"Seen", 1);
  machine.registry.DenyAccess(kMachine, L"Software\\VANTOREL");
  EXPECT_EQ(Produce(),
            L"<registry>\n"
            L"  <key name=\"HKCU\">\n"
            L"    <key name=\"Software\">\n"
            L"      <key name=\"VANTOREL\">\n"
            L"        <key name=\"Closed\">\n"
            L"        </key>\n"
            L"      </key>\n"
            L"    </key>\n"
            L"  </key>\n"
            L"</registry>\n");
}

TEST_F(RegistryBlockTest, UnknownRootPrefixGivesNothing) {
  machine.registry.SetDword(kUser, L"Software\\X", L"V", 1);
  dromika::RegistryBlock block(machine.machine());
  EXPECT_EQ(block.DumpRegistryKey(L"HKXX\\Software\\X", -1), L"");
  EXPECT_EQ(block.DumpRegistryKey(L"HKCU\\Software\\X", 4), L"      <value name=\"V\" type=\"REG_DWORD\" value=\"0x00000001 (1)\"/>\n");
}

}  // namespace
