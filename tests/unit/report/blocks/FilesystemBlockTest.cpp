#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "report/FileTree.h"
#include "report/XmlText.h"
#include "report/blocks/FilesystemBlock.h"
#include "runtime/Str.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::MemoryFileSystem;
using platform::SystemTime;

const SystemTime kMarch5{2024, 3, 5, 9, 7, 3};

class FilesystemBlockTest : public ::testing::Test {
 protected:
  std::wstring Produce() { return dromika::FilesystemBlock(machine.machine(), &tree).Produce(); }
  void Note(const std::wstring& path, bool withSubfolders = true) { tree.AddFolderContents(&tree, path, withSubfolders); }

  platform::MemoryMachine machine;
  FileTree tree{machine.files};
};

TEST_F(FilesystemBlockTest, EmptyTreeGivesTheBareContainer) {
  EXPECT_EQ(Produce(), L"<filesystem>\n</filesystem>\n");
}

TEST_F(FilesystemBlockTest, DriversFolderNestsWithItsIndentsAndLineEnds) {
  machine.files.AddFile(L"C:\\Windows\\system32\\drivers\\disk.sys", std::string(100, 'x'), kMarch5);
  machine.files.AddFile(L"C:\\Windows\\system32\\drivers\\net.sys", std::string(2048, 'x'), kMarch5);
  Note(L"C:\\Windows\\system32\\drivers\\", false);
  EXPECT_EQ(Produce(),
            L"<filesystem>\n"
            L"  <dir name=\"C:\">\r\n"
            L"  <dir name=\"Windows\">\r\n"
            L"    <dir name=\"system32\">\r\n"
            L"      <dir name=\"drivers\">\r\n"
            L"        <file name=\"disk.sys\" bytes=\"100\" size=\"100 B\" datemodified=\"05/03/2024 9:07:03\"/>\n"
            L"        <file name=\"net.sys\" bytes=\"2048\" size=\"2 KB\" datemodified=\"05/03/2024 9:07:03\"/>\n"
            L"      </dir>\r\n"
            L"    </dir>\r\n"
            L"  </dir>\r\n"
            L"  </dir>\r\n"
            L"</filesystem>\n");
}

TEST_F(FilesystemBlockTest, VersionsAndContentFollowCaseSensitiveSuffixes) {
  machine.files.AddFile(L"C:\\P\\tool.exe", "MZ", kMarch5);
  machine.files.AddFile(L"C:\\P\\SETUP.EXE", "MZ", kMarch5);
  machine.files.AddFile(L"C:\\P\\plain.dll", "MZ", kMarch5);
  machine.files.AddFile(L"C:\\P\\README.TXT", "hidden", kMarch5);
  machine.files.AddFile(L"C:\\P\\setup.log", "line\tone\r\nline two\n", kMarch5);
  machine.files.AddFile(L"C:\\P\\empty.txt", "", kMarch5);
  machine.files.AddFile(L"C:\\P\\appdebug", "<dbg/>", kMarch5);
  machine.program.versions[L"C:\\P\\tool.exe"] = L"10.2.0.7";
  machine.program.versions[L"C:\\P\\SETUP.EXE"] = L"1.0";
  Note(L"C:\\P\\");
  const std::wstring date = L" datemodified=\"05/03/2024 9:07:03\"";
  EXPECT_EQ(Produce(),
            L"<filesystem>\n"
            L"  <dir name=\"C:\">\r\n"
            L"  <dir name=\"P\">\r\n"
            L"      <file name=\"tool.exe\" bytes=\"2\" size=\"2 B\"" + date + L" version=\"10.2.0.7\"/>\n"
            L"      <file name=\"SETUP.EXE\" bytes=\"2\" size=\"2 B\"" + date + L"/>\n"
            L"      <file name=\"plain.dll\" bytes=\"2\" size=\"2 B\"" + date + L"/>\n"
            L"      <file name=\"README.TXT\" bytes=\"6\" size=\"6 B\"" + date + L"/>\n"
            L"      <file name=\"setup.log\" bytes=\"19\" size=\"19 B\"" + date + L">\n"
            L"line&#009;one&#013;\nline two\n"
            L"      </file>\n"
            L"      <file name=\"empty.txt\" bytes=\"0\" size=\"0 B\"" + date + L">\n"
            L"      </file>\n"
            L"      <file name=\"appdebug\" bytes=\"6\" size=\"6 B\"" + date + L">\n"
            L"&lt;dbg/&gt;      </file>\n"
            L"  </dir>\r\n"
            L"  </dir>\r\n"
            L"</filesystem>\n");
}

