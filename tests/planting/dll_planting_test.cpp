// A DLL planted beside the program must never be loaded, and the program's
// load-time imports must all be KnownDLLs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/narrow_text.h"
#include "tests/wine/test_paths.h"

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

// Under Wine, a DLL that Wine has built in is taken from beside a program
// only when WINEDLLOVERRIDES puts the native copy first, as CTest does for
// these tests; Windows needs no such setting. Returns why a planted
// `dll` ("winmm", say) could not be loaded here, or "" when it could.
std::string WhyAPlantCannotLoadHere(const std::wstring& dll) {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        return "";
    }
    wchar_t overrides[1024] = L"";
    const DWORD length = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, ARRAYSIZE(overrides));
    if (Lower(std::wstring(overrides, length < ARRAYSIZE(overrides) ? length : 0)).find(dll + L"=n") !=
        std::wstring::npos) {
        return "";
    }
    return "under Wine a planted " + Narrow(dll) + ".dll is loaded only with WINEDLLOVERRIDES=" + Narrow(dll) +
           "=n,b, which is not set; on Windows this test needs no setting";
}

bool DecoyWasLoaded(const std::wstring& folder) {
    return GetFileAttributesW((folder + L"decoy-loaded.marker").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in the PE import directory of a file.
std::set<std::string> LoadTimeImports(const std::wstring& path, std::string* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot open " + Narrow(path);
        return {};
    }
    std::vector<char> bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    const BOOL readAll = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    if (!readAll || read != bytes.size()) {
        *error = "cannot read " + Narrow(path);
        return {};
    }
    std::set<std::string> names;
    auto at = [&](size_t offset, size_t size) -> const char* {
        return offset + size <= bytes.size() ? bytes.data() + offset : nullptr;
    };
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS64 nt;
    if (!at(0, sizeof(dos))) {
        *error = "file too short";
        return {};
    }
    memcpy(&dos, at(0, sizeof(dos)), sizeof(dos));
    const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
    if (!at(ntOffset, sizeof(nt))) {
        *error = "no NT headers";
        return {};
    }
    memcpy(&nt, at(ntOffset, sizeof(nt)), sizeof(nt));
    const size_t sectionsOffset = ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                  nt.FileHeader.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
    for (size_t i = 0; i < sections.size(); ++i) {
        memcpy(&sections[i], at(sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER), sizeof(IMAGE_SECTION_HEADER)),
               sizeof(IMAGE_SECTION_HEADER));
    }
    auto fileOffset = [&](DWORD rva) -> size_t {
        for (const IMAGE_SECTION_HEADER& s : sections) {
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
                return rva - s.VirtualAddress + s.PointerToRawData;
            }
        }
        return bytes.size();
    };
    const IMAGE_DATA_DIRECTORY imports = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (size_t offset = fileOffset(imports.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const char* raw = at(offset, sizeof(IMAGE_IMPORT_DESCRIPTOR));
        if (!raw) {
            *error = "import directory runs off the file";
            return names;
        }
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        memcpy(&descriptor, raw, sizeof(descriptor));
        if (descriptor.Name == 0) {
            break;
        }
        const char* name = at(fileOffset(descriptor.Name), 1);
        names.insert(name ? name : "?");
    }
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
    const std::string why = WhyAPlantCannotLoadHere(L"winmm");
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    const std::wstring folder =
        PlantBeside(L"planted-control", TestsFolder() + L"static_winmm_control.exe", L"control.exe");
    DozemarkProcess control;
    ASSERT_TRUE(StartProgram(&control, folder + L"control.exe", folder)) << "error " << GetLastError();
    EXPECT_EQ(0u, WaitForExit(control, 20000)) << "the control program failed";
    EXPECT_TRUE(DecoyWasLoaded(folder))
        << "the control did not load the planted winmm.dll, so this test could not see a plant being loaded";
}

