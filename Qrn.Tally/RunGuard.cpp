#include "Qrn.Tally/RunGuard.h"

#include <exception>

#include "Common/CommandLineUtils.h"
#include "runtime/Status.h"

int RunGuarded(const std::function<int()>& mode) {
  qtl::status failure;
  try {
    return mode();
  } catch (const qtl::status_exception& e) {
    failure = e.get_status();
  } catch (const std::exception& e) {
    failure = QrnError::unexpected_exception(e.what());
  } catch (...) {
    failure = QrnError::unexpected_exception("unknown exception");
  }
  cmd::WriteErrorLine(failure.text());
  return 1;
}
