// A DLL planted beside the program must never be loaded, and the program's
// load-time imports must all be KnownDLLs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <string>

#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/harness/harness.h"
#include "tests/narrow_text.h"

namespace {

// A fresh folder holding `program` (as `name`) and the decoy, planted as
// `planted`. Whatever name it has, the decoy leaves its marker when loaded.
std::wstring PlantBeside(const std::wstring& folderName, const std::wstring& program, const std::wstring& name,
                         const std::wstring& planted = L"winmm.dll") {
    std::wstring folder = TestsFolder() + folderName + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    DeleteFileW((folder + L"decoy-loaded.marker").c_str());
    EXPECT_TRUE(CopyFileW(program.c_str(), (folder + name).c_str(), FALSE)) << "cannot copy " << Narrow(program);
    EXPECT_TRUE(CopyFileW((TestsFolder() + L"decoy_winmm.dll").c_str(), (folder + planted).c_str(), FALSE))
        << "cannot plant " << Narrow(planted);
    return folder;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), ::towlower);
    return text;
}

void Skip(const std::string& why) {
    GTEST_SKIP() << why;
}

// Under Wine a built-in DLL is taken from beside a program only where
// WINEDLLOVERRIDES puts the native copy first, as CTest does; Windows needs
// no setting. Skips the test, saying why, where a planted `dll` could not
// load; whether it did.
bool SkippedUnlessAPlantCanLoad(const std::wstring& dll) {
    wchar_t overrides[1024] = L"";
    const DWORD length = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, ARRAYSIZE(overrides));
    if (!OptionalFunction<void (*)()>(L"ntdll.dll", "wine_get_version") ||
        Lower(std::wstring(overrides, length < ARRAYSIZE(overrides) ? length : 0)).find(dll + L"=n") !=
            std::wstring::npos) {
        return false;
    }
    Skip("under Wine a planted " + Narrow(dll) + ".dll is loaded only with WINEDLLOVERRIDES=" + Narrow(dll) +
         "=n,b, which is not set; on Windows this test needs no setting");
    return true;
}

bool DecoyWasLoaded(const std::wstring& folder) {
    return GetFileAttributesW((folder + L"decoy-loaded.marker").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in the import directory of a program, mapped by Windows as an
// image (and not run).
std::set<std::string> LoadTimeImports(const std::wstring& path, std::string* error) {
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        *error = "cannot map " + Narrow(path) + ", error " + std::to_string(GetLastError());
        return {};
    }
    // The low bits of the handle mark a module mapped as a resource.
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR{3});
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::set<std::string> names;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; ++entry) {
        names.insert(reinterpret_cast<const char*>(base + entry->Name));
    }
    FreeLibrary(module);
    return names;
}

} // namespace

TEST(DllPlanting, LoadTimeImportsAreKnownDllsOnly) {
    std::string error;
    const std::set<std::string> imports = LoadTimeImports(ProgramPath(), &error);
    ASSERT_TRUE(error.empty()) << error;
    // Each of these is a KnownDLL on every supported Windows.
    const std::set<std::string> known = {"kernel32.dll", "user32.dll", "msvcrt.dll", "gdi32.dll", "advapi32.dll"};
    std::string listed;
    for (const std::string& name : imports) {
        listed += name + " ";
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        EXPECT_TRUE(known.count(lower)) << name << " is imported at load time and is not a KnownDLL";
    }
    printf("load-time imports: %s\n", listed.c_str());
    EXPECT_FALSE(imports.empty());
}

TEST(DllPlanting, ControlProgramWithStaticWinmmLoadsThePlant) {
    if (SkippedUnlessAPlantCanLoad(L"winmm")) {
        return;
    }
    // Not named after a program in System32: antivirus takes that, beside an
    // unsigned winmm.dll, for DLL side-loading.
    const std::wstring folder =
        PlantBeside(L"planted-control", TestsFolder() + L"static_winmm_control.exe", L"static_winmm_control.exe");
    DozemarkProcess control;
    ASSERT_EQ("", StartProgram(&control, folder + L"static_winmm_control.exe", folder));
    EXPECT_EQ(0u, WaitForExit(control, kAnswerMs)) << "the control program failed";
    EXPECT_TRUE(DecoyWasLoaded(folder))
        << "the control did not load the planted winmm.dll, so this test could not see a plant being loaded";
}

