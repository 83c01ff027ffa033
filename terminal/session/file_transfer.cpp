#include "terminal/session/file_transfer.h"

#include <cstring>

#include "platform/system/last_error.h"

bool WriteWithCrLf(std::FILE* file, const char* bytes, std::size_t length) {
    std::size_t start = 0;
    while (start < length) {
        const void* found = std::memchr(bytes + start, '\n', length - start);
        const std::size_t end =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - bytes)
                             : length;
        if (end > start && std::fwrite(bytes + start, 1, end - start, file) != end - start) {
            return false;
        }
        if (found != nullptr && std::fwrite("\r\n", 1, 2, file) != 2) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

ReceiveFile::~ReceiveFile() {
    Close();
}

bool ReceiveFile::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    // Binary: the line-feed translation is done here, the same on every system.
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        platform::FailWithErrno();
        return false;
    }
    return true;
}

ReceiveFile::Result ReceiveFile::Write(const char* bytes, std::size_t length) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr) {
        return Result::NotOpen;
    }
    const bool written = WriteWithCrLf(file_, bytes, length);
    if (std::fflush(file_) != 0 || !written) {
        platform::FailWithErrno();
        std::clearerr(file_);
        return Result::Failed;
    }
    return Result::Written;
}

void ReceiveFile::Close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool ReceiveFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

SendFile::~SendFile() {
    Close();
}

bool SendFile::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = std::fopen(path.c_str(), "rb");
    ++serial_;
    if (file_ == nullptr) {
        platform::FailWithErrno();
        return false;
    }
    return true;
}

SendChunk SendFile::ReadChunk(char* chunk) {
    std::lock_guard lock(mutex_);
    SendChunk result;
    std::memset(chunk, 0, kFileChunkSize + 1);
    if (file_ == nullptr) {
        return result;
    }
    result.open = true;
    result.serial = serial_;
    result.startOffset = std::ftell(file_);
    // Read as a text stream: CR LF arrives as LF, a lone CR stays, 0x1A ends the file.
    constexpr int kEndOfText = 0x1A;
    while (result.length < kFileChunkSize) {
        int c = std::getc(file_);
        if (c == EOF || c == kEndOfText) {
            result.atEnd = true;
            break;
        }
        if (c == '\r') {
            const int next = std::getc(file_);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, file_);
            }
        }
        chunk[result.length++] = static_cast<char>(c);
    }
    if (!result.atEnd) {
        // A full chunk: the end is reached when nothing but the end follows it.
        const int next = std::getc(file_);
        if (next == EOF || next == kEndOfText) {
            result.atEnd = true;
        } else {
            std::ungetc(next, file_);
        }
    }
    if (std::ferror(file_)) {
        platform::FailWithErrno();
        result.readFailed = true;
        result.atEnd = false;
    }
    return result;
}

void SendFile::Rewind(const SendChunk& chunk) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr && chunk.open && chunk.serial == serial_) {
        std::clearerr(file_);
        std::fseek(file_, chunk.startOffset, SEEK_SET);
    }
}

bool SendFile::CloseIf(const SendChunk& chunk) {
    std::lock_guard lock(mutex_);
    if (file_ == nullptr || !chunk.open || chunk.serial != serial_) {
        return false;
    }
    std::fclose(file_);
    file_ = nullptr;
    return true;
}

void SendFile::Close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool SendFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

DWORD SocketFileDoneWaitMs(std::uint64_t count) {
    return static_cast<DWORD>(count * 8000 / 9600);
}

std::string SocketFileDoneCaption(std::uint64_t count) {
    return std::to_string(count) + "-" + std::to_string(SocketFileDoneWaitMs(count));
}

std::string ReportTextForFile(std::string_view report) {
    std::string text;
    text.reserve(report.size() + report.size() / 16);
    for (char c : report) {
        if (c == '\n') {
            text += '\r';
        }
        text += c;
    }
    return text;
}

DWORD SaveTextFile(const std::string& path, std::string_view text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        platform::FailWithErrno();
        return platform::GetLastError();
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fflush(file) == 0 && ok;
    if (!ok) {
        platform::FailWithErrno();
    }
    const DWORD writeError = ok ? 0 : platform::GetLastError();
    if (std::fclose(file) != 0 && ok) {
        platform::FailWithErrno();
        return platform::GetLastError();
    }
    return writeError;
}
