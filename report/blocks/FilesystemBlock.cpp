#include "report/blocks/FilesystemBlock.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "report/FileTree.h"
#include "report/SystemReaders.h"
#include "report/XmlText.h"
#include "runtime/Format.h"
#include "runtime/PathBytes.h"
#include "runtime/Str.h"

namespace dromika {

const wchar_t* const kContentNotice =
    L"\n\n------------------------------------------------------------------"
    L"\n*************** File content truncated by Dromika ***************"
    L"\n------------------------------------------------------------------\n\n";

// A large tree's text runs to hundreds of megabytes. Escaping leaves nothing
// but ASCII in it, so it is made as narrow text and handed on through a
// small buffer: the block never holds more than the buffer and one slice.
class FilesystemBlock::Text {
 public:
  explicit Text(TextSink& out) : out_(out) { buffer_.reserve(kBuffer + kSlice * 8); }

  // Markup and values that have been escaped already.
  void Append(std::wstring_view text) {
    const size_t at = buffer_.size();
    buffer_.resize(at + text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      buffer_[at + i] = static_cast<char>(static_cast<uint32_t>(text[i]) <= 0x7F ? text[i] : L'?');
    }
    FlushWhenFull();
  }

  // Escaped in slices, so that no copy of a whole excerpt is made.
  void AppendEscaped(std::wstring_view text) {
    for (size_t at = 0; at < text.size(); at += kSlice) {
      AppendXmlEscaped(buffer_, text.substr(at, kSlice));
      FlushWhenFull();
    }
  }

  // Bytes decoded (invalid bytes as Latin-1), a slice at a time so that the
  // wide text in between stays small. A slice never ends inside a character.
  void AppendDecoded(std::string_view bytes) {
    while (!bytes.empty()) {
      const size_t cut = bytes.size() <= kSlice ? bytes.size() : SafeCut(bytes, kSlice);
      AppendEscaped(str::as_wstring(bytes.substr(0, cut), str::InvalidUtf8::kLatin1));
      bytes.remove_prefix(cut);
    }
  }

  void Flush() {
    out_.Append(buffer_);
    buffer_.clear();
  }

 private:
  static constexpr size_t kBuffer = size_t{1} << 16;
  static constexpr size_t kSlice = 16384;

  void FlushWhenFull() {
    if (buffer_.size() >= kBuffer) Flush();
  }

