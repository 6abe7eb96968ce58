#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "report/FileTree.h"
#include "report/XmlText.h"
#include "report/blocks/FilesystemBlock.h"
#include "testing/MemoryMachine.h"
#include "unit/report/ReportFixture.h"

namespace {

using platform::MemoryFileSystem;

const platform::SystemTime kMarch5{2024, 3, 5, 9, 7, 3};

class FilesystemBlockTest : public ::testing::Test {
 protected:
  std::wstring Produce() { return dromika::FilesystemBlock(machine.machine(), &tree).Produce(); }
  void Note(const std::wstring& path, bool subfolders = true) { tree.AddFolderContents(&tree, path, subfolders); }

  platform::MemoryMachine machine;
  FileTree tree{machine.files};
};

// The content of each file element that has one, by file name.
std::map<std::wstring, std::wstring> Contents(const std::wstring& text) {
  std::map<std::wstring, std::wstring> contents;
  for (size_t at = 0; (at = text.find(L"\">\n", at)) != std::wstring::npos;) {
    const size_t name = text.rfind(L"<file name=\"", at) + 12;
    const size_t end = text.find(L"      </file>\n", at += 3);
    contents[text.substr(name, text.find(L'"', name) - name)] = text.substr(at, end - at);
    at = end;
  }
  return contents;
}

// Versions and content go by case-sensitive suffixes; what cannot be read, or
// is not on the disk, shows without them.
TEST_F(FilesystemBlockTest, NotedFoldersAndFiles) {
  std::wstring odd = L"C:\\R&D\\a\x01<b>";
  str::AppendCodePoint(odd, 0x1F600);
  for (const auto& [path, content] : std::vector<std::pair<std::wstring, std::string>>{
           {L"C:\\Windows\\system32\\drivers\\disk.sys", std::string(100, 'x')},
           {L"C:\\Windows\\system32\\drivers\\net.sys", std::string(2048, 'x')},
           {L"C:\\P\\tool.exe", "MZ"}, {L"C:\\P\\SETUP.EXE", "MZ"}, {L"C:\\P\\plain.dll", "MZ"},
           {L"C:\\P\\README.TXT", "hidden"}, {L"C:\\P\\setup.log", "line\tone\r\nline two\n"},
           {L"C:\\P\\empty.txt", ""}, {L"C:\\P\\appdebug", "<dbg/>"},
           {L"C:\\P\\latin.txt", "a\xE9" "b\xFF" "c\xC3\xA9"},  // bytes that are not UTF-8 keep their value
           {odd + L"\u00e9.bin", ""}, {L"C:\\R&D\\ff\xDCFF.bin", ""},  // a Linux name's byte that is not UTF-8
           {L"C:\\U\\gone.txt", "soon gone"}, {L"C:\\U\\locked.log", "secret"}, {L"C:\\U\\Closed\\inside.txt", "x"}}) {
    machine.files.AddFile(path, content, kMarch5);
  }
  machine.program.versions[L"C:\\P\\tool.exe"] = L"10.2.0.7";
  machine.program.versions[L"C:\\P\\SETUP.EXE"] = L"1.0";
  machine.files.AddFile(L"C:\\P\\huge.bin", "", kMarch5, 5ull << 30);  // sizes keep all 64 bits
  machine.files.AddFile(L"C:\\P\\four.bin", "", kMarch5, 4294967296ull + 7);
  machine.files.Deny(L"C:\\U\\Closed");
  Note(L"C:\\Windows\\system32\\drivers\\", false);
  for (const wchar_t* folder : {L"C:\\P\\", L"C:\\R&D\\", L"C:\\U\\"}) Note(folder);
  machine.files.Remove(L"C:\\U\\gone.txt");
  machine.files.Deny(L"C:\\U\\locked.log");
  machine.files.AddFile(L"C:\\U\\cloud.log", "never read");  // reading a placeholder would download it
  machine.files.AddFile(L"C:\\U\\cloud.exe", "MZ");
  machine.program.versions[L"C:\\U\\cloud.exe"] = L"1.0";
  for (const wchar_t* name : {L"C:\\U\\cloud.log", L"C:\\U\\cloud.exe"}) machine.files.MakeRemote(name);
  Note(L"C:\\U\\");
  // A folder or link noted as a file shows its own entry.
  machine.files.AddFile(L"C:\\Data\\Logs\\today.log", "x");
  machine.files.AddLink(L"C:\\Data\\Up", kMarch5);
  Note(L"C:\\Data\\Logs", false);
  ExpectFixture(Produce(), "filesystem.xml");
}

// Linux names are case-sensitive; a link, here back to its parent, is never followed.
TEST(FilesystemBlockPosix, LinuxTreeHangsBelowTheRoot) {
  platform::MemoryMachine machine(MemoryFileSystem::Style::kPosix);
  machine.files.AddFile(L"/opt/app/notes.txt", "hi", kMarch5);
  machine.files.AddFile(L"/opt/app/NOTES.txt", "", kMarch5);
  machine.files.AddLink(L"/opt/app/up", kMarch5);
  machine.files.AddFile(L"/top.bin", "", kMarch5);
  FileTree tree(machine.files);
  tree.AddFolderContents(&tree, L"/opt/app/", true);
  tree.AddFileName(&tree, L"top.bin");
  ExpectFixture(dromika::FilesystemBlock(machine.machine(), &tree).Produce(), "filesystem-posix.xml");
}

// Files over the limit show head, notice and tail, whatever characters the
// cuts fall in; content decoded a slice at a time reads as if decoded at
// once; texts longer than the pieces they are collected in lose nothing.
TEST_F(FilesystemBlockTest, LongContent) {
  machine.files.AddFile(L"C:\\P\\big.log", "H" + std::string(511999, 'm') + "T");
  machine.files.AddFile(L"C:\\P\\whole.log", std::string(512000, 'w'));
  std::string cut(600000, 'x');
  cut.replace(255998, 3, "\xE2\x82\xAC");  // the head ends after its first two bytes
  cut.replace(343999, 3, "\xE2\x82\xAC");  // the tail starts with its last two bytes
  machine.files.AddFile(L"C:\\P\\cut.log", cut);
  const std::string pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x80", "\xBF\xBF\xBF",
                                "\xF0\x9F", "\xE2", "\xFF", "\r\n", "<"};
  std::string random;
  for (uint32_t seed = 12345; random.size() < 500000;) {
    seed = seed * 1103515245 + 12345;
    random += pieces[(seed >> 16) % std::size(pieces)];
  }
  random.resize(500000);
  machine.files.AddFile(L"C:\\P\\random.log", random);
  Note(L"C:\\P\\");
  const std::wstring text = Produce();
  const std::wstring stars(15, L'*'), dashes(66, L'-');
  const std::wstring notice =
      L"\n\n" + dashes + L"\n" + stars + L" File content truncated by Dromika " + stars + L"\n" + dashes + L"\n\n";
  const std::wstring ms(255999, L'm'), xs(255998, L'x');
  EXPECT_EQ(Contents(text), (std::map<std::wstring, std::wstring>{
                                {L"big.log", L"H" + ms + notice + ms + L"T"},
                                {L"whole.log", std::wstring(512000, L'w')},
                                {L"cut.log", xs + L"&#226;&#130;" + notice + L"&#130;&#172;" + xs},
                                {L"random.log", XmlEscape(str::as_wstring(random, str::InvalidUtf8::kLatin1))}}));
  EXPECT_EQ(text.substr(text.size() - 24), L"  </dir>\r\n</filesystem>\n");
}

