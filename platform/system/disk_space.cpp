#include "platform/system/disk_space.h"

#include <sys/statvfs.h>

#include <cerrno>

#include "platform/system/last_error.h"

namespace platform {

namespace {

bool Examine(const char* path, struct statvfs& info) {
    const char* where = (path && *path) ? path : ".";
    int rc;
    do {
        rc = ::statvfs(where, &info);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        FailWithErrno();
        return false;
    }
    return true;
}

void Store(DWORD* out, DWORD value) {
    if (out) {
        *out = value;
    }
}

void Store(std::uint64_t* out, std::uint64_t value) {
    if (out) {
        *out = value;
    }
}

}  // namespace

BOOL GetDiskFreeSpaceA(const char* path, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* freeClusters, DWORD* totalClusters) {
    struct statvfs info {};
    if (!Examine(path, info)) {
        return FALSE;
    }
    // A "sector" is the file system's fragment; it is small enough for a DWORD on every file
    // system Linux knows, but a file system that reports 0 would make every product 0.
    std::uint64_t sector = info.f_frsize ? info.f_frsize : info.f_bsize;
    if (sector == 0 || sector > 0xFFFFFFFFu) {
        SetLastError(static_cast<DWORD>(ERROR_INVALID_FUNCTION));
        return FALSE;
    }
    std::uint64_t perCluster = 1;
    std::uint64_t freeCount = info.f_bavail;
    std::uint64_t totalCount = info.f_blocks;
    while ((freeCount > 0xFFFFFFFFu || totalCount > 0xFFFFFFFFu) && perCluster < 0x80000000u) {
        perCluster *= 2;
        freeCount /= 2;
        totalCount /= 2;
    }
    Store(sectorsPerCluster, static_cast<DWORD>(perCluster));
    Store(bytesPerSector, static_cast<DWORD>(sector));
    Store(freeClusters, static_cast<DWORD>(freeCount > 0xFFFFFFFFu ? 0xFFFFFFFFu : freeCount));
    Store(totalClusters, static_cast<DWORD>(totalCount > 0xFFFFFFFFu ? 0xFFFFFFFFu : totalCount));
    return TRUE;
}

BOOL GetDiskFreeSpaceExA(const char* path, std::uint64_t* freeBytesAvailableToCaller,
                         std::uint64_t* totalBytes, std::uint64_t* totalFreeBytes) {
    struct statvfs info {};
    if (!Examine(path, info)) {
        return FALSE;
    }
    const std::uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    Store(freeBytesAvailableToCaller, static_cast<std::uint64_t>(info.f_bavail) * unit);
    Store(totalBytes, static_cast<std::uint64_t>(info.f_blocks) * unit);
    Store(totalFreeBytes, static_cast<std::uint64_t>(info.f_bfree) * unit);
    return TRUE;
}

}  // namespace platform
