#include "terminal/session/log_file.h"

#include <cerrno>
#include <cstring>

#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"
#include "platform/system/paths.h"

std::string LogFileName(std::string_view portName) {
    std::string name(portName);
    for (char& c : name) {
        if (c == 'C') {
            c = 'K';
        } else if (c == '/') {
            c = '_';
        }
    }
    return name + ".TXT";
}

std::string LogFilePath(std::string_view portName) {
    return platform::ProgramDirectory() + "/" + LogFileName(portName);
}

LogFile::~LogFile() {
    Close();
}

LogFile::Result LogFile::Append(std::string_view portName, const char* bytes, std::size_t length) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        // Binary mode: the line-feed translation is done here, the same on every system.
        file_ = std::fopen(LogFilePath(portName).c_str(), "ab");
        if (file_ == nullptr) {
            platform::FailWithErrno();
            return Result::CannotCreate;
        }
    }
    // The stream is buffered, so writing the pieces between line feeds costs no system call
    // each; the flush below hands the whole block to the system at once.
    bool ok = true;
    std::size_t start = 0;
    while (ok && start < length) {
        const void* found = std::memchr(bytes + start, '\n', length - start);
        const std::size_t end =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes)
                             : length;
        if (end > start) {
            ok = std::fwrite(bytes + start, 1, end - start, file_) == end - start;
        }
        if (ok && found != nullptr) {
            ok = std::fwrite("\r\n", 1, 2, file_) == 2;
        }
        start = end + 1;
    }
    if (std::fflush(file_) != 0) {
        ok = false;
    }
    if (!ok) {
        platform::FailWithErrno();
        std::clearerr(file_);
        return Result::WriteFailed;
    }
    return Result::Written;
}

void LogFile::Close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool LogFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

void LogReceived(LogFile& log, std::string_view portName, platform::PromptService& prompts,
                 const char* bytes, std::size_t length) {
    if (length == 0) {
        return;
    }
    const LogFile::Result result = log.Append(portName, bytes, length);
    if (result == LogFile::Result::CannotCreate) {
        platform::OutputDebugStringA(" LogFile Creation Error!\n");
        // Shown without the log's lock held, so the port thread can close the file meanwhile.
        prompts.MessageBox(kLogFileCreateErrorText, kLogFileCreateErrorCaption, MB_ICONHAND);
    } else if (result == LogFile::Result::WriteFailed) {
        platform::OutputDebugStringA(" LogFile Write Error!\n");
    }
}
