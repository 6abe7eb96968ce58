#include "Qrn.Tally/CommandLine.h"

#include "runtime/SourceStamps.h"
#include "runtime/Status.h"

namespace {

// The error names the argument, so a user sees what was not understood.
[[noreturn]] void Reject(const std::wstring& what, SourceStamp stamp) {
  qtl::status s = QrnError::internal("CommandLine::Assign", stamp.file, stamp.line);
  s.mutable_detail()->texts[1] = L"unrecognised argument: " + what;
  ThrowStatus(s, stamp.file, stamp.line);
}

}  // namespace

void CommandLine::Assign(const std::vector<std::wstring>& positional, const sys::env::NamedArguments& named) {
  for (const auto& word : positional) {
    if (word == L"-h" || word == L"--help") {
      helpFlag = true;
      continue;
    }
    if (word != L"RunServer") Reject(word, stamps::kUnknownWord);
    serverFlag = true;
  }
  for (const auto& [name, value] : named) {
    if (name == L"?" && value.empty()) {
      helpFlag = true;
    } else if (name == L"pipename") {
      pipeName = value;
    } else if (name == L"out") {
      outputPath = value;
    } else {
      Reject(L"/" + name, stamps::kUnknownName);
    }
  }
}
