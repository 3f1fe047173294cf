// COM initialisation and WMI: the locator, a connection to a namespace,
// class objects with method signatures, method execution and object fetch.
//
// Values travel as Variants carrying their VT code, as a VARIANT does; the
// properties and method parameters of WMI objects carry CIM types. Objects
// are shared (IWbemClassObject is reference counted): whoever holds a
// WmiObjectPtr holds a reference.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::platform {

// VARTYPE codes.
inline constexpr uint16_t VT_EMPTY = 0;
inline constexpr uint16_t VT_NULL = 1;
inline constexpr uint16_t VT_I2 = 2;
inline constexpr uint16_t VT_I4 = 3;
inline constexpr uint16_t VT_BSTR = 8;
inline constexpr uint16_t VT_BOOL = 11;
inline constexpr uint16_t VT_I1 = 16;
inline constexpr uint16_t VT_UI1 = 17;
inline constexpr uint16_t VT_UI2 = 18;
inline constexpr uint16_t VT_UI4 = 19;
inline constexpr uint16_t VT_I8 = 20;
inline constexpr uint16_t VT_UI8 = 21;
inline constexpr uint16_t VT_ARRAY = 0x2000;

inline constexpr int16_t VARIANT_TRUE = -1;
inline constexpr int16_t VARIANT_FALSE = 0;

// CIMTYPE codes of properties and method parameters.
enum CimType : int32_t {
  CIM_EMPTY = 0,
  CIM_SINT16 = 2,
  CIM_SINT32 = 3,
  CIM_REAL32 = 4,
  CIM_REAL64 = 5,
  CIM_STRING = 8,
  CIM_BOOLEAN = 11,
  CIM_OBJECT = 13,
  CIM_SINT8 = 16,
  CIM_UINT8 = 17,
  CIM_UINT16 = 18,
  CIM_UINT32 = 19,
  CIM_SINT64 = 20,
  CIM_UINT64 = 21,
  CIM_DATETIME = 101,
  CIM_REFERENCE = 102,
  CIM_CHAR16 = 103,
  CIM_FLAG_ARRAY = 0x2000,
};

// A VARIANT. `bits` is the value field: integers sign- or zero-extended as
// their VT says, VT_BOOL as VARIANT_TRUE/VARIANT_FALSE. Reading "the first
// 32 bits of the value field" of any VARIANT is the low 32 bits of `bits`
// (0 for VT_BSTR and arrays, whose value field is a pointer here). A VT_BSTR
// lives in `text` (`null_bstr` marks a null BSTR); VT_ARRAY|VT_UI1 (a
// one-dimensional SAFEARRAY, lower bound 0) lives in `bytes`.
struct Variant {
  uint16_t vt = VT_EMPTY;
  uint64_t bits = 0;
  std::u16string text;
  bool null_bstr = false;
  std::vector<uint8_t> bytes;

  static Variant Empty() { return {}; }
  static Variant Null() { return WithBits(VT_NULL, 0); }
  static Variant I2(int16_t value) {
    return WithBits(VT_I2, static_cast<uint64_t>(static_cast<int64_t>(value)));
  }
  static Variant I4(int32_t value) {
    return WithBits(VT_I4, static_cast<uint64_t>(static_cast<int64_t>(value)));
  }
  static Variant UI1(uint8_t value) { return WithBits(VT_UI1, value); }
  static Variant UI2(uint16_t value) { return WithBits(VT_UI2, value); }
  static Variant UI4(uint32_t value) { return WithBits(VT_UI4, value); }
  static Variant Bool(bool value) {
    return WithBits(VT_BOOL, value ? static_cast<uint64_t>(-1) : 0);
  }
  static Variant Bstr(std::u16string value) {
    Variant v;
    v.vt = VT_BSTR;
    v.text = std::move(value);
    return v;
  }
  static Variant ByteArray(std::vector<uint8_t> value) {
    Variant v;
    v.vt = VT_ARRAY | VT_UI1;
    v.bytes = std::move(value);
    return v;
  }

