#ifndef PROCESSMEASURES_H
#define PROCESSMEASURES_H

#include <ctime>
#include <fstream>
#include <string>

// What the benchmarks read of their own process: processor time and the memory figures of
// /proc/self/status.

// Processor time of the whole process (every thread), in seconds.
inline double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A figure of /proc/self/status in kB, such as "VmRSS" (resident now) or "VmHWM" (peak);
// 0 where the system has no such file.
inline long processStatusKb(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return 0;
}

#endif // PROCESSMEASURES_H
