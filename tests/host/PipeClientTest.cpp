#include <gtest/gtest.h>

#include <string>

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
}

TEST(PipeClient, ANameTooLongForTheSystemFailsCleanly) {
  auto connection = sys::message::MakeNamedPipeClientDuplex({std::wstring(4000, L'n'), 0, 0});
  EXPECT_FALSE(connection->GetStatus().ok());
}

TEST(ServerProcess, AProgramThatCannotRunIsReported) {
  std::unique_ptr<tally::client::ServerProcess> server;
  tally::client::LaunchOptions options;
  options.program = tally::client::ProgramBesideSelf(L"no-such-server");
  const qtl::status status = tally::client::LaunchServer(options, server);
  EXPECT_EQ(Message(status).rfind("Unable to start the server ", 0), 0u) << Message(status);
  EXPECT_EQ(server, nullptr);
}

TEST(ServerProcess, AServerThatEndsBeforeConnectingIsReported) {
  std::unique_ptr<tally::client::ServerProcess> server;
  tally::client::LaunchOptions options;
  options.program = tally::client::ProgramBesideSelf(L"../DromikaCmd");
  options.extraArguments = {L"/unknown:option"};  // refused before it connects
  const qtl::status status = tally::client::LaunchServer(options, server);
  EXPECT_EQ(Message(status), "The server ended before connecting (exit code 1)");
}

}  // namespace