  // A byte that continues a character can only belong to one that began at
  // most three bytes before it; a cut before any other byte, or after three
  // continuation bytes in a row, splits no character.
  static size_t SafeCut(std::string_view bytes, size_t cut) {
    auto continues = [&](size_t at) { return (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80; };
    for (size_t at = cut; at + 3 >= cut && at > 0; --at) {
      if (!continues(at)) return at;
    }
    return cut;
  }

  TextSink& out_;
  std::string buffer_;
};

namespace {

bool EndsWith(const std::wstring& text, const wchar_t* suffix) {
  const size_t n = std::wcslen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool HasContent(const std::wstring& name) {
  return EndsWith(name, L".xml") || EndsWith(name, L".log") || EndsWith(name, L".txt") || EndsWith(name, L"debug");
}

// What the C library's wide error text gives: the text, ": ", the system's
// message for the error number and a line feed.
std::wstring ErrorText(const wchar_t* text, int errorNumber) {
  return std::wstring(text) + L": " + str::as_wstring(std::strerror(errorNumber)) + L"\n";
}

// The text of a read that gave no bytes.
std::wstring WhyNothingWasRead(const platform::ReadableFile::Chunk& chunk) {
  if (chunk.error) return ErrorText(L"*** A read error occurred\n", chunk.errorNumber);
  if (chunk.eof) return ErrorText(L"*** EOF found\n", chunk.errorNumber);
  return L"Unknown error\n";
}

}  // namespace

// The chunk's text, escaped, without holding all of it in wide characters.
void FilesystemBlock::WriteFileChunk(Text& out, platform::ReadableFile& file, int64_t n) {
  const auto chunk = file.Read(static_cast<size_t>(n));
  if (chunk.bytes.empty()) {
    out.AppendEscaped(WhyNothingWasRead(chunk));
  } else {
    out.AppendDecoded(chunk.bytes);
  }
}

void FilesystemBlock::Write(TextSink& sink) {
  Text out(sink);
  out.Append(L"<filesystem>\n");
  if (tree_ && machine_.files) WriteFolderTree(out, *tree_, L"  ", -1);
  out.Append(L"</filesystem>\n");
  out.Flush();
}

std::wstring FilesystemBlock::Produce() {
  struct Collected : TextSink {
    std::string text;
    void Append(std::string_view ascii) override { text.append(ascii); }
  } collected;
  Write(collected);
  return std::wstring(collected.text.begin(), collected.text.end());
}

// A folder's subfolders first, then its files; a noted file that no longer
// exists is left out. dir lines end with CR LF, file lines with LF.
void FilesystemBlock::WriteFolderTree(Text& out, const FileTreeNode& node, const std::wstring& prefix, int level) {
  const std::wstring indent = prefix + std::wstring(level > 0 ? 2 * level : 0, L' ');
  for (const auto& child : node.children) {
    out.Append(indent + L"<dir name=\"" + XmlEscape(sys::path::Displayable(child->name)) + L"\">\r\n");
    WriteFolderTree(out, *child, prefix, level + 1);
    out.Append(indent + L"</dir>\r\n");
  }
  for (const auto& name : node.files) {
    if (auto found = machine_.files->FindFile(node.path + name)) {
      WriteFileElement(out, node.path, name, *found, prefix, level + 3);
    }
  }
}

// Sizes are written in full: a file of 4 GiB or more keeps its high bits. A
// folder noted as a file shows size 0, as Windows reports folders everywhere.
void FilesystemBlock::WriteFileElement(Text& out, const std::wstring& folderPath, const std::wstring& fileName,
                                       const platform::FileInfo& found, const std::wstring& prefix, int level) {
  const std::wstring path = folderPath + fileName;
  const std::wstring indent = prefix + std::wstring(level > 0 ? level : 0, L' ');
  const uint64_t size = found.isFolder ? 0 : found.size;
  const auto& t = found.modified;
  std::wstring line = indent + L"<file name=\"" + XmlEscape(sys::path::Displayable(found.name)) + L"\"";
  line += str::snprintf(L" bytes=\"%I64d\" size=\"%s\"", static_cast<long long>(size), FormatByteSize(size, 0));
  line += L" datemodified=\"" +
          XmlEscape(str::snprintf(L"%02d/%02d/%d %d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute, t.second)) +
          L"\"";
  std::wstring version;
  // A placeholder's data is not on the disk: reading its version or content
  // would start a download.
  if ((EndsWith(found.name, L".dll") || EndsWith(found.name, L".exe")) && found.dataIsLocal && machine_.program &&
      GetFileVersion(*machine_.program, path, version) == 0) {
    line += L" version=\"" + XmlEscape(version) + L"\"";
  }
  if (!HasContent(found.name)) {
    out.Append(line + L"/>\n");
    return;
  }
  out.Append(line + L">\n");
  if (found.dataIsLocal) WriteFileExcerpt(out, path);
  out.Append(indent + L"</file>\n");
}

// A file longer than the limit shows its first and last half-limit bytes with
// the notice between them; one that cannot be opened shows nothing.
void FilesystemBlock::WriteFileExcerpt(Text& out, const std::wstring& path) {
  const auto file = machine_.files->OpenRead(path);
  if (!file) return;
  const int64_t length = file->Length();
  if (length <= 0) return;
  if (length <= kContentLimit) {
    WriteFileChunk(out, *file, length);
    return;
  }
  const int64_t half = kContentLimit / 2;
  if (file->Seek(0, false)) WriteFileChunk(out, *file, half);
  out.AppendEscaped(kContentNotice);
  if (file->Seek(-half, true)) WriteFileChunk(out, *file, half);
}

}  // namespace dromika
