#include "terminal/net/secure_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/tls/security_context.h"

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits until the socket is ready for `events`; false when `deadline` has passed first, the
// wait failed, or `wakeDescriptor` (-1 for none) became readable.
bool WaitSocket(int socket, short events, std::int64_t deadline, int wakeDescriptor = -1) {
    for (;;) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0) {
            return false;
        }
        pollfd entries[2] = {{socket, events, 0}, {wakeDescriptor, POLLIN, 0}};
        const int ready = ::poll(entries, wakeDescriptor >= 0 ? 2 : 1,
                                 static_cast<int>(std::min<std::int64_t>(left, 1000)));
        if (ready > 0) {
            return entries[1].revents == 0;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

// Writes all bytes. Without a deadline (negative) a full socket holds the caller back, as a
// plain socket port's send does; a close of the socket ends that wait.
bool SendAll(int socket, const char* data, std::size_t length, std::int64_t deadline) {
    const int flags = MSG_NOSIGNAL | (deadline >= 0 ? MSG_DONTWAIT : 0);
    while (length > 0) {
        const ssize_t sent = ::send(socket, data, length, flags);
        if (sent > 0) {
            data += sent;
            length -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && deadline >= 0 &&
            WaitSocket(socket, POLLOUT, deadline)) {
            continue;
        }
        return false;
    }
    return true;
}

// However long the peer takes to read it, the close-notify does not hold a close back longer.
constexpr std::int64_t kCloseNotifyPatienceMs = 2000;
// How often a wait for the set-up turn looks whether it was interrupted.
constexpr DWORD kTurnLookMs = 50;

}  // namespace

SecureChannel::SecureChannel(platform::EventHandle setupEvent)
    : setupEvent_(std::move(setupEvent)) {}

SecureChannel::~SecureChannel() = default;

int SecureChannel::Establish(int socket, const std::string& clientCertificate,
                             const std::string& serverName, DWORD deadlineMs, int wakeDescriptor) {
    if (serverName.size() > kMaxServerName) {
        std::lock_guard lock(mutex_);
        context_.reset();
        established_ = false;
        lastStatus_ = SEC_E_WRONG_PRINCIPAL;
        return 1;
    }

    // One set-up at a time in the whole process; every way out gives the turn back. The wait
    // for it holds no lock of the channel.
    struct Turn {
        platform::Event* event;
        ~Turn() {
            if (event != nullptr) {
                event->Set();
            }
        }
    } turn{nullptr};
    if (setupEvent_) {
        while (platform::WaitForSingleObject(
                   *setupEvent_, wakeDescriptor >= 0 ? kTurnLookMs : INFINITE) != WAIT_OBJECT_0) {
            pollfd wake{wakeDescriptor, POLLIN, 0};
            if (::poll(&wake, 1, 0) > 0) {
                std::lock_guard lock(mutex_);
                context_.reset();
                established_ = false;
                lastStatus_ = SEC_E_INTERNAL_ERROR;
                return 1;
            }
        }
        turn.event = setupEvent_.get();
    }

    std::unique_lock lock(mutex_);
    context_.reset();
    established_ = false;
    closedByServer_ = false;
    socket_ = socket;
    outgoing_.clear();
    sending_ = false;
    sendFailed_ = false;
    socketError_ = 0;
    queuedEnd_ = sentEnd_ = 0;
    received_.assign(platform::tls::kMaxRecordSize, 0);
    receivedLength_ = 0;
    plaintext_.clear();
    plaintextGiven_ = 0;
    const std::int64_t deadline = NowMs() + deadlineMs;

    std::shared_ptr<platform::tls::Credentials> credentials;
    lastStatus_ =
        platform::tls::Credentials::Acquire(clientCertificate, !serverName.empty(), &credentials);
    if (lastStatus_ != SEC_E_OK) {
        return 1;
    }
    context_ = std::make_unique<platform::tls::SecurityContext>(credentials, serverName);
    lastStatus_ = RunHandshake(deadline, wakeDescriptor);
    if (lastStatus_ != SEC_E_OK) {
        context_.reset();
        return 1;
    }
    const SecPkgContext_StreamSizes sizes = context_->StreamSizes();
    record_.assign(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer, 0);
    established_ = true;
    // Records that arrived with the last handshake message are the first data of the port.
    lastStatus_ = DecryptBufferLocked(lock);
    if (SecFailed(lastStatus_)) {
        established_ = false;
        context_.reset();
        return 1;
    }
    lastStatus_ = SEC_E_OK;
    return 0;
}

