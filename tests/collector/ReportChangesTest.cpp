// Comparing two reports: each section's rows matched by key, reordering and
// values that change on every run not reported unless asked, and the page
// and JSON of the result escaping what the reports hold.
#include <gtest/gtest.h>

#include "collector/compare/ReportChanges.h"
#include "collector/document/Compression.h"
#include "collector/http/ChangesJson.h"
#include "collector/pages/ChangesPage.h"

namespace collector {
namespace {

using Lines = std::vector<std::string>;

// Each change as one line: "section|added|key" or "section|changed|key|field|from|to".
Status Compare(const std::string& older, const std::string& newer, ReportChanges& changes, bool all = false) {
  std::string a, b;
  EXPECT_TRUE(Pack("<dromika>" + older + "</dromika>", a).ok());
  EXPECT_TRUE(Pack("<dromika>" + newer + "</dromika>", b).ok());
  CompareOptions options;
  options.all = all;
  options.maxExcerptLines = 3;
  return CompareReports(*PackedDocument(a), *PackedDocument(b), options, changes);
}

Lines Describe(const std::string& older, const std::string& newer, bool all = false) {
  ReportChanges changes;
  const Status s = Compare(older, newer, changes, all);
  if (!s.ok()) return {"error: " + s.message()};
  Lines lines;
  for (const SectionChanges& s : changes.sections) {
    if (!s.note.empty()) lines.push_back(s.section + "|" + s.note);
    for (const RowEntry& e : s.added) lines.push_back(s.section + "|added|" + e.key);
    for (const RowEntry& e : s.removed) lines.push_back(s.section + "|removed|" + e.key);
    for (const FieldChange& c : s.changed) {
      std::string line = s.section + "|changed|" + c.key + "|" + c.field + "|" + c.from + "|" + c.to;
      if (c.percent) line += "|" + std::to_string(*c.delta) + "|" + std::to_string(static_cast<int>(*c.percent));
      for (const std::string& l : c.lines) line += "|" + l;
      lines.push_back(line);
    }
  }
  return lines;
}

TEST(ReportChanges, EachSectionByItsKey) {
  struct Case {
    std::string older, newer;
    Lines expected;
  } cases[] = {
      {"<system><environment><var name='PATH' value='/bin'/><var name='TMP' value='/tmp'/></environment></system>",
       "<system><environment><var name='HOME' value='/h'/><var name='PATH' value='/bin:/opt'/></environment></system>",
       {"Environment|added|HOME", "Environment|removed|TMP", "Environment|changed|PATH|value|/bin|/bin:/opt"}},
      {"<system><locale><user_locale LCID='1031' decimalsep=','/></locale><monitors/></system>",
       "<system><locale><user_locale LCID='127' decimalsep='.'/></locale>"
       "<monitors><monitor monitordesc='Wide' graphicscarddesc='GPU' width='1920'/></monitors></system>",
       {"Locale|changed|user_locale|LCID|1031|127", "Locale|changed|user_locale|decimalsep|,|.",
        "Monitors|added|Wide on GPU"}},
      {"<networking><adapter description='eth0' address='02-aa'><ip v='4' address='10.0.0.2' mask='255.0.0.0'/>"
       "</adapter><adapter description='wlan' address='02-bb'/></networking>",
       "<networking><adapter description='wlan' address='02-bb'/><adapter description='eth0' address='02-aa'>"
       "<ip v='4' address='10.0.0.3' mask='255.0.0.0'/></adapter></networking>",
       {"Network adapters|changed|02-aa|ipv4|10.0.0.2/255.0.0.0|10.0.0.3/255.0.0.0"}},
      {"<disks><disk drive='C:\\' totalfreebytes='1000000' totalavailablebytes='1000000' totalfree='1 MB'/></disks>",
       "<disks><disk drive='C:\\' totalfreebytes='900000' totalavailablebytes='995000' totalfree='0.9 MB'/></disks>",
       {"Disks|changed|C:\\|totalfreebytes|1000000|900000|-100000|-10"}},
      {"<products><product name='Tool' installedversion='1.0' installlocation='C:\\T\\' guid='{T}'/></products>",
       "<products><product name='Tool' installedversion='1.1' installlocation='C:\\T\\' guid='{T}'/>"
       "<product name='Plugin' installlocation='C:\\P\\' guid=''/></products>",
       {"Products|added|Plugin", "Products|changed|{T}|installedversion|1.0|1.1"}},
      {"<registry><key name='HKLM'><key name='Soft'><value name='V' type='REG_SZ' value='1'/></key></key></registry>",
       "<registry><key name='HKLM'><key name='Soft'><value name='V' type='REG_SZ' value='2'/><key name='New'/>"
       "</key></key></registry>",
       {"Registry|added|HKLM\\Soft\\New", "Registry|changed|HKLM\\Soft : V|value|1|2"}},
      {"<filesystem><dir name='C:'><dir name='P'><file name='a.exe' bytes='2' size='2 B' datemodified='d1'/>"
       "<file name='gone.dll' bytes='1'/><file name='x.log' bytes='9'>one\ntwo\nthree\n    </file></dir></dir>"
       "</filesystem>",
       "<filesystem><dir name='C:'><dir name='P'><file name='x.log' bytes='9'>one\n2\nthree\nfour\n    </file>"
       "<file name='a.exe' bytes='4' size='4 B' datemodified='d2'/><file name='new.txt' bytes='0'/></dir></dir>"
       "</filesystem>",
       {"File system|added|C:\\P\\new.txt", "File system|removed|C:\\P\\gone.dll",
        "File system|changed|C:\\P\\x.log|excerpt|present|present|-two|+2|+four",
        "File system|changed|C:\\P\\a.exe|bytes|2|4", "File system|changed|C:\\P\\a.exe|datemodified|d1|d2"}},
      {"<processes><wmi><Win32_Process Name='init' CommandLine='/sbin/init' ProcessId='1' ThreadCount='1'/>"
       "<Win32_Process Name='sh' CommandLine='sh -c a' ProcessId='7'/></wmi></processes>",
       "<processes><wmi><Win32_Process Name='sh' CommandLine='sh -c b' ProcessId='9'/>"
       "<Win32_Process Name='init' CommandLine='/sbin/init' ProcessId='1' ThreadCount='3'/></wmi></processes>",
       {"Processes|added|sh: sh -c b", "Processes|removed|sh: sh -c a"}},
      {"<system><wmi><Win32_OperatingSystem Caption='Debian' FreePhysicalMemory='100' Locale='0407' "
       "LastBootUpTime='20261231235959.500000+000'/></wmi><time time='10:00:00' tz='UTC'/></system>",
       "<system><wmi><Win32_OperatingSystem Caption='Debian' FreePhysicalMemory='90' Locale='007f' "
       "LastBootUpTime='20270101000001.000000+000'/></wmi><time time='10:01:00' tz='UTC'/></system>",
       {"Operating system|changed|Win32_OperatingSystem|Locale|0407|007f"}},
      {"<system><wmi><Win32_OperatingSystem LastBootUpTime='20261207002928.000000+000'/></wmi></system>",
       "<system><wmi><Win32_OperatingSystem LastBootUpTime='20261207013000.000000+000'/></wmi></system>",
       {"Operating system|changed|Win32_OperatingSystem|LastBootUpTime|20261207002928.000000+000|"
        "20261207013000.000000+000"}},
      {"<disks/><processes/>", "<disks/>", {"Processes|not collected in the newer report"}},
      {"<products/>", "<products></prod>", {"error: the newer report: line 1: Opening and ending tag mismatch: "
                                            "products line 1 and prod"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(c.older, c.newer), c.expected) << c.older;
}

TEST(ReportChanges, ValuesOfEveryRunOnlyWhenAsked) {
  const std::string older =
      "<system><wmi><Win32_OperatingSystem FreePhysicalMemory='100'/></wmi></system>"
      "<disks><disk drive='/' totalfreebytes='1000' totalavailablebytes='1000'/></disks>"
      "<processes><wmi><Win32_Process Name='init' ProcessId='1' ThreadCount='1'/></wmi></processes>";
  const std::string newer =
      "<system><wmi><Win32_OperatingSystem FreePhysicalMemory='90'/></wmi></system>"
      "<disks><disk drive='/' totalfreebytes='999' totalavailablebytes='1000'/></disks>"
      "<processes><wmi><Win32_Process Name='init' ProcessId='1' ThreadCount='2'/></wmi></processes>";
  EXPECT_EQ(Describe(older, newer), Lines{});
  EXPECT_EQ(Describe(older, newer, true),
            (Lines{"Operating system|changed|Win32_OperatingSystem|FreePhysicalMemory|100|90",
                   "Disks|changed|/|totalfreebytes|1000|999|-1|0",
                   "Processes|changed|init [1]|ThreadCount|1|2"}));
  // Equal keys are told apart by their order, so a second TMP is not a change of the first.
  EXPECT_EQ(Describe("<system><environment><var name='TMP' value='a'/></environment></system>",
                     "<system><environment><var name='TMP' value='a'/><var name='TMP' value='b'/></environment></system>"),
            Lines{"Environment|added|TMP #2"});
}

TEST(ReportChanges, ExcerptLinesAreBoundedAndMarkupIsEscaped) {
  const auto lines = ExcerptLineChanges("a\nb\nc\n", "a\nx\ny\nz\nw\nc\n", 3);
  EXPECT_EQ(lines, (Lines{"-b", "+x", "+y", "\u2026 2 more changed lines"}));

  ReportChanges changes;
  ASSERT_TRUE(Compare("<system><environment/></system>",
                      "<system><environment><var name='&lt;script&gt;' value='&quot;&gt;&lt;img'/></environment>"
                      "</system>",
                      changes)
                  .ok());
  const std::string json = ChangesJson("m<1>", {}, {}, changes);
  EXPECT_NE(json.find("\"key\":\"\\u003cscript\\u003e\""), std::string::npos) << json;
  EXPECT_EQ(json.find("<"), std::string::npos) << json;
  pages::ChangesPageOptions page;
  page.machine = "m<1>";
  const std::string html = pages::RenderChangesPage(page, changes);
  EXPECT_NE(html.find("<td>&lt;script&gt;</td>"), std::string::npos);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
}

}  // namespace
}  // namespace collector
