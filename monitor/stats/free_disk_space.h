#pragma once
// Free space on the drive the reports go to, as the report gate reads it.

// Reports are written only while more than this many bytes are free.
constexpr double kReportMinimumFreeBytes = 2000000.0;

// sectors per cluster x bytes per sector x free clusters of the current drive (the working
// directory's file system), as a floating-point value; 0 when it cannot be read.
double CurrentDriveFreeBytes();
