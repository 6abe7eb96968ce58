#include "collector/document/SafeXmlReader.h"

#include <mutex>

namespace collector {
namespace {

// HUGE lifts libxml2's 10 MB cap on one text: the body's own limit bounds
// it; start tags, depth and rows are bounded by the callers.
constexpr int kReaderOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT | XML_PARSE_HUGE;

void OnError(void* context, xmlErrorPtr error) {
  auto* message = static_cast<std::string*>(context);
  if (!message->empty() || error == nullptr) return;
  std::string text = error->message ? error->message : "not well formed";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  *message = "line " + std::to_string(error->line) + ": " + text;
}

}  // namespace

XmlReader OpenSafeXmlReader(std::string_view xml, std::string* message) {
  static std::once_flag init;
  std::call_once(init, [] { xmlInitParser(); });
  XmlReader reader(xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, kReaderOptions));
  if (reader) xmlTextReaderSetStructuredErrorHandler(reader.get(), OnError, message);
  return reader;
}

}  // namespace collector
