// What the document reader finds in one document: the rows a store keeps
// beside the raw bytes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace collector {

struct EventRow {
  std::string name;
  std::optional<int64_t> value;        // absent when the event carries none
  std::optional<int64_t> eventTimeMs;  // since the service started
  std::optional<int64_t> elapsedMs;
};

// One attribute of a client's group; the path names the group and its
// ancestors, outermost first, joined by '/'.
struct DataPointRow {
  std::string groupPath;
  std::string name;
  std::string value;
};

struct DiskRow {
  std::string drive;
  std::optional<int64_t> freeBytes;
  std::optional<int64_t> availableBytes;
};

// The machine as its system and disk blocks describe it; any part may be missing.
struct MachineFacts {
  std::string osCaption;
  std::string osVersion;
  std::string processor;
  std::optional<int64_t> logicalProcessors;
  std::optional<int64_t> ramBytes;
  std::vector<DiskRow> disks;
  bool Empty() const {
    return osCaption.empty() && osVersion.empty() && processor.empty() && !logicalProcessors && !ramBytes &&
           disks.empty();
  }
};

enum class DocumentKind { kReport, kAnalytics };
enum class ParseState { kParsed, kUnparsed };

struct DocumentRows {
  DocumentKind kind = DocumentKind::kAnalytics;
  ParseState state = ParseState::kParsed;
  std::string message;  // the parser's complaint when unparsed
  std::string machine;  // the computer's name, empty when the document does not say
  std::vector<EventRow> events;
  std::vector<DataPointRow> dataPoints;
  MachineFacts facts;
  int64_t groups = 0;   // client group elements
  int64_t blocks = 0;   // report block elements
};

const char* KindName(DocumentKind kind);
const char* StateName(ParseState state);

}  // namespace collector
