// The host's own services: its program file, clock, figures, locales, saving,
// and the pipe to the server.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <tuple>

#include "Common/TextFile.h"
#include "Qrn.Tally/Modes.h"
#include "client/ServerProcess.h"
#include "platform/Locale.h"
#include "platform/Program.h"
#include "platform/SystemInfo.h"
#include "runtime/Banner.h"
#include "runtime/PipeClient.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "testing/TempFolder.h"

namespace {

using namespace platform;

// Every executable of the tree carries the build's version where the host
// keeps file versions: a version resource on Windows, an ELF section on Linux.
TEST(HostProgram, ReadsTheBuildVersionFromItsOwnFile) {
  std::wstring version;
  ASSERT_EQ(HostProgram().FileVersion(HostProgram().ModulePath(), version), 0u);
  EXPECT_EQ(version, str::as_wstring(version::BuildVersion()));
  EXPECT_TRUE(HostProgram().FileVersion(L"no-such-file.exe", version) != 0 && version.empty());
}

TEST(HostSystemInfo, FiguresAreConsistentAndTimesHaveTheirShape) {
  const auto cpu = HostSystemInfo().Processors();
  EXPECT_TRUE(cpu.count >= 1 && cpu.architecture != 0xFFFF);
  const auto m = HostSystemInfo().Memory();
  EXPECT_TRUE(m.totalPhys > 0 && m.totalPageFile >= m.totalPhys && m.availPageFile <= m.totalPageFile);
  const auto time = HostSystemInfo().LocalTime();
  EXPECT_TRUE(std::regex_match(time.time, std::wregex(L"\\d\\d:\\d\\d:\\d\\d"))) << str::as_u8string(time.time);
  EXPECT_TRUE(std::regex_match(time.date, std::wregex(L"\\d\\d/\\d\\d/\\d{4}"))) << str::as_u8string(time.date);
  EXPECT_FALSE(time.zone.empty());
}

TEST(HostLocale, EnglishNamesAndSeparators) {
  const std::tuple<uint32_t, const wchar_t*> names[] = {
      {0x0409, L"English|United States"}, {0x0407, L"German|Germany"}, {0x040C, L"French|France"},
      {0x007F, L"Invariant Language|Invariant Country"}};
  for (const auto& [lcid, expected] : names) {
    const auto info = [&](uint32_t item) { return HostLocale().Info(lcid, item).value_or(L"?"); };
    EXPECT_EQ(info(kLocaleSEngLanguage) + L"|" + info(kLocaleSEngCountry), expected);
  }
  // A named locale stands in for the user's: its LCID, language, decimal, thousand and list separators.
  const std::tuple<const wchar_t*, uint32_t, const wchar_t*> named[] = {{L"de-DE", 0x0407, L"German , . ;"},
                                                                        {L"en-US", 0x0409, L"English . , ,"}};
  for (const auto& [name, lcid, expected] : named) {
    auto locale = NamedLocale(name);
    ASSERT_NE(locale, nullptr) << lcid;
    EXPECT_EQ(locale->UserDefaultLcid(), lcid);
    std::wstring text = locale->Info(lcid, kLocaleSEngLanguage).value_or(L"?");
    for (uint32_t item : {kLocaleSDecimal, kLocaleSThousand, kLocaleSList}) {
      text += L" " + locale->Info(kLocaleUserDefault, item).value_or(L"?");
    }
    EXPECT_EQ(text, expected);
  }
  Locale& user = HostLocale();
  EXPECT_EQ(user.Info(user.UserDefaultLcid(), kLocaleSEngLanguage), user.Info(kLocaleUserDefault, kLocaleSEngLanguage));
  EXPECT_TRUE(user.Info(kLocaleUserDefault, kLocaleSDecimal));
}

// The bytes saved and failed saves with their one-line reasons (a missing
// folder, a folder, a path holding NUL) are checked end to end, in report and server mode.
TEST(SaveTextToFile, ReplacesAnExistingFileOrLeavesTheError) {
  testing::TempFolder folder;
  const std::wstring path = folder.Path(L"doc.xml");
  ASSERT_TRUE(SaveTextToFile(path, L"<a>\n caf\u00e9\n</a>\n") && SaveTextToFile(path, L"short\n"));
  EXPECT_EQ(folder.Read(L"doc.xml"), "short\r\n") << "an existing file is replaced";
  EXPECT_FALSE(SaveTextToFile(folder.Root().wstring(), L"x"));
  EXPECT_NE(sys::LastErrorCode(), 0u) << "the wrapper leaves the failing call's error";
  EXPECT_EQ(folder.Read(L"doc.xml"), "short\r\n");
}

std::string Message(const qtl::status& status) { return status.ok() ? "ok" : str::as_u8string(status.get()->message); }

TEST(PipeClient, AnEndpointThatIsNotThereGivesAFailedConnection) {
  auto empty = sys::message::MakeNamedPipeClientDuplex({L"", 1024, 1});
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(Message(empty->GetStatus()), "Unable to connect: no pipe name was given");
  std::string text;
  EXPECT_FALSE(empty->Read(text).ok() || empty->Write("x").ok());

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
