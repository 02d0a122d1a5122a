// The browser launcher under Windows: a made-up ".htm" handler and a made-up URL protocol
// both start cmdline_recorder.exe, which appends its command line to a log, so each test
// sees exactly which program was started with what, and how many times.
#include "common/TestFiles.h"
#include "common/WinTestSupport.h"
#include "components/uBrowser.h"
#include "platform/uShellUtils.h"
#include "store/uText.h"
#include "toolkit/uClasses.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The default value of a key, put back as it was (or removed) when the test ends; a key
// that did not exist is deleted again.
class ScopedDefaultValue {
public:
    ScopedDefaultValue(HKEY root, std::wstring key) : FRoot(root), FKey(std::move(key)) {
        HKEY k = nullptr;
        FExisted = RegOpenKeyExW(FRoot, FKey.c_str(), 0, KEY_QUERY_VALUE, &k) == ERROR_SUCCESS;
        if (!FExisted) return;
        DWORD size = 0;
        if (RegQueryValueExW(k, nullptr, nullptr, &FType, nullptr, &size) == ERROR_SUCCESS) {
            FData.resize(size);
            FHadValue = RegQueryValueExW(k, nullptr, nullptr, &FType, FData.data(), &size) == ERROR_SUCCESS;
            FData.resize(size);
        }
        RegCloseKey(k);
    }
    ~ScopedDefaultValue() {
        if (!FExisted) {
            RegDeleteTreeW(FRoot, FKey.c_str());
            return;
        }
        HKEY k = nullptr;
        if (RegOpenKeyExW(FRoot, FKey.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
        if (FHadValue)
            RegSetValueExW(k, nullptr, 0, FType, FData.data(), static_cast<DWORD>(FData.size()));
        else
            RegDeleteValueW(k, nullptr);
        RegCloseKey(k);
    }
    ScopedDefaultValue(const ScopedDefaultValue&) = delete;
    ScopedDefaultValue& operator=(const ScopedDefaultValue&) = delete;

private:
    HKEY FRoot;
    std::wstring FKey;
    bool FExisted = false, FHadValue = false;
    DWORD FType = REG_SZ;
    std::vector<BYTE> FData;
};

const std::string kOpenClass = "scrtest.browser";
const std::string kProtocol = "scrtestproto";     // registered, opened by the recorder
const std::string kNoProtocol = "scrtestnoproto"; // not registered anywhere

std::string RecorderPath() {
    return PathToCp932(TestBinDir() / "cmdline_recorder.exe");
}

std::string Utf8(const std::string& cp932) {
    std::string out;
    EXPECT_TRUE(Cp932ToUtf8(cp932, out));
    return out;
}

class BrowserWin : public ::testing::Test {
protected:
    BrowserWin()
        : FLogPath(FDir / "started.log"), FLogEnv(L"SCRTEST_RECORDER_LOG", FLogPath.c_str()),
          FHtm(HKEY_CLASSES_ROOT, L".htm"), FClass(HKEY_CLASSES_ROOT, ToWide(kOpenClass)),
          FProtocolKey(HKEY_CLASSES_ROOT, ToWide(kProtocol)) {
        // The browser's command carries an option that must not reach the command line.
        RegisterBrowserCommand("\"" + RecorderPath() + "\" --scrtest-option \"%1\"");
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, ".htm\\", kOpenClass));
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, kProtocol + "\\", "URL:scrtest protocol"));
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, kProtocol + "\\URL Protocol", ""));
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, kProtocol + "\\shell\\open\\command\\",
                                        "\"" + RecorderPath() + "\" --via-shell \"%1\""));
    }

    void RegisterBrowserCommand(const std::string& command) {
        EXPECT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, kOpenClass + "\\shell\\open\\command\\", command));
    }

    // The complete lines of the log so far.
    std::vector<std::string> Lines() const {
        std::ifstream in(FLogPath, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line))
            if (!in.eof()) lines.push_back(line);
        return lines;
    }

    // Waits until the log holds count lines (or the time is up), then a little longer so a
    // process started earlier than expected would have shown up too.
    std::vector<std::string> WaitForLines(std::size_t count) const {
        auto end = std::chrono::steady_clock::now() + 20s;
        while (Lines().size() < count && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(50ms);
        std::this_thread::sleep_for(700ms);
        return Lines();
    }

    // The command line Execute must produce for address, as the recorder reports it.
    static std::string ExpectedLine(const std::string& address) {
        return "\"" + Utf8(RecorderPath()) + "\" " + address;
    }

    TempDir FDir;
    std::filesystem::path FLogPath;
    ScopedEnv FLogEnv;
    ScopedDefaultValue FHtm;
    ScopedRegTree FClass, FProtocolKey;
};

} // namespace

TEST_F(BrowserWin, FindsTheProgramRegisteredForHtm) {
    TBrowser browser(nullptr);
    EXPECT_EQ(browser.BrowserPath(), RecorderPath());

    // A command that names its program through the user's own environment (which any
    // process of the user may change) names no browser.
    ScopedEnv bin(L"SCRTEST_BIN", TestBinDir().c_str());
    RegisterBrowserCommand("%SCRTEST_BIN%\\cmdline_recorder.exe %1");
    browser.FindBrowser();
    EXPECT_EQ(browser.BrowserPath(), "");

    // A class without an open command: no browser.
    ScopedRegTree emptyClass(HKEY_CLASSES_ROOT, L"scrtest.nobrowser");
    ASSERT_TRUE(WriteRegistryString(HKEY_CLASSES_ROOT, ".htm\\", "scrtest.nobrowser"));
    browser.FindBrowser();
    EXPECT_EQ(browser.BrowserPath(), "");
    browser.SetURL("http://example.invalid/");
    browser.Execute(); // nothing to start, and nothing reported
}

