#pragma once
// The streams of a port's file transfers: the receive file, into which received blocks go with
// each LF stored as CR LF, and the send file, read in chunks of at most 1024 bytes with CR LF
// read as LF and a 0x1A byte ending the file. Each stream keeps its own lock: a dialog thread
// opens and stops it while a worker writes or reads it, and the two never overlap.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/win/win_types.h"

constexpr std::size_t kFileChunkSize = 1024;

class ReceiveFile {
  public:
    enum class Result { Written, Failed, NotOpen };

    ReceiveFile() = default;
    ~ReceiveFile();
    ReceiveFile(const ReceiveFile&) = delete;
    ReceiveFile& operator=(const ReceiveFile&) = delete;

    // Creates or empties `path`; false with the last error set when it cannot.
    bool Open(const std::string& path);
    // Writes the block with each LF as CR LF and hands it to the system at once, so that what
    // was written before a failure stays in the file. Failed sets the last error.
    Result Write(const char* bytes, std::size_t length);
    void Close();
    bool IsOpen() const;

  private:
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

// One chunk of the send file.
struct SendChunk {
    bool open = false;         // false: no file was open, nothing else is meaningful
    std::size_t length = 0;    // bytes in the chunk
    bool atEnd = false;        // the file has nothing after this chunk
    bool readFailed = false;   // the read failed; the chunk must not be taken as the end
    std::uint64_t serial = 0;  // which opened file the chunk came from
    long startOffset = 0;      // where in the file the chunk began
};

class SendFile {
  public:
    SendFile() = default;
    ~SendFile();
    SendFile(const SendFile&) = delete;
    SendFile& operator=(const SendFile&) = delete;

    // Opens `path` for reading; false with the last error set when it cannot.
    bool Open(const std::string& path);
    // Reads the next chunk into `chunk` (kFileChunkSize + 1 bytes: a zero byte follows).
    SendChunk ReadChunk(char* chunk);
    // Puts the file back to the start of a chunk that could not be written, so that it goes
    // again; does nothing when the file has been stopped or replaced since.
    void Rewind(const SendChunk& chunk);
    // Closes the file the chunk came from; false when it had already been stopped or replaced.
    bool CloseIf(const SendChunk& chunk);
    void Close();
    bool IsOpen() const;

  private:
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::uint64_t serial_ = 0;
};

// Writes `length` bytes to `file` with each LF as CR LF; false when a write failed.
bool WriteWithCrLf(std::FILE* file, const char* bytes, std::size_t length);

// The notice after a socket port's file: shown after the time the bytes would take at 9600
// bit/s with 8 bits a byte, captioned "<count>-<milliseconds>" (4030 bytes: 3358 ms, "4030-3358").
DWORD SocketFileDoneWaitMs(std::uint64_t count);
std::string SocketFileDoneCaption(std::uint64_t count);

// A display or report text as Save As writes it: the report's "\n" become "\r\n"; the display's
// text is kept as shown.
std::string ReportTextForFile(std::string_view report);
// Creates (or empties) `path` and writes `text` without translation. 0 on success, else the
// system's error (also when a write or the close failed, so a short file is never a success).
DWORD SaveTextFile(const std::string& path, std::string_view text);

inline constexpr const char* kTransferDoneText = "ASCII File Transfer is Done!";
inline constexpr const char* kReceiveFileCreateText =
    "Halvo2 is unable to create the requested file.\nProcess Failed!";
inline constexpr const char* kSendFileOpenText =
    "Halvo2 is unable to open the given file.\nProcess Failed!";
inline constexpr const char* kReceiveFileWriteText =
    "Halvo2 can't write the received data into the file!\nThe file keeps what came before.";
inline constexpr const char* kSendFileFailedText =
    "Halvo2 could not send the whole file!\nProcess Failed!";
inline constexpr const char* kShowFileContentsText = "Do you want to see the file contents?";
inline constexpr const char* kShowFileContentsCaption = "Halvo2 - Receive ASCII File ...";
inline constexpr const char* kStopReceiveFileText = "Do you want to stop receiving ASCII file?";
inline constexpr const char* kStopSendFileText = "Do you want to stop sending ASCII file?";
inline constexpr const char* kSendingPatternText =
    "Halvo2 is sending data through this port right now!\t\nPlease stop that process before "
    "proceeding.";
inline constexpr const char* kReceiveFileTitle = "Select an ASCII file to save to...";
inline constexpr const char* kSendFileTitle = "Select an ASCII file to read from...";
inline constexpr const char* kTextFileFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";
