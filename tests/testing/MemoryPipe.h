#pragma once
#include <memory>

#include "runtime/FrameConnection.h"

namespace sys::message {

// Two connected ends in memory, for tests: what one writes the other reads;
// closing or destroying one end makes the other's reads end after the data
// already sent and its writes fail. Every operation is thread-safe.
struct MemoryPipePair {
  std::shared_ptr<FrameConnection> first;
  std::shared_ptr<FrameConnection> second;
};
MemoryPipePair MakeMemoryPipePair();

}  // namespace sys::message
