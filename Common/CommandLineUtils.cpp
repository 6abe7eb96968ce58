#include "Common/CommandLineUtils.h"

#include "runtime/Console.h"
#include "runtime/Log.h"
#include "runtime/SourceStamps.h"

namespace cmd {

void WriteLine(std::wstring text) {
  text += L"\n";
  sys::console::Write(sys::console::Stream::kOut, text);
  qrn::diag::LogMacroHandler{{qrn::diag::kLogInformation, qrn::diag::kLogConsole, stamps::kConsoleLine.file, stamps::kConsoleLine.line,
                              "cmd::WriteLine"}}(text);
}

void WriteErrorLine(std::wstring text) {
  text += L"\n";
  sys::console::Write(sys::console::Stream::kErr, text);
}

}  // namespace cmd
