#pragma once
// halvo2's eight preferences and their place in the current user's registry. Six of them live
// here; the other two, Log To File and Show CR/LF, are the live display flags that the Port
// menu toggles (ProcessDisplayFlags()), so they are loaded into and stored from those flags and
// have no second copy.
//
// Every value is a REG_SZ of 20 bytes under HKEY_CURRENT_USER\<kPreferencesKey>: the decimal
// text of the preference, its terminating zero and zeros up to 20. On reading, the text counts
// by its leading digits as atoi reads them, so a value edited by hand to "1" works too.

#include "platform/ui/message_box_types.h"
#include "platform/ui/prompts.h"
#include "terminal/session/view_flags.h"

inline constexpr const char* kPreferencesKey = "Software\\Quenby\\Halvo2\\Settings";

// The data size of every stored value, and the buffer a value is read into: a value that does
// not fit is not read.
constexpr unsigned kPreferenceValueSize = 20;

inline constexpr const char* kSaveSettingsOnExitName = "Save Settings On Exit";
inline constexpr const char* kOpenPortDialogName = "Open Port Dialog";
inline constexpr const char* kConfirmationOnExitName = "Confirmation On Exit";
inline constexpr const char* kChildToolbarName = "Child Toolbar";
inline constexpr const char* kChildStatusBarName = "Child Status Bar";
inline constexpr const char* kReportViewName = "Report View";
inline constexpr const char* kLogToFileName = "Log To File";
inline constexpr const char* kShowCrLfName = "Show CR/LF";

inline constexpr const char* kRegistryErrorText = "Registry Error!";
inline constexpr const char* kRegistryErrorCaption = "Warning ...";
constexpr UINT kRegistryErrorIcon = MB_ICONHAND;

// The six that are not live display flags, with the values they have before anything is
// loaded. Each is a 32-bit value: zero is off, anything else on.
struct Preferences {
    int saveSettingsOnExit = 1;
    int openPortDialog = 0;
    int confirmationOnExit = 1;
    int childToolbar = 0;
    int childStatusBar = 1;
    int reportView = 0;

    bool operator==(const Preferences&) const = default;
};

// The program's preferences, from start-up to exit.
Preferences& ProcessPreferences();

// How the preferences start a port window created now.
PortViewPreferences ViewPreferencesOf(const Preferences& preferences);

// Opens the key (creating it, empty, when missing) and reads every value that is present, of
// text type and at most 20 bytes long; any other keeps what the preference had. Log To File
// and Show CR/LF go into `flags`. A key that cannot be opened changes nothing and says nothing:
// the start values serve.
void LoadPreferences(Preferences& preferences, DisplayFlags& flags);
// The same into the live display flags of the process.
void LoadPreferences(Preferences& preferences);

// Writes "Save Settings On Exit" and, while it is on, the seven others, each as 20 bytes of
// decimal text; while it is off, what was stored earlier stays. When the key cannot be opened
// (nothing is written then) or a value cannot be written, shows kRegistryErrorText through
// `prompts` and returns false.
bool StorePreferences(const Preferences& preferences, const DisplayFlags& flags,
                      platform::PromptService& prompts);
// The same from the live display flags of the process.
bool StorePreferences(const Preferences& preferences, platform::PromptService& prompts);
