#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/PosixPath.h"
#include "platform/Program.h"
#include "runtime/Str.h"
#include "runtime/Version.h"

// The file version of every executable built from this tree, kept in a
// section of its own so that it can be read from the file like a Windows
// version resource.
__attribute__((section(".dromika_version"), used)) static const char kVersionSection[] = DROMIKA_VERSION_TEXT;

namespace platform {
namespace {

template <class T>
bool ReadAt(const std::string& bytes, uint64_t offset, T& value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return true;
}

// The contents of the named section of a 64-bit little-endian ELF file.
bool FindElfSection(const std::string& elf, const std::string& wanted, std::string& contents) {
  if (elf.size() < 64 || elf.compare(0, 4, "\x7F" "ELF") != 0 || elf[4] != 2 || elf[5] != 1) return false;
  uint64_t tableAt = 0;
  uint16_t entrySize = 0, count = 0, namesIndex = 0;
  if (!ReadAt(elf, 0x28, tableAt) || !ReadAt(elf, 0x3A, entrySize) || !ReadAt(elf, 0x3C, count) ||
      !ReadAt(elf, 0x3E, namesIndex) || entrySize < 64 || namesIndex >= count) {
    return false;
  }
  auto section = [&](uint16_t index, uint32_t& name, uint64_t& at, uint64_t& size) {
    const uint64_t header = tableAt + uint64_t{index} * entrySize;
    return ReadAt(elf, header, name) && ReadAt(elf, header + 24, at) && ReadAt(elf, header + 32, size) &&
           at <= elf.size() && size <= elf.size() - at;
  };
  uint32_t unused = 0;
  uint64_t namesAt = 0, namesSize = 0;
  if (!section(namesIndex, unused, namesAt, namesSize)) return false;
  for (uint16_t i = 0; i < count; ++i) {
    uint32_t name = 0;
    uint64_t at = 0, size = 0;
    if (!section(i, name, at, size) || name >= namesSize) continue;
    if (std::strncmp(elf.data() + namesAt + name, wanted.c_str(), namesSize - name) == 0) {
      contents = elf.substr(at, size);
      return true;
    }
  }
  return false;
}

class PosixProgram : public Program {
 public:
  std::wstring ModulePath() override {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? posix::DecodePath(std::string(buffer, static_cast<size_t>(n))) : std::wstring();
  }

  uint32_t FileVersion(const std::wstring& path, std::wstring& out) override {
    out.clear();
    std::ifstream file(posix::EncodePath(path), std::ios::binary);
    if (!file) return kErrorFileNotFound;
    const std::string elf((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string version;
    if (!FindElfSection(elf, ".dromika_version", version)) return kErrorFileInvalid;
    version = version.substr(0, version.find('\0'));
    if (version.empty()) return kErrorFileInvalid;
    out = str::as_wstring(version);
    return 0;
  }
};

}  // namespace

Program& HostProgram() {
  static PosixProgram program;
  return program;
}

}  // namespace platform