std::wstring Content(const std::wstring& text) {
  const std::wstring open = L"\">\n";
  const size_t start = text.find(open) + open.size();
  return text.substr(start, text.rfind(L"      </file>") - start);
}

TEST_F(FilesystemBlockTest, LongFilesShowHeadNoticeAndTail) {
  std::string content(512001, 'm');
  content.front() = 'H';
  content.back() = 'T';
  machine.files.AddFile(L"C:\\P\\big.log", content);
  Note(L"C:\\P\\");
  const std::wstring shown = Content(Produce());
  EXPECT_EQ(shown, L"H" + std::wstring(255999, L'm') + dromika::kContentNotice + std::wstring(255999, L'm') + L"T");
  EXPECT_EQ(std::wstring(dromika::kContentNotice),
            L"\n\n" + std::wstring(66, L'-') + L"\n" + std::wstring(15, L'*') +
                L" File content truncated by Dromika " + std::wstring(15, L'*') + L"\n" + std::wstring(66, L'-') +
                L"\n\n");

  machine.files.AddFile(L"C:\\Q\\whole.log", std::string(512000, 'w'));
  tree.Clear();
  Note(L"C:\\Q\\");
  EXPECT_EQ(Content(Produce()), std::wstring(512000, L'w'));
}

TEST_F(FilesystemBlockTest, SizesKeepAllSixtyFourBits) {
  machine.files.AddFile(L"C:\\P\\huge.bin", "", kMarch5, 5ull << 30);
  machine.files.AddFile(L"C:\\P\\four.bin", "", kMarch5, 4294967296ull + 7);
  Note(L"C:\\P\\");
  const std::wstring text = Produce();
  EXPECT_NE(text.find(L"name=\"huge.bin\" bytes=\"5368709120\" size=\"5 GB\""), std::wstring::npos);
  EXPECT_NE(text.find(L"name=\"four.bin\" bytes=\"4294967303\" size=\"4 GB\""), std::wstring::npos);
}

// Every byte that is not part of valid UTF-8 shows as the character of the
// same value, also where the head or the tail cuts a character in two.
TEST_F(FilesystemBlockTest, ContentThatIsNotUtf8KeepsEveryByte) {
  machine.files.AddFile(L"C:\\P\\mixed.txt", "a\xE9" "b\xFF" "c\xC3\xA9");
  Note(L"C:\\P\\");
  EXPECT_EQ(Content(Produce()), L"a&#233;b&#255;c&#233;");

  std::string content(600000, 'x');
  content.replace(255998, 3, "\xE2\x82\xAC");  // the head ends after its first two bytes
  content.replace(343999, 3, "\xE2\x82\xAC");  // the tail starts with its last two bytes
  machine.files.AddFile(L"C:\\Q\\cut.log", content);
  tree.Clear();
  Note(L"C:\\Q\\");
  const std::wstring shown = Content(Produce());
  EXPECT_EQ(shown.substr(0, shown.find(L'\n')), std::wstring(255998, L'x') + L"&#226;&#130;");
  EXPECT_EQ(shown.substr(shown.rfind(L'\n') + 1, 20), L"&#130;&#172;xxxxxxxx");
  EXPECT_EQ(shown.size(), 255998 + 12 + std::wcslen(dromika::kContentNotice) + 12 + 255998);
}

// Content is decoded a slice at a time; whatever the bytes at the slice
// edges, the text must be what decoding the whole excerpt at once gives.
TEST_F(FilesystemBlockTest, ContentDecodesAlikeWhereverItIsCut) {
  const std::string pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x80", "\xBF\xBF\xBF", "\xF0\x9F",
                                "\xE2", "\xFF", "\r\n", "<"};
  std::string content;
  uint32_t seed = 12345;
  while (content.size() < 500000) {
    seed = seed * 1103515245 + 12345;
    content += pieces[(seed >> 16) % (sizeof pieces / sizeof pieces[0])];
  }
  content.resize(500000);
  machine.files.AddFile(L"C:\\P\\random.log", content);
  Note(L"C:\\P\\");
  EXPECT_EQ(Content(Produce()), XmlEscape(str::as_wstring(content, str::InvalidUtf8::kLatin1)));
}

