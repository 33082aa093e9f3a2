// The main of every Windows test program, under CTest and in the test kit;
// docs/testing-on-windows.md says why each part is there.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/harness/harness.h"

namespace {

enum class Outcome { Passed, Failed, Skipped };

struct TestRecord {
    std::string suite;
    std::string name;
    Outcome outcome = Outcome::Passed;
    double seconds = 0;
    std::string failures; // every failed assertion, with where it is
    std::string skipMessage;
};

// Shared by the tests' thread and the time-limit thread.
SRWLOCK gLock = SRWLOCK_INIT;
std::vector<TestRecord> gRecords;
TestRecord gRunning;
ULONGLONG gRunningSince = 0;
bool gTestRunning = false;
bool gFinished = false;
// Far above what any test takes: the longest waits for what will come.
constexpr ULONGLONG kLimitMs = 300ULL * 1000;
std::wstring gXmlPath;

class ResultRecorder : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& test) override {
        AcquireSRWLockExclusive(&gLock);
        gRunning = TestRecord();
        gRunning.suite = test.test_suite_name();
        gRunning.name = test.name();
        gRunningSince = GetTickCount64();
        gTestRunning = true;
        ReleaseSRWLockExclusive(&gLock);
    }

    void OnTestEnd(const testing::TestInfo& test) override {
        const testing::TestResult& result = *test.result();
        TestRecord record = gRunning;
        record.seconds = static_cast<double>(result.elapsed_time()) / 1000.0;
        for (int i = 0; i < result.total_part_count(); ++i) {
            const testing::TestPartResult& part = result.GetTestPartResult(i);
            if (part.failed()) {
                record.failures += std::string(part.file_name() ? part.file_name() : "?") + ":" +
                                   std::to_string(part.line_number()) + "\n" + part.message() + "\n";
            } else if (part.skipped()) {
                record.skipMessage += part.message();
            }
        }
        record.outcome = result.Failed() ? Outcome::Failed : result.Skipped() ? Outcome::Skipped : Outcome::Passed;
        AcquireSRWLockExclusive(&gLock);
        gRecords.push_back(record);
        gTestRunning = false;
        ReleaseSRWLockExclusive(&gLock);
    }
};

// Markup escaped, anything but printable ASCII, tab and line feed replaced
// (the tests' messages show wide text as \uXXXX).
std::string XmlText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#x0A;"; break;
        case '\t': out += c; break;
        default: out += c >= 0x20 && c < 0x7F ? c : '?';
        }
    }
    return out;
}

// GoogleTest's XML form, as far as the kit reads it.
std::string ResultsXml(const std::vector<TestRecord>& records) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"AllTests\">\n";
    for (const TestRecord& record : records) {
        char seconds[32];
        (void)snprintf(seconds, sizeof(seconds), "%.3f", record.seconds);
        xml += "  <testcase name=\"" + XmlText(record.name) + "\" status=\"run\" result=\"" +
               (record.outcome == Outcome::Skipped ? "skipped" : "completed") + "\" time=\"" + seconds +
               "\" classname=\"" + XmlText(record.suite) + "\">\n";
        if (record.outcome == Outcome::Failed) {
            xml += "    <failure message=\"" + XmlText(record.failures) + "\" type=\"\"/>\n";
        } else if (record.outcome == Outcome::Skipped) {
            xml += "    <skipped message=\"" + XmlText(record.skipMessage) + "\"/>\n";
        }
        xml += "  </testcase>\n";
    }
    return xml + "</testsuites>\n";
}

