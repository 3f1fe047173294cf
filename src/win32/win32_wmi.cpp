#include "win32/win32_wmi.h"

#include "win32/owned_handles.h"
#include "win32/variant_marshal.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

// The WMI administrative locator and the locator interface it serves.
constexpr CLSID kAdministrativeLocator = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
constexpr IID kWbemLocatorInterface = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

// Names reach WMI as zero-terminated wide texts.
std::wstring Name(std::u16string_view name) { return Widen(name); }

class Win32WmiObject final : public platform::WmiObject {
 public:
  explicit Win32WmiObject(ComPtr<IWbemClassObject> object) : object_(std::move(object)) {}

  IWbemClassObject* Raw() const { return object_.Get(); }

  platform::HRESULT Get(std::u16string_view name, platform::Variant& value,
                        platform::CimType* type) override {
    std::wstring wide = Name(name);
    OwnedVariant read;
    CIMTYPE cim_type = CIM_EMPTY;
    HRESULT result = object_->Get(wide.c_str(), 0, read.Get(), &cim_type, nullptr);
    if (FAILED(result)) return result;
    result = FromVariant(*read.Get(), value);
    if (FAILED(result)) return result;
    if (type != nullptr) *type = static_cast<platform::CimType>(cim_type);
    return S_OK;
  }

  platform::HRESULT Put(std::u16string_view name, const platform::Variant& value) override {
    std::wstring wide = Name(name);
    OwnedVariant written;
    HRESULT result = ToVariant(value, *written.Get());
    if (FAILED(result)) return result;
    // WMI itself coerces to the declared CIM type or refuses the value.
    return object_->Put(wide.c_str(), 0, written.Get(), 0);
  }

  platform::HRESULT GetMethod(std::u16string_view method, platform::WmiObjectPtr& in_signature,
                              platform::WmiObjectPtr* out_signature) override {
    std::wstring wide = Name(method);
    ComPtr<IWbemClassObject> in;
    ComPtr<IWbemClassObject> out;
    HRESULT result = object_->GetMethod(wide.c_str(), 0, in.Receive(),
                                        out_signature != nullptr ? out.Receive() : nullptr);
    if (FAILED(result)) return result;
    // The caller fills what it gets: an instance of the input signature, as
    // WMI documents it. Windows would also take values put into the
    // signature itself; Wine refuses them (WBEM_E_FAILED).
    ComPtr<IWbemClassObject> inputs;
    if (in) {
      result = in->SpawnInstance(0, inputs.Receive());
      if (FAILED(result)) return result;
    }
    in_signature = Wrap(std::move(inputs));
    if (out_signature != nullptr) *out_signature = Wrap(std::move(out));
    return S_OK;
  }

  std::vector<std::u16string> GetNames() override {
    std::vector<std::u16string> names;
    SAFEARRAY* raw = nullptr;
    if (FAILED(object_->GetNames(nullptr, WBEM_FLAG_ALWAYS | WBEM_FLAG_NONSYSTEM_ONLY, nullptr,
                                 &raw)) ||
        raw == nullptr) {
      return names;
    }
    std::unique_ptr<SAFEARRAY, decltype(&::SafeArrayDestroy)> array(raw, &::SafeArrayDestroy);
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(::SafeArrayGetLBound(raw, 1, &lower)) ||
        FAILED(::SafeArrayGetUBound(raw, 1, &upper))) {
      return names;
    }
    for (LONG index = lower; index <= upper; ++index) {
      BSTR name = nullptr;
      if (FAILED(::SafeArrayGetElement(raw, &index, &name))) continue;
      // The element call hands out a copy to free.
      names.push_back(ToU16(std::wstring_view(name, ::SysStringLen(name))));
      ::SysFreeString(name);
    }
    return names;
  }

  static platform::WmiObjectPtr Wrap(ComPtr<IWbemClassObject> object) {
    if (!object) return nullptr;
    return std::make_shared<Win32WmiObject>(std::move(object));
  }

 private:
  ComPtr<IWbemClassObject> object_;
};

class Win32WmiServices final : public platform::WmiServices {
 public:
  explicit Win32WmiServices(ComPtr<IWbemServices> services) : services_(std::move(services)) {}

  platform::HRESULT GetObject(std::u16string_view path, platform::WmiObjectPtr& object) override {
    OwnedBstr wide_path(Widen(path));
    if (!wide_path) return E_OUTOFMEMORY;
    ComPtr<IWbemClassObject> fetched;
    HRESULT result = services_->GetObject(wide_path.Get(), 0, nullptr, fetched.Receive(), nullptr);
    if (FAILED(result)) return result;
    object = Win32WmiObject::Wrap(std::move(fetched));
    return result;
  }

  platform::HRESULT ExecMethod(std::u16string_view object_path, std::u16string_view method,
                               const platform::WmiObjectPtr& in_params,
                               platform::WmiObjectPtr* out_params) override {
    IWbemClassObject* in = nullptr;
    if (in_params) {
      // Only objects this platform made carry a WMI object behind them.
      auto* ours = dynamic_cast<Win32WmiObject*>(in_params.get());
      if (ours == nullptr) return E_INVALIDARG;
      in = ours->Raw();
    }
    OwnedBstr wide_path(Widen(object_path));
    OwnedBstr wide_method(Widen(method));
    if (!wide_path || !wide_method) return E_OUTOFMEMORY;
    ComPtr<IWbemClassObject> out;
    HRESULT result =
        services_->ExecMethod(wide_path.Get(), wide_method.Get(), 0, nullptr, in,
                              out_params != nullptr ? out.Receive() : nullptr, nullptr);
    if (FAILED(result)) return result;
    if (out_params != nullptr) *out_params = Win32WmiObject::Wrap(std::move(out));
    return result;
  }

 private:
  ComPtr<IWbemServices> services_;
};

class Win32WmiLocator final : public platform::WmiLocator {
 public:
  explicit Win32WmiLocator(ComPtr<IWbemLocator> locator) : locator_(std::move(locator)) {}

  platform::HRESULT ConnectServer(std::u16string_view name_space, int32_t flags,
                                  std::unique_ptr<platform::WmiServices>& services) override {
    OwnedBstr wide_namespace(Widen(name_space));
    if (!wide_namespace) return E_OUTOFMEMORY;
    ComPtr<IWbemServices> connected;
    HRESULT result = locator_->ConnectServer(wide_namespace.Get(), nullptr, nullptr, nullptr, flags,
                                             nullptr, nullptr, connected.Receive());
    if (FAILED(result)) return result;
    if (!connected) return WBEM_E_FAILED;
    services = std::make_unique<Win32WmiServices>(std::move(connected));
    return result;
  }

 private:
  ComPtr<IWbemLocator> locator_;
};

}  // namespace

platform::HRESULT Win32Wmi::CoInitializeEx(uint32_t model) {
  return ::CoInitializeEx(nullptr, model);
}

void Win32Wmi::CoUninitialize() { ::CoUninitialize(); }

platform::HRESULT Win32Wmi::CoInitializeSecurity() {
  return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

platform::HRESULT Win32Wmi::CoCreateLocator(std::unique_ptr<platform::WmiLocator>& locator) {
  ComPtr<IWbemLocator> created;
  HRESULT result =
      ::CoCreateInstance(kAdministrativeLocator, nullptr, CLSCTX_INPROC_SERVER,
                         kWbemLocatorInterface, reinterpret_cast<void**>(created.Receive()));
  if (FAILED(result)) return result;
  locator = std::make_unique<Win32WmiLocator>(std::move(created));
  return result;
}

}  // namespace skyfw::win32
