// The executable's resources, read from the built program as a data file.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/narrow_text.h"
#include "tests/harness/harness.h"
#include "version.h"

namespace {

class ProgramResources : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, module_) << "cannot load the program as data, error " << GetLastError();
    }
    void TearDown() override {
        if (module_) {
            FreeLibrary(module_);
        }
    }

    // The bytes of one resource, empty when it is missing.
    std::vector<BYTE> Resource(LPCWSTR type, LPCWSTR name, WORD language) const {
        HRSRC found = FindResourceExW(module_, type, name, language);
        if (!found) {
            return {};
        }
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
        return std::vector<BYTE>(data, data + SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

// Walks a DLGTEMPLATEEX.
struct TemplateReader {
    const BYTE* at;
    const BYTE* end;

    bool Has(size_t bytes) const { return static_cast<size_t>(end - at) >= bytes; }
    template <typename T>
    T Next() {
        T v;
        memcpy(&v, at, sizeof(T));
        at += sizeof(T);
        return v;
    }
    WORD Word() { return Next<WORD>(); }
    DWORD Dword() { return Next<DWORD>(); }
    short Short() { return Next<short>(); }
    // A string, or "#n" for an ordinal.
    std::wstring SzOrOrd() {
        if (Has(4) && (at[0] | at[1] << 8) == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        std::wstring text;
        while (Has(2)) {
            const WORD c = Word();
            if (c == 0) {
                break;
            }
            text += static_cast<wchar_t>(c);
        }
        return text;
    }
    void AlignDword(const BYTE* base) {
        while ((at - base) % 4) {
            ++at;
        }
    }
};

struct ExpectedControl {
    DWORD id;
    const wchar_t* classOrdinal; // #128 button, #129 edit, #130 static
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

constexpr DWORD kCheckBox = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;

const ExpectedControl kControls[] = {
    {1000, L"#128", L"Button", L"実行", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 6, 84, 54, 18},
    {1001, L"#128", L"Button", L"SetProcessInformation をコールする", kCheckBox, 0, 6, 6, 156, 10},
    {1002, L"#128", L"Button", L"timeBeginPeriod(1), timeEndPeriod(1) をコールする", kCheckBox, 0, 6, 18, 156, 10},
    {0xFFFFFFFF, L"#130", L"Static", L"実行時間(秒)", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, 6, 70, 40, 8},
    {1003, L"#129", L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, WS_EX_RIGHT,
     49, 66, 25, 14},
    {1004, L"#128", L"Button", L"ウィンドウを最小化する", kCheckBox, 0, 6, 30, 156, 10},
    {1005, L"#128", L"Button", L"ウィンドウを非表示にする", kCheckBox, 0, 6, 42, 156, 10},
    {1006, L"#128", L"Button", L"別スレッドで実行", kCheckBox, 0, 6, 54, 156, 10},
};

// An entry of an icon group resource (GRPICONDIRENTRY).
#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colourCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

} // namespace

TEST_F(ProgramResources, DialogTemplateHeader) {
    const std::vector<BYTE> data = Resource(RT_DIALOG, MAKEINTRESOURCEW(103), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_FALSE(data.empty()) << "no Japanese dialog 103";
    TemplateReader r{data.data(), data.data() + data.size()};
    ASSERT_TRUE(r.Has(26));
    EXPECT_EQ(1, r.Word()) << "dlgVer";
    EXPECT_EQ(0xFFFF, r.Word()) << "signature: not a DIALOGEX";
    EXPECT_EQ(0u, r.Dword()) << "help id";
    EXPECT_EQ(0u, r.Dword()) << "extended style";
    EXPECT_EQ(0x80CA08C0u, r.Dword()) << "style";
    EXPECT_EQ(8, r.Word()) << "control count";
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(170, r.Short());
    EXPECT_EQ(120, r.Short());
    EXPECT_EQ(L"", r.SzOrOrd()) << "menu";
    EXPECT_EQ(L"", r.SzOrOrd()) << "class";
    EXPECT_EQ(L"Dozemark", r.SzOrOrd()) << "caption";
    EXPECT_EQ(9, r.Word()) << "point size";
    EXPECT_EQ(0, r.Word()) << "weight";
    ASSERT_TRUE(r.Has(2));
    EXPECT_EQ(0, r.at[0]) << "italic";
    EXPECT_EQ(1, r.at[1]) << "character set";
    r.at += 2;
    EXPECT_EQ(L"MS UI Gothic", r.SzOrOrd()) << "font";
}

TEST_F(ProgramResources, DialogControlsInTemplateOrder) {
    const std::vector<BYTE> data = Resource(RT_DIALOG, MAKEINTRESOURCEW(103), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_FALSE(data.empty());
    TemplateReader r{data.data() + 26, data.data() + data.size()};
    r.SzOrOrd(); // menu
    r.SzOrOrd(); // class
    r.SzOrOrd(); // caption
    r.at += 6;   // point size, weight, italic, character set
    r.SzOrOrd(); // font
    for (const ExpectedControl& want : kControls) {
        r.AlignDword(data.data());
        ASSERT_TRUE(r.Has(24)) << "template ends before control " << want.id;
        EXPECT_EQ(0u, r.Dword()) << "help id of " << want.id;
        EXPECT_EQ(want.exStyle, r.Dword()) << "extended style of " << want.id;
        EXPECT_EQ(want.style, r.Dword()) << "style of " << want.id;
        EXPECT_EQ(want.x, r.Short()) << "x of " << want.id;
        EXPECT_EQ(want.y, r.Short()) << "y of " << want.id;
        EXPECT_EQ(want.cx, r.Short()) << "width of " << want.id;
        EXPECT_EQ(want.cy, r.Short()) << "height of " << want.id;
        EXPECT_EQ(want.id, r.Dword()) << "id";
        // rc writes the predefined classes as ordinals, windres by name.
        const std::wstring className = r.SzOrOrd();
        EXPECT_TRUE(className == want.classOrdinal || _wcsicmp(className.c_str(), want.className) == 0)
            << "class of " << want.id << " is " << Narrow(className);
        EXPECT_EQ(Narrow(want.text), Narrow(r.SzOrOrd())) << "text of " << want.id;
        const WORD extra = r.Word();
        EXPECT_EQ(0, extra) << "creation data of " << want.id;
        r.at += extra;
    }
    EXPECT_EQ(r.end, r.at) << "bytes after the last control";
}

TEST_F(ProgramResources, TwoIconGroupsOverTheSameNineImages) {
    const std::set<std::pair<int, int>> expected = {{16, 8},  {32, 8},  {48, 8},  {256, 8}, {16, 32},
                                                    {32, 32}, {48, 32}, {64, 32}, {256, 32}};
    std::vector<std::vector<BYTE>> groups;
    for (WORD group : {WORD{107}, WORD{108}}) {
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(group), RT_GROUP_ICON);
        ASSERT_NE(nullptr, found) << "no icon group " << group;
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, found)));
        const DWORD size = SizeofResource(module_, found);
        groups.emplace_back(data, data + size);
        WORD count;
        memcpy(&count, data + 4, 2);
        ASSERT_EQ(9, count) << "images in group " << group;
        ASSERT_EQ(6u + sizeof(GroupIconEntry) * count, size) << "size of group " << group;
        std::set<std::pair<int, int>> seen;
        for (WORD i = 0; i < count; ++i) {
            GroupIconEntry entry;
            memcpy(&entry, data + 6 + sizeof(GroupIconEntry) * i, sizeof(entry));
            const int width = entry.width ? entry.width : 256;
            const int height = entry.height ? entry.height : 256;
            const WORD bits = entry.bitCount, id = entry.id;
            EXPECT_EQ(width, height) << "group " << group << " image " << i;
            seen.insert({width, bits});
            // The image itself must load as an icon of that size.
            HRSRC image = FindResourceW(module_, MAKEINTRESOURCEW(id), RT_ICON);
            ASSERT_NE(nullptr, image) << "group " << group << " names missing image " << id;
            HICON icon = CreateIconFromResourceEx(static_cast<BYTE*>(LockResource(LoadResource(module_, image))),
                                                  SizeofResource(module_, image), TRUE, 0x00030000, width, width,
                                                  LR_DEFAULTCOLOR);
            EXPECT_NE(nullptr, icon) << "image " << id << " (" << width << " px, " << bits << " bits) does not load";
            if (icon) {
                DestroyIcon(icon);
            }
        }
        EXPECT_EQ(expected, seen) << "sizes and depths of group " << group;
    }
    // The same entries, naming the same images, and no other images.
    EXPECT_TRUE(groups[0] == groups[1]) << "groups 107 and 108 differ";
    int images = 0;
    EnumResourceNamesW(module_, RT_ICON, CountName, reinterpret_cast<LONG_PTR>(&images));
    EXPECT_EQ(9, images) << "RT_ICON images in the program";
}

TEST_F(ProgramResources, ManifestAsksForAsInvokerAndNothingElse) {
    int manifests = 0;
    EnumResourceNamesW(module_, RT_MANIFEST, CountName, reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(1, manifests);
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(nullptr, found) << "no manifest 1";
    const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    const std::string text(data, SizeofResource(module_, found));
    EXPECT_NE(std::string::npos, text.find("level=\"asInvoker\"")) << text;
    EXPECT_NE(std::string::npos, text.find("uiAccess=\"false\"")) << text;
    for (const char* absent : {"dependency", "Common-Controls", "dpiAware", "dpiAwareness", "compatibility"}) {
        EXPECT_EQ(std::string::npos, text.find(absent)) << absent << " in " << text;
    }
}

namespace {

// One string of the version resource's Japanese, Unicode block, read as
// Explorer reads it; "(missing)" when there is none.
std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || !value) {
        return L"(missing)";
    }
    // length counts the terminating null.
    return std::wstring(static_cast<const wchar_t*>(value), length ? length - 1 : 0);
}

} // namespace

