#include "platform/uShellUtils.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <fstream>
#include <thread>

#include "common/TestFiles.h"
#include "common/WinTestSupport.h"
#include "store/uText.h"

namespace {
const std::string kHyouji = "\x95\x5C\x8E\xA6"; // "表示"
const wchar_t* const kTestKey = L"Software\\scrtest-platform";
} // namespace

// ---- Registry ---------------------------------------------------------------------------------

TEST(RegistryWin, RoundTripThroughValuePaths) {
    ScopedRegTree cleanup(HKEY_CURRENT_USER, kTestKey);
    // Three parts: the first two are the key, the third the value name.
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Name", "value one"));
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kTestKey, L"Name"), L"value one");
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Name"), "value one");
    // A leading backslash of the key path is dropped.
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, "\\Software\\scrtest-platform\\Lead", "two"));
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kTestKey, L"Lead"), L"two");
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "\\Software\\scrtest-platform\\Lead"), "two");
    // A trailing backslash addresses the default value; missing parents are created.
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\A\\B\\", "default"));
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, L"Software\\scrtest-platform\\A\\B", nullptr), L"default");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, "Software\\scrtest-platform\\A\\B"), "default");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, "Software\\scrtest-platform\\A\\B\\"), "default");
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\A\\B\\"), "default");
    // Reads are trimmed of blanks and control characters.
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Padded", "  x y \r\n"));
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Padded"), "x y");
}

TEST(RegistryWin, DoubleByteNamesAndText) {
    ScopedRegTree cleanup(HKEY_CURRENT_USER, kTestKey);
    // "表" ends in 5C: the key "表示\表" must not lose that byte when split or trimmed.
    const std::string key = "Software\\scrtest-platform\\" + kHyouji + "\\\x95\x5C";
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, key + "\\" + kHyouji, kHyouji + " text"));
    EXPECT_EQ(
        RawRegString(HKEY_CURRENT_USER, L"Software\\scrtest-platform\\\u8868\u793A\\\u8868", L"\u8868\u793A"),
        L"\u8868\u793A text");
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key + "\\" + kHyouji), kHyouji + " text");
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, key + "\\", "dflt"));
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, key), "dflt");
}

TEST(RegistryWin, LongValuesAreReadWhole) {
    ScopedRegTree cleanup(HKEY_CURRENT_USER, kTestKey);
    for (std::size_t length : {254u, 255u, 256u, 1000u, 40000u}) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
        ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Long", text));
        EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Long"), text) << length;
    }
}

TEST(RegistryWin, StringWithoutTerminatingNul) {
    ScopedRegTree cleanup(HKEY_CURRENT_USER, kTestKey);
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const wchar_t text[] = L"no terminator";
    RegSetValueExW(key, L"NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 13 * sizeof(wchar_t));
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2 * sizeof(wchar_t));
    RegCloseKey(key);
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\NoNul"), "no terminator");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, "Software\\scrtest-platform"), "no");
}

TEST(RegistryWin, MissingKeysAndValuesGiveEmptyText) {
    ScopedRegTree cleanup(HKEY_CURRENT_USER, kTestKey);
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Nothing"), "");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, "Software\\scrtest-platform\\No\\Such\\Key"), "");
    ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Other", "x"));
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, "Software\\scrtest-platform\\Missing"), "");
    EXPECT_EQ(ReadRegistryDefault(HKEY_CURRENT_USER, "Software\\scrtest-platform"), ""); // no default value
}

TEST(RegistryWin, FailedWriteIsReported) {
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    RegCloseKey(readOnly); // a closed handle: every use fails
    EXPECT_FALSE(WriteRegistryString(readOnly, "scrtest-platform\\Name", "x"));
    EXPECT_EQ(RawRegString(HKEY_CURRENT_USER, kTestKey, L"Name"), L"<missing>");
}

// ---- Special folders --------------------------------------------------------------------------

TEST(SpecialFoldersWin, WindowsDirectoryEndsInABackslash) {
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::string path = GetSpecialFolderPath(TSpecialFolder::Windows);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), '\\');
    EXPECT_TRUE(SamePath(ToWide(path), std::wstring(windows, n) + L"\\")) << path;
}

TEST(SpecialFoldersWin, ProgramFilesAndFonts) {
    wchar_t expected[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, expected), S_OK);
    const std::string programFiles = GetSpecialFolderPath(TSpecialFolder::ProgramFiles);
    EXPECT_TRUE(SamePath(ToWide(programFiles), std::wstring(expected) + L"\\")) << programFiles;
    EXPECT_TRUE(DirectoryExists932(programFiles));

    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string fonts = GetSpecialFolderPath(TSpecialFolder::Fonts);
    EXPECT_TRUE(SamePath(ToWide(fonts), std::wstring(windows) + L"\\Fonts\\")) << fonts;
}

