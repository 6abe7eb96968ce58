#pragma once
#include <string>

namespace dromika {

// One area of the machine in the report. Blocks never fail: what cannot be
// read is left out or written empty.
class Block {
 public:
  virtual ~Block() = default;
  // One line, without a line end, naming what Produce is about to do.
  virtual std::wstring ProgressText() = 0;
  // The block's whole XML text, built afresh on each call.
  virtual std::wstring Produce() = 0;
};

}  // namespace dromika
