#pragma once
// A socket port's TLS state and its operations, over a connected socket descriptor: the
// set-up (credentials, handshake, server check), records out and in, and the close-notify.
//
// Threads: Establish and Shutdown run on the port thread; SendRecord on the send worker and
// the typed-character writer; ReadPlaintext and DecryptRecords on the receive worker. One lock
// guards the TLS state, and every byte the TLS state produces (records, key-update answers,
// alerts) joins one outgoing queue that exactly one thread at a time writes to the socket, in
// order. A thread whose own bytes are queued behind another's waits until they have gone; a
// reader never waits for a writer that the peer holds back.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sync/event.h"
#include "platform/tls/sspi_types.h"

namespace platform::tls {
class SecurityContext;
}

class SecureChannel {
  public:
    // The longest server name the set-up accepts (its wide-character form fills a buffer of
    // 1024 characters with the terminating zero).
    static constexpr std::size_t kMaxServerName = 1023;
    // However slowly a server answers, the set-up ends after this long, so that it cannot
    // hold the set-up turn of every other secure port for ever.
    static constexpr DWORD kHandshakeDeadlineMs = 10000;

    // `setupEvent`: the process-wide "ssl" event that admits one set-up at a time; null for
    // none.
    explicit SecureChannel(platform::EventHandle setupEvent);
    ~SecureChannel();
    SecureChannel(const SecureChannel&) = delete;
    SecureChannel& operator=(const SecureChannel&) = delete;

    // Sets up TLS on the connected `socket` (which the channel neither owns nor closes):
    // client credentials from `clientCertificate` (subject text in MY, empty for none), the
    // handshake, and the server check against `serverName` (empty: any certificate is
    // accepted, and ServerVerified() says so). Holds the set-up turn throughout. 0 on success,
    // 1 on failure (LastStatus says why). Once `wakeDescriptor` (-1 for none) is readable, the
    // wait for the turn and the handshake end with a failure, so that a closing window does
    // not wait for another port's set-up or for a silent server.
    int Establish(int socket, const std::string& clientCertificate, const std::string& serverName,
                  DWORD deadlineMs = kHandshakeDeadlineMs, int wakeDescriptor = -1);

    SECURITY_STATUS LastStatus() const;
    bool IsEstablished() const;
    // False when no server name was given: the certificate was not examined.
    bool ServerVerified() const;
    SecPkgContext_StreamSizes StreamSizes() const;
    // "TLSv1.2", "TLSv1.3"; empty before a set-up.
    std::string Protocol() const;

    // Encrypts `length` bytes, as records of at most cbMaximumMessage, and returns once they
    // have been written to the socket. A failure status when encrypting or the socket failed.
    // `recordBytes` (may be null) gets the bytes of the records, headers and trailers included.
    SECURITY_STATUS SendRecord(const char* data, DWORD length, DWORD* recordBytes = nullptr);

    // Decrypts the whole records at the front of `input` (`*inputLength` bytes) and appends
    // their plaintext to `output` (room for `*inputLength` bytes), setting `*outputLength`.
    // Afterwards `*inputLength` holds the bytes left at the front of `input`: none after
    // SEC_E_OK; an incomplete record after SEC_E_INCOMPLETE_MESSAGE. SEC_I_CONTEXT_EXPIRED
    // when the server closed the TLS connection. Answers the server expects are sent.
    SECURITY_STATUS DecryptRecords(char* input, DWORD* inputLength, char* output,
                                   DWORD* outputLength);

    // The receive path: takes what the socket holds now (without waiting), decrypts every
    // whole record and gives at most `maxBytes` of plaintext; more stays for the next call.
    // Bytes that came with the last handshake message are the first ones given. SEC_E_OK
    // (possibly with nothing), SEC_I_CONTEXT_EXPIRED once the server has closed TLS and all
    // its plaintext was given, or a failure (the connection closed, a damaged record).
    SECURITY_STATUS ReadPlaintext(char* buffer, DWORD maxBytes, DWORD* length);
    // Plaintext is waiting for ReadPlaintext without any read of the socket.
    bool HasPendingInput() const;
    // Why the socket failed the channel: the host's error of the failed receive or send, or 0
    // when the server ended the connection in order (also after its close-notify) or nothing
    // failed.
    int SocketError() const;

    // Sends the close-notify alert and releases the TLS state. The caller shuts the socket
    // down afterwards.
    SECURITY_STATUS Shutdown();

  private:
    SECURITY_STATUS RunHandshake(std::int64_t deadline, int wakeDescriptor);
    SECURITY_STATUS QueueAndSendLocked(std::unique_lock<std::mutex>& lock, std::string bytes,
                                       bool waitUntilSent);
    // Writes the outgoing queue unless another thread is writing it; without `block`, only
    // what the socket takes at once.
    void FlushLocked(std::unique_lock<std::mutex>& lock, bool block);
    SECURITY_STATUS DecryptBufferLocked(std::unique_lock<std::mutex>& lock);

    const platform::EventHandle setupEvent_;
    mutable std::mutex mutex_;
    std::condition_variable sent_;
    int socket_ = -1;
    std::unique_ptr<platform::tls::SecurityContext> context_;
    SECURITY_STATUS lastStatus_ = SEC_E_OK;
    bool established_ = false;
    bool closedByServer_ = false;

    // Bytes for the socket, in the order the TLS state made them; `sending_` while one
    // thread writes them. Counts in bytes since the set-up.
    std::string outgoing_;
    bool sending_ = false;
    bool sendFailed_ = false;
    int socketError_ = 0;
    std::uint64_t queuedEnd_ = 0;
    std::uint64_t sentEnd_ = 0;

    // Received bytes not yet decrypted: at most one record, so the buffer holds the largest
    // one; and plaintext not yet given.
    std::vector<std::uint8_t> received_;
    std::size_t receivedLength_ = 0;
    std::string plaintext_;
    std::size_t plaintextGiven_ = 0;
    std::vector<std::uint8_t> record_;  // one record built for the socket
};
