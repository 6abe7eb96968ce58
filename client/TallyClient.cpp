#include "client/TallyClient.h"

#include "runtime/Convert.h"
#include "runtime/FrameConnection.h"
#include "runtime/PathBytes.h"
#include "runtime/Sequence.h"
#include "runtime/Str.h"

namespace tally {

namespace wire {

bool DecodeResult(const std::string& result, qtl::status& status, std::string& value) {
  qrn::grammar::GrammarOfType<std::tuple<qtl::status, std::string>> grammar;
  try {
    grammar.Decode(result);
  } catch (const qtl::status_exception&) {
    return false;
  }
  std::tie(status, value) = std::move(grammar.value);
  return true;
}

}  // namespace wire

namespace {
// How many bytes one read of the connection asks for; replies are small.
constexpr size_t kReadBufferBytes = 1024;

qtl::status RequestTooLarge(const std::string& name, size_t bytes) {
  return qtl::status::error(L"Request too large: " + qtl::Excerpt(name, L"") + L" takes " + std::to_wstring(bytes) +
                            L" bytes, at most " + std::to_wstring(sys::message::frame::kMaxPayloadBytes) + L" allowed");
}

qtl::status MalformedReply(const std::string& name) {
  return qtl::status::error(L"Malformed reply to " + str::as_wstring(name));
}
}  // namespace

qtl::status TallyClient::Start(const client::LaunchOptions& options, std::unique_ptr<TallyClient>& out) {
  std::unique_ptr<client::ServerProcess> server;
  qtl::status status = client::LaunchServer(options, server);
  if (!status.ok()) return status;
  auto connection = std::make_shared<sys::message::FrameConnection>(server->TakeStream(), kReadBufferBytes);
  out = std::make_unique<TallyClient>(std::move(connection), std::move(server));
  return qtl::ok_status();
}

TallyClient::TallyClient(std::shared_ptr<sys::message::IReaderWriterConnection> connection,
                         std::unique_ptr<client::ServerProcess> server)
    : connection_(std::move(connection)), server_(std::move(server)) {}

TallyClient::~TallyClient() {
  int exitCode = 0;
  (void)Close(exitCode);
}

qtl::status TallyClient::Call(const std::string& name, const std::string& arguments, std::string& result) {
  if (!connected_) return qtl::status::error(L"Not connected to the server");
  const std::string request = sys::message::frame::EncodeRequest(name, arguments);
  // Refused before anything is sent, so the connection is still sound.
  if (request.size() > sys::message::frame::kMaxPayloadBytes) return RequestTooLarge(name, request.size());
  qtl::status status = connection_->Write(request);
  if (status.ok()) status = connection_->Read(result);
  if (!status.ok()) connected_ = false;
  return status;
}

qtl::status TallyClient::TypedCall(const std::string& name, const std::string& arguments, std::string* value) {
  std::string result, text;
  qtl::status status = Call(name, arguments, result);
  if (!status.ok()) return status;
  if (!wire::DecodeResult(result, status, text)) return MalformedReply(name);
  if (value) *value = std::move(text);
  return status;
}

qtl::status TallyClient::ReadValue(const std::string& name, const std::string& text, qtl::status status,
                                   unsigned int& value) {
  unsigned int parsed = 0;
  if (!math::impl::ConvertInt<unsigned int>::from_string(parsed, text) && connected_ && status.ok()) {
    return MalformedReply(name);
  }
  value = parsed;
  return status;
}

qtl::status TallyClient::ReadValue(const std::string& name, const std::string& text, qtl::status status,
                                   qtl::status& value) {
  value = qtl::ok_status();
  if (!connected_ || text.empty()) return status;
  try {
    value = qrn::grammar::DecodeStatus(text);
  } catch (const qtl::status_exception&) {
    return MalformedReply(name);
  }
  return status;
}

namespace calls = qrn::analytics::calls;

qtl::status TallyClient::TrackEvent(const std::wstring& name) { return Invoke<calls::TrackEvent>({name}); }

qtl::status TallyClient::TrackValueEvent(const std::wstring& name, uint32_t value) {
  return Invoke<calls::TrackValueEvent>({name, value});
}

qtl::status TallyClient::TrackTimedEventStart(const std::wstring& name, uint32_t& id) {
  return Invoke<calls::TrackTimedEventStart>({name}, &id);
}

qtl::status TallyClient::TrackTimedEventEnd(uint32_t id) { return Invoke<calls::TrackTimedEventEnd>({id}); }

qtl::status TallyClient::SetExcludePII(bool exclude) { return Invoke<calls::SetExcludePII>({exclude}); }

qtl::status TallyClient::AddStandardGroup(uint32_t group) { return Invoke<calls::AddStandardGroup>({group}); }

qtl::status TallyClient::StartGroup(const std::wstring& name) { return Invoke<calls::StartGroup>({name}); }

qtl::status TallyClient::SetDataPoint(const std::wstring& name, const std::wstring& value) {
  return Invoke<calls::SetDataPoint>({name, value});
}

qtl::status TallyClient::EndGroup() { return Invoke<calls::EndGroup>({}); }

qtl::status TallyClient::SaveTo(const std::wstring& target) {
  return Invoke<calls::SaveTo>({sys::path::ToHostBytes(target)});
}

qtl::status TallyClient::Process(qtl::status& processed) { return Invoke<calls::Process>({}, &processed); }

qtl::status TallyClient::Close(int& exitCode, uint32_t milliseconds) {
  if (!closed_) {
    closed_ = true;
    connected_ = false;
    if (connection_) connection_->Close();
    connection_.reset();
    if (server_) {
      qtl::status waited = server_->Wait(milliseconds, exitCode_);
      if (!waited.ok()) {
        server_->Kill();
        exitCode = exitCode_ = -1;
        return waited;
      }
    }
  }
  exitCode = exitCode_;
  return qtl::ok_status();
}

}  // namespace tally
