#include <process.h>

#include "measure/measure_worker.h"
#include "measure/os_calls_win32.h"

namespace {

void EndWorkerThread(uint32_t exitCode) {
    _endthreadex(exitCode);
}

} // namespace

unsigned __stdcall MeasureSleep(void* arg) {
    Win32Clock clock;
    return MeasureSleepWith(*static_cast<WorkerParams*>(arg), Win32OsCalls(), clock, EndWorkerThread);
}
