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

void InitParser() {
  static std::once_flag init;
  std::call_once(init, [] { xmlInitParser(); });
}

}  // namespace

XmlReader OpenSafeXmlReader(std::string_view xml, std::string* message) {
  InitParser();
  XmlReader reader(xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, kReaderOptions));
  if (reader) xmlTextReaderSetStructuredErrorHandler(reader.get(), OnError, message);
  return reader;
}

XmlReader OpenSafeXmlReaderIO(xmlInputReadCallback read, void* context, std::string* message) {
  InitParser();
  XmlReader reader(xmlReaderForIO(read, nullptr, context, nullptr, nullptr, kReaderOptions));
  if (reader) xmlTextReaderSetStructuredErrorHandler(reader.get(), OnError, message);
  return reader;
}

}  // namespace collector
