#include <gtest/gtest.h>

#include "platform/linux/Drm.h"
#include "testing/MemoryTextFiles.h"

namespace {

// A 128-byte EDID block naming the monitor in the descriptor at `at`.
std::string Edid(const std::string& name, size_t at = 0x48) {
  std::string edid(128, '\0');
  const unsigned char header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  for (size_t i = 0; i < 8; ++i) edid[i] = static_cast<char>(header[i]);
  edid[0x36] = 0x01;  // a detailed timing, not a display descriptor
  edid[at + 3] = static_cast<char>(0xFC);
  std::string text = name.size() < 13 ? name + "\n" : name;
  text.resize(13, ' ');
  edid.replace(at + 5, 13, text);
  unsigned sum = 0;
  for (size_t i = 0; i < 127; ++i) sum += static_cast<unsigned char>(edid[i]);
  edid[127] = static_cast<char>((256 - sum % 256) % 256);
  return edid;
}

TEST(EdidMonitorName, ReadsTheNameDescriptor) {
  EXPECT_EQ(platform::EdidMonitorName(Edid("DELL U2720Q")), "DELL U2720Q");
  EXPECT_EQ(platform::EdidMonitorName(Edid("ABCDEFGHIJKLM", 0x6C)), "ABCDEFGHIJKLM");
  EXPECT_EQ(platform::EdidMonitorName(Edid("LG") + std::string(128, '\x01')), "LG");  // an extension block follows
}

TEST(EdidMonitorName, RefusesBrokenBlocks) {
  std::string edid = Edid("DELL U2720Q");
  edid[100] ^= 1;
  EXPECT_FALSE(platform::EdidMonitorName(edid));  // checksum
  edid = Edid("DELL U2720Q");
  edid[1] = 0;
  edid[127] = static_cast<char>(edid[127] + 0xFF);
  EXPECT_FALSE(platform::EdidMonitorName(edid));  // header
  EXPECT_FALSE(platform::EdidMonitorName(Edid("DELL").substr(0, 127)));
  EXPECT_FALSE(platform::EdidMonitorName(""));
  std::string unnamed = Edid("X");
  unnamed[0x48 + 3] = static_cast<char>(0xFE);  // unspecified text, not a name
  unnamed[127] = static_cast<char>(unnamed[127] + 2);
  EXPECT_FALSE(platform::EdidMonitorName(unnamed));
}

TEST(DrmMonitors, ListsConnectedConnectorsInNameOrder) {
  platform::MemoryTextFiles files;
  files.Add("/sys/class/drm/version", "drm 1.1.0\n");
  files.Add("/sys/class/drm/card0/dev", "226:0\n");
  files.AddLink("/sys/class/drm/card0/device/driver", "../../../bus/pci/drivers/i915");
  files.Add("/sys/class/drm/card0-eDP-1/status", "connected\n");
  files.Add("/sys/class/drm/card0-eDP-1/modes", "1920x1200\n1600x1200\n");
  files.Add("/sys/class/drm/card0-eDP-1/edid", Edid("LQ140M1JW49"));
  files.Add("/sys/class/drm/card0-DP-1/status", "disconnected\n");
  files.Add("/sys/class/drm/card0-DP-2/status", "connected\n");
  files.Add("/sys/class/drm/card0-DP-2/modes", "3840x2160\n");
  files.Add("/sys/class/drm/card0-DP-2/edid", "");
  files.Add("/sys/class/drm/card1-HDMI-A-1/status", "connected\n");
  files.Add("/sys/class/drm/renderD128/dev", "226:128\n");

  const auto monitors = platform::DrmMonitors(files);
  ASSERT_EQ(monitors.size(), 3u);
  EXPECT_EQ(monitors[0].monitorDescription, L"DP-2");  // no EDID: the connector's name
  EXPECT_EQ(monitors[0].width, 3840);
  EXPECT_EQ(monitors[0].height, 2160);
  EXPECT_EQ(monitors[0].cardDescription, L"i915");
  EXPECT_TRUE(monitors[0].primary);
  EXPECT_EQ(monitors[1].monitorDescription, L"LQ140M1JW49");
  EXPECT_EQ(monitors[1].width, 1920);
  EXPECT_FALSE(monitors[1].primary);
  EXPECT_EQ(monitors[2].monitorDescription, L"HDMI-A-1");
  EXPECT_EQ(monitors[2].cardDescription, L"card1");  // no driver link: the card's name
  EXPECT_EQ(monitors[2].width, 0);
  EXPECT_FALSE(monitors[2].primary);
}

TEST(DrmMonitors, NoDisplayNoMonitors) {
  platform::MemoryTextFiles files;
  EXPECT_TRUE(platform::DrmMonitors(files).empty());
}

}  // namespace
