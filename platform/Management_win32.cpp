// WMI over COM: the local ROOT\CIMV2 namespace, one WQL query at a time.
#include <windows.h>
#include <comdef.h>
#include <wbemidl.h>

#include "platform/Management.h"
#include "platform/VariantText.h"

namespace platform {
namespace {

// Releases a COM interface when the scope ends, also when a visit throws.
template <class T>
class Held {
 public:
  explicit Held(T* object = nullptr) : object_(object) {}
  ~Held() {
    if (object_) object_->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T* get() const { return object_; }
  T** out() { return &object_; }

 private:
  T* object_;
};

// A BSTR that cannot be allocated leaves the layer as _com_error.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : bstr_(SysAllocString(text)) {
    if (!bstr_) throw _com_error(E_OUTOFMEMORY);
  }
  ~Bstr() { SysFreeString(bstr_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return bstr_; }

 private:
  BSTR bstr_;
};

std::wstring TextOf(BSTR bstr) { return bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring(); }

// Every element of a one-dimensional BSTR array that can be fetched.
std::vector<std::wstring> StringElements(SAFEARRAY* array) {
  std::vector<std::wstring> elements;
  LONG lower = 0, upper = -1;
  if (!array || FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return elements;
  }
  for (LONG i = lower; i <= upper; ++i) {
    BSTR element = nullptr;
    if (FAILED(SafeArrayGetElement(array, &i, &element))) continue;
    elements.push_back(TextOf(element));
    SysFreeString(element);
  }
  return elements;
}

VariantValue CopyOf(const VARIANT& v) {
  VariantValue value;
  value.type = v.vt;
  switch (v.vt) {
    case VT_I2: value.integer = v.iVal; break;
    case VT_I4: value.integer = v.lVal; break;
    case VT_R4: value.real = v.fltVal; break;
    case VT_R8: value.real = v.dblVal; break;
    case VT_BSTR: value.text = TextOf(v.bstrVal); break;
    case VT_BOOL: value.integer = v.boolVal; break;
    case VT_UI1: value.integer = v.bVal; break;
    case VT_UI2: value.integer = v.uiVal; break;
    case VT_UI4: value.integer = v.ulVal; break;
    case VT_ARRAY | VT_BSTR: value.elements = StringElements(v.parray); break;
    default: break;
  }
  return value;
}

class WmiObject : public ManagementObject {
 public:
  explicit WmiObject(IWbemClassObject* object) : object_(object) {}

  // System properties (those beginning with two underscores) are left out.
  std::vector<std::wstring> PropertyNames() override {
    SAFEARRAY* names = nullptr;
    if (FAILED(object_->GetNames(nullptr, WBEM_FLAG_NONSYSTEM_ONLY, nullptr, &names)) || !names) return {};
    std::vector<std::wstring> list = StringElements(names);
    SafeArrayDestroy(names);
    return list;
  }

  std::wstring PropertyText(const std::wstring& name) override {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(object_->Get(name.c_str(), 0, &value, nullptr, nullptr))) return std::wstring();
    const VariantValue copy = CopyOf(value);
    VariantClear(&value);
    return VariantText(copy);
  }

 private:
  IWbemClassObject* object_;
};

class WmiSession : public ManagementSession {
 public:
  ~WmiSession() override { Disconnect(); }

  void Disconnect() {
    if (services) services->Release();
    services = nullptr;
    if (locator) locator->Release();
    locator = nullptr;
    if (comInitialised) CoUninitialize();
    comInitialised = false;
  }

  // The result code of ExecQuery is not examined: no enumerator means no rows.
  void Query(const std::wstring& query, const std::function<void(ManagementObject&)>& visit) override {
    Bstr language(L"WQL");
    Bstr text(query.c_str());
    Held<IEnumWbemClassObject> results;
    services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                        results.out());
    if (!results.get()) return;
    for (;;) {
      Held<IWbemClassObject> object;
      ULONG returned = 0;
      results.get()->Next(WBEM_INFINITE, 1, object.out(), &returned);
      if (returned == 0) break;
      WmiObject row(object.get());
      visit(row);
    }
  }

  IWbemLocator* locator = nullptr;
  IWbemServices* services = nullptr;
  bool comInitialised = false;  // owes one CoUninitialize
};

qtl::status Failed(WmiSession& session, const wchar_t* message) {
  session.Disconnect();
  return qtl::status::error(message);
}

class WmiManagement : public Management {
 public:
  qtl::status Connect(std::unique_ptr<ManagementSession>& session) override {
    auto wmi = std::make_unique<WmiSession>();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return qtl::status::error(L"Failed CoInitializeEx");
    wmi->comInitialised = true;
    if (!ComSecurityReady(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr))) {
      return Failed(*wmi, L"Failed to initialize security");
    }
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&wmi->locator)))) {
      return Failed(*wmi, L"Failed to find WMI locator");
    }
    Bstr space(L"ROOT\\CIMV2");
    if (FAILED(wmi->locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &wmi->services))) {
      return Failed(*wmi, L"Failed to connect to WMI server");
    }
    if (FAILED(CoSetProxyBlanket(wmi->services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
      return Failed(*wmi, L"Failed to set security levels on proxy");
    }
    session = std::move(wmi);
    return qtl::status();
  }
};

}  // namespace

Management& HostManagement() {
  static WmiManagement management;
  return management;
}

}  // namespace platform
