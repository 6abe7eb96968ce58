// What the collector refuses or reads whole before any parser or store sees
// a document: document types in any prolog, gzip members, files that are not
// documents.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "collector/document/Compression.h"
#include "collector/document/DocumentReader.h"
#include "collector/document/Import.h"
#include "collector/document/Prescan.h"
#include "runtime/Gzip.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

std::string Utf16Le(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

TEST(UntrustedInput, FindsADocumentTypeAnywhereInTheProlog) {
  const std::pair<std::string, bool> cases[] = {
      {"<!DOCTYPE d><d/>", true},
      {"\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- a -- b --> <?pi ?> <!doctype d><d/>", true},
      {"<?a?><!DOCTYPE d>", true},  // the instruction ends early; what follows is read
      {"<!---->\r\n\t<!DOCTYPE d [<!ENTITY a '&a;'>]><d>&a;</d>", true},
      {Utf16Le("<?xml version='1.0' encoding='UTF-16'?><!DOCTYPE d><d/>"), true},
      {"<dromika><!DOCTYPE d></dromika>", false},  // past the prolog: the parser refuses it
      {"<!-- <!DOCTYPE d> --><d/>", false},
      {"<?xml version='1.0'?><dromika/>", false},
      {"<!-- never closed <!DOCTYPE d>", false},
      {"", false},
  };
  for (const auto& [xml, declares] : cases) EXPECT_EQ(DeclaresDocumentType(xml), declares) << xml;
}

// An entity loop fails libxml2 before it reports the declaration: the
// document must still be refused, not kept as unreadable.
TEST(UntrustedInput, RefusesEveryDocumentType) {
  for (const char* xml : {"<!DOCTYPE d [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><dromika>&a;</dromika>",
                          "<!DOCTYPE d [<!ATTLIST d a CDATA '&x;'>]><dromika/>", "<!DOCTYPE dromika><dromika/>"}) {
    DocumentReader reader(xml);
    RowBatch batch;
    bool done = false;
    const Status s = reader.Next(batch, done);
    EXPECT_EQ(s.code(), StatusCode::kInvalid) << xml;
    EXPECT_EQ(s.message(), kNoDocumentType);
  }
}

// Every batch of `reader`, counting their rows.
Status ReadAll(DocumentReader& reader, int64_t& rows) {
  RowBatch batch;
  bool done = false;
  Status s;
  for (int i = 0; i < 10000 && s.ok() && !done; ++i) {
    s = reader.Next(batch, done);
    rows += static_cast<int64_t>(batch.Rows());
  }
  return s;
}

std::string Attributes(size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += " a" + std::to_string(i) + "=''";
  return out;
}

TEST(UntrustedInput, CountsAttributesOnTheRawBytes) {
  const std::string many = Attributes(kMaxAttributesPerElement + 1);
  const std::pair<std::string, bool> cases[] = {
      {"<d" + Attributes(kMaxAttributesPerElement) + "/>", false},
      {"<d><e" + many + "></e></d>", true},
      {"<d\n\t" + many + "\n/>", true},
      {"<d a=\"<x" + many + "\"/>", false},  // one attribute whose value looks like many
      {"<d><!--<e" + many + "/>--><![CDATA[<e" + many + "/>]]><?p <e" + many + "/>?></d>", false},
      {Utf16Le("<d" + many + "/>"), true},
  };
  for (const auto& [xml, refused] : cases) {
    EXPECT_EQ(MeasureStartTags(xml).mostAttributes > kMaxAttributesPerElement, refused) << xml.substr(0, 60);
  }
  // The reader itself takes the limit and refuses one more.
  for (const size_t count : {kMaxAttributesPerElement, kMaxAttributesPerElement + 1}) {
    const std::string xml = "<d" + Attributes(count) + "/>";
    DocumentReader reader(xml);
    int64_t rows = 0;
    EXPECT_EQ(ReadAll(reader, rows).ok(), count == kMaxAttributesPerElement) << count;
  }
}

// Deeply nested groups with long names are stored once each, not once per
// data point below them, so they fit the budget; a smaller budget refuses
// the document, and the reader hands over nothing more.
TEST(UntrustedInput, RowsStayWithinAFewTimesTheDocument) {
  std::string open, close;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "g" + std::to_string(i) + std::string(4000, 'x');
    open += "<" + name + ">";
    close = "</" + name + ">" + close;
  }
  const std::string xml = "<dromika>" + open + "<last" + Attributes(1000) + "/>" + close + "</dromika>";
  DocumentReader fits(xml);
  int64_t rows = 0;
  ASSERT_TRUE(ReadAll(fits, rows).ok());
  EXPECT_EQ(rows, 61 + 1000);
  DocumentReader::Limits limits;
  limits.budget = RowBudget{1000, 1 << 20};
  DocumentReader over(xml, limits);
  rows = 0;
  EXPECT_EQ(ReadAll(over, rows).code(), StatusCode::kTooLarge);
  EXPECT_EQ(rows, 0);  // the refusing batch is emptied
  RowBatch batch;
  bool done = false;
  EXPECT_EQ(over.Next(batch, done).code(), StatusCode::kTooLarge);
  EXPECT_EQ(batch.Rows(), 0u);
}

