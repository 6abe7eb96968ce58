// The line language of tally-client: one remote call per input line.
//
// Fields are separated by TAB: the call name, then its arguments (UTF-8
// text; numbers decimal or 0x hexadecimal; flags t or f). A known name is
// checked and encoded here; a line that does not fit its call is answered
// locally and nothing is sent. An unknown name is sent with its fields as
// the argument items, so the server answers it. In raw mode everything after
// the first TAB is sent as the argument text exactly as given, for any name.
//
// Each call gives one output line: "ok" or the failing status's text, TAB,
// the value (the event id of TrackTimedEventStart; "ok" or the returned
// status's text for Process; in raw mode the result's second item; empty
// otherwise). TAB, CR and LF inside either field become spaces.
#pragma once
#include <string>

#include "client/TallyClient.h"

namespace tally::script {

// Parses a number as the line language writes it; false when it is not one
// or does not fit 32 bits.
bool ParseNumber(const std::string& text, uint32_t& value);

// Serves one input line (without its line end; a trailing CR is dropped)
// and sets `output` to its output line, and `failed` when that line reports
// a failure: the call's status, or the status that Process returned. Fails
// only when the connection broke; `output` is then empty. An empty line is
// no call: ok with an empty `output`.
qtl::status RunLine(TallyClient& client, const std::string& line, bool raw, std::string& output, bool& failed);

}  // namespace tally::script