TEST_F(FilesystemBlockTest, AwkwardNamesAreEscapedOrDropped) {
  std::wstring odd = L"a\x01<b>";
  str::AppendCodePoint(odd, 0x1F600);
  odd += L"\u00e9.bin";
  machine.files.AddFile(L"C:\\R&D\\" + odd, "");
  // Bytes of a Linux name that are not UTF-8 show as Latin-1, so "ff\xFF" and "ff" stay apart.
  const std::wstring keptByte(1, static_cast<wchar_t>(0xDCFF));
  machine.files.AddFile(L"C:\\R&D\\ff" + keptByte + L".bin", "");
  Note(L"C:\\R&D\\");
  const std::wstring text = Produce();
  EXPECT_NE(text.find(L"<file name=\"ff&#255;.bin\" bytes=\"0\""), std::wstring::npos);
  EXPECT_NE(text.find(L"<dir name=\"R&amp;D\">\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"<file name=\"a&lt;b&gt;&#233;.bin\" bytes=\"0\""), std::wstring::npos);
}

TEST_F(FilesystemBlockTest, WhatCannotBeReadDegrades) {
  machine.files.AddFile(L"C:\\P\\gone.txt", "soon gone");
  machine.files.AddFile(L"C:\\P\\locked.log", "secret");
  machine.files.AddFile(L"C:\\P\\Closed\\inside.txt", "never listed");
  machine.files.Deny(L"C:\\P\\Closed");
  Note(L"C:\\P\\");
  machine.files.Remove(L"C:\\P\\gone.txt");
  machine.files.Deny(L"C:\\P\\locked.log");
  machine.files.AddFile(L"C:\\P\\cloud.log", "never read");  // reading a placeholder would download it
  machine.files.AddFile(L"C:\\P\\cloud.exe", "MZ");
  machine.program.versions[L"C:\\P\\cloud.exe"] = L"1.0";
  for (const wchar_t* name : {L"C:\\P\\cloud.log", L"C:\\P\\cloud.exe"}) machine.files.MakeRemote(name);
  Note(L"C:\\P\\");
  EXPECT_EQ(Produce(),
            L"<filesystem>\n"
            L"  <dir name=\"C:\">\r\n"
            L"  <dir name=\"P\">\r\n"
            L"    <dir name=\"Closed\">\r\n"
            L"    </dir>\r\n"
            L"      <file name=\"locked.log\" bytes=\"6\" size=\"6 B\" datemodified=\"01/01/1601 0:00:00\">\n"
            L"      </file>\n"
            L"      <file name=\"cloud.log\" bytes=\"10\" size=\"10 B\" datemodified=\"01/01/1601 0:00:00\">\n"
            L"      </file>\n"
            L"      <file name=\"cloud.exe\" bytes=\"2\" size=\"2 B\" datemodified=\"01/01/1601 0:00:00\"/>\n"
            L"  </dir>\r\n"
            L"  </dir>\r\n"
            L"</filesystem>\n");
}

TEST_F(FilesystemBlockTest, FoldersAndLinksNotedAsFilesShowTheirOwnEntry) {
  machine.files.AddFile(L"C:\\Data\\Logs\\today.log", "x");
  machine.files.AddLink(L"C:\\Data\\Up", kMarch5);
  Note(L"C:\\Data\\Logs", false);
  const std::wstring text = Produce();
  EXPECT_NE(text.find(L"      <file name=\"Logs\" bytes=\"0\" size=\"0 B\" datemodified=\"01/01/1601 0:00:00\"/>\n"),
            std::wstring::npos);
  EXPECT_NE(text.find(L"      <file name=\"Up\" bytes=\"0\" size=\"0 B\" datemodified=\"05/03/2024 9:07:03\"/>\n"),
            std::wstring::npos);
  EXPECT_EQ(text.find(L"today.log"), std::wstring::npos);
}

