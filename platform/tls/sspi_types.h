#pragma once
// The statuses, buffer types and records of the security package that the secure channel is
// written against, with the Windows SDK names and values. A status is negative for a failure;
// SEC_I_ values are successes that ask the caller for something.

#include <cstdint>

#include "platform/win/win_types.h"

#ifndef _WIN32

using SECURITY_STATUS = LONG;

constexpr SECURITY_STATUS SEC_E_OK = 0;
constexpr SECURITY_STATUS SEC_I_CONTINUE_NEEDED = 0x00090312;
constexpr SECURITY_STATUS SEC_I_CONTEXT_EXPIRED = 0x00090317;
constexpr SECURITY_STATUS SEC_I_INCOMPLETE_CREDENTIALS = 0x00090320;
constexpr SECURITY_STATUS SEC_I_RENEGOTIATE = 0x00090321;
constexpr SECURITY_STATUS SEC_E_INSUFFICIENT_MEMORY = static_cast<LONG>(0x80090300u);
constexpr SECURITY_STATUS SEC_E_INVALID_HANDLE = static_cast<LONG>(0x80090301u);
constexpr SECURITY_STATUS SEC_E_INTERNAL_ERROR = static_cast<LONG>(0x80090304u);
constexpr SECURITY_STATUS SEC_E_INVALID_TOKEN = static_cast<LONG>(0x80090308u);
constexpr SECURITY_STATUS SEC_E_NO_CREDENTIALS = static_cast<LONG>(0x8009030Eu);
constexpr SECURITY_STATUS SEC_E_MESSAGE_ALTERED = static_cast<LONG>(0x8009030Fu);
constexpr SECURITY_STATUS SEC_E_CONTEXT_EXPIRED = static_cast<LONG>(0x80090317u);
constexpr SECURITY_STATUS SEC_E_INCOMPLETE_MESSAGE = static_cast<LONG>(0x80090318u);
constexpr SECURITY_STATUS SEC_E_BUFFER_TOO_SMALL = static_cast<LONG>(0x80090321u);
constexpr SECURITY_STATUS SEC_E_WRONG_PRINCIPAL = static_cast<LONG>(0x80090322u);
constexpr SECURITY_STATUS SEC_E_TIME_SKEW = static_cast<LONG>(0x80090324u);
constexpr SECURITY_STATUS SEC_E_UNTRUSTED_ROOT = static_cast<LONG>(0x80090325u);
constexpr SECURITY_STATUS SEC_E_ILLEGAL_MESSAGE = static_cast<LONG>(0x80090326u);
constexpr SECURITY_STATUS SEC_E_CERT_UNKNOWN = static_cast<LONG>(0x80090327u);
constexpr SECURITY_STATUS SEC_E_CERT_EXPIRED = static_cast<LONG>(0x80090328u);
constexpr SECURITY_STATUS SEC_E_DECRYPT_FAILURE = static_cast<LONG>(0x80090330u);

// Results of the certificate chain and policy checks.
constexpr LONG CERT_E_EXPIRED = static_cast<LONG>(0x800B0101u);
constexpr LONG CERT_E_UNTRUSTEDROOT = static_cast<LONG>(0x800B0109u);
constexpr LONG CERT_E_CHAINING = static_cast<LONG>(0x800B010Au);
constexpr LONG CERT_E_CN_NO_MATCH = static_cast<LONG>(0x800B010Fu);
constexpr LONG CERT_E_WRONG_USAGE = static_cast<LONG>(0x800B0110u);
constexpr LONG TRUST_E_CERT_SIGNATURE = static_cast<LONG>(0x80096004u);

constexpr DWORD SECBUFFER_EMPTY = 0;
constexpr DWORD SECBUFFER_DATA = 1;
constexpr DWORD SECBUFFER_TOKEN = 2;
constexpr DWORD SECBUFFER_EXTRA = 5;
constexpr DWORD SECBUFFER_STREAM_TRAILER = 6;
constexpr DWORD SECBUFFER_STREAM_HEADER = 7;

constexpr DWORD ISC_REQ_REPLAY_DETECT = 0x00000004;
constexpr DWORD ISC_REQ_SEQUENCE_DETECT = 0x00000008;
constexpr DWORD ISC_REQ_CONFIDENTIALITY = 0x00000010;
constexpr DWORD ISC_REQ_ALLOCATE_MEMORY = 0x00000100;
constexpr DWORD ISC_REQ_EXTENDED_ERROR = 0x00004000;
constexpr DWORD ISC_REQ_STREAM = 0x00008000;

struct SecPkgContext_StreamSizes {
    DWORD cbHeader = 0;
    DWORD cbTrailer = 0;
    DWORD cbMaximumMessage = 0;
    DWORD cbBuffers = 0;
    DWORD cbBlockSize = 0;
};

#endif

// True for the statuses that end an operation in failure.
constexpr bool SecFailed(SECURITY_STATUS status) {
    return status < 0;
}

namespace platform::tls {

// A record on the wire: a 5-byte header (type, version, length) and at most 2^14 + 2048 bytes
// of protected data, whatever the protocol version.
constexpr DWORD kRecordHeaderSize = 5;
constexpr DWORD kMaxRecordBody = 16384 + 2048;
constexpr DWORD kMaxRecordSize = kRecordHeaderSize + kMaxRecordBody;
constexpr DWORD kMaxPlaintextRecord = 16384;

}  // namespace platform::tls
