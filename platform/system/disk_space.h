#pragma once
// Free disk space of the file system that holds a path, as GetDiskFreeSpaceA and
// GetDiskFreeSpaceExA report it. The space counted as free is what an unprivileged user may
// still fill (the blocks reserved for the superuser are left out). A null path means the
// current directory, as a null root means the current drive on Windows.

#include <cstdint>

#include "platform/win/win_types.h"

namespace platform {

// The geometry form: free bytes = sectors per cluster x bytes per sector x free clusters.
// Cluster counts of very large file systems are expressed with larger clusters, so that they
// fit in 32 bits and the products stay correct (rounded down to a whole cluster). Any of the
// outputs may be null. FALSE with the last error set when the path cannot be examined.
BOOL GetDiskFreeSpaceA(const char* path, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* freeClusters, DWORD* totalClusters);

// The byte form. Any of the outputs may be null.
BOOL GetDiskFreeSpaceExA(const char* path, std::uint64_t* freeBytesAvailableToCaller,
                         std::uint64_t* totalBytes, std::uint64_t* totalFreeBytes);

}  // namespace platform