  int64_t AsSigned() const { return static_cast<int64_t>(bits); }
  uint32_t Low32() const { return static_cast<uint32_t>(bits); }

 private:
  static Variant WithBits(uint16_t vt, uint64_t bits) {
    Variant v;
    v.vt = vt;
    v.bits = bits;
    return v;
  }
};

class WmiObject;
using WmiObjectPtr = std::shared_ptr<WmiObject>;

// IWbemClassObject: a class object, an instance, a method's input signature
// (filled by the caller and handed to ExecMethod) or a method's results.
class WmiObject {
 public:
  virtual ~WmiObject() = default;

  // Get (flags 0): the value and, when asked, its CIM type. WBEM_E_NOT_FOUND
  // for a name the object does not have.
  virtual HRESULT Get(std::u16string_view name, Variant& value, CimType* type) = 0;

  // Put (flags 0, no CIM type given): the object coerces the VARIANT to the
  // property's declared CIM type, as WMI does, and refuses it with
  // WBEM_E_TYPE_MISMATCH when the VT cannot carry that type; a refused Put
  // leaves the object unchanged. WBEM_E_NOT_FOUND for an unknown name.
  virtual HRESULT Put(std::u16string_view name, const Variant& value) = 0;

  // GetMethod on a class object: the method's input signature, or a null
  // pointer when the method takes no inputs; the output signature only when
  // asked for. WBEM_E_NOT_FOUND for an unknown method, and on objects that
  // are not classes.
  virtual HRESULT GetMethod(std::u16string_view method, WmiObjectPtr& in_signature,
                            WmiObjectPtr* out_signature) = 0;

  // The names of the object's properties (or parameters), in declaration order.
  virtual std::vector<std::u16string> GetNames() = 0;
};

// IWbemServices: one connection to one namespace.
class WmiServices {
 public:
  virtual ~WmiServices() = default;

  // GetObject (flags 0): a class by its name ("NRVN_NVRAMAccess"), or an
  // instance by its object path ("\\\\HOST\\root\\wmi:Class.InstanceName=\"x\""
  // or "Class.InstanceName=\"x\""). On failure `object` is left as it was.
  virtual HRESULT GetObject(std::u16string_view path, WmiObjectPtr& object) = 0;

  // ExecMethod (flags 0) of `method` on the instance at `object_path`
  // ("Class.InstanceName=\"escaped name\""). `in_params` is the input
  // signature the caller filled, or null. `out_params` may be null.
  virtual HRESULT ExecMethod(std::u16string_view object_path, std::u16string_view method,
                             const WmiObjectPtr& in_params, WmiObjectPtr* out_params) = 0;
};

// IWbemLocator.
class WmiLocator {
 public:
  virtual ~WmiLocator() = default;

  // ConnectServer with no user, password, locale, authority or context.
  // WBEM_E_INVALID_NAMESPACE (or a transport failure) when the namespace
  // cannot be reached.
  virtual HRESULT ConnectServer(std::u16string_view name_space, int32_t flags,
                                std::unique_ptr<WmiServices>& services) = 0;
};

// COM for the calling thread, and the WMI locator.
class Wmi {
 public:
  virtual ~Wmi() = default;

  // CoInitializeEx(null, model): S_OK, S_FALSE when the thread already runs
  // in that model, RPC_E_CHANGED_MODE when it runs in the other one. Every
  // successful call (S_OK or S_FALSE) is balanced by one CoUninitialize.
  virtual HRESULT CoInitializeEx(uint32_t model) = 0;
  virtual void CoUninitialize() = 0;

  // CoInitializeSecurity with the arguments WmiHelper uses (default
  // authentication, impersonation, no capabilities): S_OK the first time
  // in the process, RPC_E_TOO_LATE once security is set.
  virtual HRESULT CoInitializeSecurity() = 0;

  // CoCreateInstance of the WMI locator (in-process server).
  // CO_E_NOTINITIALIZED on a thread without COM.
  virtual HRESULT CoCreateLocator(std::unique_ptr<WmiLocator>& locator) = 0;
};

}  // namespace skyfw::platform