TEST(FilesystemBlockPosix, LinuxTreeHangsBelowTheRoot) {
  platform::MemoryMachine machine(MemoryFileSystem::Style::kPosix);
  machine.files.AddFile(L"/opt/app/notes.txt", "hi", kMarch5);
  machine.files.AddFile(L"/top.bin", "", kMarch5);
  FileTree tree(machine.files);
  tree.AddFolderContents(&tree, L"/opt/app/", false);
  tree.AddFileName(&tree, L"top.bin");
  EXPECT_EQ(dromika::FilesystemBlock(machine.machine(), &tree).Produce(),
            L"<filesystem>\n"
            L"  <dir name=\"opt\">\r\n"
            L"  <dir name=\"app\">\r\n"
            L"      <file name=\"notes.txt\" bytes=\"2\" size=\"2 B\" datemodified=\"05/03/2024 9:07:03\">\n"
            L"hi      </file>\n"
            L"  </dir>\r\n"
            L"  </dir>\r\n"
            L"    <file name=\"top.bin\" bytes=\"0\" size=\"0 B\" datemodified=\"05/03/2024 9:07:03\"/>\n"
            L"</filesystem>\n");
}

// Several long excerpts make a text longer than the pieces it is collected in.
TEST_F(FilesystemBlockTest, LongTextsJoinWithoutLosingAnything) {
  std::wstring expected;
  for (char c : std::string("abcdefg")) {
    machine.files.AddFile(std::wstring(L"C:\\P\\") + wchar_t(c) + L".log", std::string(400000, c) + "&");
    expected += std::wstring(400000, wchar_t(c)) + L"&amp;";
  }
  Note(L"C:\\P\\");
  std::wstring text = Produce();
  std::wstring contents;
  for (size_t at = 0; (at = text.find(L"\">\n", at)) != std::wstring::npos;) {
    at += 3;
    const size_t end = text.find(L"      </file>", at);
    contents += text.substr(at, end - at);
  }
  EXPECT_EQ(contents, expected);
  EXPECT_EQ(text.substr(text.size() - 24), L"  </dir>\r\n</filesystem>\n");
}

// A file whose reads fail in the ways the C library reports.
class ScriptedFile : public platform::ReadableFile {
 public:
  explicit ScriptedFile(Chunk chunk, int64_t length = 10) : chunk_(std::move(chunk)), length_(length) {}
  int64_t Length() override { return length_; }
  bool Seek(int64_t, bool) override { return true; }
  Chunk Read(size_t) override { return chunk_; }

 private:
  Chunk chunk_;
  int64_t length_;
};

std::wstring Message(int errorNumber) { return XmlEscape(str::as_wstring(std::strerror(errorNumber))); }

// Every opened file answers reads with one scripted chunk, as a file that
// fails or shrinks between its length being taken and its bytes being read.
class ScriptedFiles : public MemoryFileSystem {
 public:
  explicit ScriptedFiles(platform::ReadableFile::Chunk chunk) : chunk_(std::move(chunk)) {}
  std::unique_ptr<platform::ReadableFile> OpenRead(const std::wstring&) override {
    return std::make_unique<ScriptedFile>(chunk_, 40);
  }

 private:
  platform::ReadableFile::Chunk chunk_;
};

// The content of the one file short.log when its read gives `chunk`.
std::wstring ContentWhenReadGives(platform::ReadableFile::Chunk chunk) {
  platform::MemoryMachine machine;
  ScriptedFiles files(std::move(chunk));
  files.AddFile(L"C:\\P\\short.log", std::string(40, 'x'));
  machine.machine().files = &files;
  FileTree tree(files);
  tree.AddFolderContents(&tree, L"C:\\P\\", false);
  const std::wstring text = dromika::FilesystemBlock(machine.machine(), &tree).Produce();
  const size_t start = text.find(L"\">\n") + 3;
  return text.substr(start, text.find(L"      </file>") - start);
}

TEST(FilesystemBlockReads, ContentSaysWhyNothingCouldBeRead) {
  using Chunk = platform::ReadableFile::Chunk;
  EXPECT_EQ(ContentWhenReadGives(Chunk{"", true, false, EIO}),
            L"*** A read error occurred\n: " + Message(EIO) + L"\n");
  EXPECT_EQ(ContentWhenReadGives(Chunk{"", false, true, 0}), L"*** EOF found\n: " + Message(0) + L"\n");
  EXPECT_EQ(ContentWhenReadGives(Chunk{"", false, false, 0}), L"Unknown error\n");
  EXPECT_EQ(ContentWhenReadGives(Chunk{"ab\xF0", true, false, EIO}), L"ab&#240;") << "what was read is kept";
}

}  // namespace
