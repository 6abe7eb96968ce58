// Errors as values: an empty qtl::status is success. Copies are independent
// values; they share one detail only until one of them is changed.
#pragma once
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace qtl {

class [[nodiscard]] status {
 public:
  struct detail {
    std::wstring message;
    std::array<std::wstring, 5> texts;  // further texts; empty ones are not shown
    std::string file;                   // source file that raised it, empty when none
    int line = -1;                      // -1 when none

    // One line: the message, then "; " and each non-empty further text,
    // then " (file:line)" when a source file is set.
    std::wstring as_wstring() const;
  };

  status() = default;
  explicit status(std::shared_ptr<detail> d) : detail_(std::move(d)) {}

  // A failing status whose message is `message` and whose further texts are empty.
  static status error(std::wstring message);

  bool ok() const { return detail_ == nullptr; }
  const detail* get() const { return detail_.get(); }
  // This status's own detail, for stamping source and further texts; null on
  // success. A detail still shared with a copy is cloned first.
  detail* mutable_detail();
  // The detail's as_wstring(), or the empty text on success.
  std::wstring text() const;

 private:
  std::shared_ptr<detail> detail_;
};

// The exception that carries an abort; what() is the UTF-8 text of the status.
class status_exception : public std::exception {
 public:
  explicit status_exception(status s);
  const status& get_status() const { return status_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  status status_;
  std::string what_;
};

// The one success value that is copied for every ok result.
inline const status& ok_status() {
  static const status s;
  return s;
}

}  // namespace qtl

namespace qtl {
// At most this many bytes of an offending text are quoted in a status, so no
// failure reply grows with the request that caused it.
constexpr size_t kMaxQuotedBytes = 256;
// `text` between two `quote`s; a longer one is cut after at most
// kMaxQuotedBytes bytes (whole UTF-8 characters) and followed by
// "... (N bytes)", N being its whole length.
std::wstring Excerpt(const std::string& text, const wchar_t* quote = L"\"");
}  // namespace qtl

struct QrnError {
  static qtl::status internal(const char* function, const char* file, int line);
  // Quotes an excerpt of `text` (qtl::Excerpt).
  static qtl::status syntax(const std::string& text);
  static qtl::status unexpected_exception(const std::string& text);
};

// Runs `body`; what it raises becomes a status: a status exception its own,
// any other exception "Unexpected exception" with its text. Success when
// `body` returns.
qtl::status StatusOfCall(const std::function<void()>& body);

// Stamps file and line into the status (when file is given) and throws it.
[[noreturn]] void ThrowStatus(qtl::status s, const char* file, int line);
