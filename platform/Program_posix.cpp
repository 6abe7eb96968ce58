#include <unistd.h>

#include <cstring>
#include <fstream>
#include <istream>

#include "runtime/PathBytes.h"
#include "platform/Program.h"
#include "runtime/Str.h"
#include "runtime/Version.h"

// The file version of every executable built from this tree, kept in a
// section of its own so that it can be read from the file like a Windows
// version resource.
__attribute__((section(".dromika_version"), used)) static const char kVersionSection[] = DROMIKA_VERSION_TEXT;

namespace platform {
namespace {

// Reads only the headers and the one section: executables with debug
// information run to many megabytes.
template <class T>
bool ReadAt(std::istream& file, uint64_t offset, T& value) {
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(file.read(reinterpret_cast<char*>(&value), sizeof(T)));
}

bool ReadBytes(std::istream& file, uint64_t offset, uint64_t size, std::string& bytes) {
  if (size > (1u << 20)) return false;
  bytes.assign(static_cast<size_t>(size), '\0');
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(file.read(bytes.data(), static_cast<std::streamsize>(size)));
}

// The contents of the named section of a 64-bit little-endian ELF file.
bool FindElfSection(std::istream& elf, const std::string& wanted, std::string& contents) {
  char ident[6] = {};
  if (!elf.read(ident, sizeof ident) || std::memcmp(ident, "\x7F" "ELF", 4) != 0 || ident[4] != 2 || ident[5] != 1) {
    return false;
  }
  uint64_t tableAt = 0;
  uint16_t entrySize = 0, count = 0, namesIndex = 0;
  if (!ReadAt(elf, 0x28, tableAt) || !ReadAt(elf, 0x3A, entrySize) || !ReadAt(elf, 0x3C, count) ||
      !ReadAt(elf, 0x3E, namesIndex) || entrySize < 64 || namesIndex >= count) {
    return false;
  }
  auto section = [&](uint16_t index, uint32_t& name, uint64_t& at, uint64_t& size) {
    const uint64_t header = tableAt + uint64_t{index} * entrySize;
    return ReadAt(elf, header, name) && ReadAt(elf, header + 24, at) && ReadAt(elf, header + 32, size);
  };
  uint32_t unused = 0;
  uint64_t namesAt = 0, namesSize = 0;
  std::string names;
  if (!section(namesIndex, unused, namesAt, namesSize) || !ReadBytes(elf, namesAt, namesSize, names)) return false;
  for (uint16_t i = 0; i < count; ++i) {
    uint32_t name = 0;
    uint64_t at = 0, size = 0;
    if (!section(i, name, at, size) || name >= names.size()) continue;
    if (std::strncmp(names.data() + name, wanted.c_str(), names.size() - name) == 0) {
      return ReadBytes(elf, at, size, contents);
    }
  }
  return false;
}

class PosixProgram : public Program {
 public:
  std::wstring ModulePath() override {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? sys::path::DecodeBytes(std::string(buffer, static_cast<size_t>(n))) : std::wstring();
  }

  uint32_t FileVersion(const std::wstring& path, std::wstring& out) override {
    out.clear();
    std::ifstream file(sys::path::EncodeBytes(path), std::ios::binary);
    if (!file) return kErrorFileNotFound;
    std::string version;
    if (!FindElfSection(file, ".dromika_version", version)) return kErrorFileInvalid;
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