// The details Explorer's Properties dialog and Task Manager show, read back
// through the version API from the built program.
TEST(ProgramVersion, ExplorerReadsTheDetails) {
    const std::wstring program = ProgramPath();
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), nullptr);
    ASSERT_NE(0u, size) << "no version information, error " << GetLastError();
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, info.data())) << "error " << GetLastError();

    // One translation: Japanese (1041) with the Unicode code page (1200).
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(4u, length) << "translations";
    EXPECT_EQ(0x0411, translation[0]) << "language";
    EXPECT_EQ(1200, translation[1]) << "code page";

    const std::string version = DOZEMARK_VERSION_TEXT;
    EXPECT_EQ("Dozemark", Narrow(VersionString(info, L"FileDescription")));
    EXPECT_EQ("Dozemark", Narrow(VersionString(info, L"ProductName")));
    EXPECT_EQ(version, Narrow(VersionString(info, L"FileVersion")));
    EXPECT_EQ(version, Narrow(VersionString(info, L"ProductVersion")));
    EXPECT_EQ("dozemark.exe", Narrow(VersionString(info, L"OriginalFilename")));
    EXPECT_EQ("dozemark", Narrow(VersionString(info, L"InternalName")));
    EXPECT_EQ("Copyright (c) 2026 Dozemark developers", Narrow(VersionString(info, L"LegalCopyright")));

    // The numeric version, as the file's properties sort and compare it.
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(MAKELONG(DOZEMARK_VERSION_MINOR, DOZEMARK_VERSION_MAJOR), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(0, DOZEMARK_VERSION_PATCH), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    // VFT_APP; MinGW's winver.h makes it a literal that the linter refuses.
    constexpr DWORD kFileTypeApplication = 1;
    EXPECT_EQ(kFileTypeApplication, fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask) << "debug, pre-release or patched flags";
}
