#include "platform/registry/registry.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/registry/reg_file.h"
#include "platform/registry/reg_store.h"
#include "platform/system/paths.h"

namespace platform {

namespace {

constexpr std::string_view kRootName = "HKEY_CURRENT_USER";
constexpr std::size_t kMaxKeyPartLength = 255;

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kMaximumAllowed = 0x02000000u;

struct OpenKey {
    std::string path;
    REGSAM access = 0;
};

// The generic and "as much as allowed" rights grant what they stand for on a key.
REGSAM EffectiveAccess(REGSAM sam) {
    REGSAM access = sam & KEY_ALL_ACCESS;
    if (sam & (kGenericAll | kMaximumAllowed)) {
        access |= KEY_ALL_ACCESS;
    }
    if (sam & kGenericRead) {
        access |= KEY_READ;
    }
    if (sam & kGenericWrite) {
        access |= KEY_WRITE;
    }
    return access;
}

// Open keys by handle value. Values count up and are not reused, so a closed handle stays
// invalid; they stay below the predefined keys' values (0x80000000 and up).
class HandleTable {
  public:
    HKEY Add(OpenKey key) {
        std::lock_guard lock(mutex_);
        do {
            next_ = next_ >= kLastHandle ? 1 : next_ + 1;
        } while (keys_.count(next_) != 0);
        keys_.emplace(next_, std::move(key));
        return reinterpret_cast<HKEY>(next_);
    }

    bool Find(HKEY handle, OpenKey& key) {
        if (handle == HKEY_CURRENT_USER) {
            key = OpenKey{std::string(kRootName), KEY_ALL_ACCESS};
            return true;
        }
        std::lock_guard lock(mutex_);
        const auto it = keys_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == keys_.end()) {
            return false;
        }
        key = it->second;
        return true;
    }

    bool Remove(HKEY handle) {
        std::lock_guard lock(mutex_);
        return keys_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
    }

  private:
    static constexpr std::uintptr_t kLastHandle = 0x7FFFFFFF;
    std::mutex mutex_;
    std::uintptr_t next_ = 0;
    std::unordered_map<std::uintptr_t, OpenKey> keys_;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

RegStore CurrentStore() {
    return RegStore(CurrentUserStorePath());
}

// The full path of `subKey` below `base`. Refuses names the store cannot hold: empty parts
// ("a\\b", a leading '\'), parts longer than the registry allows, line breaks.
LONG SubKeyPath(const std::string& base, const char* subKey, std::string& path) {
    path = base;
    if (!subKey || !*subKey) {
        return ERROR_SUCCESS;
    }
    std::string_view rest(subKey);
    if (rest.back() == '\\') {
        rest.remove_suffix(1);  // "Software\" names "Software"
    }
    if (rest.empty() || rest.find_first_of("\r\n") != std::string_view::npos) {
        return ERROR_INVALID_PARAMETER;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = rest.find('\\', start);
        const std::size_t length = (end == std::string_view::npos ? rest.size() : end) - start;
        if (length == 0 || length > kMaxKeyPartLength) {
            return ERROR_INVALID_PARAMETER;
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    path += '\\';
    path += rest;
    return ERROR_SUCCESS;
}

LONG ValidValueName(const char* name) {
    if (name && std::strpbrk(name, "\r\n")) {
        return ERROR_INVALID_PARAMETER;  // a line of the store could not hold it
    }
    return ERROR_SUCCESS;
}

const char* NameOrDefault(const char* name) {
    return name ? name : "";
}

LONG OpenHandle(HKEY base, const char* subKey, REGSAM sam, bool create, HKEY* result,
                DWORD* disposition) {
    OpenKey parent;
    if (!Handles().Find(base, parent)) {
        return ERROR_INVALID_HANDLE;
    }
    std::string path;
    if (const LONG rc = SubKeyPath(parent.path, subKey, path); rc != ERROR_SUCCESS) {
        return rc;
    }
    bool created = false;
    if (create) {
        const LONG rc = CurrentStore().Update([&](RegFile& file, bool& changed) {
            if (!file.KeyExists(path)) {
                if ((parent.access & KEY_CREATE_SUB_KEY) == 0) {
                    return ERROR_ACCESS_DENIED;
                }
                file.AddKey(path);
                changed = created = true;
            }
            return ERROR_SUCCESS;
        });
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
    } else if (!EqualsIgnoringCase(path, kRootName)) {
        RegFile file;
        if (const LONG rc = CurrentStore().Read(file); rc != ERROR_SUCCESS) {
            return rc;
        }
        if (!file.KeyExists(path)) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *result = Handles().Add(OpenKey{std::move(path), EffectiveAccess(sam)});
    if (disposition) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string CurrentUserStorePath() {
    return ConfigDirectory() + "/HKEY_CURRENT_USER.reg";
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* /*keyClass*/,
                     DWORD options, REGSAM sam, const void* /*security*/, HKEY* result,
                     DWORD* disposition) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (reserved != 0 || options != REG_OPTION_NON_VOLATILE) {
        return ERROR_INVALID_PARAMETER;
    }
    return OpenHandle(key, subKey, sam, true, result, disposition);
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, HKEY* result) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    if (options != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    return OpenHandle(key, subKey, sam, false, result, nullptr);
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* cbData) {
    OpenKey open;
    if (!Handles().Find(key, open)) {
        return ERROR_INVALID_HANDLE;
    }
    if (reserved || (data && !cbData)) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((open.access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    RegFile file;
    if (const LONG rc = CurrentStore().Read(file); rc != ERROR_SUCCESS) {
        return rc;
    }
    const RegKey* stored = file.FindKey(open.path);
    const RegValue* value = stored ? stored->FindValue(NameOrDefault(name)) : nullptr;
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type) {
        *type = value->type;
    }
    if (!cbData) {
        return ERROR_SUCCESS;
    }
    const auto size = static_cast<DWORD>(value->data.size());
    if (data && *cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (data && size > 0) {
        std::memcpy(data, value->data.data(), size);
    }
    *cbData = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD cb) {
    OpenKey open;
    if (!Handles().Find(key, open)) {
        return ERROR_INVALID_HANDLE;
    }
    if (reserved != 0 || (!data && cb > 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (const LONG rc = ValidValueName(name); rc != ERROR_SUCCESS) {
        return rc;
    }
    if ((open.access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    std::vector<BYTE> bytes(data, data + cb);
    return CurrentStore().Update([&](RegFile& file, bool& changed) {
        // A key that vanished from the store since it was opened (the file was edited or kept
        // aside) comes back with the value, so the program's write is not lost.
        const bool existed = file.FindKey(open.path) != nullptr;
        changed = file.AddKey(open.path).SetValue(NameOrDefault(name), type, bytes) || !existed;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, const char* name) {
    OpenKey open;
    if (!Handles().Find(key, open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return CurrentStore().Update([&](RegFile& file, bool& changed) {
        RegKey* stored = file.FindKey(open.path);
        if (!stored || !stored->DeleteValue(NameOrDefault(name))) {
            return ERROR_FILE_NOT_FOUND;
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER) {
        return ERROR_SUCCESS;
    }
    return Handles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace platform