// Writes the XML file asked for, making its folder as GoogleTest does.
// Called with gLock held.
bool WriteResults() {
    if (gXmlPath.empty()) {
        return true;
    }
    for (size_t separator = gXmlPath.find_first_of(L"\\/", 3); separator != std::wstring::npos;
         separator = gXmlPath.find_first_of(L"\\/", separator + 1)) {
        CreateDirectoryW(gXmlPath.substr(0, separator).c_str(), nullptr);
    }
    const std::string xml = ResultsXml(gRecords);
    const OwnedHandle file(CreateFileW(gXmlPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool ok = file && WriteFile(file.handle, xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr) &&
                    written == xml.size();
    const DWORD error = GetLastError();
    if (!ok) {
        (void)fprintf(stderr, "cannot write the XML results (error %lu)\n", error);
    }
    return ok;
}

void Print(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Records the running test as failed, writes the results, ends the started
// programs and the program. Called with gLock held.
[[noreturn]] void EndTimedOutTest() {
    TestRecord record = gRunning;
    record.outcome = Outcome::Failed;
    record.seconds = static_cast<double>(GetTickCount64() - gRunningSince) / 1000.0;
    record.failures = "ran past its time limit of " + std::to_string(kLimitMs / 1000) +
                      " s; the program was ended there, and its later tests did not run";
    gRecords.push_back(record);
    const int ended = EndStartedPrograms();
    WriteResults();
    // GoogleTest's summary lines, as the kit counts them.
    size_t counts[3] = {};
    std::string failed;
    for (const TestRecord& done : gRecords) {
        ++counts[static_cast<int>(done.outcome)];
        failed += done.outcome == Outcome::Failed ? "[  FAILED  ] " + done.suite + "." + done.name + "\n" : "";
    }
    std::string summary = "\n[ TIME OUT ] " + record.suite + "." + record.name + " " + record.failures + " (" +
                          std::to_string(ended) + " started program(s) ended)\n[  PASSED  ] " +
                          std::to_string(counts[0]) + " tests.\n";
    if (counts[2]) {
        summary += "[  SKIPPED ] " + std::to_string(counts[2]) + " tests, listed below:\n";
    }
    summary += "[  FAILED  ] " + std::to_string(counts[1]) + " tests, listed below:\n" + failed;
    Print(summary);
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;) {
        Sleep(INFINITE);
    }
}

DWORD WINAPI WatchTheClock(void*) {
    for (;;) {
        Sleep(500);
        AcquireSRWLockExclusive(&gLock);
        if (!gFinished && gTestRunning && GetTickCount64() - gRunningSince > kLimitMs) {
            EndTimedOutTest();
        }
        ReleaseSRWLockExclusive(&gLock);
    }
}

// The tests and the programs they start run on a desktop of their own, out
// of the user's reach; the tests on a fresh thread, which has no window or
// hook to keep it from moving there. Under Wine, a desktop whose size its
// settings do not name waits two seconds at every show or hide.
const wchar_t kWineDesktops[] = L"Software\\Wine\\Explorer\\Desktops";

std::wstring DesktopName() { return L"Dozemark tests " + std::to_wstring(GetCurrentProcessId()); }

DWORD WINAPI RunTestsOnTheirDesktop(void* result) {
    if (OptionalFunction<void (*)()>(L"ntdll.dll", "wine_get_version")) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kWineDesktops, DesktopName().c_str(), REG_SZ, L"1024x768",
                        sizeof(L"1024x768"));
    }
    HDESK desktop = CreateDesktopW(DesktopName().c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (!desktop || !SetThreadDesktop(desktop)) {
        (void)fprintf(stderr, "cannot make the tests' desktop or move to it (error %lu)\n", GetLastError());
        return 0;
    }
    *static_cast<int*>(result) = RUN_ALL_TESTS();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // A started program that cannot load, or crashes, ends with an exit code
    // instead of opening a box on the user's screen: they inherit the mode.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::vector<wchar_t*> args;
    const wchar_t kXmlOption[] = L"--gtest_output=xml:";
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && wcsncmp(argv[i], kXmlOption, wcslen(kXmlOption)) == 0) {
            gXmlPath = argv[i] + wcslen(kXmlOption);
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    testing::InitGoogleTest(&count, args.data());
    testing::UnitTest::GetInstance()->listeners().Append(new ResultRecorder);
    // For whoever reads the results: the folder names a program can take
    // through the ANSI functions depend on these.
    printf("code pages: ANSI %u, OEM %u\n", GetACP(), GetOEMCP());
    if (!StartedProgramsJob()) {
        (void)fprintf(stderr, "cannot make the job for the programs it starts (error %lu)\n", GetLastError());
        return 1;
    }

    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    const OwnedHandle watch(CreateThread(nullptr, 0, WatchTheClock, nullptr, 0, nullptr));
    int result = 1;
    const OwnedHandle tests(CreateThread(nullptr, 0, RunTestsOnTheirDesktop, &result, 0, nullptr));
    if (tests) {
        WaitForSingleObject(tests.handle, INFINITE);
    }

    AcquireSRWLockExclusive(&gLock);
    gFinished = true;
    const int leftRunning = EndStartedPrograms();
    const bool written = WriteResults();
    ReleaseSRWLockExclusive(&gLock);
    if (leftRunning) {
        (void)fprintf(stderr, "%d started program(s) were still running at the end, and were ended\n", leftRunning);
    }
    SetThreadExecutionState(ES_CONTINUOUS);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineDesktops, DesktopName().c_str());
    return result == 0 && written && leftRunning == 0 ? 0 : 1;
}
