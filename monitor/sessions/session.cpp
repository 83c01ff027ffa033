#include "monitor/sessions/session.h"

#include "monitor/sessions/session_messages.h"
#include "platform/system/paths.h"

std::string DefaultSessionPath() {
    // The folder of the executable and the file name, joined with the host's separator.
    return platform::ProgramDirectory() + "/" + kDefaultSessionFileName;
}

std::string FileTitle(std::string_view path) {
    const auto slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

std::string SessionCaption(std::string_view sessionPath) {
    if (sessionPath.empty()) {
        return kUntitledCaption;
    }
    return FileTitle(sessionPath) + kCaptionSuffix;
}

Session::Session(PortTable& table, SessionHost& host, platform::PromptService& prompts)
    : table_(table), host_(host), prompts_(prompts) {}

void Session::StopPolling() {
    host_.StopTimer();
    host_.PostPollingState(0);
}

void Session::Warn(const std::string& path, const char* text) {
    // The default session is read and written without the user asking: its problems are silent.
    if (path != DefaultSessionPath()) {
        prompts_.MessageBox(text, kSessionWarningCaption, MB_OK | MB_ICONSTOP);
    }
}

SessionIoResult Session::WriteSession(const std::string& path) {
    const auto bytes = EncodeSession(table_);
    switch (WriteFileBytes(path, bytes)) {
        case FileWriteResult::Ok:
            return SessionIoResult::Ok;
        case FileWriteResult::CannotCreate:
            Warn(path, kCannotCreateSessionText);
            return SessionIoResult::CannotCreate;
        case FileWriteResult::WriteFailed:
            Warn(path, kCannotWriteSessionText);
            return SessionIoResult::WriteFailed;
    }
    return SessionIoResult::WriteFailed;
}

SessionIoResult Session::ReadSession(const std::string& path) {
    StopPolling();
    const auto bytes = ReadFileBytes(path, kMaxSessionFileSize);
    if (!bytes) {
        Warn(path, kCannotOpenSessionText);
        return SessionIoResult::CannotOpen;
    }
    const DecodedSession decoded = DecodeSession(*bytes);
    if (!decoded.Usable()) {
        // Checked before the table is touched: a damaged file leaves the table as it was.
        Warn(path, kCorruptedSessionText);
        return SessionIoResult::Corrupted;
    }
    // The Zenith rows that gate that family's polling are counted from the table itself, so
    // they follow the rows that replace the old ones.
    LoadSession(table_, decoded, [this](std::string_view name) { return host_.Bind(name); });
    // Polling stays off until the settings are confirmed again.
    pollMs_ = 0;
    host_.RefreshTable();
    if (decoded.status == SessionDecodeStatus::Truncated) {
        Warn(path, kCorruptedSessionText);
        return SessionIoResult::Truncated;
    }
    return SessionIoResult::Ok;
}

void Session::New() {
    const int answer = prompts_.MessageBox(kSaveBeforeNewText, kNewSessionCaption,
                                           MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) {
        return;
    }
    if (answer == IDYES && !SaveChecked()) {
        // The table was not saved (the dialog was cancelled or the write failed): keep it.
        return;
    }
    StopPolling();
    table_.ClearRows();
    table_.SetDefaultColumns();
    host_.RefreshTable();
    if (pollMs_ != 0) {
        host_.StartTimer(pollMs_);
        host_.PostPollingState(1);
    }
    sessionPath_.clear();
    host_.SetCaption(kUntitledCaption);
}

void Session::Open() {
    platform::FileDialogRequest request;
    request.title = kOpenSessionTitle;
    request.initialPath = kSessionInitialName;
    request.filter = kSessionFilter;
    request.defaultExtension = kSessionExtension;
    const auto chosen = prompts_.OpenFileName(request);
    if (!chosen) {
        return;
    }
    const SessionIoResult result = ReadSession(*chosen);
    if (result != SessionIoResult::Ok && result != SessionIoResult::Truncated) {
        // The table still shows the previous session: it keeps its path, caption and the
        // Zenith rows that gate that family's polling.
        return;
    }
    sessionPath_ = *chosen;
    host_.SetCaption(SessionCaption(sessionPath_));
}

bool Session::SaveChecked() {
    if (sessionPath_.empty()) {
        return SaveAsChecked();
    }
    return WriteAndCopy();
}

bool Session::SaveAsChecked() {
    platform::FileDialogRequest request;
    request.title = kSaveSessionTitle;
    request.initialPath = kSessionInitialName;
    request.filter = kSessionFilter;
    request.defaultExtension = kSessionExtension;
    const auto chosen = prompts_.SaveFileName(request);
    if (!chosen) {
        return false;
    }
    sessionPath_ = *chosen;
    const bool written = WriteAndCopy();
    host_.SetCaption(SessionCaption(sessionPath_));
    return written;
}

bool Session::WriteAndCopy() {
    if (WriteSession(sessionPath_) != SessionIoResult::Ok) {
        // A text copy of a session that was not saved would not match any file.
        return false;
    }
    if (host_.AsciiCopy()) {
        host_.WriteTextCopy(sessionPath_);
    }
    return true;
}

void Session::Save() {
    SaveChecked();
}

void Session::SaveAs() {
    SaveAsChecked();
}

bool Session::OnCommand(int id) {
    switch (id) {
        case kFileNewCommand:
            New();
            return true;
        case kFileOpenCommand:
            Open();
            return true;
        case kFileSaveCommand:
            Save();
            return true;
        case kFileSaveAsCommand:
            SaveAs();
            return true;
        default:
            return false;
    }
}
