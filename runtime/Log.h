// The diagnostic log: records carry where they were made; a sink, when one is
// set, receives them. Without a sink they go nowhere.
#pragma once
#include <functional>
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

using LogSink = std::function<void(const LogRecord&, const std::wstring& text)>;

// Replaces the sink; an empty function removes it. Not thread-safe: set it before work starts.
void SetLogSink(LogSink sink);

struct LogMacroHandler {
  LogRecord record;
  // Hands the format text, unformatted, to the sink.
  void operator()(const std::wstring& format) const;
};

}  // namespace qrn::diag