TEST(SpecialFoldersWin, VirtualFoldersHaveNoPath) {
    for (TSpecialFolder f : {TSpecialFolder::Internet, TSpecialFolder::Controls, TSpecialFolder::Printers,
                             TSpecialFolder::Drives})
        EXPECT_EQ(GetSpecialFolderPath(f), "") << static_cast<int>(f);
}

TEST(SpecialFoldersWin, Fallbacks) {
    {
        ScopedEnv windir(L"windir", L"C:\\scrtest-windir");
        EXPECT_EQ(GetSpecialFolderFallback(TSpecialFolder::Windows), "C:\\scrtest-windir");
    }
    {
        ScopedEnv windir(L"windir", nullptr);
        EXPECT_EQ(GetSpecialFolderFallback(TSpecialFolder::Windows), "");
    }
    const std::string registered = ReadRegistryString(
        HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir");
    EXPECT_FALSE(registered.empty());
    EXPECT_EQ(GetSpecialFolderFallback(TSpecialFolder::ProgramFiles), registered);
    EXPECT_EQ(GetSpecialFolderFallback(TSpecialFolder::Fonts), "");
}

TEST(SpecialFoldersWin, PidlToPathAndFolder) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_WINDOWS, &pidl), S_OK);
    const std::string path = PidlToPath(pidl);
    EXPECT_FALSE(path.empty());
    EXPECT_NE(path.back(), '\\');
    EXPECT_EQ(PidlToFolder(pidl), path + "\\");
    CoTaskMemFree(pidl);
    EXPECT_EQ(PidlToPath(nullptr), "");
    EXPECT_EQ(PidlToFolder(nullptr), "");
}

// ---- Short paths ------------------------------------------------------------------------------

namespace {
// True when every element after the drive is an 8.3 name without blanks.
bool IsShortForm(const std::wstring& path) {
    std::size_t start = path.find(L'\\');
    while (start != std::wstring::npos && start + 1 < path.size()) {
        std::size_t end = path.find(L'\\', start + 1);
        std::wstring name = path.substr(start + 1, end == std::wstring::npos ? end : end - start - 1);
        std::size_t dot = name.find(L'.');
        std::wstring base = name.substr(0, dot), ext = dot == std::wstring::npos ? L"" : name.substr(dot + 1);
        if (name.find(L' ') != std::wstring::npos || base.empty() || base.size() > 8 || ext.size() > 3 ||
            ext.find(L'.') != std::wstring::npos)
            return false;
        start = end;
    }
    return true;
}

std::wstring LongForm(const std::string& path) {
    wchar_t buffer[1024];
    DWORD n = GetLongPathNameW(ToWide(path).c_str(), buffer, 1024);
    return std::wstring(buffer, n < 1024 ? n : 0);
}
} // namespace

TEST(ShortPathWin, LongNamesAndBlanksGetTheirAliases) {
    TempDir dir;
    const auto folder = dir / "Long Folder Name With Spaces";
    std::filesystem::create_directories(folder);
    const auto file = folder / "another long file name.scr";
    std::ofstream(file) << "x";
    const std::string longPath = PathToCp932(file);
    const std::string shortPath = GetShortPath(longPath);
    EXPECT_NE(shortPath, longPath);
    EXPECT_TRUE(IsShortForm(ToWide(shortPath))) << shortPath;
    EXPECT_TRUE(SamePath(LongForm(shortPath), file.wstring())) << shortPath;
}

TEST(ShortPathWin, ShortFormLongerThanTheLongOne) {
    // "a.b.c" has no 8.3 form of its own; its alias is longer than the name.
    TempDir dir;
    std::wstring shortDir(1024, L'\0');
    shortDir.resize(GetShortPathNameW(dir.Path().c_str(), shortDir.data(), 1024));
    ASSERT_FALSE(shortDir.empty());
    const std::filesystem::path file = std::filesystem::path(shortDir) / "a.b.c";
    std::ofstream(file) << "x";
    const std::string longPath = PathToCp932(file);
    const std::string shortPath = GetShortPath(longPath);
    EXPECT_TRUE(IsShortForm(ToWide(shortPath))) << shortPath;
    EXPECT_GT(shortPath.size(), longPath.size()) << shortPath;
    EXPECT_TRUE(SamePath(LongForm(shortPath), LongForm(longPath)));
}

TEST(ShortPathWin, MissingFileGivesThePathItself) {
    EXPECT_EQ(GetShortPath("C:\\no such folder\\no such file.scr"), "C:\\no such folder\\no such file.scr");
    EXPECT_EQ(GetShortPath(""), "");
}

