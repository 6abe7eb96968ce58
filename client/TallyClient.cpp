#include "client/TallyClient.h"

#include <algorithm>

#include "client/CallQueue.h"
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

qtl::status NotConnected() { return qtl::status::error(L"Not connected to the server"); }

qtl::status MalformedReply(const std::string& name) {
  return qtl::status::error(L"Malformed reply to " + str::as_wstring(name));
}
}  // namespace

qtl::status TallyClient::Start(const client::LaunchOptions& options, std::unique_ptr<TallyClient>& out,
                               const ClientOptions& clientOptions) {
  std::unique_ptr<client::ServerProcess> server;
  qtl::status status = client::LaunchServer(options, server);
  if (!status.ok()) return status;
  auto connection = std::make_shared<sys::message::FrameConnection>(server->TakeStream(), kReadBufferBytes);
  out = std::make_unique<TallyClient>(std::move(connection), std::move(server), clientOptions);
  return qtl::ok_status();
}

TallyClient::TallyClient(std::shared_ptr<sys::message::IReaderWriterConnection> connection,
                         std::unique_ptr<client::ServerProcess> server, const ClientOptions& options)
    : connection_(std::move(connection)), server_(std::move(server)) {
  if (options.queued) {
    queue_ = std::make_unique<CallQueue>(
        [this](const std::string& request, std::string& reply) { return Exchange(request, reply); },
        options.queueLimit);
  }
}

TallyClient::~TallyClient() {
  int exitCode = 0;
  (void)Close(exitCode);
}

qtl::status TallyClient::Encode(const std::string& name, const std::string& arguments, std::string& request) const {
  request = sys::message::frame::EncodeRequest(name, arguments);
  // Refused before anything is sent, so the connection is still sound.
  if (request.size() > sys::message::frame::kMaxPayloadBytes) return RequestTooLarge(name, request.size());
  return qtl::ok_status();
}

qtl::status TallyClient::Exchange(const std::string& request, std::string& reply) {
  std::lock_guard<std::mutex> lock(connectionMutex_);
  if (!connected_) return NotConnected();
  qtl::status status = connection_->Write(request);
  if (status.ok()) status = connection_->Read(reply);
  if (!status.ok()) connected_ = false;
  return status;
}

qtl::status TallyClient::Call(const std::string& name, const std::string& arguments, std::string& result) {
  if (!connected_) return NotConnected();
  std::string request;
  qtl::status status = Encode(name, arguments, request);
  if (!status.ok()) return status;
  return queue_ ? queue_->Send(std::move(request), result) : Exchange(request, result);
}

qtl::status TallyClient::TypedCall(const std::string& name, const std::string& arguments, std::string* value) {
  if (queue_ && !value) {
    if (!connected_) return NotConnected();
    std::string request;
    qtl::status status = Encode(name, arguments, request);
    return status.ok() ? queue_->Post(name, std::move(request)) : status;
  }
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
  std::lock_guard<std::mutex> closing(closeMutex_);
  if (!closed_) {
    closed_ = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    qtl::status queued;
    if (queue_) {
      // A server that does not answer in time is ended, which ends the call in flight.
      if (!queue_->WaitUntilEmpty(deadline) && server_) server_->Kill();
      queue_->Stop();
      queued = queue_->Summary();
    }
    {
      std::lock_guard<std::mutex> lock(connectionMutex_);  // after a direct call in flight
      connected_ = false;
      if (connection_) connection_->Close();
    }
    const qtl::status waited = WaitForServer(deadline);
    if (queued.ok() || waited.ok()) {
      closeStatus_ = queued.ok() ? waited : queued;
    } else {
      closeStatus_ = qtl::status::error(queued.text() + L"; " + waited.text());
    }
  }
  exitCode = exitCode_;
  return closeStatus_;
}

qtl::status TallyClient::WaitForServer(std::chrono::steady_clock::time_point deadline) {
  if (!server_) return qtl::ok_status();
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  qtl::status waited = server_->Wait(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0)), exitCode_);
  if (!waited.ok()) {
    server_->Kill();
    exitCode_ = -1;
  }
  return waited;
}

}  // namespace tally
