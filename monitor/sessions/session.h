#pragma once
// The current session of the port table and the File menu's commands over it: New, Open,
// Save and Save As, and the reading and writing of session files with their messages. The
// view supplies the driver lookups, the polling timer and the caption through SessionHost;
// every message box and file dialog goes through the prompt service.

#include <optional>
#include <string>
#include <string_view>

#include "monitor/sessions/session_file.h"
#include "monitor/table/port_table.h"
#include "platform/ui/prompts.h"

// What the session commands need from the view that shows the table.
class SessionHost {
  public:
    virtual ~SessionHost() = default;
    // The source entry of a port; nothing when no available driver knows it.
    virtual std::optional<RowBinding> Bind(std::string_view name) = 0;
    virtual void StopTimer() = 0;
    virtual void StartTimer(int pollMs) = 0;
    // Tells the frame that polling is on (1) or off (0).
    virtual void PostPollingState(int on) = 0;
    // The table's rows or columns changed: refresh the cells and show them.
    virtual void RefreshTable() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    // The "Ascii Copy" setting, and the text copy of a saved session.
    virtual bool AsciiCopy() const { return false; }
    virtual void WriteTextCopy(const std::string& sessionPath) { static_cast<void>(sessionPath); }
};

enum class SessionIoResult {
    Ok,
    Truncated,     // read: the file ends inside the columns or a row; what was complete loaded
    CannotCreate,  // write: the file could not be created
    WriteFailed,   // write: the file could not be written completely; the old file is kept
    CannotOpen,    // read: the file could not be opened or read
    Corrupted,     // read: too short for the counts, or a count or column kind is invalid
};

// The session file next to the executable, saved at exit and read at start-up; its problems
// are never shown.
std::string DefaultSessionPath();
// A path's file name without its folder and extension.
std::string FileTitle(std::string_view path);
// "Untitled - Seltra" for an empty path, else the file title followed by " - Seltra".
std::string SessionCaption(std::string_view sessionPath);

class Session {
  public:
    Session(PortTable& table, SessionHost& host, platform::PromptService& prompts);

    // The table as a session file at `path`. A failure is shown unless path is the default
    // session's.
    SessionIoResult WriteSession(const std::string& path);
    // Stops polling and replaces the table with the session at `path`; polling stays off
    // (pollMs = 0) until the settings are confirmed again. On a failure, shown unless path
    // is the default session's, the table is unchanged and the timer stays stopped.
    SessionIoResult ReadSession(const std::string& path);

    // The File menu (commands 57600, 57601, 57603, 57604).
    void New();
    void Open();
    void Save();
    void SaveAs();
    // Runs the File command `id`; false for another id.
    bool OnCommand(int id);

    const std::string& SessionPath() const { return sessionPath_; }
    int PollMs() const { return pollMs_; }
    void SetPollMs(int pollMs) { pollMs_ = pollMs; }

  private:
    void StopPolling();
    void Warn(const std::string& path, const char* text);
    // Save and Save As; true when the session was written.
    bool SaveChecked();
    bool SaveAsChecked();
    bool WriteAndCopy();

    PortTable& table_;
    SessionHost& host_;
    platform::PromptService& prompts_;
    std::string sessionPath_;
    int pollMs_ = 2000;
};
