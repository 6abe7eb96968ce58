#include "report/blocks/NetworkingBlock.h"

#include "platform/Network.h"
#include "report/XmlText.h"
#include "runtime/Format.h"
#include "runtime/Str.h"

namespace dromika {
namespace {

std::wstring Widened(const std::string& text) { return str::as_wstring(text, str::InvalidUtf8::kLatin1); }

// The first six bytes, whatever length the system reports.
std::wstring HardwareAddress(const platform::NetworkAdapter& adapter) {
  const auto& a = adapter.address;
  return str::snprintf(L"%02x-%02x-%02x-%02x-%02x-%02x", unsigned{a[0]}, unsigned{a[1]}, unsigned{a[2]},
                       unsigned{a[3]}, unsigned{a[4]}, unsigned{a[5]});
}

// Address and mask are dotted decimal from the system; escaping leaves such
// text as it is and keeps the document well-formed should it be anything else.
std::wstring AdapterText(const platform::NetworkAdapter& adapter) {
  std::wstring text = L"  <adapter description=\"" + XmlEscape(Widened(adapter.description)) + L"\"";
  text += L" address=\"" + XmlEscape(HardwareAddress(adapter)) + L"\">\r\n";
  for (const auto& ip : adapter.ipAddresses) {
    if (ip.address == "0.0.0.0") continue;
    text += str::snprintf(L"    <ip v=\"4\" address=\"%s\" mask=\"%s\" />\r\n", XmlEscape(Widened(ip.address)),
                          XmlEscape(Widened(ip.mask)));
  }
  return text + L"  </adapter>\r\n";
}

}  // namespace

std::wstring NetworkingBlock::Produce() {
  std::wstring text = L"<networking>\r\n";
  if (machine_.network) {
    for (const auto& adapter : machine_.network->Adapters()) text += AdapterText(adapter);
  }
  return text + L"</networking>\r\n";
}

}  // namespace dromika
