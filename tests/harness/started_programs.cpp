#include "tests/harness/harness.h"

HANDLE StartedProgramsJob() {
    // Never closed: Windows closes it as the test program ends, and then
    // ends every program still in it.
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
        if (created && !SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
            CloseHandle(created);
            created = nullptr;
        }
        return created;
    }();
    return job;
}

int EndStartedPrograms() {
    // The job may still list a program that has just ended.
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids = {};
    ids.list.NumberOfAssignedProcesses = 64;
    QueryInformationJobObject(StartedProgramsJob(), JobObjectBasicProcessIdList, &ids, sizeof(ids), nullptr);
    int running = 0;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList && i < 64; ++i) {
        const OwnedHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(ids.list.ProcessIdList[i])));
        running += process && WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT;
    }
    if (running) {
        TerminateJobObject(StartedProgramsJob(), 1);
    }
    return running;
}
