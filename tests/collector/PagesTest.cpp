// The collector's pages as HTML text: escaping, and the document page's
// sections for well-formed, hostile, unreadable and large documents.
#include <gtest/gtest.h>

#include "collector/pages/DocumentPage.h"
#include "collector/pages/Html.h"

namespace collector::pages {
namespace {

std::string Page(std::string_view xml, size_t budget = kExcerptBudget, std::string rawLink = "/documents/7/raw") {
  DocumentPageOptions options;
  options.title = "doc <1>";
  options.rawLink = std::move(rawLink);
  options.excerptBudget = budget;
  std::string html;
  EXPECT_TRUE(RenderDocumentPage(xml, options, html).ok());
  return html;
}

TEST(Pages, EscapesForTextAndAttributes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain \xc3\xa9", "plain \xc3\xa9"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"\"><img src=x onerror=alert(1)>", "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
      {"a'b&amp;", "a&#39;b&amp;amp;"},
      {std::string("t\tn\nz\0x\x7f", 8), std::string("t\tn\nz\xEF\xBF\xBDx\xEF\xBF\xBD")},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(Escape(text), escaped) << text;
  EXPECT_EQ(UrlEncode("a b/\"<é"), "a%20b%2F%22%3C%C3%A9");
  EXPECT_EQ(Bytes(512), "512 B");
  EXPECT_EQ(Bytes(1536), "1.5 KiB");
  EXPECT_EQ(Millis(1200), "1.2 s");
}

TEST(Pages, DocumentShowsEachBlockAsItsOwnKindOfSection) {
  const std::string html = Page(
      "<dromika version='1.0'><networking><adapter description='eth0' address='02-fc'>"
      "<ip v='4' address='192.0.2.2' mask='255.255.255.0'/></adapter></networking>"
      "<system><wmi><Win32_OperatingSystem Caption='Debian'/></wmi><environment><var name='PATH' value='/bin'/>"
      "</environment></system><disks><disk drive='/' totalfreebytes='2048' totalavailablebytes='1024'/></disks>"
      "<registry><key name='HKLM'><value name='V' type='REG_SZ' value='x'/></key></registry>"
      "<products><product name='Tool' installedversion='2.1'/></products>"
      "<filesystem><dir name='logs'><file name='a.log'>line one\n</file></dir></filesystem>"
      "<processes><wmi><Win32_Process ProcessId='42' Name='init' CommandLine='/sbin/init'/></wmi></processes>"
      "<project files='12'><sub k='v'/><events><event name='file.open' value='3' elapsed='0d 0:00:01.200'/>"
      "</events></project></dromika>");
  const char* expected[] = {
      "<title>doc &lt;1&gt;</title>", "<a href=\"/documents/7/raw\">Raw document</a>",
      "<b>adapter</b> <span class=\"kv\">description=</span>eth0", "<b>ip</b>",
      "<caption>Win32_OperatingSystem</caption><tr><th>Caption</th><td>Debian</td>",
      "<h3>environment</h3>", "<tr><td>PATH</td><td>/bin</td></tr>",
      "1.0 KiB available to the user, 1.0 KiB free but reserved", "<rect class=\"free\" x=\"1\" y=\"1\" height=\"14\" width=\"100\"/>",
      "<b>HKLM</b><ul class=\"tree\"><li>V <span class=\"muted\">REG_SZ</span> x</li>",
      "<td>Tool</td><td>2.1</td>", "<details><summary>logs/</summary>", "<pre>line one\n</pre>",
      "<table class=\"sortable\"><thead><tr><th>ProcessId</th>", "<td class=\"n\" data-v=\"42\">42</td><td>init</td>",
      "<h2>Group project</h2>", "<b>sub</b> <span class=\"kv\">k=</span>v",
      "<td>file.open</td><td class=\"n\" data-v=\"3\">3</td><td></td><td class=\"n\" data-v=\"1200\">",
  };
  for (const char* part : expected) EXPECT_NE(html.find(part), std::string::npos) << part << "\n" << html;
  EXPECT_EQ(html.find("<details open"), std::string::npos);
}

TEST(Pages, DocumentTextNeverBecomesMarkup) {
  const std::string html = Page(
      "<dromika><events><event name='&lt;script&gt;document.title=1&lt;/script&gt;'/></events>"
      "<g a='&quot;&gt;&lt;img src=x onerror=alert(1)&gt;' href='javascript:alert(1)'/>"
      "<filesystem><file name='x.log'>&lt;/pre&gt;&lt;script&gt;alert(2)&lt;/script&gt;</file></filesystem>"
      "</dromika>");
  for (const char* bad : {"<script>document", "<img", "</pre><script", "href=\"javascript"}) {
    EXPECT_EQ(html.find(bad), std::string::npos) << bad;
  }
  EXPECT_NE(html.find("&lt;script&gt;document.title=1"), std::string::npos);
  EXPECT_NE(html.find("&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
}

TEST(Pages, UnreadableDocumentsShowWhyAndTheirText) {
  const std::pair<std::string, std::string> cases[] = {
      {"<dromika><a></dromika>", "line 1: "},
      {"<!DOCTYPE d [<!ENTITY e 'x'>]><dromika>&e;</dromika>", "a document type declaration is not accepted"},
      {std::string(70, '<').insert(0, "<dromika>"), "line 1: "},
  };
  for (const auto& [xml, message] : cases) {
    const std::string html = Page(xml);
    EXPECT_NE(html.find("<h2>Not readable</h2><p class=\"error\">" + message), std::string::npos) << html;
    EXPECT_NE(html.find("<pre>&lt;"), std::string::npos) << html;
    EXPECT_EQ(html.find("<section class=\"group\""), std::string::npos);
  }
}

TEST(Pages, ExcerptsPastTheBudgetAreLeftOutWithALinkToTheRawBytes) {
  const std::string xml =
      "<dromika><filesystem><file name='a.log'>0123456789</file><file name='b.log'>head\n"
      "*************** File content truncated by Dromika ***************\ntail</file>"
      "<file name='c.log'>abc</file></filesystem></dromika>";
  const std::string html = Page(xml, 16);
  EXPECT_NE(html.find("<pre>0123456789</pre>"), std::string::npos);
  EXPECT_NE(html.find("The report holds only the head and tail of this file."), std::string::npos);
  EXPECT_NE(html.find("An excerpt of 75 B is left out: this page shows at most 16 B of file excerpts. "
                      "<a href=\"/documents/7/raw\">"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("<pre>abc</pre>"), std::string::npos);
}

}  // namespace
}  // namespace collector::pages
