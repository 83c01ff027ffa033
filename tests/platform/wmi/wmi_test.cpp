// The management calls against the real driver service: the COM rules of the thread and the
// process, the connection to ROOT\WMI over the socket `wmi`, the query and its enumerator, the
// instances' properties, and every failure the service or the test can make happen.

#include "platform/wmi/wmi.h"

#include <gtest/gtest.h>

#ifdef PORTCOUNTD_PATH

#include <fstream>
#include <thread>

#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"

namespace platform {
namespace {

constexpr const char16_t* kQuery = u"SELECT * FROM MSSerial_TalonCard_Seltra_Status";

// COM on the test's thread for the length of one test, whatever the test leaves behind.
class WmiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetWmiForTesting();
        std::ofstream(config_.Dir() + "/portcountd.conf")
            << "zenith COM7 sim rate=0 vary=0 errors=0\n"
               "zenith COM12 sim rate=0 vary=0 errors=0 open=no\n";
        ASSERT_TRUE(service_.Start()) << service_.Stderr();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        ResetWmiForTesting();
        SetWmiAnswerTimeoutForTesting(5000);
    }

    std::unique_ptr<IWbemServices> Connect(HRESULT* status = nullptr) {
        std::unique_ptr<IWbemLocator> locator;
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, locator),
                  S_OK);
        std::unique_ptr<IWbemServices> services;
        if (!locator) {
            return services;
        }
        const HRESULT hr = locator->ConnectServer(u"ROOT\\WMI", nullptr, nullptr, nullptr, 0,
                                                  nullptr, nullptr, services);
        if (status != nullptr) {
            *status = hr;
        }
        return services;
    }
    // The PortName of each instance, or the HRESULT that ended the enumeration early.
    HRESULT Names(IWbemServices& services, std::vector<std::u16string>& names) {
        std::unique_ptr<IEnumWbemClassObject> instances;
        const HRESULT hr = services.ExecQuery(u"WQL", kQuery,
                                              WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                              nullptr, instances);
        if (FAILED(hr)) {
            return hr;
        }
        for (;;) {
            std::unique_ptr<IWbemClassObject> instance;
            ULONG returned = 7;
            const HRESULT next = instances->Next(WBEM_INFINITE, 1, instance, &returned);
            if (returned == 0) {
                EXPECT_EQ(instance, nullptr);
                return next;
            }
            EXPECT_EQ(next, WBEM_S_NO_ERROR);
            VARIANT value;
            EXPECT_EQ(instance->Get(u"PortName", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
            names.push_back(value.bstrVal);
        }
    }
    int Control(std::vector<std::string> words) { return service_.Control(std::move(words)); }

    TempConfig config_;
    ServiceProcess service_;
};

TEST_F(WmiTest, TheThreadsSetUpIsCountedAndTheProcesssSecuritySetOnce) {
    // The fixture's call made the thread multithreaded: the same model again is "already done",
    // the other one is refused and must not be undone.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();  // undoes the S_FALSE; the fixture's own set-up stays
    EXPECT_TRUE(Connect());

    const auto security = [] {
        return CoInitializeSecurity(nullptr, RPC_C_AUTHN_DEFAULT, nullptr, nullptr,
                                    RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE, nullptr);
    };
    EXPECT_EQ(security(), S_OK);
    EXPECT_EQ(security(), RPC_E_TOO_LATE);
    EXPECT_EQ(WmiCallCountForTesting(WmiCall::CoInitializeSecurity), 2);

    // A thread without COM can use none of it.
    std::thread([&] {
        std::unique_ptr<IWbemLocator> locator;
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, locator),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(security(), CO_E_NOTINITIALIZED);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(security(), RPC_E_TOO_LATE);  // per process, not per thread
        CoUninitialize();
    }).join();

    // Only the locator's class and interface are there.
    std::unique_ptr<IWbemLocator> locator;
    CLSID other = CLSID_WbemLocator;
    other.data1 ^= 1;
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, other, locator),
              E_NOINTERFACE);
    EXPECT_EQ(locator, nullptr);
}