// ---- Associated programs ----------------------------------------------------------------------

namespace {
// A made-up extension whose class opens files with the given command; removed afterwards.
class TestAssociation {
public:
    TestAssociation(const std::string& ext, const std::string& command)
        : FExt(HKEY_CLASSES_ROOT, ToWide(ext)), FClass(HKEY_CLASSES_ROOT, ToWide("scrtest.class" + ext)) {
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, ext + "\\", "scrtest.class" + ext));
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, "scrtest.class" + ext + "\\shell\\open\\command\\",
                                        command));
    }

private:
    ScopedRegTree FExt, FClass;
};

std::string MarkerWriter() {
    return PathToCp932(TestBinDir() / "marker_writer.exe");
}

// Runs OpenWithAssociatedProgram and returns what the helper program wrote.
std::string OpenAndReadMarker(const std::filesystem::path& file, const std::string& extension) {
    std::ofstream(file) << "document";
    const auto marker = std::filesystem::path(file.wstring() + L".marker");
    if (!OpenWithAssociatedProgram(PathToCp932(file), extension)) return "<not started>";
    if (!WaitForFile(marker, std::chrono::seconds(20))) return "<no marker>";
    std::ifstream in(marker, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(AssociatedCommandWin, RegisteredCommandsAreCleaned) {
    TestAssociation a(".scrtsta", "\"C:\\Program Files\\Test App\\a.exe\" \"%1\"");
    TestAssociation b(".scrtstb", "C:\\Tools\\b.exe %1");
    TestAssociation c(".scrtstc", "\"C:\\Tools\\c.exe\" -n /p \"%1\"");
    TestAssociation d(".scrtstd", "C:\\Tools\\d.exe /b -a \"%1");
    EXPECT_EQ(GetAssociatedCommand(".scrtsta"), "\"C:\\Program Files\\Test App\\a.exe\"");
    EXPECT_EQ(GetAssociatedCommand("scrtsta"), "\"C:\\Program Files\\Test App\\a.exe\""); // without the dot
    EXPECT_EQ(GetAssociatedCommand(".scrtstb"), "\"C:\\Tools\\b.exe\"");
    EXPECT_EQ(GetAssociatedCommand(".scrtstc"), "\"C:\\Tools\\c.exe\"");
    EXPECT_EQ(GetAssociatedCommand(".scrtstd"), "\"C:\\Tools\\d.exe\"");
    EXPECT_EQ(GetAssociatedCommand(".scrtstnone"), "");
}

// A class the user registered for himself (HKCU\Software\Classes, which Windows merges
// into HKEY_CLASSES_ROOT; the merged view is made here by overriding that root) is never
// the program: only the machine's registrations count.
TEST(AssociatedCommandWin, PerUserClassIsNotLookedUp) {
    const std::string user = "Software\\Classes\\", machine = kMachineClasses;
    ScopedRegTree userExt(HKEY_CURRENT_USER, L"Software\\Classes\\.scrtstusr");
    ScopedRegTree userBoth(HKEY_CURRENT_USER, L"Software\\Classes\\.scrtstboth");
    ScopedRegTree userClass(HKEY_CURRENT_USER, L"Software\\Classes\\scrtest.user");
    ScopedRegTree machineExt(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.scrtstboth");
    ScopedRegTree machineClass(HKEY_LOCAL_MACHINE, L"Software\\Classes\\scrtest.machine");
    for (const char* ext : {".scrtstusr\\", ".scrtstboth\\"})
        ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, user + ext, "scrtest.user"));
    ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, user + "scrtest.user\\shell\\open\\command\\",
                                    "\"C:\\Users\\x\\marker.exe\" \"%1\""));
    ASSERT_TRUE(WriteRegistryString(HKEY_LOCAL_MACHINE, machine + ".scrtstboth\\", "scrtest.machine"));
    ASSERT_TRUE(WriteRegistryString(HKEY_LOCAL_MACHINE, machine + "scrtest.machine\\shell\\open\\command\\",
                                    "\"C:\\Tools\\machine.exe\" \"%1\""));
    std::string userOnly, both;
    {
        ScopedUserClassesRoot merged;
        ASSERT_TRUE(merged.Ok());
        ASSERT_EQ(ReadRegistryDefault(HKEY_CLASSES_ROOT, ".scrtstboth"), "scrtest.user"); // the merged view
        userOnly = GetAssociatedCommand(".scrtstusr");
        both = GetAssociatedCommand(".scrtstboth");
    }
    EXPECT_EQ(userOnly, "");
    EXPECT_EQ(both, "\"C:\\Tools\\machine.exe\"");
}