SECURITY_STATUS SecureChannel::RunHandshake(std::int64_t deadline, int wakeDescriptor) {
    std::string output;
    std::size_t consumed = 0;
    SECURITY_STATUS status = context_->Handshake({}, &consumed, &output);
    for (;;) {
        // The last token goes out also on failure: it is the alert that tells the server why.
        if (!output.empty() && !SendAll(socket_, output.data(), output.size(), deadline)) {
            return SEC_E_INTERNAL_ERROR;
        }
        output.clear();
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE) {
            return status;
        }
        if (!WaitSocket(socket_, POLLIN, deadline, wakeDescriptor)) {
            return SEC_E_INTERNAL_ERROR;
        }
        const ssize_t got = ::recv(socket_, received_.data() + receivedLength_,
                                   received_.size() - receivedLength_, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            return SEC_E_INTERNAL_ERROR;
        }
        receivedLength_ += static_cast<std::size_t>(got);
        status = context_->Handshake({received_.data(), receivedLength_}, &consumed, &output);
        std::memmove(received_.data(), received_.data() + consumed, receivedLength_ - consumed);
        receivedLength_ -= consumed;
    }
}

SECURITY_STATUS SecureChannel::LastStatus() const {
    std::lock_guard lock(mutex_);
    return lastStatus_;
}

bool SecureChannel::IsEstablished() const {
    std::lock_guard lock(mutex_);
    return established_;
}

bool SecureChannel::ServerVerified() const {
    std::lock_guard lock(mutex_);
    return context_ && context_->Verified();
}

SecPkgContext_StreamSizes SecureChannel::StreamSizes() const {
    std::lock_guard lock(mutex_);
    return context_ ? context_->StreamSizes() : SecPkgContext_StreamSizes{};
}

std::string SecureChannel::Protocol() const {
    std::lock_guard lock(mutex_);
    return context_ ? context_->Protocol() : std::string();
}

SECURITY_STATUS SecureChannel::QueueAndSendLocked(std::unique_lock<std::mutex>& lock,
                                                  std::string bytes, bool waitUntilSent) {
    outgoing_ += bytes;
    queuedEnd_ += bytes.size();
    const std::uint64_t mine = queuedEnd_;
    if (!waitUntilSent) {
        FlushLocked(lock, false);
        return sendFailed_ ? SEC_E_INTERNAL_ERROR : SEC_E_OK;
    }
    // Whoever is writing sends these bytes too; when nobody is (any more), this thread does.
    while (sentEnd_ < mine && !sendFailed_) {
        if (sending_) {
            sent_.wait(lock);
        } else {
            FlushLocked(lock, true);
        }
    }
    return sendFailed_ ? SEC_E_INTERNAL_ERROR : SEC_E_OK;
}

