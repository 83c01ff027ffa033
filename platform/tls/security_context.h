#pragma once
// The security package's client side over OpenSSL with memory BIOs: credentials, a handshake
// that takes the bytes the caller read and gives back the bytes to send, records encrypted and
// decrypted one at a time, the stream sizes and the close-notify alert. Nothing here touches a
// socket; the caller moves the bytes. One context is not safe for concurrent use: its owner
// serialises every call.

#include <openssl/types.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/tls/sspi_types.h"

namespace platform::tls {

// An outbound credential: the client certificate (if any) with its key and chain, and, for a
// context that verifies its server, the trust anchors.
class Credentials {
  public:
    ~Credentials();
    Credentials(const Credentials&) = delete;
    Credentials& operator=(const Credentials&) = delete;

    // `clientSubject` empty: no client certificate, and none is picked by default; a server
    // that only asks for one gets the handshake without it. Otherwise the first certificate
    // of the MY store whose subject contains the text; SEC_E_NO_CREDENTIALS when there is
    // none, or it has no usable key. `verifyServer` loads the ROOT store and the system's.
    static SECURITY_STATUS Acquire(const std::string& clientSubject, bool verifyServer,
                                   std::shared_ptr<Credentials>* credentials);

    bool HasClientCertificate() const { return hasCertificate_; }
    SSL_CTX* Handle() const { return ctx_; }

  private:
    explicit Credentials(SSL_CTX* ctx) : ctx_(ctx) {}
    SSL_CTX* ctx_;
    bool hasCertificate_ = false;
};

// A client context on one set of credentials.
class SecurityContext {
  public:
    // `serverName` empty: the server's certificate is not examined (the caller can tell by
    // Verified()). Otherwise the chain must end in a trust anchor, be valid now, allow server
    // authentication and carry the name (an address is checked as an address). The name is
    // also sent as the server name indication when it is a DNS name.
    SecurityContext(std::shared_ptr<Credentials> credentials, const std::string& serverName);
    ~SecurityContext();
    SecurityContext(const SecurityContext&) = delete;
    SecurityContext& operator=(const SecurityContext&) = delete;

    // One step of the handshake. `input` holds the bytes read and not yet taken; the step
    // takes whole records only and says how many bytes in `consumed`; bytes to send are
    // appended to `output` (also on failure: the alert that tells the server why).
    // SEC_I_CONTINUE_NEEDED or SEC_E_INCOMPLETE_MESSAGE: read more and call again with what
    // was not taken. SEC_E_OK: done; bytes not taken are records past the handshake.
    SECURITY_STATUS Handshake(std::span<const std::uint8_t> input, std::size_t* consumed,
                              std::string* output);

    // Zero sizes before the handshake has completed.
    SecPkgContext_StreamSizes StreamSizes() const;

    // Encrypts `length` bytes (at most cbMaximumMessage) as one record into `record`
    // (`capacity` bytes; header + trailer + maximum message always suffice), after any bytes
    // the context still had to send, so that the whole of `*recordLength` goes out in order.
    SECURITY_STATUS EncryptRecord(const std::uint8_t* plaintext, DWORD length, std::uint8_t* record,
                                  DWORD capacity, DWORD* recordLength);

    // Decrypts the whole records at the front of `input`: their plaintext is appended to
    // `plaintext`, what the context must send in answer (a key update, an alert) to `reply`,
    // and `consumed` says how many bytes were taken. SEC_E_OK: all of them;
    // SEC_E_INCOMPLETE_MESSAGE: an incomplete record stays; SEC_I_CONTEXT_EXPIRED: the server
    // closed the TLS connection; a failure for a damaged record or one announced longer than
    // any record can be.
    SECURITY_STATUS DecryptRecords(std::span<const std::uint8_t> input, std::size_t* consumed,
                                   std::string* plaintext, std::string* reply);

    // The close-notify alert, appended to `output`.
    SECURITY_STATUS Shutdown(std::string* output);

    bool Verified() const { return verify_ && complete_; }
    // The peer certificate check's result (an X509_V_ code), 0 when it passed or was not made.
    long VerifyResult() const { return verifyResult_; }
    // The protocol agreed on ("TLSv1.3"), empty before the handshake.
    std::string Protocol() const;

  private:
    void Drain(std::string* output);
    void AnswerKeyUpdate();
    SECURITY_STATUS FailureStatus(int error);

    std::shared_ptr<Credentials> credentials_;
    SSL* ssl_ = nullptr;
    BIO* input_ = nullptr;   // records the server sent, fed to the library
    BIO* output_ = nullptr;  // records the library made, drained for the socket
    bool verify_ = false;
    bool complete_ = false;
    long verifyResult_ = 0;
};

// The length of the record at the front of `input`: 0 while its header is incomplete, and
// kMaxRecordSize + 1 for a header that announces more than any record holds.
std::size_t RecordLength(std::span<const std::uint8_t> input);

}  // namespace platform::tls
