// The analytics service of one server run: it records the client's events
// and groups and turns them, with the report blocks the client selected,
// into one document. Not thread-safe: the remote-call worker's thread alone
// calls it, one call at a time.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analytics/EventRecord.h"
#include "analytics/IAnalyticsService.h"
#include "platform/Machine.h"
#include "report/ReportBuilder.h"

namespace qrn::analytics::impl {

class AnalyticsService : public IAnalyticsService {
 public:
  // Far beyond any real document; the events group may go two levels deeper.
  static constexpr size_t kMaxGroupDepth = 256;

  // A monotonic reading: only differences between readings are used.
  using Clock = std::function<std::chrono::nanoseconds()>;
  // Hands the document (UTF-8) on and returns the outcome.
  using Uploader = std::function<qtl::status(const std::string& document)>;

  // Receives Process's progress lines and its "Saving to" line.
  using Progress = ReportBuilder::Progress;

  static Clock SteadyClock();
  static Uploader WebServiceUploader();
  // Each line through cmd::WriteLine.
  static Progress ConsoleProgress();

  // Event times count from the end of construction.
  explicit AnalyticsService(const platform::Machine& machine = platform::HostMachine());
  AnalyticsService(const platform::Machine& machine, Clock clock, Uploader upload,
                   Progress progress = ConsoleProgress());
  ~AnalyticsService() override;
  AnalyticsService(const AnalyticsService&) = delete;
  AnalyticsService& operator=(const AnalyticsService&) = delete;

  // Runs the blocks selected now, from the start, so the document holds the
  // group text so far and only this run's block text. Returns the uploader's
  // status for the target "web service"; otherwise saves a file and returns
  // ok or an "Unable to save to " status.
  qtl::status Process() override;
  void TrackEvent(std::wstring name) override;
  void TrackValueEvent(std::wstring name, unsigned int value) override;
  unsigned int TrackTimedEventStart(std::wstring name) override;
  void TrackTimedEventEnd(unsigned int id) override;
  void SetExcludePII(bool flag) override;
  void AddStandardGroup(unsigned int group) override;
  void SaveTo(const std::wstring& target) override;
  // Raises qtl::status_exception, changing nothing, when kMaxGroupDepth
  // groups are open already.
  void StartGroup(const std::wstring& name) override;
  void SetDataPoint(const std::wstring& name, const std::wstring& value) override;
  // Ignored when no group is open.
  void EndGroup() override;

  const std::vector<EventRecord>& Events() const { return events_; }
  const std::wstring& EventName(const EventRecord& record) const { return *names_[record.name]; }
  unsigned int GroupMask() const { return groupMask_; }
  bool ExcludePII() const { return excludePII_; }
  const std::wstring& SaveTarget() const { return saveTarget_; }
  const ReportBuilder& Builder() const { return builder_; }

 private:
  unsigned int Record(std::wstring name, unsigned int value);
  int64_t MillisecondsSinceStart() const;
  void WriteEventsGroup();
  void RunSelectedBlocks();

  bool excludePII_ = false;
  unsigned int groupMask_ = 0;
  ReportBuilder builder_;
  std::wstring saveTarget_;
  std::vector<EventRecord> events_;
  // Each name once: sessions repeat a few names many times.
  std::unordered_map<std::wstring, uint32_t> nameIds_;
  std::vector<const std::wstring*> names_;
  Clock clock_;
  Uploader upload_;
  Progress progress_;
  std::chrono::nanoseconds start_{};
};

}  // namespace qrn::analytics::impl
