#include "runtime/App.h"

#include <cstdio>

namespace {
class ConsoleApp final : public IApp {
 public:
  qtl::status OnExit() override {
    std::fflush(nullptr);
    return qtl::ok_status();
  }
};
}  // namespace

IApp& App::Instance() {
  static ConsoleApp app;
  return app;
}
