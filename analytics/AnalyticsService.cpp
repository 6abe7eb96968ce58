#include "analytics/AnalyticsService.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "Common/CommandLineUtils.h"
#include "report/XmlText.h"
#include "runtime/Uploader.h"

namespace qrn::analytics::impl {

namespace {
const wchar_t kWebService[] = L"web service";
}

// A wall clock can be set back while the server runs; a monotonic one never
// makes an event time or a duration negative.
AnalyticsService::Clock AnalyticsService::SteadyClock() {
  return [] { return std::chrono::steady_clock::now().time_since_epoch(); };
}

AnalyticsService::Uploader AnalyticsService::WebServiceUploader() {
  return [](const std::string& document) { return ws::analytics::impl::Track(std::string_view(document)); };
}

AnalyticsService::Progress AnalyticsService::ConsoleProgress() {
  return [](const std::wstring& line) { cmd::WriteLine(line); };
}

AnalyticsService::AnalyticsService(const platform::Machine& machine)
    : AnalyticsService(machine, SteadyClock(), WebServiceUploader()) {}

AnalyticsService::AnalyticsService(const platform::Machine& machine, Clock clock, Uploader upload, Progress progress)
    : builder_(machine), clock_(std::move(clock)), upload_(std::move(upload)), progress_(std::move(progress)) {
  builder_.Reset();
  start_ = clock_();
}

AnalyticsService::~AnalyticsService() = default;

int64_t AnalyticsService::MillisecondsSinceStart() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_() - start_).count();
}

unsigned int AnalyticsService::Record(std::wstring name, unsigned int value) {
  EventRecord record;
  const auto [entry, added] = nameIds_.try_emplace(std::move(name), static_cast<uint32_t>(names_.size()));
  if (added) {
    try {
      names_.push_back(&entry->first);
    } catch (...) {
      nameIds_.erase(entry);
      throw;
    }
  }
  record.name = entry->second;
  record.value = value;
  record.eventtime = MillisecondsSinceStart();
  events_.push_back(std::move(record));
  return static_cast<unsigned int>(events_.size() - 1);
}

void AnalyticsService::TrackEvent(std::wstring name) { Record(std::move(name), EventRecord::NoValue); }

void AnalyticsService::TrackValueEvent(std::wstring name, unsigned int value) { Record(std::move(name), value); }

unsigned int AnalyticsService::TrackTimedEventStart(std::wstring name) {
  return Record(std::move(name), EventRecord::NoValue);
}

void AnalyticsService::TrackTimedEventEnd(unsigned int id) {
  if (id == EventRecord::NoValue || id >= events_.size()) return;
  EventRecord& record = events_[id];
  record.elapsed = MillisecondsSinceStart() - record.eventtime;
}

void AnalyticsService::SetExcludePII(bool flag) { excludePII_ = flag; }

void AnalyticsService::AddStandardGroup(unsigned int group) {
  if (group != EventsGroup) {
    groupMask_ |= group;
    return;
  }
  if (!events_.empty()) WriteEventsGroup();
}

namespace {

// The most an event's line can take besides its name: the tag, a value and
// two times of at most 22 characters each, with their attribute names.
constexpr size_t kEventLineBytes = 140;

}  // namespace

// Straight to the builder: the events group is written even where the
// client's groups have reached kMaxGroupDepth. Each name is escaped once,
// and the lines go into text reserved for all of them.
void AnalyticsService::WriteEventsGroup() {
  std::vector<std::string> escaped(names_.size());
  size_t bytes = 0;
  for (size_t i = 0; i < names_.size(); ++i) AppendXmlEscaped(escaped[i], *names_[i]);
  for (const EventRecord& record : events_) bytes += escaped[record.name].size() + kEventLineBytes;
  builder_.StartGroup(L"events");
  bytes += 2 * builder_.GroupDepth() * events_.size();
  builder_.AddEmptyGroups("event", events_.size(), bytes, [&](size_t i, std::string& text) {
    const EventRecord& record = events_[i];
    text.append(" name=\"").append(escaped[record.name]);
    // The rest of the line in one piece.
    char line[64 + 2 * kMaxElapsedChars];
    char* at = line;
    auto put = [&](std::string_view piece) { at = std::copy(piece.begin(), piece.end(), at); };
    put("\"");
    if (record.HasValue()) {
      put(" value=\"");
      at = std::to_chars(at, at + 10, record.value).ptr;
      put("\"");
    }
    if (EventRecord::IsSet(record.eventtime)) {
      put(" eventtime=\"");
      at = WriteElapsed(at, record.eventtime);
      put("\"");
    }
    if (EventRecord::IsSet(record.elapsed)) {
      put(" elapsed=\"");
      at = WriteElapsed(at, record.elapsed);
      put("\"");
    }
    text.append(line, at);
  });
  builder_.EndGroup();
}

// Each level indents every line inside it, so the text grows with the square
// of the depth; a bound keeps a runaway client from exhausting memory.
void AnalyticsService::StartGroup(const std::wstring& name) {
  if (builder_.GroupDepth() >= kMaxGroupDepth) {
    ThrowStatus(qtl::status::error(L"Groups nest at most " + std::to_wstring(kMaxGroupDepth) + L" deep"),
                "analytics\\AnalyticsService", __LINE__);
  }
  builder_.StartGroup(name);
}

void AnalyticsService::SetDataPoint(const std::wstring& name, const std::wstring& value) {
  builder_.SetDataPoint(name, value);
}

void AnalyticsService::EndGroup() { builder_.EndGroup(); }

void AnalyticsService::SaveTo(const std::wstring& target) { saveTarget_ = target; }

qtl::status AnalyticsService::Process() {
  RunSelectedBlocks();
  if (saveTarget_ == kWebService) return upload_(builder_.GetDocument());
  return builder_.SaveDocument(saveTarget_, progress_);
}

// Each Process starts a fresh run: without the reset a second Process would
// skip the blocks below the last run's position and repeat its block text.
void AnalyticsService::RunSelectedBlocks() {
  builder_.Reset();
  builder_.SelectBlocks(groupMask_, excludePII_);
  builder_.RunAll(progress_);
}

}  // namespace qrn::analytics::impl
