// The diagnostic log's entry point. The program keeps no diagnostic log of its
// own (the console lines are the record a user sees), so a record handed in
// is dropped; the call sites still say where each record was made.
#pragma once
#include <string>

namespace qrn::diag {

enum LogLevel { kLogInformation = 1, kLogWarning = 2, kLogError = 3 };
enum LogCategory { kLogGeneral = 1, kLogConsole = 2 };

struct LogRecord {
  int level;          // LogLevel
  int category;       // LogCategory
  const char* file;   // source path, in the system's own spelling
  int line;
  const char* function;
};

struct LogMacroHandler {
  LogRecord record;
  // Takes the format text, unformatted. Never fails.
  void operator()(const std::wstring& /*format*/) const {}
};

}  // namespace qrn::diag
