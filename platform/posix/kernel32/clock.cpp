// The tick count and Sleep.
#include <time.h>

#include <cerrno>
#include <cstdint>

#include "platform/win32.h"

extern "C" {

DWORD WINAPI GetTickCount(void)
{
    struct timespec tNow;
    clock_gettime(CLOCK_MONOTONIC, &tNow);
    return static_cast<DWORD>(static_cast<uint64_t>(tNow.tv_sec) * 1000u +
                              static_cast<uint64_t>(tNow.tv_nsec) / 1000000u);
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    struct timespec tDelay;
    tDelay.tv_sec = static_cast<time_t>(dwMilliseconds / 1000u);
    tDelay.tv_nsec = static_cast<long>(dwMilliseconds % 1000u) * 1000000L;
    while (nanosleep(&tDelay, &tDelay) != 0 && errno == EINTR)
    {
    }
}

} // extern "C"