namespace {

// Starts Dozemark beside a planted winmm.dll in a fresh folder and makes one
// one-second run per entry of timerPeriodRuns (the timer option on or off),
// checking after each that winmm came from System32 and the plant was never
// loaded.
void ExpectPlantNeverLoaded(const std::wstring& folderName, std::initializer_list<bool> timerPeriodRuns) {
    const std::wstring folder = PlantBeside(folderName, ProgramPath(), L"dozemark.exe");
    DozemarkProcess app;
    ASSERT_TRUE(StartDozemark(&app, 20000, folder + L"dozemark.exe"));
    EXPECT_FALSE(DecoyWasLoaded(folder)) << "loaded at start";
    EXPECT_EQ("", Narrow(ModulePathIn(app.info.dwProcessId, L"winmm.dll"))) << "winmm.dll loaded before the first run";

    HWND seconds = GetDlgItem(app.dialog, IDC_SECONDS);
    SetChecked(app.dialog, IDC_MINIMIZE, false);
    for (bool timerPeriod : timerPeriodRuns) {
        SetChecked(app.dialog, IDC_CALL_TIMEBEGINPERIOD, timerPeriod);
        ClearField(seconds);
        Type(seconds, L"1");
        Press(app.dialog, IDC_RUN);
        HWND report = WaitForProcessWindow(app.info.dwProcessId, kReportCaption, 15000);
        ASSERT_NE(nullptr, report) << "no report, timer period " << timerPeriod;
        const std::wstring winmm = Lower(ModulePathIn(app.info.dwProcessId, L"winmm.dll"));
        EXPECT_NE(std::wstring::npos, winmm.find(L"\\system32\\winmm.dll"))
            << "winmm.dll came from " << Narrow(winmm);
        PressOk(report);
        WaitForWindowGone(report, 5000);
        EXPECT_FALSE(DecoyWasLoaded(folder)) << "loaded by a run, timer period " << timerPeriod;
    }
    PressKey(seconds, VK_ESCAPE);
    EXPECT_EQ(0u, WaitForExit(app, 10000));
    EXPECT_FALSE(DecoyWasLoaded(folder));
}

} // namespace

TEST(DllPlanting, DozemarkNeverLoadsThePlant) {
    const std::string why = WhyAPlantCannotLoadHere(L"winmm");
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    ExpectPlantNeverLoaded(L"planted-dozemark", {true, false});
}

// Without the timer option the first winmm call a fresh process makes is
// timeGetTime inside the timed loop.
TEST(DllPlanting, FirstRunWithoutTimerPeriodNeverLoadsThePlant) {
    const std::string why = WhyAPlantCannotLoadHere(L"winmm");
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    ExpectPlantNeverLoaded(L"planted-dozemark-no-period", {false});
}

// The theming component, uxtheme.dll, is loaded into the process by name
// while the dialog is made, before any run, and it is not a KnownDLL. The
// program restricts the DLL search to System32 before it makes the dialog,
// so a copy beside it is never loaded.
TEST(DllPlanting, DialogNeverLoadsAPlantedThemeDll) {
    const std::string why = WhyAPlantCannotLoadHere(L"uxtheme");
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    const std::wstring folder = PlantBeside(L"planted-uxtheme", ProgramPath(), L"dozemark.exe", L"uxtheme.dll");
    DozemarkProcess app;
    const bool started = StartDozemark(&app, 20000, folder + L"dozemark.exe");
    // The dialog is up: whatever it loads by name has been loaded.
    Settle(500);
    const std::wstring uxtheme = Lower(ModulePathIn(app.info.dwProcessId, L"uxtheme.dll"));
    EXPECT_FALSE(DecoyWasLoaded(folder)) << "the planted " << Narrow(folder) << "uxtheme.dll was loaded";
    ASSERT_TRUE(started) << "the dialog did not appear within 20 s";
    if (!uxtheme.empty()) {
        EXPECT_NE(std::wstring::npos, uxtheme.find(L"\\system32\\uxtheme.dll"))
            << "uxtheme.dll came from " << Narrow(uxtheme);
    }
    printf("uxtheme.dll in the process: %s\n", uxtheme.empty() ? "not loaded" : Narrow(uxtheme).c_str());
    PressKey(GetDlgItem(app.dialog, IDC_SECONDS), VK_ESCAPE);
    EXPECT_EQ(0u, WaitForExit(app, 10000));
}
