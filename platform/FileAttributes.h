// What the report makes of a Windows directory entry: its attribute bits and,
// for a reparse point, its tag (dwReserved0 of WIN32_FIND_DATAW).
#pragma once
#include <cstdint>

namespace platform {

enum WindowsFileAttribute : uint32_t {
  kAttributeDirectory = 0x10,
  kAttributeReparsePoint = 0x400,
  kAttributeOffline = 0x1000,
  kAttributeRecallOnOpen = 0x40000,
  kAttributeRecallOnDataAccess = 0x400000,
};

struct EntryKind {
  bool isFolder = false;
  bool isLink = false;
  bool dataIsLocal = true;
};

// Only name surrogates (symbolic links, junctions, mount points) are links;
// other reparse points, such as cloud placeholders, are what their directory
// bit says. Data that is offline or recalled on access is not local.
EntryKind ClassifyWindowsEntry(uint32_t attributes, uint32_t reparseTag);

}  // namespace platform
