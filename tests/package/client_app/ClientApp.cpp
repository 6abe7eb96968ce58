// client_app SERVER DOCUMENT: one analytics session through the packaged
// client library, saved to DOCUMENT. Exit 0 when every call was ok.
#include <cstdio>
#include <string>

#include "client/TallyClient.h"

namespace {

std::wstring Widen(const char* text) {
  const std::string narrow(text);
  return std::wstring(narrow.begin(), narrow.end());
}

bool Ok(const qtl::status& status, const char* call) {
  if (!status.ok()) std::fprintf(stderr, "%s failed\n", call);
  return status.ok();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  tally::client::LaunchOptions launch;
  launch.program = Widen(argv[1]);
  std::unique_ptr<tally::TallyClient> client;
  if (!Ok(tally::TallyClient::Start(launch, client), "Start")) return 1;
  qtl::status processed;
  const bool ok = Ok(client->TrackEvent(L"client_app.started"), "TrackEvent") &&
                  Ok(client->AddStandardGroup(qrn::analytics::EventsGroup), "AddStandardGroup") &&
                  Ok(client->SaveTo(Widen(argv[2])), "SaveTo") && Ok(client->Process(processed), "Process") &&
                  Ok(processed, "the save");
  int serverExit = 0;
  return ok && Ok(client->Close(serverExit), "Close") && serverExit == 0 ? 0 : 1;
}
