// The collector's pages as HTML text: escaping, and the document page for
// well-formed, hostile, unreadable and large documents.
#include <gtest/gtest.h>

#include "collector/pages/DocumentPage.h"
#include "collector/pages/Html.h"
#include "testing/Fixture.h"

namespace collector::pages {
namespace {

std::string Page(std::string_view xml, size_t budget = kExcerptBudget) {
  DocumentPageOptions options;
  options.title = "doc <1>";
  options.rawLink = "/documents/7/raw";
  options.excerptBudget = budget;
  std::string html;
  EXPECT_TRUE(RenderDocumentPage(xml, options, html).ok());
  return html;
}

TEST(Pages, EscapesForTextAndAttributes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain \xc3\xa9", "plain \xc3\xa9"},
      {"\"><img src='x'>&amp;", "&quot;&gt;&lt;img src=&#39;x&#39;&gt;&amp;amp;"},
      {std::string("t\tn\nz\0x\x7f", 8), std::string("t\tn\nz\xEF\xBF\xBDx\xEF\xBF\xBD")},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(Escape(text), escaped) << text;
  EXPECT_EQ(UrlEncode("a b/\"<é"), "a%20b%2F%22%3C%C3%A9");
  EXPECT_EQ(Bytes(512), "512 B");
  EXPECT_EQ(Bytes(1536), "1.5 KiB");
  EXPECT_EQ(Millis(1200), "1.2 s");
}

// Every block as its own kind of section, values shown readable with the
// stored text in a title, an empty part said to be so, text that must not
// become markup, and file excerpts past a budget of 16 bytes left out with a
// link to the raw bytes.
TEST(Pages, DocumentShowsEachBlockAsItsOwnKindOfSection) {
  const std::string html = Page(
      "<dromika version='1.0'><networking><adapter description='eth0' address='02-fc'>"
      "<ip v='4' address='192.0.2.2' mask='255.255.255.0'/></adapter></networking>"
      "<system><wmi><Win32_OperatingSystem Caption='Debian' LastBootUpTime='20261207002928.000000+000' "
      "FreePhysicalMemory='22986952' Locale='0407' OSLanguage='1033'/><Win32_Processor Architecture='9'/></wmi>"
      "<monitors>\n</monitors><environment><var name='PATH' value='/bin'/></environment></system><disks><disk drive='/' totalfreebytes='2048' totalavailablebytes='1024'/></disks>"
      "<registry><key name='HKLM'><value name='V' type='REG_SZ' value='x'/></key></registry>"
      "<products><product name='Tool' installedversion='2.1'/></products>"
      "<filesystem><dir name='logs'><file name='a.log'>0123456789</file><file name='b.log'>head\n"
      "*************** File content truncated by Dromika ***************\ntail</file>"
      "<file name='c.log'>&lt;/pre&gt;</file></dir></filesystem>"
      "<processes><wmi><Win32_Process ProcessId='42' Name='init' CommandLine='/sbin/init'/></wmi></processes>"
      "<project files='12'><sub k='v'/><events><event name='file.open' value='3' elapsed='0d 0:00:01.200'/>"
      "<event name='&lt;script&gt;document.title=1&lt;/script&gt;'/></events></project>"
      "<g a='&quot;&gt;&lt;img src=x onerror=alert(1)&gt;' href='javascript:alert(1)'/></dromika>",
      16);
  EXPECT_EQ(html, testing::ReadFixture("collector/document_page.html"));
}

// An ill-formed document's page is checked end to end; a document type is
// refused before the reader would expand it.
TEST(Pages, ADocumentTypeMakesTheDocumentUnreadable) {
  const std::string html = Page("<!DOCTYPE d [<!ENTITY e 'x'>]><dromika>&e;</dromika>");
  EXPECT_NE(html.find("<h2>Not readable</h2><p class=\"error\">a document type declaration is not accepted</p>\n"
                      "<pre>&lt;!DOCTYPE"), std::string::npos) << html;
  EXPECT_EQ(html.find("<section class=\"group\""), std::string::npos);
}

}  // namespace
}  // namespace collector::pages
