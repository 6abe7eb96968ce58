#include "Qrn.Tally/CommandLine.h"

#include "runtime/Status.h"

namespace {

constexpr const char* kSourceFile = "Qrn.Tally\\Qrn.Tally";

// The error names the argument, so a user sees what was not understood.
[[noreturn]] void Reject(const std::wstring& what, int line) {
  qtl::status s = QrnError::internal("CommandLine::Assign", kSourceFile, line);
  s.mutable_detail()->texts[1] = L"unrecognised argument: " + what;
  ThrowStatus(s, kSourceFile, line);
}

}  // namespace

void CommandLine::Assign(const std::vector<std::wstring>& positional, const sys::env::NamedArguments& named) {
  for (const auto& word : positional) {
    if (word != L"RunServer") Reject(word, 356);
    serverFlag = true;
  }
  for (const auto& [name, value] : named) {
    if (name == L"pipename") {
      pipeName = value;
    } else if (name == L"out") {
      outputPath = value;
    } else {
      Reject(L"/" + name, 376);
    }
  }
}
