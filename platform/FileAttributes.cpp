#include "platform/FileAttributes.h"

namespace platform {

namespace {
constexpr uint32_t kNameSurrogateBit = 0x20000000;  // IsReparseTagNameSurrogate
}  // namespace

EntryKind ClassifyWindowsEntry(uint32_t attributes, uint32_t reparseTag) {
  EntryKind kind;
  kind.isLink = (attributes & kAttributeReparsePoint) != 0 && (reparseTag & kNameSurrogateBit) != 0;
  kind.isFolder = (attributes & kAttributeDirectory) != 0 && !kind.isLink;
  kind.dataIsLocal =
      (attributes & (kAttributeOffline | kAttributeRecallOnOpen | kAttributeRecallOnDataAccess)) == 0;
  return kind;
}

}  // namespace platform
