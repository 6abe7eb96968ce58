#include "Common/sys_server_RemoteCallServer.h"

#include "analytics/IAnalyticsService.h"
#include "runtime/PathBytes.h"

namespace sys::server {

RemoteCallRegistry MakeRemoteCallRegistry(qrn::analytics::IAnalyticsService& service) {
  using qrn::analytics::IAnalyticsService;
  IAnalyticsService* s = &service;
  RemoteCallRegistry registry;
  registry.Register<void(std::wstring)>("TrackEvent", [s](std::wstring name) { s->TrackEvent(std::move(name)); });
  registry.Register<void(std::wstring, unsigned int)>(
      "TrackValueEvent", [s](std::wstring name, unsigned int value) { s->TrackValueEvent(std::move(name), value); });
  registry.Register<unsigned int(std::wstring)>(
      "TrackTimedEventStart", [s](std::wstring name) { return s->TrackTimedEventStart(std::move(name)); });
  registry.Register<void(unsigned int)>("TrackTimedEventEnd", [s](unsigned int id) { s->TrackTimedEventEnd(id); });
  registry.Register<void(bool)>("SetExcludePII", [s](bool flag) { s->SetExcludePII(flag); });
  registry.Register<void(unsigned int)>("AddStandardGroup", [s](unsigned int group) { s->AddStandardGroup(group); });
  registry.Register<void(std::wstring)>("StartGroup", [s](const std::wstring& name) { s->StartGroup(name); });
  registry.Register<void(std::wstring, std::wstring)>(
      "SetDataPoint", [s](const std::wstring& name, const std::wstring& value) { s->SetDataPoint(name, value); });
  registry.Register<void()>("EndGroup", [s] { s->EndGroup(); });
  // A path keeps its bytes even where they are not UTF-8, so it names the file the client meant.
  registry.Register<void(std::string)>(
      "SaveTo", [s](const std::string& target) { s->SaveTo(sys::path::FromHostBytes(target)); });
  registry.Register<qtl::status()>("Process", [s] { return s->Process(); });
  return registry;
}

}  // namespace sys::server
