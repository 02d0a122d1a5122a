// The browser launcher's address rules, its command line and its component behaviour that
// needs no browser (host and Windows).
#include "components/uBrowser.h"

#include "toolkit/uClasses.h"

#include <gtest/gtest.h>

TEST(BrowserAddress, SchemesAndLocalPathsAreKept) {
    EXPECT_EQ(CheckURLScheme(kFlashDownloadURL), kFlashDownloadURL);
    for (const char* kept : {"http://example.com/", "HTTPS://example.com", "mailto:someone@example.com",
                             "about:blank", "svn+ssh://host/repo", "tel:1234", "file:///C:/x.htm",
                             "C:\\Docs\\page.htm", "c:/docs/page.htm", "\\\\server\\share\\page.htm"})
        EXPECT_EQ(CheckURLScheme(kept), kept) << kept;
    EXPECT_EQ(CheckURLScheme(""), "");
}

TEST(BrowserAddress, AddressesWithoutSchemeGetHttp) {
    EXPECT_EQ(CheckURLScheme("www.example.com"), "http://www.example.com");
    EXPECT_EQ(CheckURLScheme("www.example.com/a:b"), "http://www.example.com/a:b"); // ':' after the first '/'
    EXPECT_EQ(CheckURLScheme("localhost:8080"), "http://localhost:8080");           // a port, not a scheme
    EXPECT_EQ(CheckURLScheme("www.example.com:81/x"), "http://www.example.com:81/x");
    EXPECT_EQ(CheckURLScheme("//example.com/x"), "http://example.com/x");
    EXPECT_EQ(CheckURLScheme("1abc:x"), "http://1abc:x"); // a scheme starts with a letter
    EXPECT_EQ(CheckURLScheme(":x"), "http://:x");
    // Nothing that reaches the command line can look like a switch.
    EXPECT_EQ(CheckURLScheme("-new-window"), "http://-new-window");
    EXPECT_EQ(CheckURLScheme("/n"), "http:///n");
    // A double-byte host name: "表" (95 5C) ends the scheme scan at its lead byte.
    EXPECT_EQ(CheckURLScheme("\x95\x5C.jp:x"), "http://\x95\x5C.jp:x");
}

TEST(BrowserCommandLine, PathQuotedAddressOneArgument) {
    EXPECT_EQ(BrowserCommandLine("C:\\Program Files\\Web\\web.exe", kFlashDownloadURL),
              "\"C:\\Program Files\\Web\\web.exe\" " + std::string(kFlashDownloadURL));
    // Inner quotes of the path are doubled (they cannot occur in a real file name).
    EXPECT_EQ(BrowserCommandLine("a\"b", "http://x/"), "\"a\"\"b\" http://x/");
    // Blanks: the address is quoted; quotes and control characters are percent-encoded.
    EXPECT_EQ(BrowserCommandLine("b.exe", "http://x/a b"), "\"b.exe\" \"http://x/a b\"");
    EXPECT_EQ(BrowserCommandLine("b.exe", "http://x/\"q\""), "\"b.exe\" http://x/%22q%22");
    EXPECT_EQ(BrowserCommandLine("b.exe", "http://x/a\" -b\tc\r\n"),
              "\"b.exe\" \"http://x/a%22 -b%09c%0D%0A\"");
    EXPECT_EQ(BrowserCommandLine("b.exe", "http://x/\x7F"), "\"b.exe\" http://x/%7F");
}

TEST(BrowserCommandLine, TrailingBackslashesInQuotes) {
    EXPECT_EQ(URLArgument("C:\\My Pages\\"), "\"C:\\My Pages\\\\\"");
    EXPECT_EQ(URLArgument("C:\\My Pages\\\\"), "\"C:\\My Pages\\\\\\\\\"");
    EXPECT_EQ(URLArgument("C:\\My Pages\\x"), "\"C:\\My Pages\\x\"");
    // "表" ends in the byte 5C, which is no backslash: nothing is doubled.
    EXPECT_EQ(URLArgument("C:\\My \x95\x5C"), "\"C:\\My \x95\x5C\"");
    // Without blanks nothing is quoted, so nothing needs doubling.
    EXPECT_EQ(URLArgument("C:\\Pages\\"), "C:\\Pages\\");
    // Double-byte text passes unchanged.
    EXPECT_EQ(URLArgument("http://x/\x95\x5C\x8E\xA6"), "http://x/\x95\x5C\x8E\xA6");
}

TEST(BrowserCommandLine, PathFromRegisteredCommand) {
    EXPECT_EQ(BrowserPathFromCommand("\"C:\\Program Files\\Web\\web.exe\""),
              "C:\\Program Files\\Web\\web.exe");
    EXPECT_EQ(BrowserPathFromCommand("\"a\"\"b.exe\""), "a\"b.exe");
    EXPECT_EQ(BrowserPathFromCommand("\"\""), "\"\""); // nothing inside: kept as it is
    EXPECT_EQ(BrowserPathFromCommand(""), "");
}

TEST(BrowserShellOpen, FallbackDecision) {
    EXPECT_FALSE(ShellOpenNeedsFallback(33)); // opened
    EXPECT_FALSE(ShellOpenNeedsFallback(42));
    EXPECT_FALSE(ShellOpenNeedsFallback(2)); // file not found: the attempt ends
    EXPECT_TRUE(ShellOpenNeedsFallback(32)); // every other failure falls back
    EXPECT_TRUE(ShellOpenNeedsFallback(31)); // no association
    EXPECT_TRUE(ShellOpenNeedsFallback(3));  // path not found
    EXPECT_TRUE(ShellOpenNeedsFallback(0));  // out of memory
}

TEST(BrowserComponent, UrlWriterStoresCheckedAddress) {
    TBrowser browser(nullptr);
    browser.SetURL("www.example.com");
    EXPECT_EQ(browser.URL(), "http://www.example.com");
    browser.SetURL("http://other.example/");
    EXPECT_EQ(browser.URL(), "http://other.example/");
    browser.SetURL("");
    EXPECT_EQ(browser.URL(), "");
}
