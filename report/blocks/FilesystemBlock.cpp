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
#include "runtime/Str.h"

namespace dromika {

const wchar_t* const kContentNotice =
    L"\n\n------------------------------------------------------------------"
    L"\n*************** File content truncated by Dromika ***************"
    L"\n------------------------------------------------------------------\n\n";

// A large tree's text runs to hundreds of megabytes. It is collected in
// pieces of a fixed size, so that growing it never holds the whole text and a
// doubled copy at once, and joined once at the end.
class FilesystemBlock::Text {
 public:
  void Append(std::wstring_view text) {
    size_ += text.size();
    while (current_.size() + text.size() > kPiece) {
      const size_t room = kPiece - current_.size();
      Reserve(kPiece);
      current_.append(text.data(), room);
      text.remove_prefix(room);
      pieces_.push_back(std::move(current_));
      current_ = std::wstring();
    }
    Reserve(std::min(kPiece, std::max(current_.size() + text.size(), 2 * current_.capacity())));
    current_.append(text.data(), text.size());
  }

  // Escaped in slices through a small buffer rather than as one more copy of a whole excerpt.
  void AppendEscaped(std::wstring_view text) {
    constexpr size_t kSlice = 8192;
    for (size_t at = 0; at < text.size(); at += kSlice) {
      escaped_.clear();
      AppendXmlEscaped(escaped_, text.substr(at, kSlice));
      Append(escaped_);
    }
  }

  std::wstring Take() {
    std::wstring all;
    all.reserve(size_);
    for (auto& piece : pieces_) {
      all += piece;
      std::wstring().swap(piece);
    }
    all += current_;
    return all;
  }

 private:
  static constexpr size_t kPiece = size_t{1} << 20;

  void Reserve(size_t capacity) {
    if (capacity > current_.capacity()) current_.reserve(capacity);
  }

  std::vector<std::wstring> pieces_;
  std::wstring current_;
  std::wstring escaped_;
  size_t size_ = 0;
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

}  // namespace

std::wstring ReadFileChunk(platform::ReadableFile* file, int64_t n) {
  if (!file) return L"null file";
  if (n <= 0) return std::wstring();
  const auto chunk = file->Read(static_cast<size_t>(n));
  if (!chunk.bytes.empty()) return str::as_wstring(chunk.bytes, str::InvalidUtf8::kLatin1);
  if (chunk.error) return ErrorText(L"*** A read error occurred\n", chunk.errorNumber);
  if (chunk.eof) return ErrorText(L"*** EOF found\n", chunk.errorNumber);
  return L"Unknown error\n";
}

std::wstring FilesystemBlock::Produce() {
  Text out;
  out.Append(L"<filesystem>\n");
  if (tree_ && machine_.files) WriteFolderTree(out, *tree_, L"  ", -1);
  out.Append(L"</filesystem>\n");
  return out.Take();
}

// A folder's subfolders first, then its files; a noted file that no longer
// exists is left out. dir lines end with CR LF, file lines with LF.
void FilesystemBlock::WriteFolderTree(Text& out, const FileTreeNode& node, const std::wstring& prefix, int level) {
  const std::wstring indent = prefix + std::wstring(level > 0 ? 2 * level : 0, L' ');
  for (const auto& child : node.children) {
    out.Append(indent + L"<dir name=\"" + XmlEscape(child->name) + L"\">\r\n");
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
  std::wstring line = indent + L"<file name=\"" + XmlEscape(found.name) + L"\"";
  line += str::snprintf(L" bytes=\"%I64d\" size=\"%s\"", static_cast<long long>(size), FormatByteSize(size, 0));
  line += L" datemodified=\"" +
          XmlEscape(str::snprintf(L"%02d/%02d/%d %d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute, t.second)) +
          L"\"";
  std::wstring version;
  if ((EndsWith(found.name, L".dll") || EndsWith(found.name, L".exe")) && machine_.program &&
      GetFileVersion(*machine_.program, path, version) == 0) {
    line += L" version=\"" + XmlEscape(version) + L"\"";
  }
  if (!HasContent(found.name)) {
    out.Append(line + L"/>\n");
    return;
  }
  out.Append(line + L">\n");
  WriteFileExcerpt(out, path);
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
    out.AppendEscaped(ReadFileChunk(file.get(), length));
    return;
  }
  const int64_t half = kContentLimit / 2;
  if (file->Seek(0, false)) out.AppendEscaped(ReadFileChunk(file.get(), half));
  out.AppendEscaped(kContentNotice);
  if (file->Seek(-half, true)) out.AppendEscaped(ReadFileChunk(file.get(), half));
}

}  // namespace dromika
