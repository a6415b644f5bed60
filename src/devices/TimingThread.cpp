#include "devices/TimingThread.h"

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#include <sched.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace taktwerk::devices {

void prepareTimingThread(int priority) noexcept
{
#ifdef __linux__
    // The default slack of 50 us would make every wake-up that much late.
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
#if defined(__unix__) || defined(__APPLE__)
    sched_param parameters{};
    parameters.sched_priority = priority;
    // Refused without the privilege; see the header.
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);
#else
    (void)priority;
#endif
}

}  // namespace taktwerk::devices
