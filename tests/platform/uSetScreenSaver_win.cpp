#include "platform/uSetScreenSaver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "common/TestFiles.h"
#include "common/WinTestSupport.h"
#include "platform/uShellUtils.h"
#include "store/uErrors.h"
#include "store/uText.h"

namespace {
const wchar_t* const kDesktop = L"Control Panel\\Desktop";

// Puts the user's screensaver values back as they were when the test ends.
class SavedDesktopValues {
public:
    SavedDesktopValues() {
        for (auto& v : FValues) v.Old = RawRegString(HKEY_CURRENT_USER, kDesktop, v.Name);
    }
    ~SavedDesktopValues() {
        for (auto& v : FValues) {
            if (v.Old == L"<missing>")
                RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, v.Name);
            else
                Set(v.Name, v.Old);
        }
    }
    SavedDesktopValues(const SavedDesktopValues&) = delete;
    SavedDesktopValues& operator=(const SavedDesktopValues&) = delete;
    static void Set(const wchar_t* name, const std::wstring& value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, name, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

private:
    struct Value {
        const wchar_t* Name;
        std::wstring Old;
    };
    Value FValues[2] = {{L"SCRNSAVE.EXE", {}}, {L"ScreenSaveActive", {}}};
};

// A screensaver file whose path has long names and blanks.
std::filesystem::path MakeScreenSaver(const TempDir& dir) {
    const auto folder = dir / "My Screen Savers";
    std::filesystem::create_directories(folder);
    const auto file = folder / "Flying Windows Deluxe.scr";
    std::ofstream(file) << "MZ";
    return file;
}

std::wstring IniValue(const std::filesystem::path& ini) {
    wchar_t buffer[1024] = {};
    GetPrivateProfileStringW(L"boot", L"SCRNSAVE.EXE", L"<missing>", buffer, 1024, ini.c_str());
    return buffer;
}
} // namespace

TEST(SetScreenSaverWin, RunningSystemIsTheNtFamily) {
    EXPECT_EQ(CurrentPlatformFamily(), TPlatformFamily::WindowsNT);
}

TEST(SetScreenSaverWin, NtFamilyStoresTheShortPathInTheRegistry) {
    SavedDesktopValues saved;
    SavedDesktopValues::Set(L"ScreenSaveActive", L"0");
    TempDir dir;
    const auto file = MakeScreenSaver(dir);
    SetScreenSaver(PathToCp932(file), TPlatformFamily::WindowsNT);

    const std::wstring stored = RawRegString(HKEY_CURRENT_USER, kDesktop, L"SCRNSAVE.EXE");
    EXPECT_EQ(stored, ToWide(GetShortPath(PathToCp932(file))));
    EXPECT_EQ(stored.find(L' '), std::wstring::npos) << PathToCp932(stored);
    wchar_t longForm[MAX_PATH] = {};
    GetLongPathNameW(stored.c_str(), longForm, MAX_PATH);
    EXPECT_TRUE(SamePath(longForm, file.wstring()));
    // This family switches nothing on.
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"ScreenSaveActive"), L"0");
}

TEST(SetScreenSaverWin, DefaultFamilyIsTheRunningOne) {
    SavedDesktopValues saved;
    TempDir dir;
    const auto file = MakeScreenSaver(dir);
    SetScreenSaver(PathToCp932(file));
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"SCRNSAVE.EXE"),
              ToWide(GetShortPath(PathToCp932(file))));
}

TEST(SetScreenSaverWin, MissingFileChangesNothing) {
    SavedDesktopValues saved;
    SavedDesktopValues::Set(L"SCRNSAVE.EXE", L"before");
    SavedDesktopValues::Set(L"ScreenSaveActive", L"0");
    TempDir dir;
    ScopedEnv windir(L"windir", dir.Path().c_str());
    const std::string missing = PathToCp932(dir / "missing.scr");
    SetScreenSaver(missing, TPlatformFamily::WindowsNT);
    SetScreenSaver(missing, TPlatformFamily::Windows9x);
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"SCRNSAVE.EXE"), L"before");
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"ScreenSaveActive"), L"0");
    EXPECT_FALSE(std::filesystem::exists(dir / "SYSTEM.INI"));
}

TEST(SetScreenSaverWin, OlderFamilyWritesSystemIniAndSwitchesTheSaverOn) {
    SavedDesktopValues saved;
    SavedDesktopValues::Set(L"SCRNSAVE.EXE", L"before");
    SavedDesktopValues::Set(L"ScreenSaveActive", L"0");
    BOOL wasActive = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &wasActive, 0);
    TempDir dir;
    const auto file = MakeScreenSaver(dir);
    // %windir% points at a folder of the test, whose SYSTEM.INI already has other entries.
    ScopedEnv windir(L"windir", dir.Path().c_str());
    const auto ini = dir / "SYSTEM.INI";
    std::ofstream(ini) << "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\nwoafont=dosapp.fon\r\n";

    SetScreenSaver(PathToCp932(file), TPlatformFamily::Windows9x);

    EXPECT_EQ(IniValue(ini), ToWide(GetShortPath(PathToCp932(file))));
    wchar_t shell[64] = {};
    GetPrivateProfileStringW(L"boot", L"shell", L"", shell, 64, ini.c_str());
    EXPECT_STREQ(shell, L"Explorer.exe");
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    EXPECT_TRUE(active);
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"ScreenSaveActive"), L"1");
    // The registry value of the NT family is left alone.
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"SCRNSAVE.EXE"), L"before");
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, wasActive, nullptr, 0);
}

TEST(SetScreenSaverWin, OlderFamilyFailedIniWriteRaisesAndLeavesTheSaverOff) {
    SavedDesktopValues saved;
    SavedDesktopValues::Set(L"ScreenSaveActive", L"0");
    TempDir dir;
    const auto file = MakeScreenSaver(dir);
    ScopedEnv windir(L"windir", (dir / "no such folder").c_str());
    EXPECT_THROW(SetScreenSaver(PathToCp932(file), TPlatformFamily::Windows9x), Exception);
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kDesktop, L"ScreenSaveActive"), L"0");
}
