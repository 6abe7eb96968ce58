#include "Qrn.Tally/Modes.h"
#include "runtime/Status.h"

int RunServerMode(const CommandLine&) {
  ThrowStatus(qtl::status::error(L"Server mode is not available in this build"), "Qrn.Tally\\Qrn.Tally", 408);
}
