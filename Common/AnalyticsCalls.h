// The calls a client application makes of the analytics server: each name
// with the signature it travels with. The server binds these and the client
// sends these, so the two cannot disagree on a name, an argument or a result.
#pragma once
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>

#include "runtime/Status.h"

namespace qrn::analytics {

// The group number that writes the events group instead of selecting report blocks.
constexpr unsigned int EventsGroup = 0x10000000;

namespace calls {

struct TrackEvent {
  static constexpr const char* kName = "TrackEvent";
  using Signature = void(std::wstring);
};
struct TrackValueEvent {
  static constexpr const char* kName = "TrackValueEvent";
  using Signature = void(std::wstring, unsigned int);
};
// Its result is the new event's id.
struct TrackTimedEventStart {
  static constexpr const char* kName = "TrackTimedEventStart";
  using Signature = unsigned int(std::wstring);
};
struct TrackTimedEventEnd {
  static constexpr const char* kName = "TrackTimedEventEnd";
  using Signature = void(unsigned int);
};
struct SetExcludePII {
  static constexpr const char* kName = "SetExcludePII";
  using Signature = void(bool);
};
struct AddStandardGroup {
  static constexpr const char* kName = "AddStandardGroup";
  using Signature = void(unsigned int);
};
struct StartGroup {
  static constexpr const char* kName = "StartGroup";
  using Signature = void(std::wstring);
};
struct SetDataPoint {
  static constexpr const char* kName = "SetDataPoint";
  using Signature = void(std::wstring, std::wstring);
};
struct EndGroup {
  static constexpr const char* kName = "EndGroup";
  using Signature = void();
};
// The path travels as the host's bytes (sys::path::ToHostBytes), so a Linux
// name that is not UTF-8 still names the file the client meant.
struct SaveTo {
  static constexpr const char* kName = "SaveTo";
  using Signature = void(std::string);
};
// Its result is the status that processing returned.
struct Process {
  static constexpr const char* kName = "Process";
  using Signature = qtl::status();
};

// Every call, in the order the server registers them.
using All = std::tuple<TrackEvent, TrackValueEvent, TrackTimedEventStart, TrackTimedEventEnd, SetExcludePII,
                       AddStandardGroup, StartGroup, SetDataPoint, EndGroup, SaveTo, Process>;

namespace impl {
template <class Sig>
struct SignatureParts;
template <class R, class... A>
struct SignatureParts<R(A...)> {
  using Result = R;
  using Arguments = std::tuple<std::decay_t<A>...>;
};
}  // namespace impl

// What a call returns, void included.
template <class Call>
using ResultOf = typename impl::SignatureParts<typename Call::Signature>::Result;
// The values a call takes, in order, as they are encoded on the wire.
template <class Call>
using ArgumentsOf = typename impl::SignatureParts<typename Call::Signature>::Arguments;

}  // namespace calls
}  // namespace qrn::analytics
