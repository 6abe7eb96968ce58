#include <gtest/gtest.h>

#include <map>

#include "platform/linux/Drm.h"
#include "runtime/Str.h"
#include "testing/MemoryTextFiles.h"

namespace {

using platform::EdidMonitorName;

// A 128-byte EDID block naming the monitor in the descriptor at `at`.
std::string Edid(const std::string& name, size_t at = 0x48, char kind = '\xFC') {
  std::string edid = std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\0", 8) + std::string(120, '\0');
  edid[0x36] = 0x01;  // a detailed timing, not a display descriptor
  edid[at + 3] = kind;
  std::string text = name.size() < 13 ? name + "\n" : name;
  text.resize(13, ' ');
  edid.replace(at + 5, 13, text);
  unsigned sum = 0;
  for (size_t i = 0; i < 127; ++i) sum += static_cast<unsigned char>(edid[i]);
  edid[127] = static_cast<char>((256 - sum % 256) % 256);
  return edid;
}

TEST(EdidMonitorName, ReadsTheNameDescriptorOfAWholeBlock) {
  EXPECT_EQ(EdidMonitorName(Edid("DELL U2720Q")), "DELL U2720Q");
  EXPECT_EQ(EdidMonitorName(Edid("ABCDEFGHIJKLM", 0x6C)), "ABCDEFGHIJKLM");
  EXPECT_EQ(EdidMonitorName(Edid("LG") + std::string(128, '\x01')), "LG");  // an extension block follows
  std::string badSum = Edid("DELL U2720Q"), badHeader = badSum;
  badSum[100] ^= 1;
  badHeader[1] = 0;
  badHeader[127] = static_cast<char>(badHeader[127] + 0xFF);
  for (const std::string& edid : {badSum, badHeader, Edid("DELL").substr(0, 127), std::string(),
                                  Edid("X", 0x48, '\xFE')}) {  // the last: unspecified text, not a name
    EXPECT_FALSE(EdidMonitorName(edid));
  }
}

TEST(DrmMonitors, ListsConnectedConnectorsInNameOrder) {
  platform::MemoryTextFiles files;
  files.AddLink("/sys/class/drm/card0/device/driver", "../../../bus/pci/drivers/i915");
  for (const auto& [path, text] : std::map<std::string, std::string>{
           {"version", "drm 1.1.0\n"}, {"card0/dev", "226:0\n"}, {"renderD128/dev", "226:128\n"},
           {"card0-eDP-1/status", "connected\n"}, {"card0-eDP-1/modes", "1920x1200\n1600x1200\n"},
           {"card0-eDP-1/edid", Edid("LQ140M1JW49")}, {"card0-DP-1/status", "disconnected\n"},
           {"card0-DP-2/status", "connected\n"}, {"card0-DP-2/modes", "3840x2160\n"}, {"card0-DP-2/edid", ""},
           {"card1-HDMI-A-1/status", "connected\n"}}) {
    files.Add("/sys/class/drm/" + path, text);
  }
  std::string text;
  for (const auto& m : platform::DrmMonitors(files)) {
    text += str::as_u8string(m.monitorDescription + L" on " + m.cardDescription) + " " + std::to_string(m.width) +
            "x" + std::to_string(m.height) + (m.primary ? " primary\n" : "\n");
  }
  // Without an EDID name a monitor is its connector; without a driver link a card is its name.
  EXPECT_EQ(text, "DP-2 on i915 3840x2160 primary\nLQ140M1JW49 on i915 1920x1200\nHDMI-A-1 on card1 0x0\n");
  platform::MemoryTextFiles none;
  EXPECT_TRUE(platform::DrmMonitors(none).empty());
}

}  // namespace
