#include "platform/tls/security_context.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "platform/tls/cert_store.h"

namespace platform::tls {

namespace {

bool IsAddress(const std::string& name) {
    ASN1_OCTET_STRING* address = a2i_IPADDRESS(name.c_str());
    ERR_clear_error();
    if (address == nullptr) {
        return false;
    }
    ASN1_OCTET_STRING_free(address);
    return true;
}

// Only a host name goes into the server name indication: never an address, never text that
// no DNS name can be.
bool IsDnsName(const std::string& name) {
    if (name.empty() || name.size() > 253 || IsAddress(name) || name.front() == '.' ||
        name.front() == '-') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.';
    });
}

SECURITY_STATUS VerifyStatus(long result) {
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return SEC_E_CERT_EXPIRED;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return SEC_E_WRONG_PRINCIPAL;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_CERT_UNTRUSTED:
            return SEC_E_UNTRUSTED_ROOT;
        default:
            return SEC_E_CERT_UNKNOWN;
    }
}

}  // namespace

Credentials::~Credentials() {
    SSL_CTX_free(ctx_);
}

SECURITY_STATUS Credentials::Acquire(const std::string& clientSubject, bool verifyServer,
                                     std::shared_ptr<Credentials>* credentials) {
    credentials->reset();
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) {
        ERR_clear_error();
        return SEC_E_INTERNAL_ERROR;
    }
    std::shared_ptr<Credentials> made(new Credentials(ctx));
    if (!clientSubject.empty()) {
        const CertStore my = CertStore::OpenSystemStore("MY");
        const StoredCertificate* found = my.FindSubject(clientSubject);
        if (found == nullptr || !found->key) {
            return SEC_E_NO_CREDENTIALS;
        }
        bool usable = SSL_CTX_use_certificate(ctx, found->certificate.get()) == 1 &&
                      SSL_CTX_use_PrivateKey(ctx, found->key.get()) == 1;
        for (const X509Ptr& link : found->chain) {
            usable = usable && SSL_CTX_add1_chain_cert(ctx, link.get()) == 1;
        }
        ERR_clear_error();
        if (!usable) {
            return SEC_E_NO_CREDENTIALS;
        }
        made->hasCertificate_ = true;
    }
    if (verifyServer) {
        TrustStorePtr anchors = NewTrustStore(CertStore::OpenSystemStore("ROOT"));
        if (!anchors) {
            return SEC_E_INTERNAL_ERROR;
        }
        SSL_CTX_set_cert_store(ctx, anchors.release());
    }
    *credentials = std::move(made);
    return SEC_E_OK;
}

SecurityContext::SecurityContext(std::shared_ptr<Credentials> credentials,
                                 const std::string& serverName)
    : credentials_(std::move(credentials)) {
    if (!credentials_) {
        return;
    }
    ssl_ = SSL_new(credentials_->Handle());
    input_ = BIO_new(BIO_s_mem());
    output_ = BIO_new(BIO_s_mem());
    if (ssl_ == nullptr || input_ == nullptr || output_ == nullptr) {
        BIO_free(input_);
        BIO_free(output_);
        SSL_free(ssl_);
        ssl_ = nullptr;
        ERR_clear_error();
        return;
    }
    // An empty input is "more to come", never the end of the stream.
    BIO_set_mem_eof_return(input_, -1);
    SSL_set_bio(ssl_, input_, output_);
    SSL_set_connect_state(ssl_);
    if (serverName.empty()) {
        SSL_set_verify(ssl_, SSL_VERIFY_NONE, nullptr);
        return;
    }
    verify_ = true;
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    if (IsAddress(serverName)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, serverName.c_str());
    } else {
        X509_VERIFY_PARAM_set1_host(param, serverName.c_str(), serverName.size());
        if (IsDnsName(serverName)) {
            SSL_set_tlsext_host_name(ssl_, serverName.c_str());
        }
    }
    SSL_set_verify(ssl_, SSL_VERIFY_PEER, nullptr);
    ERR_clear_error();
}

