#include "terminal/app/preferences.h"

#include <array>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"
#include "terminal/session/decimal_text.h"

namespace {

using platform::RegCloseKey;
using platform::RegCreateKeyExA;
using platform::RegQueryValueExA;
using platform::RegSetValueExA;

// The preferences key, opened with every right (and created when missing) for the lifetime of
// one load or store.
class PreferencesKey {
  public:
    PreferencesKey() {
        DWORD disposition = 0;
        open_ =
            RegCreateKeyExA(HKEY_CURRENT_USER, kPreferencesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key_, &disposition) == ERROR_SUCCESS;
    }
    ~PreferencesKey() {
        if (open_) {
            RegCloseKey(key_);
        }
    }
    PreferencesKey(const PreferencesKey&) = delete;
    PreferencesKey& operator=(const PreferencesKey&) = delete;

    bool Open() const { return open_; }

    // The full 20 bytes are offered on every query, so a value longer than that is refused by
    // the store and `value` keeps what it had. Only text values count: the bytes of a number
    // stored in binary form are no decimal text, and reading them as one would turn an "on"
    // into 0.
    void Read(const char* name, int& value) const {
        std::array<BYTE, kPreferenceValueSize> data{};
        DWORD size = kPreferenceValueSize;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key_, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return;
        }
        // A text of 20 characters has no terminating zero within the buffer: the conversion
        // stops at the buffer's end instead of reading past it.
        const char* text = reinterpret_cast<const char*>(data.data());
        value = LeadingDecimalValue(std::string_view(text, strnlen(text, size)));
    }
    void Read(const char* name, std::atomic<bool>& flag) const {
        int value = flag ? 1 : 0;
        Read(name, value);
        flag = value != 0;
    }

    // The decimal text, its terminating zero and zeros up to 20 bytes.
    bool Write(const char* name, int value) const {
        const std::string text = std::to_string(value);  // at most 11 characters
        std::array<BYTE, kPreferenceValueSize> data{};
        std::memcpy(data.data(), text.data(), text.size());
        return RegSetValueExA(key_, name, 0, REG_SZ, data.data(), kPreferenceValueSize) ==
               ERROR_SUCCESS;
    }

  private:
    HKEY key_ = nullptr;
    bool open_ = false;
};

bool ReportRegistryError(platform::PromptService& prompts) {
    prompts.MessageBox(kRegistryErrorText, kRegistryErrorCaption, MB_OK | kRegistryErrorIcon);
    return false;
}

}  // namespace

Preferences& ProcessPreferences() {
    static Preferences preferences;
    return preferences;
}

PortViewPreferences ViewPreferencesOf(const Preferences& preferences) {
    PortViewPreferences view;
    view.childToolbar = preferences.childToolbar != 0;
    view.childStatusBar = preferences.childStatusBar != 0;
    view.reportView = preferences.reportView != 0;
    return view;
}

void LoadPreferences(Preferences& p, DisplayFlags& flags) {
    const PreferencesKey key;
    if (!key.Open()) {
        return;
    }
    key.Read(kSaveSettingsOnExitName, p.saveSettingsOnExit);
    key.Read(kOpenPortDialogName, p.openPortDialog);
    key.Read(kConfirmationOnExitName, p.confirmationOnExit);
    key.Read(kChildToolbarName, p.childToolbar);
    key.Read(kChildStatusBarName, p.childStatusBar);
    key.Read(kReportViewName, p.reportView);
    key.Read(kLogToFileName, flags.logToFile);
    key.Read(kShowCrLfName, flags.showCrLfBs);
}

void LoadPreferences(Preferences& preferences) {
    LoadPreferences(preferences, ProcessDisplayFlags());
}

bool StorePreferences(const Preferences& p, const DisplayFlags& flags,
                      platform::PromptService& prompts) {
    const PreferencesKey key;
    if (!key.Open()) {
        return ReportRegistryError(prompts);
    }
    bool written = key.Write(kSaveSettingsOnExitName, p.saveSettingsOnExit);
    // The dialog shows any value but 0 as a checked "Save Settings on Exit", so a hand-edited
    // value such as 2 saves too instead of silently keeping the older values at every exit.
    if (p.saveSettingsOnExit != 0) {
        // Every value is tried even after one failed, so that as much as possible is kept.
        written &= key.Write(kOpenPortDialogName, p.openPortDialog);
        written &= key.Write(kConfirmationOnExitName, p.confirmationOnExit);
        written &= key.Write(kChildStatusBarName, p.childStatusBar);
        written &= key.Write(kChildToolbarName, p.childToolbar);
        written &= key.Write(kReportViewName, p.reportView);
        written &= key.Write(kLogToFileName, flags.logToFile ? 1 : 0);
        written &= key.Write(kShowCrLfName, flags.showCrLfBs ? 1 : 0);
    }
    return written || ReportRegistryError(prompts);
}

bool StorePreferences(const Preferences& preferences, platform::PromptService& prompts) {
    return StorePreferences(preferences, ProcessDisplayFlags(), prompts);
}