namespace {

// Starts Dozemark beside a planted winmm.dll and makes a one-second run per
// entry (the timer option on or off), checking after each that winmm came
// from System32 and the plant was never loaded.
void ExpectPlantNeverLoaded(const std::wstring& folderName, std::initializer_list<bool> timerPeriodRuns) {
    const std::wstring folder = PlantBeside(folderName, ProgramPath(), L"dozemark.exe");
    DozemarkProcess app;
    ASSERT_EQ("", StartDozemark(&app, folder + L"dozemark.exe"));
    EXPECT_FALSE(DecoyWasLoaded(folder)) << "loaded at start";
    // An input method or a hook may load winmm.dll from System32 meanwhile:
    // only the planted folder's is a fault.
    const std::wstring early = Lower(ModulePathIn(app.info.dwProcessId, L"winmm.dll"));
    EXPECT_NE(0u, early.find(Lower(folder))) << "winmm.dll came from the planted folder before the first run";
    printf("winmm.dll before the first run: %s\n", early.empty() ? "not loaded" : Narrow(early).c_str());

    for (bool timerPeriod : timerPeriodRuns) {
        SetChecked(app.dialog, IDC_CALL_TIMEBEGINPERIOD, timerPeriod);
        PrepareRun(app, false, false, true, L"1");
        const RunObservation seen = PressRun(app);
        ASSERT_NE(nullptr, seen.report) << "no report, timer period " << timerPeriod;
        const std::wstring winmm = Lower(ModulePathIn(app.info.dwProcessId, L"winmm.dll"));
        EXPECT_NE(std::wstring::npos, winmm.find(L"\\system32\\winmm.dll"))
            << "winmm.dll came from " << Narrow(winmm);
        PressOk(seen.report);
        WaitForWindowGone(seen.report, kAnswerMs);
        EXPECT_FALSE(DecoyWasLoaded(folder)) << "loaded by a run, timer period " << timerPeriod;
    }
    PressKey(GetDlgItem(app.dialog, IDC_SECONDS), VK_ESCAPE);
    EXPECT_EQ(0u, WaitForExit(app, kAnswerMs));
    EXPECT_FALSE(DecoyWasLoaded(folder));
}

} // namespace

TEST(DllPlanting, DozemarkNeverLoadsThePlant) {
    if (SkippedUnlessAPlantCanLoad(L"winmm")) {
        return;
    }
    ExpectPlantNeverLoaded(L"planted-dozemark", {true, false});
}

// Without the timer option the first winmm call a fresh process makes is
// timeGetTime inside the timed loop.
TEST(DllPlanting, FirstRunWithoutTimerPeriodNeverLoadsThePlant) {
    if (SkippedUnlessAPlantCanLoad(L"winmm")) {
        return;
    }
    ExpectPlantNeverLoaded(L"planted-dozemark-no-period", {false});
}

// uxtheme.dll, not a KnownDLL, is loaded by name while the dialog is made;
// the DLL search is restricted to System32 before that.
TEST(DllPlanting, DialogNeverLoadsAPlantedThemeDll) {
    if (SkippedUnlessAPlantCanLoad(L"uxtheme")) {
        return;
    }
    const std::wstring folder = PlantBeside(L"planted-uxtheme", ProgramPath(), L"dozemark.exe", L"uxtheme.dll");
    DozemarkProcess app;
    const std::string started = StartDozemark(&app, folder + L"dozemark.exe");
    // The dialog is up: whatever it loads by name has been loaded.
    Settle(500);
    const std::wstring uxtheme = Lower(ModulePathIn(app.info.dwProcessId, L"uxtheme.dll"));
    EXPECT_FALSE(DecoyWasLoaded(folder)) << "the planted " << Narrow(folder) << "uxtheme.dll was loaded";
    ASSERT_EQ("", started);
    if (!uxtheme.empty()) {
        EXPECT_NE(std::wstring::npos, uxtheme.find(L"\\system32\\uxtheme.dll"))
            << "uxtheme.dll came from " << Narrow(uxtheme);
    }
    printf("uxtheme.dll in the process: %s\n", uxtheme.empty() ? "not loaded" : Narrow(uxtheme).c_str());
    PressKey(GetDlgItem(app.dialog, IDC_SECONDS), VK_ESCAPE);
    EXPECT_EQ(0u, WaitForExit(app, kAnswerMs));
}