TEST_F(WmiTest, TheQueryHandsOutEveryInstanceWithItsProperties) {
    ASSERT_EQ(Control({"set", "zenith", "COM12", "rx=4000000000", "overrun=70000"}), 0);
    auto services = Connect();
    ASSERT_TRUE(services);
    EXPECT_EQ(
        CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
        S_OK);
    std::vector<std::u16string> names;
    EXPECT_EQ(Names(*services, names), WBEM_S_FALSE);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"\\DosDevices\\COM7", u"\\DosDevices\\COM12"}));

    // One connection serves several queries.
    std::unique_ptr<IEnumWbemClassObject> instances;
    ASSERT_EQ(services->ExecQuery(u"WQL", kQuery, 0, nullptr, instances), WBEM_S_NO_ERROR);
    std::unique_ptr<IWbemClassObject> com7;
    std::unique_ptr<IWbemClassObject> com12;
    ULONG returned = 0;
    ASSERT_EQ(instances->Next(WBEM_INFINITE, 1, com7, &returned), WBEM_S_NO_ERROR);
    ASSERT_EQ(instances->Next(WBEM_INFINITE, 1, com12, &returned), WBEM_S_NO_ERROR);
    VARIANT value;
    CIMTYPE type = 0;
    ASSERT_EQ(com12->Get(u"ReceivedCount", 0, &value, &type, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(type, CIM_UINT32);
    EXPECT_EQ(static_cast<std::uint32_t>(value.lVal), 4000000000u);
    ASSERT_EQ(com12->Get(u"serialoverrunerrorcount", 0, &value, nullptr, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(value.lVal, 70000);
    EXPECT_EQ(com7->Get(u"NoSuchCount", 0, &value, nullptr, nullptr), WBEM_E_NOT_FOUND);
    EXPECT_EQ(instances->Next(WBEM_INFINITE, 1, com7, &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(instances->Next(WBEM_INFINITE, 2, com7, &returned), WBEM_E_INVALID_PARAMETER);

    // Texts the service does not take come back with the HRESULT the system gives them.
    struct Row {
        const char16_t* language;
        const char16_t* text;
        HRESULT hr;
    } rows[] = {
        {u"WQL", u"SELECT * FROM Win32_Process", WBEM_E_INVALID_CLASS},
        {u"WQL", u"SELECT Name FROM MSSerial_TalonCard_Seltra_Status", WBEM_E_INVALID_QUERY},
        {u"XQL", kQuery, WBEM_E_INVALID_QUERY_TYPE}};
    for (const Row& row : rows) {
        EXPECT_EQ(services->ExecQuery(row.language, row.text, 0, nullptr, instances), row.hr);
        EXPECT_EQ(instances, nullptr);
    }
    EXPECT_EQ(Control({"wmi", "stats"}), 0);
}

TEST_F(WmiTest, EachStepFailsWithTheHresultItWasGiven) {
    // Failures made by the service.
    ASSERT_EQ(Control({"wmi", "fail", "connect", "0x80041003", "1"}), 0);
    HRESULT hr = S_OK;
    EXPECT_FALSE(Connect(&hr));
    EXPECT_EQ(hr, MakeHresult(0x80041003u));
    auto services = Connect(&hr);  // that was the only one
    ASSERT_TRUE(services);

    std::vector<std::u16string> names;
    ASSERT_EQ(Control({"fail", "zenith", "0x80041015"}), 0);
    EXPECT_EQ(Names(*services, names), WBEM_E_TRANSPORT_FAILURE);
    ASSERT_EQ(Control({"fail", "zenith", "0"}), 0);
    ASSERT_EQ(Control({"wmi", "fail", "next", "0x80041001", "1"}), 0);
    EXPECT_EQ(Names(*services, names), WBEM_E_FAILED);
    EXPECT_TRUE(names.empty());
    ASSERT_EQ(Control({"wmi", "omit", "COM7", "PortName", "0x80041013"}), 0);
    std::unique_ptr<IEnumWbemClassObject> instances;
    ASSERT_EQ(services->ExecQuery(u"WQL", kQuery, 0, nullptr, instances), WBEM_S_NO_ERROR);
    std::unique_ptr<IWbemClassObject> instance;
    ULONG returned = 0;
    ASSERT_EQ(instances->Next(WBEM_INFINITE, 1, instance, &returned), WBEM_S_NO_ERROR);
    VARIANT value;
    EXPECT_EQ(instance->Get(u"PortName", 0, &value, nullptr, nullptr), MakeHresult(0x80041013u));

    // Failures made in the process, for the calls that never reach the service.
    std::unique_ptr<IWbemLocator> locator;
    ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               locator),
              S_OK);
    std::unique_ptr<IWbemLocator> otherLocator;
    std::unique_ptr<IWbemServices> other;
    std::unique_ptr<IWbemClassObject> otherInstance;
    const struct {
        WmiCall call;
        HRESULT hr;
    } injected[] = {{WmiCall::CoInitializeEx, E_FAIL},
                    {WmiCall::CoInitializeSecurity, E_FAIL},
                    {WmiCall::CoCreateInstance, REGDB_E_CLASSNOTREG},
                    {WmiCall::ConnectServer, WBEM_E_INVALID_NAMESPACE},
                    {WmiCall::CoSetProxyBlanket, E_INVALIDARG},
                    {WmiCall::ExecQuery, WBEM_E_FAILED},
                    {WmiCall::Next, WBEM_E_TRANSPORT_FAILURE},
                    {WmiCall::Get, WBEM_E_NOT_FOUND}};
    for (const auto& i : injected) {
        SCOPED_TRACE(static_cast<int>(i.call));
        FailWmiCallForTesting(i.call, i.hr, 1);
        HRESULT got = S_OK;
        switch (i.call) {
            case WmiCall::CoInitializeEx:
                got = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                break;
            case WmiCall::CoInitializeSecurity:
                got =
                    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr);
                break;
            case WmiCall::CoCreateInstance:
                got = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWbemLocator, otherLocator);
                EXPECT_EQ(otherLocator, nullptr);
                break;
            case WmiCall::ConnectServer:
                got = locator->ConnectServer(u"ROOT\\WMI", nullptr, nullptr, nullptr, 0, nullptr,
                                             nullptr, other);
                EXPECT_EQ(other, nullptr);
                break;
            case WmiCall::CoSetProxyBlanket:
                got = CoSetProxyBlanket(services.get(), 10, 0, nullptr, 3, 3, nullptr, 0);
                break;
            case WmiCall::ExecQuery:
                got = services->ExecQuery(u"WQL", kQuery, 0, nullptr, instances);
                break;
            case WmiCall::Next:
                // the injected ExecQuery failure above left no enumerator
                EXPECT_EQ(services->ExecQuery(u"WQL", kQuery, 0, nullptr, instances), S_OK);
                got = instances->Next(WBEM_INFINITE, 1, otherInstance, &returned);
                EXPECT_EQ(otherInstance, nullptr);
                break;
            case WmiCall::Get:
                got = instance->Get(u"ReceivedCount", 0, &value, nullptr, nullptr);
                break;
        }
        EXPECT_EQ(got, i.hr);
        ResetWmiForTesting();
    }
}

TEST_F(WmiTest, AnAbsentOrSilentServiceFailsTheCallInsteadOfHangingIt) {
    auto services = Connect();
    ASSERT_TRUE(services);
    SetWmiAnswerTimeoutForTesting(300);
    ASSERT_EQ(Control({"wmi", "delay", "5000"}), 0);
    std::vector<std::u16string> names;
    EXPECT_EQ(Names(*services, names), WBEM_E_TIMED_OUT);
    // The service still answers everyone else while it holds one answer back.
    ASSERT_EQ(Control({"wmi", "delay", "0"}), 0);

    service_.Stop();
    EXPECT_EQ(Names(*services, names), WBEM_E_TRANSPORT_FAILURE);
    HRESULT hr = S_OK;
    EXPECT_FALSE(Connect(&hr));
    EXPECT_EQ(hr, RPC_E_SERVER_UNAVAILABLE);
}

}  // namespace
}  // namespace platform

#endif