// Each file answers every read with its scripted chunk, as one that fails
// or shrinks between its length being taken and its bytes being read.
struct ScriptedFiles : MemoryFileSystem {
  struct File : platform::ReadableFile {
    explicit File(Chunk c) : chunk(std::move(c)) {}
    int64_t Length() override { return 40; }
    bool Seek(int64_t, bool) override { return true; }
    Chunk Read(size_t) override { return chunk; }
    Chunk chunk;
  };
  std::unique_ptr<platform::ReadableFile> OpenRead(const std::wstring& path) override {
    return std::make_unique<File>(chunks.at(path.substr(5)));
  }
  std::map<std::wstring, platform::ReadableFile::Chunk> chunks;  // by name in C:\P
};

TEST(FilesystemBlockReads, ContentSaysWhyNothingCouldBeRead) {
  auto message = [](int errorNumber) { return XmlEscape(str::as_wstring(std::strerror(errorNumber))); };
  ScriptedFiles files;
  files.chunks = {{L"error.log", {"", true, false, EIO}}, {L"eof.log", {"", false, true, 0}},
                  {L"none.log", {"", false, false, 0}}, {L"part.log", {"ab\xF0", true, false, EIO}}};
  for (const auto& entry : files.chunks) files.AddFile(L"C:\\P\\" + entry.first, std::string(40, 'x'));
  platform::MemoryMachine machine;
  machine.machine().files = &files;
  FileTree tree(files);
  tree.AddFolderContents(&tree, L"C:\\P\\", false);
  EXPECT_EQ(Contents(dromika::FilesystemBlock(machine.machine(), &tree).Produce()),
            (std::map<std::wstring, std::wstring>{
                {L"error.log", L"*** A read error occurred\n: " + message(EIO) + L"\n"},
                {L"eof.log", L"*** EOF found\n: " + message(0) + L"\n"},
                {L"none.log", L"Unknown error\n"},
                {L"part.log", L"ab&#240;"}}));  // what was read is kept
}

}  // namespace
