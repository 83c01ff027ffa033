#pragma once
// A port's log file: while Log To File is on, every block the receive worker gets is appended
// to a file named after the port in the program's directory, each LF stored as CR LF, flushed
// block by block so that a crash loses nothing already received. The receive worker writes it
// and the port thread closes it; a lock keeps the two apart.

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/ui/prompts.h"

// The log file's name: the port name with every "C" replaced by "K", then ".TXT" (COM3 logs
// into KOM3.TXT). A "/" cannot be part of a file name, so it becomes "_" (a socket port's
// certificate names may hold one).
std::string LogFileName(std::string_view portName);
// The name in the program's directory.
std::string LogFilePath(std::string_view portName);

class LogFile {
  public:
    enum class Result { Written, CannotCreate, WriteFailed };

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends the block with each LF stored as CR LF and flushes it. A file that is not open
    // yet is first opened for appending at LogFilePath(portName), so earlier content stays.
    // CannotCreate leaves the last error of the failed open; nothing is written then.
    Result Append(std::string_view portName, const char* bytes, std::size_t length);
    void Close();
    bool IsOpen() const;

  private:
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

// The receive worker's hand-over of one block: creates the file on first use and appends the
// block. When the file cannot be created the block is not logged, the trace and the box
// "Halvo2 can't create the log file!" are given, and the calling worker waits for the answer;
// the next block tries again.
void LogReceived(LogFile& log, std::string_view portName, platform::PromptService& prompts,
                 const char* bytes, std::size_t length);

inline constexpr const char* kLogFileCreateErrorText = "Halvo2 can't create the log file!";
inline constexpr const char* kLogFileCreateErrorCaption = "Warning...";
