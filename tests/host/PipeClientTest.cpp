#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Qrn.Tally/Modes.h"
#include "client/ServerProcess.h"
#include "runtime/PipeClient.h"
#include "runtime/Str.h"

namespace {

std::string Message(const qtl::status& status) { return status.ok() ? "ok" : str::as_u8string(status.get()->message); }

TEST(PipeClient, AnEndpointThatIsNotThereGivesAFailedConnection) {
  auto empty = sys::message::MakeNamedPipeClientDuplex({L"", 1024, 1});
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(Message(empty->GetStatus()), "Unable to connect: no pipe name was given");
  std::string text;
  EXPECT_FALSE(empty->Read(text).ok());
  EXPECT_FALSE(empty->Write("x").ok());

  // Three attempts, 100 ms apart, then the system's reason.
  auto missing = sys::message::MakeNamedPipeClientDuplex({L"dromika-test-no-such-endpoint", 1024, 3});
  const std::string message = Message(missing->GetStatus());
  EXPECT_EQ(message.rfind("Unable to connect to ", 0), 0u) << message;
  EXPECT_NE(message.find("dromika-test-no-such-endpoint"), std::string::npos) << message;
  EXPECT_FALSE(sys::message::MakeNamedPipeClientDuplex({std::wstring(4000, L'n'), 0, 0})->GetStatus().ok());
}

TEST(ServerMode, AnEndpointNobodyHoldsOrNoNameEndsWithExitCodeOne) {
  CommandLine commandLine;
  commandLine.serverFlag = true;
  EXPECT_EQ(RunServerMode(commandLine), 1);
  commandLine.pipeName = L"dromika-absent-" + std::to_wstring(std::random_device{}());
  EXPECT_EQ(RunServerMode(commandLine), 1);
}

TEST(ServerProcess, AServerThatCannotRunOrEndsBeforeConnectingIsReported) {
  std::unique_ptr<tally::client::ServerProcess> server;
  tally::client::LaunchOptions options;
  options.program = tally::client::ProgramBesideSelf(L"no-such-server");
  const std::string missing = Message(tally::client::LaunchServer(options, server));
  EXPECT_EQ(missing.rfind("Unable to start the server ", 0), 0u) << missing;
  EXPECT_EQ(server, nullptr);

  options.program = tally::client::ProgramBesideSelf(L"../DromikaCmd");
  options.extraArguments = {L"/unknown:option"};  // refused before it connects
  EXPECT_EQ(Message(tally::client::LaunchServer(options, server)), "The server ended before connecting (exit code 1)");
}

}  // namespace
