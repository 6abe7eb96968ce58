#include "Qrn.Tally/RunGuard.h"

#include "Common/CommandLineUtils.h"
#include "runtime/Status.h"

int RunGuarded(const std::function<int()>& mode) {
  int exitCode = 1;
  bool returned = false;
  const qtl::status failure = StatusOfCall([&] {
    exitCode = mode();
    returned = true;
  });
  if (returned) return exitCode;
  cmd::WriteErrorLine(failure.text());
  return 1;
}
