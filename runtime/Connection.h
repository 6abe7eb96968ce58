// One duplex connection between a client application and the server,
// carrying whole frames of text.
#pragma once
#include <string>

#include "runtime/Status.h"

namespace sys::message {

// Reads one whole frame's text. A failing status means the connection is
// closed or broken; the worker then ends.
class IReader {
 public:
  virtual ~IReader() = default;
  virtual qtl::status Read(std::string& text) = 0;
};

// Sends one text as one frame.
class IWriter {
 public:
  virtual ~IWriter() = default;
  virtual qtl::status Write(const std::string& text) = 0;
};

class IReaderWriterConnection : public IReader, public IWriter {
 public:
  // Ok once connected; otherwise why the connection could not be made.
  virtual qtl::status GetStatus() = 0;
  // Ends the connection: the peer's next read sees the end. Not while
  // another thread reads or writes.
  virtual void Close() = 0;
};

}  // namespace sys::message
