#pragma once
// The texts, captions and dialog settings of the session commands, and the File menu's
// command ids.

inline constexpr const char* kCannotCreateSessionText =
    "Seltra2 Cannot create the selected file!\t";
inline constexpr const char* kCannotWriteSessionText = "Seltra2 Cannot write the selected file!\t";
inline constexpr const char* kCannotOpenSessionText = "Seltra2 Cannot open the selected file!\t";
inline constexpr const char* kCorruptedSessionText = "The selected file is corrupted!\t";
inline constexpr const char* kSessionWarningCaption = "Seltra2 - Warning...";

inline constexpr const char* kSaveBeforeNewText =
    "Do you want to save the current session before opening a new one?\t";
inline constexpr const char* kNewSessionCaption = "Seltra2 - New Session ...";

inline constexpr const char* kOpenSessionTitle = "Open Session ...";
inline constexpr const char* kSaveSessionTitle = "Save Session As ...";
inline constexpr const char* kSessionFilter = "Seltra Sessions (*.sls)|*.sls|All Files (*.*)|*.*||";
inline constexpr const char* kSessionInitialName = "*.sls";
inline constexpr const char* kSessionExtension = "sls";

inline constexpr const char* kDefaultSessionFileName = "SeltraDefSes.sls";
inline constexpr const char* kUntitledCaption = "Untitled - Seltra";
inline constexpr const char* kCaptionSuffix = " - Seltra";

constexpr int kFileNewCommand = 57600;
constexpr int kFileOpenCommand = 57601;
constexpr int kFileSaveCommand = 57603;
constexpr int kFileSaveAsCommand = 57604;
