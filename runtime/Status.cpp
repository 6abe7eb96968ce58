#include "runtime/Status.h"

#include "runtime/Str.h"

namespace qtl {

std::wstring status::detail::as_wstring() const {
  std::wstring out = message;
  for (const auto& text : texts) {
    if (!text.empty()) out += L"; " + text;
  }
  if (!file.empty()) out += L" (" + str::as_wstring(file) + L":" + std::to_wstring(line) + L")";
  return out;
}

status status::error(std::wstring message) {
  auto d = std::make_shared<detail>();
  d->message = std::move(message);
  return status(std::move(d));
}

status::detail* status::mutable_detail() {
  if (detail_ && detail_.use_count() > 1) detail_ = std::make_shared<detail>(*detail_);
  return detail_.get();
}

std::wstring status::text() const { return detail_ ? detail_->as_wstring() : std::wstring(); }

std::wstring Excerpt(const std::string& text, const wchar_t* quote) {
  if (text.size() <= kMaxQuotedBytes) return quote + str::as_wstring(text) + quote;
  size_t cut = kMaxQuotedBytes;
  // Back to the start of a character (continuation bytes are 10xxxxxx); a
  // character has at most three of them.
  while (cut > kMaxQuotedBytes - 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return quote + str::as_wstring(text.substr(0, cut)) + quote + L"... (" + std::to_wstring(text.size()) + L" bytes)";
}

status_exception::status_exception(status s) : status_(std::move(s)), what_(str::as_u8string(status_.text())) {}

}  // namespace qtl

namespace {
qtl::status WithText(const wchar_t* message, std::wstring text) {
  qtl::status s = qtl::status::error(message);
  s.mutable_detail()->texts[0] = std::move(text);
  return s;
}
}  // namespace

qtl::status QrnError::internal(const char* function, const char* file, int line) {
  qtl::status s = WithText(L"Internal error", str::as_wstring(function ? function : ""));
  s.mutable_detail()->file = file ? file : "";
  s.mutable_detail()->line = line;
  return s;
}

qtl::status QrnError::syntax(const std::string& text) {
  return WithText(L"Syntax error", qtl::Excerpt(text));
}

qtl::status QrnError::unexpected_exception(const std::string& text) {
  return WithText(L"Unexpected exception", str::as_wstring(text));
}

qtl::status StatusOfCall(const std::function<void()>& body) {
  try {
    body();
  } catch (const qtl::status_exception& e) {
    return e.get_status();
  } catch (const std::exception& e) {
    return QrnError::unexpected_exception(e.what());
  } catch (...) {
    return QrnError::unexpected_exception("unknown exception");
  }
  return qtl::ok_status();
}

void ThrowStatus(qtl::status s, const char* file, int line) {
  if (file && s.mutable_detail()) {
    s.mutable_detail()->file = file;
    s.mutable_detail()->line = line;
  }
  throw qtl::status_exception(std::move(s));
}