SecurityContext::~SecurityContext() {
    SSL_free(ssl_);
}

std::size_t RecordLength(std::span<const std::uint8_t> input) {
    if (input.size() < kRecordHeaderSize) {
        return 0;
    }
    const std::size_t body = (std::size_t{input[3]} << 8) | input[4];
    if (body > kMaxRecordBody) {
        return std::size_t{kMaxRecordSize} + 1;
    }
    return kRecordHeaderSize + body;
}

void SecurityContext::Drain(std::string* output) {
    const std::size_t pending = BIO_ctrl_pending(output_);
    if (pending == 0) {
        return;
    }
    const std::size_t old = output->size();
    output->resize(old + pending);
    const int read = BIO_read(output_, output->data() + old, static_cast<int>(pending));
    output->resize(old + static_cast<std::size_t>(std::max(read, 0)));
}

SECURITY_STATUS SecurityContext::FailureStatus(int error) {
    const long result = SSL_get_verify_result(ssl_);
    ERR_clear_error();
    if (verify_ && result != X509_V_OK) {
        verifyResult_ = result;
        return VerifyStatus(result);
    }
    return error == SSL_ERROR_ZERO_RETURN ? SEC_I_CONTEXT_EXPIRED : SEC_E_ILLEGAL_MESSAGE;
}

SECURITY_STATUS SecurityContext::Handshake(std::span<const std::uint8_t> input,
                                           std::size_t* consumed, std::string* output) {
    *consumed = 0;
    if (ssl_ == nullptr) {
        return SEC_E_INVALID_HANDLE;
    }
    if (complete_) {
        return SEC_E_OK;
    }
    // The records are fed one at a time, so that the library never holds bytes that follow
    // the last handshake message: they stay with the caller for the first read.
    std::size_t taken = 0;
    for (;;) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        Drain(output);
        if (result == 1) {
            *consumed = taken;
            break;
        }
        const int error = SSL_get_error(ssl_, result);
        if (error != SSL_ERROR_WANT_READ) {
            *consumed = taken;
            return FailureStatus(error);
        }
        const auto rest = input.subspan(taken);
        const std::size_t length = RecordLength(rest);
        if (length > kMaxRecordSize) {
            *consumed = taken;
            return SEC_E_ILLEGAL_MESSAGE;
        }
        if (length == 0 || length > rest.size()) {
            *consumed = taken;
            return rest.empty() ? SEC_I_CONTINUE_NEEDED : SEC_E_INCOMPLETE_MESSAGE;
        }
        BIO_write(input_, rest.data(), static_cast<int>(length));
        taken += length;
    }
    if (verify_) {
        // A server that presented no certificate has nothing that could carry the name.
        if (SSL_get0_peer_certificate(ssl_) == nullptr) {
            return SEC_E_WRONG_PRINCIPAL;
        }
        verifyResult_ = SSL_get_verify_result(ssl_);
        if (verifyResult_ != X509_V_OK) {
            return VerifyStatus(verifyResult_);
        }
    }
    complete_ = true;
    return SEC_E_OK;
}

SecPkgContext_StreamSizes SecurityContext::StreamSizes() const {
    SecPkgContext_StreamSizes sizes;
    if (!complete_) {
        return sizes;
    }
    const bool tls13 = SSL_version(ssl_) >= TLS1_3_VERSION;
    sizes.cbHeader = kRecordHeaderSize;
    // The most a record may add to its plaintext: 256 bytes from version 1.3 on, 2048 before.
    sizes.cbTrailer = tls13 ? 256 : 2048;
    sizes.cbMaximumMessage = kMaxPlaintextRecord;
    sizes.cbBuffers = 4;
    sizes.cbBlockSize = 1;
    if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl_)) {
        if (const EVP_CIPHER* evp = EVP_get_cipherbynid(SSL_CIPHER_get_cipher_nid(cipher))) {
            sizes.cbBlockSize = static_cast<DWORD>(EVP_CIPHER_get_block_size(evp));
        }
    }
    return sizes;
}

