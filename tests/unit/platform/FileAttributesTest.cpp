#include "platform/FileAttributes.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace platform;

TEST(ClassifyWindowsEntry, OnlyNameSurrogatesAreLinksAndPlaceholdersAreNotRead) {
  constexpr uint32_t kSymlink = 0xA000000C, kJunction = 0xA0000003, kCloud = 0x9000001A, kDedup = 0x80000013;
  constexpr uint32_t kFolder = kAttributeDirectory, kReparse = kAttributeReparsePoint;
  const std::tuple<uint32_t, uint32_t, bool, bool, bool> cases[] = {  // attributes, tag, folder, link, local
      {0x20, 0, false, false, true},                                              // a plain file
      {kFolder, 0, true, false, true},                                            // a plain folder
      {kFolder | kReparse, kJunction, false, true, true},                         // junction or mount point
      {kReparse, kSymlink, false, true, true},                                    // file symbolic link
      {kFolder | kReparse, kSymlink, false, true, true},                          // folder symbolic link
      {0, kSymlink, false, false, true},                                          // tag without the attribute
      {kFolder | kReparse | kAttributeRecallOnOpen, kCloud, true, false, false},  // cloud folder: descended
      {kReparse | kAttributeRecallOnDataAccess, kCloud, false, false, false},     // cloud file, not local
      {kReparse, kCloud, false, false, true},                                     // cloud file kept on the disk
      {kReparse, kDedup, false, false, true},                                     // deduplicated file
      {kAttributeOffline, 0, false, false, false},
      {kAttributeRecallOnOpen, 0, false, false, false},
  };
  for (const auto& [attributes, tag, folder, link, local] : cases) {
    const EntryKind kind = ClassifyWindowsEntry(attributes, tag);
    EXPECT_EQ(std::tuple(kind.isFolder, kind.isLink, kind.dataIsLocal), std::tuple(folder, link, local))
        << std::hex << attributes << " " << tag;
  }
}

}  // namespace
