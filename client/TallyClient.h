// What a client application links to record analytics through the server:
// start the server, make typed calls, close.
#pragma once
#include <cstdint>
#include <memory>
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

// Not thread-safe: one call at a time, as the server serves them.
class TallyClient {
 public:
  // Starts the server (client::LaunchServer) and connects to it.
  static qtl::status Start(const client::LaunchOptions& options, std::unique_ptr<TallyClient>& out);

  // Talks over `connection`; `server`, when given, is waited for on Close.
  explicit TallyClient(std::shared_ptr<sys::message::IReaderWriterConnection> connection,
                       std::unique_ptr<client::ServerProcess> server = nullptr);
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

  // Ends the connection, which ends the server, and waits up to
  // `milliseconds` for it (killing it after that). `exitCode` is the
  // server's; 0 when there was no server process. Idempotent.
  qtl::status Close(int& exitCode, uint32_t milliseconds = 60000);

 private:
  qtl::status TypedCall(const std::string& name, const std::string& arguments, std::string* value);
  // Reads the value text of a reply whose own status is `status` into `value`.
  qtl::status ReadValue(const std::string& name, const std::string& text, qtl::status status, unsigned int& value);
  qtl::status ReadValue(const std::string& name, const std::string& text, qtl::status status, qtl::status& value);

  std::shared_ptr<sys::message::IReaderWriterConnection> connection_;
  std::unique_ptr<client::ServerProcess> server_;
  bool connected_ = true;
  bool closed_ = false;
  int exitCode_ = 0;
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
