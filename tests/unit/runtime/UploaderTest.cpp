#include "runtime/Uploader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "runtime/Gzip.h"
#include "runtime/Str.h"

namespace {

std::string Gunzip(const std::string& data) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[65536];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  }
  inflateEnd(&stream);
  EXPECT_EQ(result, Z_STREAM_END);
  return out;
}

TEST(Uploader, BodiesCompressToGzipThatInflatesBack) {
  std::mt19937 random(7);
  std::string noise(256 << 10, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  for (const std::string& input : {std::string(), std::string("<a/>\r\n"), std::string(1 << 20, 'x'), noise}) {
    std::string packed;
    ASSERT_TRUE(codec::Gzip(input, packed));
    EXPECT_EQ(Gunzip(packed), input) << input.size();
  }
}

using ws::analytics::impl::ParseUploadAddress;
using ws::analytics::impl::UploadAddress;

TEST(Uploader, AddressesSplitIntoSchemeHostPortAndPath) {
  UploadAddress address;
  ASSERT_TRUE(ParseUploadAddress(L"http://127.0.0.1:8080/collect?x=1", address));
  EXPECT_FALSE(address.secure);
  EXPECT_EQ(address.host, L"127.0.0.1");
  EXPECT_EQ(address.port, 8080);
  EXPECT_EQ(address.path, L"/collect?x=1");
  ASSERT_TRUE(ParseUploadAddress(L"HTTPS://example.test", address));
  EXPECT_TRUE(address.secure);
  EXPECT_EQ(address.port, 443);
  EXPECT_EQ(address.path, L"/");
  ASSERT_TRUE(ParseUploadAddress(L"http://[::1]:81?q", address));
  EXPECT_EQ(address.host, L"::1");
  EXPECT_EQ(address.port, 81);
  EXPECT_EQ(address.path, L"/?q");
  ASSERT_TRUE(ParseUploadAddress(L"http://host/", address));
  EXPECT_EQ(address.port, 80);
}

TEST(Uploader, AddressesOfAnyOtherFormAreRefused) {
  UploadAddress address;
  for (const wchar_t* bad : {L"", L"127.0.0.1:80/x", L"ftp://host/", L"file:///etc/passwd", L"http://", L"http://:80/",
                             L"http://user@host/", L"http://host:0/", L"http://host:65536/", L"http://host:8x/",
                             L"http://host/#part", L"http://[::1/", L"http://::1/", L"http://a b/"}) {
    EXPECT_FALSE(ParseUploadAddress(bad, address)) << str::as_u8string(bad);
  }
}

TEST(Uploader, AnUnusableAddressFailsWithoutSending) {
  ws::analytics::impl::SetUploadAddressForTesting(L"ftp://127.0.0.1/x");
  const qtl::status status = ws::analytics::impl::Track(L"<a/>");
  ws::analytics::impl::SetUploadAddressForTesting(L"");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.get()->message,
            L"Unable to upload the analytics document to ftp://127.0.0.1/x: not an http or https address");
}

}  // namespace
