#include "client/TallyClientHelp.h"

#include <cstdio>

#include "Common/AnalyticsCalls.h"
#include "report/BlockTable.h"
#include "report/blocks/SystemBlock.h"
#include "runtime/Str.h"

namespace tally::script {
namespace {

namespace calls = qrn::analytics::calls;

template <class T>
const char* TypeName() {
  if constexpr (std::is_same_v<T, unsigned int>) return "NUMBER";
  if constexpr (std::is_same_v<T, bool>) return "FLAG";
  if constexpr (std::is_same_v<T, qtl::status>) return "STATUS";
  return "TEXT";
}

template <class Call>
std::string CallLine() {
  std::string line = std::string("  ") + Call::kName;
  line.resize(24, ' ');
  std::apply([&](auto... argument) { ((line += std::string(TypeName<decltype(argument)>()) + " "), ...); },
             calls::ArgumentsOf<Call>{});
  using Result = calls::ResultOf<Call>;
  if constexpr (!std::is_void_v<Result>) line += std::string("-> ") + TypeName<Result>();
  while (line.back() == ' ') line.pop_back();
  return line + "\n";
}

// The bits of AddStandardGroup, as the server reads them.
struct GroupBit {
  unsigned int bits;
  const char* name;
};
constexpr GroupBit kGroupBits[] = {
    {qrn::analytics::EventsGroup, "events: writes the tracked events as the events group"},
    {blockbits::kNetworking, "networking"},
    {blockbits::kDiskSpace, "disk space"},
    {blockbits::kRegistry, "registry"},
    {blockbits::kProducts, "products"},
    {blockbits::kFilesystem, "file system"},
    {blockbits::kProcesses, "processes"},
    {dromika::SystemBlock::kWmi, "system: WMI classes"},
    {dromika::SystemBlock::kWindowsInstaller, "system: installer version"},
    {dromika::SystemBlock::kDotNet, "system: framework versions"},
    {dromika::SystemBlock::kMonitors, "system: monitors"},
    {dromika::SystemBlock::kLocale, "system: locale"},
    {dromika::SystemBlock::kMiscellaneous, "system: miscellaneous (environment, memory, time)"},
    {blockbits::kAll, "every block and section"},
};

}  // namespace

std::wstring HelpText() {
  std::string text =
      "Usage: tally-client [--server PATH] [--raw] < SCRIPT\n"
      "       tally-client --help | -h | --version\n"
      "Starts the analytics server (--server, default DromikaCmd beside this program) and serves one call per\n"
      "line: the name, then its arguments, separated by TAB. --raw sends everything after the first TAB as the\n"
      "argument text as given. Each call prints \"ok\" or the failing status, a TAB and the value.\n"
      "TEXT is UTF-8; NUMBER is decimal or 0x hexadecimal; FLAG is t or f. SaveTo takes a file path or\n"
      "\"web service\"; Process returns the status of the save or the upload.\n"
      "Calls:\n";
  std::apply([&](auto... call) { ((text += CallLine<decltype(call)>()), ...); }, calls::All{});
  text += "AddStandardGroup bits (any of them ORed together):\n";
  for (const auto& bit : kGroupBits) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", bit.bits);
    text += std::string("  ") + number + "  " + bit.name + "\n";
  }
  text +=
      "Exit status:\n"
      "  0  every call and the status that Process returned were ok\n"
      "  1  a call failed or Process returned a failure (every line is still served)\n"
      "  2  the server could not be started or did not end cleanly, the connection\n"
      "     broke, or the arguments were not understood";
  return str::as_wstring(text);
}

}  // namespace tally::script
