// The process's memory as the bench reports it, in MiB.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

// The most the process has held resident so far (what /usr/bin/time -f %M
// reports at its end).
inline double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// What the process holds resident now.
inline double CurrentRssMiB() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}
