// The collector's two clocks.
#pragma once
#include <chrono>
#include <cstdint>

namespace collector {

// Unix time now, in milliseconds: what documents are stamped with.
inline int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Milliseconds on a clock that never goes back: what deadlines are measured on.
inline int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace collector
