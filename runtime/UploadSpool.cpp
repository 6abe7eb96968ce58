#include "runtime/UploadSpool.h"

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <random>

#include "runtime/AtomicFile.h"

namespace ws::analytics::impl {
namespace {

// "0000000000000042-9f3a61c0.xml.gz": a sequence number that orders the
// documents, then a random part so that two processes keeping a document at
// the same moment do not pick one name.
constexpr size_t kSequenceDigits = 16;
constexpr size_t kRandomDigits = 8;
constexpr wchar_t kSuffix[] = L".xml.gz";
constexpr size_t kNameLength = kSequenceDigits + 1 + kRandomDigits + (sizeof kSuffix / sizeof(wchar_t) - 1);

bool IsKeptName(const std::wstring& name) {
  if (name.size() != kNameLength || name[kSequenceDigits] != L'-') return false;
  const auto digits = [&](size_t from, size_t count, const wchar_t* set) {
    return name.find_first_not_of(set, from) >= from + count;
  };
  return digits(0, kSequenceDigits, L"0123456789") && digits(kSequenceDigits + 1, kRandomDigits, L"0123456789abcdef") &&
         name.compare(kNameLength - std::wcslen(kSuffix), std::wstring::npos, kSuffix) == 0;
}

uint64_t SequenceOf(const std::wstring& name) { return std::stoull(name.substr(0, kSequenceDigits)); }

std::wstring NewName(uint64_t sequence) {
  std::random_device random;
  wchar_t name[kNameLength + 1];
  std::swprintf(name, kNameLength + 1, L"%016llu-%08x%ls", static_cast<unsigned long long>(sequence),
                static_cast<unsigned int>(random()), kSuffix);
  return name;
}

uint64_t TotalBytes(const std::vector<SpoolEntry>& entries) {
  uint64_t total = 0;
  for (const SpoolEntry& entry : entries) total += entry.bytes;
  return total;
}

}  // namespace

UploadSpool::UploadSpool(std::wstring folder, SpoolLimits limits) : folder_(std::move(folder)), limits_(limits) {}

std::wstring UploadSpool::PathOf(const std::wstring& name) const {
  const auto separator = static_cast<wchar_t>(std::filesystem::path::preferred_separator);
  const bool separated = !folder_.empty() && (folder_.back() == L'/' || folder_.back() == separator);
  return separated ? folder_ + name : folder_ + separator + name;
}

std::vector<SpoolEntry> UploadSpool::List() const {
  std::vector<SpoolEntry> entries;
  std::error_code error;
  for (std::filesystem::directory_iterator it(HostFilePath(folder_), error), end; !error && it != end;
       it.increment(error)) {
    const std::wstring name = it->path().filename().wstring();
    if (!IsKeptName(name) || !it->is_regular_file(error)) continue;
    const uintmax_t bytes = it->file_size(error);
    if (!error) entries.push_back({name, bytes});
    error.clear();
  }
  std::sort(entries.begin(), entries.end(), [](const SpoolEntry& a, const SpoolEntry& b) { return a.name < b.name; });
  return entries;
}

bool UploadSpool::Read(const SpoolEntry& entry, std::string& body) const {
  std::ifstream file(HostFilePath(PathOf(entry.name)), std::ios::binary);
  if (!file) return false;
  body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

void UploadSpool::Remove(const SpoolEntry& entry) const {
  std::error_code ignored;
  std::filesystem::remove(HostFilePath(PathOf(entry.name)), ignored);
}

qtl::status UploadSpool::Keep(const std::string& body, size_t& dropped) const {
  dropped = 0;
  if (body.size() > limits_.bytes) {
    return qtl::status::error(L"it is larger than the " + std::to_wstring(limits_.bytes) + L" bytes the spool holds");
  }
  qtl::status status = MakePrivateFolder(folder_);
  if (!status.ok()) return status;
  std::vector<SpoolEntry> entries = List();
  const uint64_t next = entries.empty() ? 1 : SequenceOf(entries.back().name) + 1;
  uint64_t total = TotalBytes(entries);
  size_t oldest = 0;
  while (oldest < entries.size() &&
         (entries.size() - oldest + 1 > limits_.documents || total + body.size() > limits_.bytes)) {
    Remove(entries[oldest]);
    total -= entries[oldest++].bytes;
    ++dropped;
  }
  return sys::file::SaveAtomically(PathOf(NewName(next)), body);
}

}  // namespace ws::analytics::impl