TEST(AssociatedCommandWin, ClassWithoutCommand) {
    ScopedRegTree ext(HKEY_CLASSES_ROOT, L".scrtste");
    ASSERT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, ".scrtste\\", "scrtest.nocommand"));
    EXPECT_EQ(GetAssociatedCommand(".scrtste"), "");
}

TEST(OpenWithAssociatedProgramWin, StartsTheProgramWithTheFileQuoted) {
    TestAssociation run(".scrtstrun", "\"" + MarkerWriter() + "\" \"%1\"");
    TempDir dir;
    // A blank and a double-byte name with a 5C trail byte: the argument must arrive whole.
    const auto file = dir.Path() / PathFromCp932(kHyouji + " document.scrtstrun");
    std::string expected;
    ASSERT_TRUE(Cp932ToUtf8(PathToCp932(file), expected));
    EXPECT_EQ(OpenAndReadMarker(file, ""), "1\n" + expected);
}

TEST(OpenWithAssociatedProgramWin, ExplicitExtensionAndUnquotedCommand) {
    TestAssociation run(".scrtstenv", MarkerWriter() + " %1");
    TempDir dir;
    const auto file = dir / "plain.dat";
    EXPECT_EQ(OpenAndReadMarker(file, "scrtstenv"), "1\n" + file.string());
}

// The process environment is the user's to change (HKCU\Environment): a variable in the
// registered command takes the system's value, or nothing is started.
TEST(OpenWithAssociatedProgramWin, OnlySystemVariablesAreExpanded) {
    ScopedEnv root(L"SystemRoot", TestBinDir().c_str());
    ScopedEnv bin(L"SCRTEST_BIN", TestBinDir().c_str());
    TempDir dir;
    for (const char* command :
         {"%SystemRoot%\\marker_writer.exe %1", "%SCRTEST_BIN%\\marker_writer.exe %1"}) {
        TestAssociation run(".scrtstenv", command);
        EXPECT_EQ(OpenAndReadMarker(dir / "plain.dat", "scrtstenv"), "<not started>") << command;
    }
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(ExpandSystemVariables("\"%windir%\\notepad.exe\""),
              "\"" + FromWide(std::wstring(windows, n)) + "\\notepad.exe\"");
    EXPECT_EQ(ExpandSystemVariables("100%"), "");
}

TEST(OpenWithAssociatedProgramWin, UnquotedProgramPathWithBlanks) {
    TempDir dir;
    const auto folder = dir / "Test App.exe"; // a folder: not the program
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(MarkerWriter(), folder / "marker writer.exe");
    TestAssociation run(".scrtstsp", PathToCp932(folder / "marker writer.exe") + " \"%1\"");
    const auto file = dir / "plain.scrtstsp";
    EXPECT_EQ(OpenAndReadMarker(file, ""), "1\n" + file.string());
}

TEST(OpenWithAssociatedProgramWin, CommandLineLongerThan260Bytes) {
    TestAssociation run(".scrtstrun", "\"" + MarkerWriter() + "\" \"%1\"");
    TempDir dir;
    const auto folder = dir / std::string(140, 'f');
    std::filesystem::create_directories(folder);
    const auto file = folder / "document with blanks.scrtstrun";
    ASSERT_GT(MarkerWriter().size() + 3 + file.string().size() + 2, 260u);
    EXPECT_EQ(OpenAndReadMarker(file, ""), "1\n" + file.string());
}

TEST(OpenWithAssociatedProgramWin, NothingToStart) {
    TempDir dir;
    EXPECT_FALSE(OpenWithAssociatedProgram(PathToCp932(dir / "missing.scrtstrun")));
    const auto noExt = dir / "noextension";
    std::ofstream(noExt) << "x";
    EXPECT_FALSE(OpenWithAssociatedProgram(PathToCp932(noExt)));
    const auto unregistered = dir / "file.scrtstnone";
    std::ofstream(unregistered) << "x";
    EXPECT_FALSE(OpenWithAssociatedProgram(PathToCp932(unregistered)));
}

// ---- COM --------------------------------------------------------------------------------------

TEST(ComInitWin, InitialisesTheThreadForItsLifetime) {
    HRESULT inside = E_FAIL, after = E_FAIL;
    std::thread([&] {
        {
            TComInit com;
            // The thread is now a single-threaded apartment: it cannot become multi-threaded.
            inside = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(inside)) CoUninitialize();
        }
        after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(after)) CoUninitialize();
    }).join();
    EXPECT_EQ(inside, RPC_E_CHANGED_MODE);
    EXPECT_EQ(after, S_OK);
}
