#include "report/blocks/ProcessBlock.h"

#include "report/Wmi.h"

namespace dromika {

// Without a connection the element still holds its one (empty) line.
std::wstring ProcessBlock::Produce() {
  std::wstring inner;
  {
    WmiConnectionPtr connection = OpenWmiConnection(machine_.management);
    inner = WmiRowsToXml(WmiQuery(connection, L"SELECT * FROM Win32_Process"), L"Win32_Process", L"    ");
  }
  return L"<processes>\r\n  <wmi>\r\n" + inner + L"\r\n  </wmi>\r\n</processes>\r\n";
}

}  // namespace dromika
