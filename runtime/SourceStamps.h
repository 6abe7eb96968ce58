// The source file and line that a raised status carries. Users and client
// applications see them in status texts and may match on them, so they stay
// what they always were, whichever file or line raises the status now.
#pragma once

struct SourceStamp {
  const char* file;
  int line;
};

namespace stamps {
// A command-line word that is not "RunServer".
inline constexpr SourceStamp kUnknownWord{"Qrn.Tally\\Qrn.Tally", 356};
// A named argument other than /pipename: and /out:.
inline constexpr SourceStamp kUnknownName{"Qrn.Tally\\Qrn.Tally", 376};
// Server mode's connection to the client failed.
inline constexpr SourceStamp kNoConnection{"Qrn.Tally\\Qrn.Tally", 408};
// A tuple text with the wrong number of items.
inline constexpr SourceStamp kTupleItemCount{"common\\grammar_Tuple", 102};
// A remote call's reply could not be written.
inline constexpr SourceStamp kReplyWrite{"Common\\sys_server_RemoteCallServer", 168};
// The log record of every console line.
inline constexpr SourceStamp kConsoleLine{"Common\\CommandLineUtils", 25};
}  // namespace stamps