// Nesting up to its limit, and texts and values longer than the parser's own
// 10 MB cap, read; one level deeper is refused, and so is a long start tag
// where the bytes do not read as ASCII.
TEST(UntrustedInput, LimitsOfNestingAndLengthAreInclusive) {
  std::string open, close;
  for (int i = 0; i < kMaxDocumentDepth; ++i) open += "<g>", close += "</g>";
  const std::string deepest = "<dromika>" + open + close + "</dromika>";
  const std::string deeper = "<dromika><g>" + open + close + "</g></dromika>";
  DocumentReader fits(deepest), over(deeper);
  int64_t nested = 0;
  ASSERT_TRUE(ReadAll(fits, nested).ok());
  EXPECT_EQ(fits.Summary().groups, kMaxDocumentDepth);
  EXPECT_EQ(ReadAll(over, nested).code(), StatusCode::kInvalid);
  const std::string text = "<dromika><g v='" + std::string(12 << 20, '>') + "'>" + std::string(12 << 20, 't') +
                           "</g></dromika>";
  DocumentReader reader(text);
  int64_t rows = 0;
  ASSERT_TRUE(ReadAll(reader, rows).ok());
  EXPECT_EQ(reader.Summary().state, ParseState::kParsed) << reader.Summary().message;
  EXPECT_EQ(rows, 2);  // the group and its one data point
  const std::string tag = "<?xml version='1.0' encoding='UTF-16'?><dromika><g v='" +
                          std::string(kMaxStartTagBytes, 'v') + "'/></dromika>";
  DocumentReader refused(tag);
  EXPECT_EQ(ReadAll(refused, rows).code(), StatusCode::kInvalid);
}

TEST(UntrustedInput, ReadsEveryGzipMemberUpToTheLimitAndNothingElse) {
  std::string first, second, out;
  ASSERT_TRUE(codec::Gzip("<dromika>", first) && codec::Gzip("</dromika>", second));
  ASSERT_TRUE(GunzipAll(first + second, 100, out).ok());
  EXPECT_EQ(out, "<dromika></dromika>");
  // Fed byte by byte, as a slow sender's pieces arrive.
  GzipDecoder decoder(100);
  out.clear();
  for (char c : first + second) ASSERT_TRUE(decoder.Feed(std::string_view(&c, 1), out).ok());
  EXPECT_TRUE(decoder.Finished());
  EXPECT_EQ(out, "<dromika></dromika>");
  EXPECT_EQ(GunzipAll(first + second, 18, out).code(), StatusCode::kTooLarge);
  for (const std::string& bad : {first + "x", first + second.substr(0, 5), first + std::string(8, '\0'),
                                 std::string("plain text")}) {
    EXPECT_EQ(GunzipAll(bad, 100, out).code(), StatusCode::kInvalid);
  }
  EXPECT_FALSE(Unpack("garbage", out).ok());
}

TEST(UntrustedInput, ImportsOnlyFilesThatHoldADocument) {
  ::testing::TempFolder folder;
  const auto path = [&](const char* name) { return (folder.Root() / name).string(); };
  std::ofstream(path("empty.xml")).flush();
  std::string gz;
  ASSERT_TRUE(codec::Gzip("", gz));
  std::ofstream(path("empty.xml.gz"), std::ios::binary) << gz;
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {folder.Root().string(), "a folder, not a file"}, {path("fifo"), "a pipe, not a file"},
      {"/dev/zero", "a device, not a file"},            {path("empty.xml"), "an empty file"},
      {path("empty.xml.gz"), "an empty document"},
  };
  for (const auto& [file, why] : cases) {
    std::string bytes;
    EXPECT_EQ(ReadDocumentFile(file, bytes).message(), why) << file;
  }
}

}  // namespace
}  // namespace collector
