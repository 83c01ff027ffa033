#include "monitor/stats/free_disk_space.h"

#include "monitor/stats/statistics_owner.h"
#include "platform/system/disk_space.h"

double CurrentDriveFreeBytes() {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    if (!platform::GetDiskFreeSpaceA(nullptr, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                     nullptr)) {
        return 0.0;
    }
    return static_cast<double>(sectorsPerCluster) * static_cast<double>(bytesPerSector) *
           static_cast<double>(freeClusters);
}

double StatisticsOwner::FreeDiskBytes() {
    return CurrentDriveFreeBytes();
}
