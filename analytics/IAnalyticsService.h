// What a client application can ask of the analytics server. Every
// operation runs on the remote-call worker's thread, one call at a time.
#pragma once
#include <string>

#include "Common/AnalyticsCalls.h"  // EventsGroup
#include "runtime/Status.h"

namespace qrn::analytics {

class IAnalyticsService {
 public:
  virtual ~IAnalyticsService() = default;
  // Runs the selected report blocks and saves or uploads the document;
  // returns the outcome of the save or upload.
  virtual qtl::status Process() = 0;
  virtual void TrackEvent(std::wstring name) = 0;
  virtual void TrackValueEvent(std::wstring name, unsigned int value) = 0;
  // Returns the new event's id, for TrackTimedEventEnd.
  virtual unsigned int TrackTimedEventStart(std::wstring name) = 0;
  // An id that names no event is ignored.
  virtual void TrackTimedEventEnd(unsigned int id) = 0;
  virtual void SetExcludePII(bool flag) = 0;
  // EventsGroup writes the events group now; any other value selects report blocks.
  virtual void AddStandardGroup(unsigned int group) = 0;
  // A file path, or "web service" for the uploader.
  virtual void SaveTo(const std::wstring& target) = 0;
  virtual void StartGroup(const std::wstring& name) = 0;
  virtual void SetDataPoint(const std::wstring& name, const std::wstring& value) = 0;
  virtual void EndGroup() = 0;
};

}  // namespace qrn::analytics