void SecureChannel::FlushLocked(std::unique_lock<std::mutex>& lock, bool block) {
    if (sending_) {
        return;
    }
    // One writer at a time, in queue order; the lock is free while the socket takes the bytes,
    // so that a reader is never held back by a full socket. A reader only writes what the
    // socket takes at once (a key-update answer): it must not stop reading for a peer that
    // is itself waiting to be read.
    sending_ = true;
    std::string chunk;
    while (!outgoing_.empty() && !sendFailed_) {
        chunk.clear();
        chunk.swap(outgoing_);
        lock.unlock();
        std::size_t sent = 0;
        bool failed = false;
        if (block) {
            failed = !SendAll(socket_, chunk.data(), chunk.size(), -1);
            sent = failed ? 0 : chunk.size();
        } else {
            const ssize_t taken =
                ::send(socket_, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            failed = taken < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
            sent = taken > 0 ? static_cast<std::size_t>(taken) : 0;
        }
        const int error = failed ? errno : 0;
        lock.lock();
        sentEnd_ += sent;
        if (failed && !sendFailed_) {
            socketError_ = error;
        }
        sendFailed_ = sendFailed_ || failed;
        if (!failed && sent < chunk.size()) {
            // The rest goes first when writing goes on.
            outgoing_.insert(0, chunk, sent, std::string::npos);
            break;
        }
    }
    sending_ = false;
    sent_.notify_all();
}

SECURITY_STATUS SecureChannel::SendRecord(const char* data, DWORD length, DWORD* recordBytes) {
    std::unique_lock lock(mutex_);
    if (recordBytes != nullptr) {
        *recordBytes = 0;
    }
    if (!established_ || !context_) {
        return SEC_E_INVALID_HANDLE;
    }
    if (sendFailed_) {
        return SEC_E_INTERNAL_ERROR;
    }
    const DWORD most = context_->StreamSizes().cbMaximumMessage;
    std::string records;
    for (DWORD offset = 0; offset < length;) {
        const DWORD part = std::min(most, length - offset);
        DWORD recordLength = 0;
        const SECURITY_STATUS status = context_->EncryptRecord(
            reinterpret_cast<const std::uint8_t*>(data) + offset, part, record_.data(),
            static_cast<DWORD>(record_.size()), &recordLength);
        if (status != SEC_E_OK) {
            return status;
        }
        records.append(reinterpret_cast<const char*>(record_.data()), recordLength);
        offset += part;
    }
    const DWORD total = static_cast<DWORD>(records.size());
    const SECURITY_STATUS status = QueueAndSendLocked(lock, std::move(records), true);
    if (status == SEC_E_OK && recordBytes != nullptr) {
        *recordBytes = total;
    }
    return status;
}

SECURITY_STATUS SecureChannel::DecryptRecords(char* input, DWORD* inputLength, char* output,
                                              DWORD* outputLength) {
    std::unique_lock lock(mutex_);
    *outputLength = 0;
    if (!established_ || !context_) {
        return SEC_E_INVALID_HANDLE;
    }
    std::string plaintext;
    std::string reply;
    std::size_t consumed = 0;
    const SECURITY_STATUS status =
        context_->DecryptRecords({reinterpret_cast<const std::uint8_t*>(input), *inputLength},
                                 &consumed, &plaintext, &reply);
    std::memmove(input, input + consumed, *inputLength - consumed);
    *inputLength -= static_cast<DWORD>(consumed);
    // A record's plaintext is shorter than the record, so `output` has room.
    std::memcpy(output, plaintext.data(), plaintext.size());
    *outputLength = static_cast<DWORD>(plaintext.size());
    if (!reply.empty()) {
        QueueAndSendLocked(lock, std::move(reply), false);
    }
    return status;
}

SECURITY_STATUS SecureChannel::DecryptBufferLocked(std::unique_lock<std::mutex>& lock) {
    if (plaintextGiven_ > 0) {
        plaintext_.erase(0, plaintextGiven_);
        plaintextGiven_ = 0;
    }
    std::string reply;
    std::size_t consumed = 0;
    SECURITY_STATUS status = context_->DecryptRecords({received_.data(), receivedLength_},
                                                      &consumed, &plaintext_, &reply);
    std::memmove(received_.data(), received_.data() + consumed, receivedLength_ - consumed);
    receivedLength_ -= consumed;
    if (!reply.empty()) {
        QueueAndSendLocked(lock, std::move(reply), false);
    }
    if (status == SEC_I_CONTEXT_EXPIRED) {
        closedByServer_ = true;
    }
    return status == SEC_E_INCOMPLETE_MESSAGE ? SEC_E_OK : status;
}

SECURITY_STATUS SecureChannel::ReadPlaintext(char* buffer, DWORD maxBytes, DWORD* length) {
    std::unique_lock lock(mutex_);
    *length = 0;
    if (!established_ || !context_) {
        return SEC_E_INVALID_HANDLE;
    }
    if (!outgoing_.empty()) {
        FlushLocked(lock, false);
    }
    if (plaintextGiven_ == plaintext_.size() && !closedByServer_) {
        // The buffer holds at most an incomplete record, so there is always room to read.
        const ssize_t got = ::recv(socket_, received_.data() + receivedLength_,
                                   received_.size() - receivedLength_, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            socketError_ = got == 0 ? 0 : errno;
            lastStatus_ = SEC_E_INTERNAL_ERROR;
            return lastStatus_;
        }
        if (got > 0) {
            receivedLength_ += static_cast<std::size_t>(got);
            const SECURITY_STATUS status = DecryptBufferLocked(lock);
            if (SecFailed(status)) {
                lastStatus_ = status;
                return status;
            }
        }
    }
    const std::size_t given = std::min<std::size_t>(maxBytes, plaintext_.size() - plaintextGiven_);
    std::memcpy(buffer, plaintext_.data() + plaintextGiven_, given);
    plaintextGiven_ += given;
    *length = static_cast<DWORD>(given);
    if (given == 0 && closedByServer_) {
        return SEC_I_CONTEXT_EXPIRED;
    }
    return SEC_E_OK;
}

int SecureChannel::SocketError() const {
    std::lock_guard lock(mutex_);
    return socketError_;
}

bool SecureChannel::HasPendingInput() const {
    std::lock_guard lock(mutex_);
    return plaintextGiven_ < plaintext_.size() || closedByServer_;
}

SECURITY_STATUS SecureChannel::Shutdown() {
    std::unique_lock lock(mutex_);
    if (!established_ || !context_) {
        context_.reset();
        established_ = false;
        return SEC_E_INVALID_HANDLE;
    }
    std::string alert;
    SECURITY_STATUS status = context_->Shutdown(&alert);
    if (!SecFailed(status) && !alert.empty() && !sendFailed_) {
        outgoing_ += alert;
        queuedEnd_ += alert.size();
        const std::uint64_t mine = queuedEnd_;
        const std::int64_t deadline = NowMs() + kCloseNotifyPatienceMs;
        while (sentEnd_ < mine && !sendFailed_ && NowMs() < deadline) {
            if (sending_) {
                sent_.wait_for(lock, std::chrono::milliseconds(deadline - NowMs()));
                continue;
            }
            std::string chunk;
            chunk.swap(outgoing_);
            if (SendAll(socket_, chunk.data(), chunk.size(), deadline)) {
                sentEnd_ += chunk.size();
            } else {
                sendFailed_ = true;
            }
        }
        if (sentEnd_ < mine) {
            status = SEC_E_INTERNAL_ERROR;
        }
    }
    established_ = false;
    context_.reset();
    return status;
}
