// What a client application links to record analytics through the server:
// start the server, make typed calls, close.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <type_traits>

#include "Common/AnalyticsCalls.h"
#include "Common/EventNames.h"  // the well-known event names clients share
#include "Common/grammar_Tuple.h"
#include "client/ServerProcess.h"
#include "runtime/Connection.h"
#include "runtime/Status.h"

namespace tally {

class CallQueue;

// How many queued calls may wait before the oldest is dropped.
constexpr size_t kQueuedCallLimit = 100000;

struct ClientOptions {
  // The calls that return nothing but a status (the Track calls but
  // TrackTimedEventStart, the group and data-point calls, SetExcludePII,
  // SaveTo) are queued in memory and return at once, ok unless the client
  // is closed or the connection broke; one background thread sends them in
  // order. Their own statuses are counted and reported by Close. The calls
  // that return a value (TrackTimedEventStart, Process, Call) wait for their
  // answer, which comes after every call queued before them.
  bool queued = false;
  // Past this many queued calls waiting, the oldest is dropped (and counted).
  size_t queueLimit = kQueuedCallLimit;
};

// Every method may be called from any thread; calls reach the server one at
// a time, in the order they were made.
class TallyClient {
 public:
  // Starts the server (client::LaunchServer) and connects to it.
  static qtl::status Start(const client::LaunchOptions& options, std::unique_ptr<TallyClient>& out,
                           const ClientOptions& clientOptions = {});

  // Talks over `connection`; `server`, when given, is waited for on Close.
  explicit TallyClient(std::shared_ptr<sys::message::IReaderWriterConnection> connection,
                       std::unique_ptr<client::ServerProcess> server = nullptr, const ClientOptions& options = {});
  // Closes, waiting for the server as Close does.
  ~TallyClient();

  // Sends one call and returns its result text. A request larger than a
  // frame may carry fails alone ("Request too large"), nothing sent. Any
  // other failing status means the connection broke; from then on every
  // call fails and Connected() is false.
  qtl::status Call(const std::string& name, const std::string& arguments, std::string& result);

  // Makes one call of the table in Common/AnalyticsCalls.h with the values it
  // takes; `result`, when given, receives the value it returns. Returns as
  // the typed methods below do, which are this call spelled out.
  template <class Tag>
  qtl::status Invoke(const qrn::analytics::calls::ArgumentsOf<Tag>& arguments,
                     qrn::analytics::calls::ResultOf<Tag>* result = nullptr);

  // Each returns the call's own status from the server, or the connection's
  // failure when it broke (then Connected() is false).
  qtl::status TrackEvent(const std::wstring& name);
  qtl::status TrackValueEvent(const std::wstring& name, uint32_t value);
  qtl::status TrackTimedEventStart(const std::wstring& name, uint32_t& id);
  qtl::status TrackTimedEventEnd(uint32_t id);
  qtl::status SetExcludePII(bool exclude);
  qtl::status AddStandardGroup(uint32_t group);
  qtl::status StartGroup(const std::wstring& name);
  qtl::status SetDataPoint(const std::wstring& name, const std::wstring& value);
  qtl::status EndGroup();
  qtl::status SaveTo(const std::wstring& target);
  // `processed` receives the status that the server's Process returned.
  qtl::status Process(qtl::status& processed);

  bool Connected() const { return connected_; }

  // Sends what is queued, ends the connection, which ends the server, and
  // waits for it (killing it after that), all within `milliseconds`; queued
  // calls still waiting then are not sent. `exitCode` is the server's; 0
  // when there was no server process. Fails when the server had to be
  // killed, or when queued calls were dropped, not sent or failed (saying
  // how many). Idempotent; later calls fail.
  qtl::status Close(int& exitCode, uint32_t milliseconds = 60000);

 private:
  qtl::status TypedCall(const std::string& name, const std::string& arguments, std::string* value);
  // The request frame for a call, or why it cannot be sent.
  qtl::status Encode(const std::string& name, const std::string& arguments, std::string& request) const;
  // One request and its reply over the connection, one caller at a time.
  qtl::status Exchange(const std::string& request, std::string& reply);
  qtl::status WaitForServer(std::chrono::steady_clock::time_point deadline);
  // Reads the value text of a reply whose own status is `status` into `value`.
  qtl::status ReadValue(const std::string& name, const std::string& text, qtl::status status, unsigned int& value);
  qtl::status ReadValue(const std::string& name, const std::string& text, qtl::status status, qtl::status& value);

  std::shared_ptr<sys::message::IReaderWriterConnection> connection_;
  std::unique_ptr<client::ServerProcess> server_;
  std::mutex connectionMutex_;  // one exchange at a time
  std::mutex closeMutex_;
  std::unique_ptr<CallQueue> queue_;  // in queued mode
  std::atomic<bool> connected_{true};
  bool closed_ = false;
  int exitCode_ = 0;
  qtl::status closeStatus_;
};

// The texts of the wire, written and read with the server's own value grammar.
namespace wire {
// The argument text of a call taking `values`, in order.
template <class... E>
std::string Arguments(const E&... values) {
  qrn::grammar::GrammarOfType<std::tuple<E...>> grammar;
  grammar.value = std::make_tuple(values...);
  std::string text;
  grammar.Encode(text);
  return text;
}
// Splits a result text into the call's status and the value's text; false
// when it is not a two-item Sequence with a readable status.
bool DecodeResult(const std::string& result, qtl::status& status, std::string& value);
}  // namespace wire

template <class Tag>
qtl::status TallyClient::Invoke(const qrn::analytics::calls::ArgumentsOf<Tag>& arguments,
                                qrn::analytics::calls::ResultOf<Tag>* result) {
  using Result = qrn::analytics::calls::ResultOf<Tag>;
  const std::string text = std::apply([](const auto&... values) { return wire::Arguments(values...); }, arguments);
  if constexpr (std::is_void_v<Result>) {
    return TypedCall(Tag::kName, text, nullptr);
  } else {
    std::string value;
    qtl::status status = TypedCall(Tag::kName, text, &value);
    Result ignored{};
    return ReadValue(Tag::kName, value, std::move(status), result ? *result : ignored);
  }
}

}  // namespace tally