SECURITY_STATUS SecurityContext::EncryptRecord(const std::uint8_t* plaintext, DWORD length,
                                               std::uint8_t* record, DWORD capacity,
                                               DWORD* recordLength) {
    if (!complete_) {
        return SEC_E_INVALID_HANDLE;
    }
    const SecPkgContext_StreamSizes sizes = StreamSizes();
    const std::size_t pending = BIO_ctrl_pending(output_);
    if (length > sizes.cbMaximumMessage ||
        capacity < pending + sizes.cbHeader + length + sizes.cbTrailer) {
        return SEC_E_BUFFER_TOO_SMALL;
    }
    if (length > 0) {
        ERR_clear_error();
        if (SSL_write(ssl_, plaintext, static_cast<int>(length)) != static_cast<int>(length)) {
            ERR_clear_error();
            return SEC_E_INTERNAL_ERROR;
        }
    }
    const std::size_t made = BIO_ctrl_pending(output_);
    if (made > capacity) {
        return SEC_E_INTERNAL_ERROR;
    }
    const int read = made > 0 ? BIO_read(output_, record, static_cast<int>(made)) : 0;
    *recordLength = static_cast<DWORD>(std::max(read, 0));
    return SEC_E_OK;
}

SECURITY_STATUS SecurityContext::DecryptRecords(std::span<const std::uint8_t> input,
                                                std::size_t* consumed, std::string* plaintext,
                                                std::string* reply) {
    *consumed = 0;
    if (!complete_) {
        return SEC_E_INVALID_HANDLE;
    }
    std::size_t taken = 0;
    while (taken < input.size()) {
        const auto rest = input.subspan(taken);
        const std::size_t length = RecordLength(rest);
        if (length > kMaxRecordSize) {
            *consumed = taken;
            return SEC_E_ILLEGAL_MESSAGE;
        }
        if (length == 0 || length > rest.size()) {
            *consumed = taken;
            return SEC_E_INCOMPLETE_MESSAGE;
        }
        BIO_write(input_, rest.data(), static_cast<int>(length));
        taken += length;
        for (;;) {
            const std::size_t old = plaintext->size();
            plaintext->resize(old + kMaxPlaintextRecord);
            ERR_clear_error();
            const int read = SSL_read(ssl_, plaintext->data() + old, kMaxPlaintextRecord);
            plaintext->resize(old + static_cast<std::size_t>(std::max(read, 0)));
            if (read > 0) {
                continue;
            }
            const int error = SSL_get_error(ssl_, read);
            if (error == SSL_ERROR_WANT_READ) {
                AnswerKeyUpdate();
                Drain(reply);
                break;
            }
            Drain(reply);
            *consumed = taken;
            ERR_clear_error();
            return error == SSL_ERROR_ZERO_RETURN ? SEC_I_CONTEXT_EXPIRED : SEC_E_DECRYPT_FAILURE;
        }
    }
    *consumed = taken;
    return SEC_E_OK;
}

void SecurityContext::AnswerKeyUpdate() {
    // The library answers a peer's request for new keys only with the next record it writes;
    // a port that only receives would never answer, and the server may wait for it. The
    // answer is a key update that requests none, made now.
    if (SSL_version(ssl_) >= TLS1_3_VERSION &&
        SSL_get_key_update_type(ssl_) != SSL_KEY_UPDATE_NONE) {
        SSL_key_update(ssl_, SSL_KEY_UPDATE_NOT_REQUESTED);
        SSL_do_handshake(ssl_);
        ERR_clear_error();
    }
}

SECURITY_STATUS SecurityContext::Shutdown(std::string* output) {
    if (!complete_) {
        return SEC_E_INVALID_HANDLE;
    }
    ERR_clear_error();
    const int result = SSL_shutdown(ssl_);
    Drain(output);
    ERR_clear_error();
    return result < 0 ? SEC_E_INTERNAL_ERROR : SEC_E_OK;
}

std::string SecurityContext::Protocol() const {
    return complete_ ? SSL_get_version(ssl_) : std::string();
}

}  // namespace platform::tls
