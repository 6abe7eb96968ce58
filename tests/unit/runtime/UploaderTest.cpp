// Sending, gzip, headers and failures are driven end to end by
// server_mode_test.py's UploadTest; here are the address rules.
#include "runtime/Uploader.h"

#include <gtest/gtest.h>

#include "runtime/Str.h"

namespace {

using ws::analytics::impl::ParseUploadAddress;
using ws::analytics::impl::UploadAddress;

TEST(Uploader, AddressesSplitIntoSchemeHostPortAndPath) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"http://127.0.0.1:8080/collect?x=1", L"http 127.0.0.1 8080 /collect?x=1"},
      {L"HTTPS://example.test", L"https example.test 443 /"},
      {L"http://[::1]:81?q", L"http ::1 81 /?q"}, {L"http://host/", L"http host 80 /"}};
  for (const auto& [text, parts] : cases) {
    UploadAddress a;
    ASSERT_TRUE(ParseUploadAddress(text, a));
    EXPECT_EQ((a.secure ? L"https " : L"http ") + a.host + L" " + std::to_wstring(a.port) + L" " + a.path, parts);
  }
}

TEST(Uploader, AddressesOfAnyOtherFormAreRefusedWithoutSending) {
  UploadAddress address;
  for (const wchar_t* bad : {L"", L"127.0.0.1:80/x", L"ftp://host/", L"file:///etc/passwd", L"http://", L"http://:80/",
                             L"http://user@host/", L"http://host:0/", L"http://host:65536/", L"http://host:8x/",
                             L"http://host/#part", L"http://[::1/", L"http://::1/", L"http://a b/"}) {
    EXPECT_FALSE(ParseUploadAddress(bad, address)) << str::as_u8string(bad);
  }
  ws::analytics::impl::SetUploadAddressForTesting(L"ftp://127.0.0.1/x");
  const qtl::status status = ws::analytics::impl::Track(L"<a/>");
  ws::analytics::impl::SetUploadAddressForTesting(L"");
  EXPECT_EQ(status.text(), L"Unable to upload the analytics document to ftp://127.0.0.1/x: not an http or https"
                           L" address");
}

}  // namespace
