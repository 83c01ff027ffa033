#pragma once
// The management calls the monitor makes (COM set-up, the WBEM locator, a connection to a
// namespace, WQL queries, their enumerator and the instances' properties), standing in for the
// system's: ConnectServer("ROOT\WMI") reaches the driver service's socket `wmi` in the device
// directory, ExecQuery asks it for every instance at once and the enumerator hands them out one
// at a time.
//
// As on the system, the COM set-up is per thread and counted (CoInitializeEx answers S_FALSE
// when the thread has it already, RPC_E_CHANGED_MODE when it has the other model, and every
// successful call is undone by one CoUninitialize), and the process's security is set once
// (a second CoInitializeSecurity answers RPC_E_TOO_LATE). Calls that need COM fail with
// CO_E_NOTINITIALIZED on a thread without it. An interface is released by destroying it.
//
// Tests may make any call fail with a chosen HRESULT and count the calls.

#include <memory>
#include <string_view>

#include "platform/wmi/wmi_types.h"

namespace platform {

class IWbemClassObject {
  public:
    virtual ~IWbemClassObject() = default;
    // The named property: WBEM_E_NOT_FOUND when the instance has none.
    virtual HRESULT Get(std::u16string_view name, LONG flags, VARIANT* value, CIMTYPE* type,
                        LONG* flavor) = 0;
};

class IEnumWbemClassObject {
  public:
    virtual ~IEnumWbemClassObject() = default;
    // The next instance (count must be 1): WBEM_S_NO_ERROR with *returned 1, or, once none is
    // left, WBEM_S_FALSE (or the provider's failure) with *returned 0.
    virtual HRESULT Next(LONG timeout, ULONG count, std::unique_ptr<IWbemClassObject>& object,
                         ULONG* returned) = 0;
};

class IWbemServices {
  public:
    virtual ~IWbemServices() = default;
    // Runs a query ("WQL" only) and gives an enumerator over its instances.
    virtual HRESULT ExecQuery(std::u16string_view language, std::u16string_view query, LONG flags,
                              void* context, std::unique_ptr<IEnumWbemClassObject>& result) = 0;
};

class IWbemLocator {
  public:
    virtual ~IWbemLocator() = default;
    // A connection to the namespace (user, password, locale, authority and context are not
    // used by the stand-in and must be empty or null).
    virtual HRESULT ConnectServer(std::u16string_view networkResource, const char16_t* user,
                                  const char16_t* password, const char16_t* locale, LONG flags,
                                  const char16_t* authority, void* context,
                                  std::unique_ptr<IWbemServices>& services) = 0;
};

HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();
HRESULT CoInitializeSecurity(void* securityDescriptor, LONG authnServices, void* authnService,
                             void* reserved1, DWORD authnLevel, DWORD impLevel, void* authList,
                             DWORD capabilities, void* reserved3);
// The WBEM locator: CLSID_WbemLocator in-process, IID_IWbemLocator.
HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD context, const IID& iid,
                         std::unique_ptr<IWbemLocator>& locator);
HRESULT CoSetProxyBlanket(IWbemServices* proxy, DWORD authnService, DWORD authzService,
                          const char16_t* principalName, DWORD authnLevel, DWORD impLevel,
                          void* authInfo, DWORD capabilities);

// The calls a test may make fail, and count.
enum class WmiCall {
    CoInitializeEx,
    CoInitializeSecurity,
    CoCreateInstance,
    ConnectServer,
    CoSetProxyBlanket,
    ExecQuery,
    Next,
    Get,
};
constexpr int kWmiCallCount = 8;

// The next `times` calls (every call for a negative count) fail with hr; S_OK stops it.
void FailWmiCallForTesting(WmiCall call, HRESULT hr, int times = -1);
// How often the call was made since the last reset.
int WmiCallCountForTesting(WmiCall call);
// Forgets failures, counts and the process's security set-up.
void ResetWmiForTesting();
// How long a call waits for the service's answer (5 s unless a test shortens it); an answer
// that does not come in time fails the call with WBEM_E_TIMED_OUT.
void SetWmiAnswerTimeoutForTesting(int milliseconds);

}  // namespace platform