TEST_F(BrowserWin, OpenURLStartsTheBrowserWithTheDownloadPage) {
    OpenURL(std::string(kFlashDownloadURL));
    const auto lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    // The program path quoted, one blank, the address; the registered option is not passed.
    EXPECT_EQ(lines[0], ExpectedLine(std::string(kFlashDownloadURL)));
}

TEST_F(BrowserWin, AddressWithBlanksArrivesAsOneArgument) {
    // A local page in a folder with blanks, a double-byte name with a 5C trail byte and a
    // trailing backslash, then an address with quotes that must not split it either.
    const std::string page = "C:\\My Pages\\\x95\x5C\x8E\xA6 index\\";
    const std::string quoted = "http://example.invalid/a\" -b";
    OpenURL(page);
    ASSERT_EQ(WaitForLines(1).size(), 1u);
    OpenURL(quoted);
    const auto lines = WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::wstring> args[2];
    for (int i = 0; i < 2; ++i) {
        std::wstring wide;
        int n = MultiByteToWideChar(CP_UTF8, 0, lines[i].c_str(), -1, nullptr, 0);
        wide.resize(n > 0 ? n - 1 : 0);
        MultiByteToWideChar(CP_UTF8, 0, lines[i].c_str(), -1, wide.data(), n);
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &argc);
        ASSERT_NE(argv, nullptr);
        for (int a = 0; a < argc; ++a) args[i].push_back(argv[a]);
        LocalFree(argv);
    }
    // The two may have started in either order.
    if (args[0].size() == 2 && args[0][1].starts_with(L"http")) std::swap(args[0], args[1]);
    ASSERT_EQ(args[0].size(), 2u);
    EXPECT_TRUE(SamePath(args[0][0], ToWide(RecorderPath())));
    EXPECT_EQ(args[0][1], ToWide(page));
    ASSERT_EQ(args[1].size(), 2u);
    EXPECT_EQ(args[1][1], L"http://example.invalid/a%22 -b");
}

TEST_F(BrowserWin, ExecuteWithEmptyAddressStartsNothing) {
    TBrowser browser(nullptr);
    ASSERT_EQ(browser.URL(), "");
    browser.Execute();
    browser.ShellOpen();
    // A start afterwards shows up alone: the two calls above started nothing.
    browser.SetURL("http://sentinel.invalid/");
    browser.Execute();
    const auto lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], ExpectedLine("http://sentinel.invalid/"));
}

TEST_F(BrowserWin, AutoOpensNewAddressesOnlyThroughTheShell) {
    TBrowser browser(nullptr);
    const std::string page = kProtocol + ":page";
    browser.SetURL(page); // Auto is off: nothing opens
    browser.SetAuto(true);
    browser.SetURL(page); // unchanged: nothing opens, even with Auto
    EXPECT_EQ(browser.URL(), page);
    browser.SetURL(kProtocol + ":sentinel"); // new: the shell opens it through the protocol
    const auto lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("--via-shell"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(kProtocol + ":sentinel"), std::string::npos) << lines[0];
}

TEST_F(BrowserWin, ShellOpenFallsBackOnExecuteExceptForFileNotFound) {
    // An address whose scheme nothing is registered for: the shell fails with a result
    // other than 2, and the registered browser is started with the address instead.
    const std::string unknown = kNoProtocol + ":page";
    const std::intptr_t noAssociation = ShellExecuteURL(unknown);
    EXPECT_TRUE(ShellOpenNeedsFallback(noAssociation)) << noAssociation;
    TBrowser browser(nullptr);
    browser.SetURL(unknown);
    browser.ShellOpen();
    auto lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], ExpectedLine(unknown));

    // A missing local page: "file not found" (2) ends the attempt without the fallback.
    const std::string missing = PathToCp932(FDir / "missing-page.htm");
    ASSERT_EQ(ShellExecuteURL(missing), 2);
    browser.SetURL(missing);
    browser.ShellOpen();
    browser.SetURL("http://sentinel.invalid/");
    browser.Execute();
    lines = WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], ExpectedLine("http://sentinel.invalid/"));

    // A registered protocol opens through the shell alone.
    browser.SetURL(kProtocol + ":direct");
    browser.ShellOpen();
    lines = WaitForLines(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find("--via-shell"), std::string::npos) << lines[2];
}

TEST_F(BrowserWin, ReadingAStoredAutoBrowserOpensNothing) {
    RegisterComponentClass<TBrowser>();
    TComponent root(nullptr);
    auto* stored = new TBrowser(&root);
    stored->SetName("brwsStored");
    stored->SetURL(kProtocol + ":stored"); // Auto still off: nothing opens here
    stored->SetAuto(true);
    const std::vector<std::uint8_t> bytes = ComponentDefBytes(root);

    TComponent loaded(nullptr);
    ReadComponentDef(bytes.data(), bytes.size(), loaded);
    auto* copy = loaded.Find<TBrowser>("brwsStored");
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->Auto());
    EXPECT_EQ(copy->URL(), kProtocol + ":stored");
    // Once loaded, a new address opens as usual, and it is the only start.
    copy->SetURL(kProtocol + ":after");
    const auto lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(kProtocol + ":after"), std::string::npos) << lines[0];
}
