#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Qrn.Tally/Modes.h"

namespace {

TEST(ServerMode, AnEndpointNobodyHoldsEndsWithExitCodeOne) {
  CommandLine commandLine;
  commandLine.serverFlag = true;
  commandLine.pipeName = L"dromika-absent-" + std::to_wstring(std::random_device{}());
  EXPECT_EQ(RunServerMode(commandLine), 1);
}

TEST(ServerMode, WithoutAPipeNameTheConnectionFailsAndTheExitCodeIsOne) {
  CommandLine commandLine;
  commandLine.serverFlag = true;
  EXPECT_EQ(RunServerMode(commandLine), 1);
}

}  // namespace
