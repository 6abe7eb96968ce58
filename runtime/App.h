#pragma once
#include "runtime/Status.h"

// The application object: the program's last call goes to OnExit.
class IApp {
 public:
  virtual ~IApp() = default;
  // Flushes the standard streams; always succeeds.
  virtual qtl::status OnExit() = 0;
};

struct App {
  static IApp& Instance();
};
