#include "win32/variant_marshal.h"

#include <cstring>

#include "win32/wide_text.h"

namespace skyfw::win32 {

namespace {

constexpr VARTYPE kByteArray = VT_ARRAY | VT_UI1;

template <typename Value>
uint64_t RawBits(const Value& field) {
  static_assert(sizeof(Value) <= sizeof(uint64_t));
  uint64_t bits = 0;
  std::memcpy(&bits, &field, sizeof field);
  return bits;
}

HRESULT ByteArrayToVariant(const std::vector<uint8_t>& bytes, VARIANT& out) {
  SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  if (!bytes.empty()) {
    void* data = nullptr;
    HRESULT result = ::SafeArrayAccessData(array, &data);
    if (FAILED(result)) {
      ::SafeArrayDestroy(array);
      return result;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    ::SafeArrayUnaccessData(array);
  }
  out.vt = kByteArray;
  out.parray = array;
  return S_OK;
}

HRESULT ByteArrayFromVariant(const SAFEARRAY* array, std::vector<uint8_t>& bytes) {
  if (array == nullptr || ::SafeArrayGetDim(const_cast<SAFEARRAY*>(array)) != 1) return E_FAIL;
  SAFEARRAY* readable = const_cast<SAFEARRAY*>(array);  // the calls take non-const
  LONG lower = 0;
  LONG upper = -1;
  if (FAILED(::SafeArrayGetLBound(readable, 1, &lower)) ||
      FAILED(::SafeArrayGetUBound(readable, 1, &upper))) {
    return E_FAIL;
  }
  bytes.clear();
  if (upper < lower) return S_OK;
  bytes.reserve(static_cast<size_t>(static_cast<int64_t>(upper) - lower + 1));
  for (LONG index = lower; index <= upper; ++index) {
    uint8_t byte = 0;
    if (FAILED(::SafeArrayGetElement(readable, &index, &byte))) return E_FAIL;
    bytes.push_back(byte);
  }
  return S_OK;
}

}  // namespace

HRESULT ToVariant(const platform::Variant& value, VARIANT& out) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      break;
    case VT_I1:
      out.cVal = static_cast<CHAR>(value.bits);
      break;
    case VT_I2:
      out.iVal = static_cast<SHORT>(value.bits);
      break;
    case VT_I4:
      out.lVal = static_cast<LONG>(value.bits);
      break;
    case VT_UI1:
      out.bVal = static_cast<BYTE>(value.bits);
      break;
    case VT_UI2:
      out.uiVal = static_cast<USHORT>(value.bits);
      break;
    case VT_UI4:
      out.ulVal = static_cast<ULONG>(value.bits);
      break;
    case VT_I8:
      out.llVal = static_cast<LONGLONG>(value.bits);
      break;
    case VT_UI8:
      out.ullVal = value.bits;
      break;
    case VT_BOOL:
      out.boolVal = static_cast<int16_t>(value.bits) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_BSTR:
      if (value.null_bstr) {
        out.bstrVal = nullptr;
      } else {
        std::wstring text = Widen(value.text);
        out.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (out.bstrVal == nullptr) return E_OUTOFMEMORY;
      }
      break;
    case kByteArray:
      return ByteArrayToVariant(value.bytes, out);
    default:
      return DISP_E_BADVARTYPE;
  }
  out.vt = value.vt;
  return S_OK;
}

HRESULT FromVariant(const VARIANT& in, platform::Variant& value) {
  platform::Variant read;
  read.vt = in.vt;
  switch (in.vt) {
    case VT_EMPTY:
    case VT_NULL:
      break;
    case VT_I1:
      read.bits = static_cast<uint64_t>(static_cast<int64_t>(in.cVal));
      break;
    case VT_I2:
      read.bits = static_cast<uint64_t>(static_cast<int64_t>(in.iVal));
      break;
    case VT_I4:
    case VT_INT:
      read.bits = static_cast<uint64_t>(static_cast<int64_t>(in.lVal));
      break;
    case VT_ERROR:
      read.bits = static_cast<uint32_t>(in.scode);
      break;
    case VT_UI1:
      read.bits = in.bVal;
      break;
    case VT_UI2:
      read.bits = in.uiVal;
      break;
    case VT_UI4:
    case VT_UINT:
      read.bits = in.ulVal;
      break;
    case VT_I8:
      read.bits = static_cast<uint64_t>(in.llVal);
      break;
    case VT_UI8:
      read.bits = in.ullVal;
      break;
    case VT_BOOL:
      read.bits = static_cast<uint64_t>(static_cast<int64_t>(in.boolVal));
      break;
    case VT_R4:
      read.bits = RawBits(in.fltVal);
      break;
    case VT_R8:
      read.bits = RawBits(in.dblVal);
      break;
    case VT_DATE:
      read.bits = RawBits(in.date);
      break;
    case VT_CY:
      read.bits = RawBits(in.cyVal);
      break;
    case VT_BSTR:
      if (in.bstrVal == nullptr) {
        read.null_bstr = true;
      } else {
        read.text = ToU16(std::wstring_view(in.bstrVal, ::SysStringLen(in.bstrVal)));
      }
      break;
    case kByteArray: {
      HRESULT result = ByteArrayFromVariant(in.parray, read.bytes);
      if (FAILED(result)) return result;
      break;
    }
    default:
      break;  // objects, other arrays, references: the type alone
  }
  value = std::move(read);
  return S_OK;
}

}  // namespace skyfw::win32
