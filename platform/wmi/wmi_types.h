#pragma once
// The result codes, flags and value types of the management calls (COM and WMI), with the
// Windows SDK names and values, so that the callers read as they would against the real
// interfaces.

#include <cstdint>
#include <string>

#include "platform/win/win_types.h"

namespace platform {

using HRESULT = std::int32_t;
using CIMTYPE = LONG;
using VARTYPE = std::uint16_t;
using ULONG = std::uint32_t;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr HRESULT MakeHresult(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHresult(0x800401F0u);
// The thread's COM is set up already, in the other concurrency model.
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHresult(0x80010106u);
// The process's security is set up already (it can be set once per process).
constexpr HRESULT RPC_E_TOO_LATE = MakeHresult(0x80010119u);
// Nothing serves the management interface (HRESULT of RPC_S_SERVER_UNAVAILABLE).
constexpr HRESULT RPC_E_SERVER_UNAVAILABLE = MakeHresult(0x800706BAu);

constexpr HRESULT WBEM_S_NO_ERROR = 0;
constexpr HRESULT WBEM_S_FALSE = 1;
constexpr HRESULT WBEM_E_FAILED = MakeHresult(0x80041001u);
constexpr HRESULT WBEM_E_NOT_FOUND = MakeHresult(0x80041002u);
constexpr HRESULT WBEM_E_INVALID_PARAMETER = MakeHresult(0x80041008u);
constexpr HRESULT WBEM_E_INVALID_CLASS = MakeHresult(0x80041010u);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = MakeHresult(0x8004100Eu);
constexpr HRESULT WBEM_E_TRANSPORT_FAILURE = MakeHresult(0x80041015u);
constexpr HRESULT WBEM_E_INVALID_QUERY = MakeHresult(0x80041017u);
constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = MakeHresult(0x80041018u);
constexpr HRESULT WBEM_E_TIMED_OUT = MakeHresult(0x80043001u);

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

constexpr LONG RPC_C_AUTHN_DEFAULT = -1;
constexpr DWORD RPC_C_AUTHN_WINNT = 10;
constexpr DWORD RPC_C_AUTHZ_NONE = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_DEFAULT = 0;
constexpr DWORD RPC_C_AUTHN_LEVEL_CALL = 3;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD EOAC_NONE = 0;

constexpr LONG WBEM_FLAG_RETURN_IMMEDIATELY = 0x10;
constexpr LONG WBEM_FLAG_FORWARD_ONLY = 0x20;
constexpr LONG WBEM_INFINITE = -1;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr CIMTYPE CIM_UINT32 = 19;
constexpr CIMTYPE CIM_STRING = 8;

// A property's value: a 32-bit number (VT_I4, as the management service hands out unsigned
// 32-bit properties) or a UTF-16 string (VT_BSTR).
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    LONG lVal = 0;
    std::u16string bstrVal;
};

inline void VariantClear(VARIANT* value) {
    *value = VARIANT{};
}

struct GUID {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    bool operator==(const GUID&) const = default;
};
using CLSID = GUID;
using IID = GUID;

inline constexpr CLSID CLSID_WbemLocator = {
    0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
inline constexpr IID IID_IWbemLocator = {
    0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

// "0x80041017" for the messages of the service and the tests.
std::string HresultText(HRESULT hr);

}  // namespace platform
