#include "runtime/Log.h"

namespace qrn::diag {
namespace {
LogSink& Sink() {
  static LogSink sink;
  return sink;
}
}  // namespace

void SetLogSink(LogSink sink) { Sink() = std::move(sink); }

void LogMacroHandler::operator()(const std::wstring& format) const {
  if (Sink()) Sink()(record, format);
}

}  // namespace qrn::diag
