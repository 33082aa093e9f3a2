#include "tests/wine/started_processes.h"

#include <algorithm>
#include <vector>

namespace {

// Read by the time-limit thread while the tests' thread adds and removes.
SRWLOCK gLock = SRWLOCK_INIT;
std::vector<HANDLE> gProcesses;

} // namespace

void TrackStartedProcess(HANDLE process) {
    AcquireSRWLockExclusive(&gLock);
    gProcesses.push_back(process);
    ReleaseSRWLockExclusive(&gLock);
}

void ForgetStartedProcess(HANDLE process) {
    AcquireSRWLockExclusive(&gLock);
    gProcesses.erase(std::remove(gProcesses.begin(), gProcesses.end(), process), gProcesses.end());
    ReleaseSRWLockExclusive(&gLock);
}

int EndStartedProcesses() {
    int ended = 0;
    AcquireSRWLockExclusive(&gLock);
    for (HANDLE process : gProcesses) {
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            ++ended;
        }
    }
    // The handles stay with their owners, who close them.
    gProcesses.clear();
    ReleaseSRWLockExclusive(&gLock);
    return ended;
}
