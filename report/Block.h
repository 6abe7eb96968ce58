#pragma once
#include <string>
#include <string_view>

#include "runtime/Str.h"

namespace dromika {

// Receives a document's text a piece at a time, as UTF-8.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Append(std::string_view utf8) = 0;
};

// One area of the machine in the report. Blocks never fail: what cannot be
// read is left out or written empty.
class Block {
 public:
  virtual ~Block() = default;
  // One line, without a line end, naming what Produce is about to do.
  virtual std::wstring ProgressText() = 0;
  // The block's whole XML text, built afresh on each call.
  virtual std::wstring Produce() = 0;
  // Produce's text as UTF-8; a block whose text can be large writes it in
  // pieces, so that it is never held whole.
  virtual void Write(TextSink& out) { out.Append(str::as_u8string(Produce())); }
};

}  // namespace dromika
