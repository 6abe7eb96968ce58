#include "testing/MemoryFileSystem.h"

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

class MemoryFile : public ReadableFile {
 public:
  explicit MemoryFile(std::string content) : content_(std::move(content)) {}
  int64_t Length() override { return static_cast<int64_t>(content_.size()); }
  bool Seek(int64_t offset, bool fromEnd) override {
    const int64_t target = fromEnd ? static_cast<int64_t>(content_.size()) + offset : offset;
    if (target < 0) return false;
    position_ = static_cast<size_t>(target);
    return true;
  }
  Chunk Read(size_t n) override {
    Chunk chunk;
    if (position_ < content_.size()) chunk.bytes = content_.substr(position_, n);
    position_ += chunk.bytes.size();
    chunk.eof = chunk.bytes.size() < n;
    return chunk;
  }

 private:
  std::string content_;
  size_t position_ = 0;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem(Style style)
    : style_(style), separator_(style == Style::kWindows ? L'\\' : L'/') {
  entries_[L""].info.isFolder = true;  // the root
}

std::wstring MemoryFileSystem::CompareKey(const std::wstring& name) const {
  if (style_ == Style::kPosix) return name;
  std::wstring key = name;
  for (auto& c : key) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return key;
}

std::wstring MemoryFileSystem::KeyOf(const std::wstring& path) const {
  std::wstring key = CompareKey(path);
  while (!key.empty() && key.back() == separator_) key.pop_back();
  if (style_ == Style::kPosix) {
    while (!key.empty() && key.front() == separator_) key.erase(0, 1);
  }
  return key;
}

std::wstring MemoryFileSystem::ParentKey(const std::wstring& key) const {
  const size_t at = key.rfind(separator_);
  return at == std::wstring::npos ? std::wstring() : key.substr(0, at);
}

MemoryFileSystem::Entry& MemoryFileSystem::Ensure(const std::wstring& path, bool folder, SystemTime modified) {
  std::wstring trimmed = path;
  while (!trimmed.empty() && trimmed.back() == separator_) trimmed.pop_back();
  const std::wstring key = KeyOf(trimmed);
  auto found = entries_.find(key);
  if (found != entries_.end()) return found->second;
  const std::wstring parentKey = ParentKey(key);
  const size_t at = trimmed.rfind(separator_);
  if (!parentKey.empty()) Ensure(trimmed.substr(0, at), true, modified);
  entries_[parentKey].children.push_back(key);
  Entry& entry = entries_[key];
  entry.info.name = at == std::wstring::npos ? trimmed : trimmed.substr(at + 1);
  entry.info.isFolder = folder;
  entry.info.modified = modified;
  return entry;
}

void MemoryFileSystem::AddFile(const std::wstring& path, std::string content, SystemTime modified,
                               std::optional<uint64_t> size) {
  Entry& entry = Ensure(path, false, modified);
  entry.info.size = size ? *size : content.size();
  entry.content = std::move(content);
}

void MemoryFileSystem::AddLink(const std::wstring& path, SystemTime modified) {
  Ensure(path, false, modified).info.isLink = true;
}

void MemoryFileSystem::Remove(const std::wstring& path) {
  const std::wstring key = KeyOf(path);
  auto& siblings = entries_[ParentKey(key)].children;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), key), siblings.end());
  entries_.erase(key);
}

std::optional<std::vector<FileInfo>> MemoryFileSystem::ListFolder(const std::wstring& folderPath) {
  auto found = entries_.find(KeyOf(folderPath));
  if (found == entries_.end() || !found->second.info.isFolder || found->second.denied) return std::nullopt;
  std::vector<FileInfo> list;
  for (const auto& child : found->second.children) list.push_back(entries_[child].info);
  return list;
}

std::optional<FileInfo> MemoryFileSystem::FindFile(const std::wstring& path) {
  const std::wstring key = KeyOf(path);
  auto found = entries_.find(key);
  if (key.empty() || found == entries_.end()) return std::nullopt;
  return found->second.info;
}

std::unique_ptr<ReadableFile> MemoryFileSystem::OpenRead(const std::wstring& path) {
  auto found = entries_.find(KeyOf(path));
  if (found == entries_.end() || found->second.denied || found->second.info.isFolder) {
    errno = ENOENT;
    return nullptr;
  }
  return std::make_unique<MemoryFile>(found->second.content);
}

}  // namespace platform
