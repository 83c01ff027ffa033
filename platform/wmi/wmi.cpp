#include "platform/wmi/wmi.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devio/device_io.h"
#include "platform/wmi/wmi_protocol.h"

namespace platform {

namespace {

struct Injection {
    HRESULT hr = S_OK;
    int times = 0;  // negative: every call
};

std::mutex g_testMutex;
std::array<Injection, kWmiCallCount> g_injections{};
std::array<int, kWmiCallCount> g_counts{};
std::atomic<int> g_answerTimeoutMs{5000};

std::mutex g_securityMutex;
bool g_securitySet = false;

// The thread's COM set-up: how many successful CoInitializeEx calls are not undone yet, and
// the model of the first.
thread_local int t_comInits = 0;
thread_local DWORD t_comModel = COINIT_MULTITHREADED;

// Counts the call and gives the failure a test asked for, else S_OK.
HRESULT Enter(WmiCall call) {
    std::lock_guard lock(g_testMutex);
    const auto i = static_cast<std::size_t>(call);
    ++g_counts[i];
    Injection& injection = g_injections[i];
    if (injection.hr == S_OK || injection.times == 0) {
        return S_OK;
    }
    if (injection.times > 0) {
        --injection.times;
    }
    return injection.hr;
}

bool ComReady() {
    return t_comInits > 0;
}

bool SendAll(int fd, const std::vector<std::uint8_t>& frame) {
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Sends one request and waits for its whole answer; S_OK with the answer's status and bytes,
// else the transport's failure (the connection is then useless).
HRESULT Exchange(int fd, std::uint32_t op, std::span<const std::uint8_t> input, HRESULT& status,
                 std::vector<std::uint8_t>& bytes) {
    if (!SendAll(fd, wmi::EncodeRequest(op, input))) {
        return WBEM_E_TRANSPORT_FAILURE;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(g_answerTimeoutMs.load());
    std::vector<std::uint8_t> received;
    std::uint8_t chunk[65536];
    for (;;) {
        wmi::Answer answer;
        const auto frame = wmi::DecodeAnswer(received, answer);
        if (frame == devio::FrameStatus::Malformed) {
            return WBEM_E_TRANSPORT_FAILURE;
        }
        if (frame == devio::FrameStatus::Complete) {
            status = answer.status;
            bytes.assign(answer.bytes.begin(), answer.bytes.end());
            return S_OK;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return WBEM_E_TIMED_OUT;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return WBEM_E_TRANSPORT_FAILURE;
        }
        if (ready == 0) {
            return WBEM_E_TIMED_OUT;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return WBEM_E_TRANSPORT_FAILURE;  // the service went away in the middle
        }
        received.insert(received.end(), chunk, chunk + n);
    }
}

class ClassObject final : public IWbemClassObject {
  public:
    explicit ClassObject(wmi::Instance instance) : instance_(std::move(instance)) {}

    HRESULT Get(std::u16string_view name, LONG, VARIANT* value, CIMTYPE* type, LONG*) override {
        if (const HRESULT hr = Enter(WmiCall::Get); FAILED(hr)) {
            return hr;
        }
        if (value == nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        for (const wmi::Property& p : instance_.properties) {
            // Property names compare without regard to case, as the service's do.
            if (name.size() != p.name.size() ||
                !std::equal(name.begin(), name.end(), p.name.begin(), [](char16_t a, char b) {
                    const auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
                    return lower(a) == lower(static_cast<unsigned char>(b));
                })) {
                continue;
            }
            if (p.kind == wmi::Property::Kind::Failure) {
                return static_cast<HRESULT>(p.number);
            }
            VariantClear(value);
            if (p.kind == wmi::Property::Kind::Text) {
                value->vt = VT_BSTR;
                value->bstrVal = p.text;
            } else {
                value->vt = VT_I4;
                value->lVal = static_cast<LONG>(p.number);
            }
            if (type != nullptr) {
                *type = p.kind == wmi::Property::Kind::Text ? CIM_STRING : CIM_UINT32;
            }
            return WBEM_S_NO_ERROR;
        }
        return WBEM_E_NOT_FOUND;
    }

  private:
    wmi::Instance instance_;
};

class Enumerator final : public IEnumWbemClassObject {
  public:
    explicit Enumerator(wmi::QueryResult result) : result_(std::move(result)) {}

    HRESULT Next(LONG, ULONG count, std::unique_ptr<IWbemClassObject>& object,
                 ULONG* returned) override {
        if (returned != nullptr) {
            *returned = 0;
        }
        object.reset();
        if (const HRESULT hr = Enter(WmiCall::Next); FAILED(hr)) {
            return hr;
        }
        if (count != 1 || returned == nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        if (next_ >= result_.instances.size()) {
            return result_.endStatus;
        }
        object = std::make_unique<ClassObject>(std::move(result_.instances[next_++]));
        *returned = 1;
        return WBEM_S_NO_ERROR;
    }

  private:
    wmi::QueryResult result_;
    std::size_t next_ = 0;
};

class Services final : public IWbemServices {
  public:
    explicit Services(int fd) : fd_(fd) {}
    ~Services() override { ::close(fd_); }
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    HRESULT ExecQuery(std::u16string_view language, std::u16string_view query, LONG, void*,
                      std::unique_ptr<IEnumWbemClassObject>& result) override {
        result.reset();
        if (const HRESULT hr = Enter(WmiCall::ExecQuery); FAILED(hr)) {
            return hr;
        }
        if (!ComReady()) {
            return CO_E_NOTINITIALIZED;
        }
        HRESULT status = S_OK;
        std::vector<std::uint8_t> bytes;
        if (const HRESULT hr =
                Exchange(fd_, wmi::kOpQuery, wmi::EncodeQueryInput(language, query), status, bytes);
            FAILED(hr)) {
            return hr;
        }
        if (FAILED(status)) {
            return status;
        }
        auto decoded = wmi::DecodeQueryResult(bytes);
        if (!decoded) {
            return WBEM_E_TRANSPORT_FAILURE;
        }
        result = std::make_unique<Enumerator>(std::move(*decoded));
        return WBEM_S_NO_ERROR;
    }

  private:
    int fd_;
};

int ConnectSocket(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class Locator final : public IWbemLocator {
  public:
    HRESULT ConnectServer(std::u16string_view resource, const char16_t* user,
                          const char16_t* password, const char16_t* locale, LONG,
                          const char16_t* authority, void* context,
                          std::unique_ptr<IWbemServices>& services) override {
        services.reset();
        if (const HRESULT hr = Enter(WmiCall::ConnectServer); FAILED(hr)) {
            return hr;
        }
        if (!ComReady()) {
            return CO_E_NOTINITIALIZED;
        }
        if (user != nullptr || password != nullptr || locale != nullptr || authority != nullptr ||
            context != nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        // The same directory, with the same checks, as the drivers' device handles.
        const DeviceDirectoryPlace place = ChooseDeviceDirectory();
        std::string problem;
        const int error = CheckDeviceDirectory(place.path, place.named, problem);
        if (error != 0 && error != ENOENT) {
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, problem.c_str());
            return RPC_E_SERVER_UNAVAILABLE;
        }
        const int fd = ConnectSocket(place.path + "/" + wmi::kSocketName);
        if (fd < 0) {
            return RPC_E_SERVER_UNAVAILABLE;
        }
        auto connection = std::make_unique<Services>(fd);
        HRESULT status = S_OK;
        std::vector<std::uint8_t> bytes;
        const auto input = wmi::Utf16Bytes(resource);
        if (const HRESULT hr = Exchange(fd, wmi::kOpConnect, input, status, bytes); FAILED(hr)) {
            return hr;
        }
        if (FAILED(status)) {
            return status;
        }
        services = std::move(connection);
        return WBEM_S_NO_ERROR;
    }
};

}  // namespace

HRESULT CoInitializeEx(void*, DWORD coInit) {
    if (const HRESULT hr = Enter(WmiCall::CoInitializeEx); FAILED(hr)) {
        return hr;
    }
    if (coInit != COINIT_MULTITHREADED && coInit != COINIT_APARTMENTTHREADED) {
        return E_INVALIDARG;
    }
    if (t_comInits > 0) {
        if (coInit != t_comModel) {
            return RPC_E_CHANGED_MODE;  // not counted: the caller must not undo it
        }
        ++t_comInits;
        return S_FALSE;
    }
    t_comInits = 1;
    t_comModel = coInit;
    return S_OK;
}

void CoUninitialize() {
    if (t_comInits > 0) {
        --t_comInits;
    }
}

HRESULT CoInitializeSecurity(void*, LONG, void*, void*, DWORD, DWORD, void*, DWORD, void*) {
    if (const HRESULT hr = Enter(WmiCall::CoInitializeSecurity); FAILED(hr)) {
        return hr;
    }
    if (!ComReady()) {
        return CO_E_NOTINITIALIZED;
    }
    std::lock_guard lock(g_securityMutex);
    if (g_securitySet) {
        return RPC_E_TOO_LATE;
    }
    g_securitySet = true;
    return S_OK;
}

HRESULT CoCreateInstance(const CLSID& clsid, void* outer, DWORD, const IID& iid,
                         std::unique_ptr<IWbemLocator>& locator) {
    locator.reset();
    if (const HRESULT hr = Enter(WmiCall::CoCreateInstance); FAILED(hr)) {
        return hr;
    }
    if (!ComReady()) {
        return CO_E_NOTINITIALIZED;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (!(clsid == CLSID_WbemLocator)) {
        return REGDB_E_CLASSNOTREG;
    }
    if (!(iid == IID_IWbemLocator)) {
        return E_NOINTERFACE;
    }
    locator = std::make_unique<Locator>();
    return S_OK;
}

HRESULT CoSetProxyBlanket(IWbemServices* proxy, DWORD, DWORD, const char16_t*, DWORD, DWORD, void*,
                          DWORD) {
    if (const HRESULT hr = Enter(WmiCall::CoSetProxyBlanket); FAILED(hr)) {
        return hr;
    }
    return proxy == nullptr ? E_INVALIDARG : S_OK;
}

void FailWmiCallForTesting(WmiCall call, HRESULT hr, int times) {
    std::lock_guard lock(g_testMutex);
    g_injections[static_cast<std::size_t>(call)] = {hr, hr == S_OK ? 0 : times};
}

int WmiCallCountForTesting(WmiCall call) {
    std::lock_guard lock(g_testMutex);
    return g_counts[static_cast<std::size_t>(call)];
}

void ResetWmiForTesting() {
    {
        std::lock_guard lock(g_testMutex);
        g_injections = {};
        g_counts = {};
    }
    std::lock_guard lock(g_securityMutex);
    g_securitySet = false;
}

void SetWmiAnswerTimeoutForTesting(int milliseconds) {
    g_answerTimeoutMs.store(milliseconds);
}

}  // namespace platform
