#include "analytics/RemoteCallBinding.h"

#include "Common/AnalyticsCalls.h"
#include "Common/sys_server_RemoteCallServer.h"
#include "runtime/PathBytes.h"

namespace sys::server {
namespace {

namespace calls = qrn::analytics::calls;

// Registers `function` under the call's name; it must take and return what
// the call carries, or this does not compile.
template <class Call, class F>
void Bind(RemoteCallRegistry& registry, F function) {
  registry.Register<typename Call::Signature>(Call::kName, std::move(function));
}

}  // namespace

RemoteCallRegistry MakeRemoteCallRegistry(qrn::analytics::IAnalyticsService& service) {
  qrn::analytics::IAnalyticsService* s = &service;
  RemoteCallRegistry registry;
  Bind<calls::TrackEvent>(registry, [s](std::wstring name) { s->TrackEvent(std::move(name)); });
  Bind<calls::TrackValueEvent>(
      registry, [s](std::wstring name, unsigned int value) { s->TrackValueEvent(std::move(name), value); });
  Bind<calls::TrackTimedEventStart>(registry,
                                    [s](std::wstring name) { return s->TrackTimedEventStart(std::move(name)); });
  Bind<calls::TrackTimedEventEnd>(registry, [s](unsigned int id) { s->TrackTimedEventEnd(id); });
  Bind<calls::SetExcludePII>(registry, [s](bool flag) { s->SetExcludePII(flag); });
  Bind<calls::AddStandardGroup>(registry, [s](unsigned int group) { s->AddStandardGroup(group); });
  Bind<calls::StartGroup>(registry, [s](const std::wstring& name) { s->StartGroup(name); });
  Bind<calls::SetDataPoint>(
      registry, [s](const std::wstring& name, const std::wstring& value) { s->SetDataPoint(name, value); });
  Bind<calls::EndGroup>(registry, [s] { s->EndGroup(); });
  Bind<calls::SaveTo>(registry, [s](const std::string& target) { s->SaveTo(sys::path::FromHostBytes(target)); });
  Bind<calls::Process>(registry, [s] { return s->Process(); });
  return registry;
}

}  // namespace sys::server
