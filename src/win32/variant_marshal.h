// The seam's Variant as an OLE VARIANT and back.
#pragma once

#include "win32/windows_api.h"

namespace skyfw::win32 {

// Fills `out` (which must be empty: VariantInit) from `value`. The VARIANT
// then owns its BSTR or SAFEARRAY; the caller clears it. DISP_E_BADVARTYPE
// for a VT the seam does not carry; E_OUTOFMEMORY when an allocation fails.
HRESULT ToVariant(const platform::Variant& value, VARIANT& out);

// Reads `in` into the seam's form: integers and VT_BOOL extended into
// `bits`, other scalars' value field copied raw, VT_BSTR into `text`,
// a one-dimensional VT_ARRAY|VT_UI1 into `bytes` (lower to upper bound).
// Other pointer types keep their VT with no value. E_FAIL for a byte array
// whose bounds or elements cannot be read (a null or many-dimensional one).
HRESULT FromVariant(const VARIANT& in, platform::Variant& value);

}  // namespace skyfw::win32
