// scrpack end to end: the built tool runs as its own process; its output is checked
// against the container reader and hand-made expectations.
#include "RunTool.h"

#include "app/uDigest.h"
#include "platform/uSha256.h"
#include "store/uExeAdder.h"
#include "store/uHexText.h"
#include "store/uImageBinding.h"
#include "store/uZCompress.h"
#include "toolkit/uDefFormat.h"

#include "common/PeBytes.h"
#include "common/TestFiles.h"
#include "store/ContainerBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using Bytes8 = std::vector<std::uint8_t>;

namespace {

// "スクリーン" and "テスト" in code page 932.
const std::string kNameUtf8 = "\xE3\x82\xB9\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\xBC\xE3\x83\xB3";
const std::string kNameCp932 = "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93";
const std::string kTitleUtf8 = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88";
const std::string kTitleCp932 = "\x83\x65\x83\x58\x83\x67";
const std::string kGuid = "{0123ABCD-4567-89EF-0123-456789ABCDEF}";
#ifdef _WIN32
const std::string kCopyCommand = "copy {in} {out} >nul", kFailingCommand = "exit /b 1 {in} {out}";
#else
const std::string kCopyCommand = "cp {in} {out}", kFailingCommand = "false {in} {out}";
#endif

std::string Str(const Bytes8& b) {
    return std::string(b.begin(), b.end());
}

Bytes8 CodeLike(std::size_t size) {
    Bytes8 out(size);
    std::uint32_t x = 99;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = (i % 5 == 0) ? static_cast<std::uint8_t>(x >> 24)
                              : static_cast<std::uint8_t>("\x55\x8B\xEC\x83\xC4"[i % 5]);
    }
    return out;
}

// A 2 x 2, 24-bit bottom-up BMP file.
Bytes8 TinyBmp() {
    Bytes8 b = {'B', 'M', 70, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1,
                0,   24,  0,  0, 0, 0, 0, 16, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) b.push_back(static_cast<std::uint8_t>(i * 16));
    return b;
}

// Text with LF line ends (a Windows standard error writes CR LF).
std::string Lf(std::string s) {
    for (std::size_t i; (i = s.find("\r\n")) != std::string::npos;) s.erase(i, 1);
    return s;
}

// Text that reaches a terminal inert: no escape, delete, carriage return but in a line end,
// or right-to-left override.
bool Inert(const std::string& s) {
    return Lf(s).find_first_of("\x1b\r\x7f") == std::string::npos &&
           s.find("\xE2\x80\xAE") == std::string::npos;
}

// The warning line of a verb that packs a program without an Authenticode signature.
std::string UnsignedWarning(const std::string& verb, const std::string& program,
                            const std::string& remedy = "sign it before packing") {
    return "scrpack " + verb + ": warning: " + program +
           " carries no Authenticode signature; Windows 11 Smart App Control blocks unsigned programs it "
           "does not know: " +
           remedy + "\n";
}
const std::string kStubUninstallerWarning = UnsignedWarning("build", "the uninstaller (the stub's own)",
                                                            "sign it while building with --sign-uninstaller");

struct Inputs {
    TempDir Dir;
    Bytes8 Stub = Concat({'M', 'Z', 0x90, 0}, CodeLike(300));
    Bytes8 Scr = CodeLike(20000);
    // The ReadMe keeps bare LF and bytes that are not UTF-8.
    Bytes8 Readme = {'R', 'e', 'a', 'd', '\n', 0x82, 0xA0, 0xFF, '\n'};
    Inputs() {
        WriteBytes(Dir / "stub.exe", Stub);
        WriteBytes(Dir / "saver.scr", Scr);
        WriteBytes(Dir / "readme.txt", Readme);
        // "使用許諾" LF "第2条" in UTF-8, with a byte order mark.
        WriteBytes(Dir / "eula.txt",
                   Bytes("\xEF\xBB\xBF\xE4\xBD\xBF\xE7\x94\xA8\xE8\xA8\xB1\xE8\xAB\xBE\n\xE7\xAC\xAC"
                         "2\xE6\x9D\xA1"));
        WriteBytes(Dir / "left.bmp", TinyBmp());
        WriteBytes(Dir / "top.bmp", TinyBmp());
    }
    static Bytes8 Concat(Bytes8 a, const Bytes8& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    std::string P(const std::string& name) const { return Arg(Dir / name); }
    std::vector<std::string> MinimalBuild(const std::string& out) const {
        return {"build", "--stub", P("stub.exe"), "--scr", P("saver.scr"), "--name", kNameUtf8, "-o", P(out)};
    }
    // Files in the folder, to prove that nothing (not even a temporary) was left behind.
    std::size_t FileCount(const std::string& folder = "") const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Dir / folder), {}));
    }
};

const TItemType* Find(const TItemTypes& items, const std::string& name) {
    auto it = std::find_if(items.rbegin(), items.rend(), [&](const TItemType& i) { return i.Name == name; });
    return it == items.rend() ? nullptr : &*it;
}

// Writes stub + a container with these items under a fixed key.
void WriteInstaller(const std::filesystem::path& p, const Bytes8& stub, const TItemTypes& items) {
    WriteBytes(p, stub);
    WriteItemsWithKey(p, items, 77);
}

// A stub program as the installer's: its main window definition (resource TFRMMAIN)
// holds a file embedder carrying uninstaller, compressed.
Bytes8 StubCarrying(const Bytes8& uninstaller) {
    TDefWriter embedded;
    const Bytes8 packed = CompressBuffer(uninstaller.data(), uninstaller.size(), 2);
    embedded.I32(static_cast<std::int32_t>(packed.size()));
    embedded.Raw(packed.data(), packed.size());
    TDefWriter w;
    w.Raw("SCDF", 4);
    w.U8(1);
    w.Str("TfrmMain");
    w.Str("frmMain");
    w.I32(0); // properties
    w.I32(0); // binaries
    w.I32(1); // children
    w.Str("TFileEmbedder");
    w.Str("embedderUninstaller");
    w.I32(1);
    w.Str("Compressed");
    w.U8(2); // Boolean
    w.U8(1);
    w.I32(1);
    w.Str("EmbededData");
    w.Bytes(embedded.Result());
    w.I32(0);
    return pebytes::PeWithResources(0x8664, {{10, u"TFRMMAIN", 0, w.Result()}});
}

#ifndef _WIN32
// A screensaver with a version record: Japanese table, company and product version texts
// (for the host's manifest test).
Bytes8 ScreenSaverWithVersionRecord() {
    using pebytes::Utf16z;
    using pebytes::VersionNode;
    Bytes8 fixed(52);
    pebytes::Put32(fixed, 0, 0xFEEF04BD);
    pebytes::Put32(fixed, 16, 0x00020000); // product version 2.0.0.7
    pebytes::Put32(fixed, 20, 0x00000007);
    const Bytes8 record = VersionNode(
        u"VS_VERSION_INFO", fixed, false,
        {VersionNode(
             u"StringFileInfo", {}, true,
             {VersionNode(u"041104B0", {}, true,
                          {VersionNode(u"CompanyName", Utf16z(u"Orvane \u682A\u5F0F\u4F1A\u793E"), true),
                           VersionNode(u"ProductVersion", Utf16z(u"2.0 \u30D9\u30FC\u30BF  "), true)})}),
         VersionNode(u"VarFileInfo", {}, true,
                     {VersionNode(u"Translation", {0x11, 0x04, 0xB0, 0x04}, false)})});
    return pebytes::PeWithResources(0x014C, {{16, u"", 1, record}});
}
#endif

} // namespace

TEST(Scrpack, BuildListExtractVerifyRoundTrip) {
    Inputs in;
    auto args = in.MinimalBuild("setup.exe");
    args.insert(args.end(),
                {"--title", kTitleUtf8, "--eula", in.P("eula.txt"), "--readme", in.P("readme.txt")});
    args.insert(args.end(),
                {"--flash-version", "9.0.124.0", "--left-image", in.P("left.bmp"), "--top-image",
                 in.P("top.bmp"), "--guid", kGuid, "--force-set", "--no-version-check", "--no-player"});
    args.insert(args.end(), {"--version", "2.5 " + kNameUtf8, "--publisher", kTitleUtf8});
    TRunResult r = RunScrpack(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    // The unsigned screensaver and the stub's own uninstaller are each named in a warning.
    EXPECT_EQ(Lf(r.Err),
              UnsignedWarning("build", "the screensaver " + in.P("saver.scr")) + kStubUninstallerWarning);

    // The stub comes first, unchanged; then the items (their order, flags and sizes: list --json below).
    const Bytes8 out = ReadBytes(in.Dir / "setup.exe");
    ASSERT_GT(out.size(), in.Stub.size());
    EXPECT_TRUE(std::equal(in.Stub.begin(), in.Stub.end(), out.begin()));
    TItemTypes items;
    ReadItems(in.Dir / "setup.exe", items);
    EXPECT_EQ(Str(Find(items, "SCRName")->Data), kNameCp932);
    EXPECT_EQ(Find(items, "InstallerNeedsPlayer")->Data, Bytes8{0});
    EXPECT_EQ(Str(Find(items, "InstallerVersion")->Data), "2.5 " + kNameCp932);
    EXPECT_EQ(Str(Find(items, "InstallerPublisher")->Data), kTitleCp932);
    EXPECT_EQ(Str(Find(items, "InstallerTitle")->Data), kTitleCp932);
    EXPECT_EQ(Str(Find(items, "GUID")->Data), kGuid);
    EXPECT_EQ(Str(Find(items, "FlashVersion")->Data), "9.0.124.0");
    // The licence: no byte order mark, code page 932, CR LF.
    EXPECT_EQ(Str(Find(items, "InstallerEULA")->Data), "\x8E\x67\x97\x70\x8B\x96\x91\xF8\r\n\x91\xE6"
                                                       "2\x8F\xF0");
    EXPECT_EQ(Find(items, "InstallerReadme")->Data, in.Readme);
    EXPECT_EQ(Find(items, "InstallerLeftImage")->Data, TinyBmp());
    EXPECT_EQ(Find(items, "InstallerForceSet")->Data, Bytes8{1});
    EXPECT_EQ(Find(items, "InstallerVerCheck")->Data, Bytes8{0});
    EXPECT_EQ(Find(items, "mxl")->Data, (Bytes8{0x20, 0x4E, 0, 0})); // 20000
    EXPECT_EQ(Str(Find(items, "mxf")->Data), PayloadDigestText(in.Scr.data(), in.Scr.size()));
    EXPECT_EQ(Find(items, "SCR")->Data, in.Scr);

    r = RunScrpack({"list", in.P("setup.exe"), "--json"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "[{\"name\":\"SCRName\",\"compressed\":true,\"size\":10},\n"
                     " {\"name\":\"InstallerTitle\",\"compressed\":true,\"size\":6},\n"
                     " {\"name\":\"GUID\",\"compressed\":true,\"size\":38},\n"
                     " {\"name\":\"FlashVersion\",\"compressed\":true,\"size\":9},\n"
                     " {\"name\":\"InstallerEULA\",\"compressed\":true,\"size\":15},\n"
                     " {\"name\":\"InstallerReadme\",\"compressed\":true,\"size\":9},\n"
                     " {\"name\":\"InstallerLeftImage\",\"compressed\":true,\"size\":70},\n"
                     " {\"name\":\"InstallerTopImage\",\"compressed\":true,\"size\":70},\n"
                     " {\"name\":\"InstallerForceSet\",\"compressed\":false,\"size\":1},\n"
                     " {\"name\":\"InstallerVerCheck\",\"compressed\":false,\"size\":1},\n"
                     " {\"name\":\"InstallerNeedsPlayer\",\"compressed\":false,\"size\":1},\n"
                     " {\"name\":\"InstallerVersion\",\"compressed\":true,\"size\":14},\n"
                     " {\"name\":\"InstallerPublisher\",\"compressed\":true,\"size\":6},\n"
                     " {\"name\":\"mxl\",\"compressed\":false,\"size\":4},\n"
                     " {\"name\":\"mxf\",\"compressed\":true,\"size\":32},\n"
                     " {\"name\":\"SCR\",\"compressed\":true,\"size\":20000}]\n");
    r = RunScrpack({"list", in.P("setup.exe")});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("SCR\tcompressed\t20000\n"), std::string::npos);

    r = RunScrpack({"extract", in.P("setup.exe"), "SCR", "-o", in.P("back.scr")});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadBytes(in.Dir / "back.scr"), in.Scr);
    r = RunScrpack({"extract", in.P("setup.exe"), "InstallerReadme"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(Bytes(r.Out), in.Readme); // standard output is binary, LF stays LF

    r = RunScrpack({"verify", in.P("setup.exe")});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("digest: pass (20000 of 20000 bytes covered)"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("SCRName: " + kNameUtf8 + "\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("InstallerNeedsPlayer: false\nInstallerVersion: 2.5 " + kNameUtf8 +
                         "\nInstallerPublisher: " + kTitleUtf8 + "\n"),
              std::string::npos)
        << r.Out;
    // The installer, then the two programs it installs.
    EXPECT_EQ(r.Out.rfind("signature: none\nscreensaver signature: none\nuninstaller signature: none (the "
                          "stub's own; build with --sign-uninstaller)\n",
                          0),
              0u)
        << r.Out;
    // A signed file: its container is read from before the certificate table.
    const SignedFile signedFile(true);
    WriteBytes(in.Dir / "signed.exe", signedFile.b);
    r = RunScrpack({"verify", in.P("signed.exe")});
    const std::string present = "present (certificate table " + std::to_string(signedFile.Length) + " bytes)";
    EXPECT_EQ(r.Out.rfind("signature: " + present + "\n", 0), 0u) << r.Out;
    EXPECT_EQ(RunScrpack({"list", in.P("signed.exe")}).Out, "A\tstored\t1\n");
    // A signed screensaver is not warned about; verify tells it is signed.
    r = RunScrpack({"build", "--stub", in.P("stub.exe"), "--scr", in.P("signed.exe"), "--name", "x", "--guid",
                    kGuid, "-o", in.P("signed-saver.exe")});
    EXPECT_EQ(Lf(r.Err), kStubUninstallerWarning);
    r = RunScrpack({"verify", in.P("signed-saver.exe")});
    EXPECT_NE(r.Out.find("\nscreensaver signature: " + present + "\n"), std::string::npos) << r.Out;
#ifndef _WIN32
    // Nor is an uninstaller signed while building: here by a stand-in for a signing tool that
    // puts a certificate table (and its PE32+ directory entry) after the file, as osslsigncode does.
    WriteBytes(
        in.Dir / "sign.py",
        Bytes("import sys, struct\nb = bytearray(open(sys.argv[1], 'rb').read())\n"
              "b += bytes(-len(b) % 8)\nn = len(b)\nb += struct.pack('<IHH', 16, 0x200, 2) + bytes(8)\n"
              "struct.pack_into('<II', b, struct.unpack_from('<I', b, 0x3C)[0] + 168, n, 16)\n"
              "open(sys.argv[2], 'wb').write(b)\n"));
    WriteBytes(in.Dir / "carrier.exe", StubCarrying(pebytes::PeWithResources(0x8664, {})));
    r = RunScrpack({"build", "--stub", in.P("carrier.exe"), "--scr", in.P("signed.exe"), "--name", "x",
                    "--guid", kGuid, "-o", in.P("all-signed.exe"), "--sign-uninstaller",
                    "python3 '" + in.P("sign.py") + "' {in} {out}"});
    EXPECT_EQ(r.Err, "");
    r = RunScrpack({"verify", in.P("all-signed.exe")});
    EXPECT_NE(r.Out.find("\nuninstaller signature: present (certificate table 16 bytes) (item "
                         "InstallerSignedUninstaller)\n"),
              std::string::npos)
        << r.Out;
#endif
}

TEST(Scrpack, DefaultsAndFreshGuids) {
    Inputs in;
    const TRunResult first = RunScrpack(in.MinimalBuild("a.exe"));
    ASSERT_EQ(first.ExitCode, 0);
    ASSERT_EQ(RunScrpack(in.MinimalBuild("b.exe")).ExitCode, 0);
    TItemTypes a, b;
    ReadItems(in.Dir / "a.exe", a);
    ReadItems(in.Dir / "b.exe", b);
    // A drawn GUID is announced, with the option that pins it.
    const std::string drawn = Str(Find(a, "GUID")->Data);
    EXPECT_NE(first.Err.find("the GUID " + drawn + " is new; give --guid " + drawn), std::string::npos)
        << first.Err;
    EXPECT_EQ(Find(a, "InstallerTitle"), nullptr);
    EXPECT_EQ(Find(a, "FlashVersion"), nullptr);
    EXPECT_EQ(Find(a, "InstallerForceSet")->Data, Bytes8{0});
    EXPECT_EQ(Find(a, "InstallerVerCheck")->Data, Bytes8{1});
    // Items added later are only written when asked for: such an installer is byte for
    // byte what an older scrpack made.
    for (const char* later : {"InstallerNeedsPlayer", "InstallerVersion", "InstallerPublisher"})
        EXPECT_EQ(Find(a, later), nullptr) << later;
    EXPECT_NE(RunScrpack({"verify", in.P("a.exe")}).Out.find("InstallerNeedsPlayer: true\n"),
              std::string::npos);
    const std::string ga = Str(Find(a, "GUID")->Data), gb = Str(Find(b, "GUID")->Data);
    EXPECT_NE(ga, gb);
    // The form of a version 4 GUID: x a hexadecimal digit, anything else itself.
    const std::string form = "{xxxxxxxx-xxxx-4xxx-xxxx-xxxxxxxxxxxx}";
    for (const std::string& g : {ga, gb})
        EXPECT_TRUE(g.size() == form.size() &&
                    std::equal(form.begin(), form.end(), g.begin(),
                               [](char f, char c) {
                                   return f == 'x' ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                                   : f == c;
                               }))
            << g;
    // Rebuilding over an existing OUT replaces it.
    ASSERT_EQ(RunScrpack(in.MinimalBuild("a.exe")).ExitCode, 0);
    EXPECT_EQ(in.FileCount(), 8u);
    // The same inputs and GUID give the same bytes (the container's key comes from its items).
    // A licence already in code page 932 is taken as it is, but for its line ends.
    WriteBytes(in.Dir / "eula932.txt", Bytes("\x8E\x67\x97\x70\n\x95\x5C")); // "使用" LF "表"
    for (const char* out : {"c.exe", "d.exe"}) {
        std::vector<std::string> args = in.MinimalBuild(out);
        args.insert(args.end(), {"--guid", kGuid, "--readme", in.P("readme.txt"), "--eula",
                                 in.P("eula932.txt"), "--text-encoding", "cp932"});
        const TRunResult r = RunScrpack(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_EQ(r.Err.find("GUID"), std::string::npos) << r.Err; // no new GUID
    }
    EXPECT_EQ(ReadBytes(in.Dir / "c.exe"), ReadBytes(in.Dir / "d.exe"));
    ReadItems(in.Dir / "c.exe", a);
    EXPECT_EQ(Str(Find(a, "InstallerEULA")->Data), "\x8E\x67\x97\x70\r\n\x95\x5C");
}

TEST(Scrpack, TamperedScreensaverFailsVerify) {
    Inputs in;
    auto args = in.MinimalBuild("setup.exe");
    ASSERT_EQ(RunScrpack(args).ExitCode, 0);
    TItemTypes items;
    ReadItems(in.Dir / "setup.exe", items);
    auto scr = std::find_if(items.begin(), items.end(), [](const TItemType& i) { return i.Name == "SCR"; });
    ASSERT_NE(scr, items.end());
    scr->Data[12345] ^= 0x01;
    WriteInstaller(in.Dir / "tampered.exe", in.Stub, items);
    TRunResult r = RunScrpack({"verify", in.P("tampered.exe")});
    EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("digest: FAIL"), std::string::npos) << r.Out;

    // With --digest-length only the leading bytes count: a change after them passes,
    // a change inside them fails.
    args.insert(args.end(), {"--digest-length", "1000", "-o"});
    args.erase(args.begin() + 7, args.begin() + 9); // drop the first -o OUT
    args.push_back(in.P("short.exe"));
    ASSERT_EQ(RunScrpack(args).ExitCode, 0);
    ReadItems(in.Dir / "short.exe", items);
    EXPECT_EQ(Find(items, "mxl")->Data, (Bytes8{0xE8, 0x03, 0, 0}));
    for (auto& i : items)
        if (i.Name == "SCR") i.Data[5000] ^= 0xFF;
    WriteInstaller(in.Dir / "after.exe", in.Stub, items);
    EXPECT_EQ(RunScrpack({"verify", in.P("after.exe")}).ExitCode, 0);
    for (auto& i : items)
        if (i.Name == "SCR") i.Data[999] ^= 0xFF;
    WriteInstaller(in.Dir / "inside.exe", in.Stub, items);
    EXPECT_EQ(RunScrpack({"verify", in.P("inside.exe")}).ExitCode, 1);

    // A file without a container fails the check too, as the installer would.
    r = RunScrpack({"verify", in.P("stub.exe")});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find("no item container"), std::string::npos);
}

TEST(Scrpack, VerifyLoadsSettingsAsTheInstaller) {
    Inputs in;
    const Bytes8 part1 = CodeLike(3000), part2 = CodeLike(500);
    Bytes8 whole = part1;
    whole.insert(whole.end(), part2.begin(), part2.end());
    auto item = [](const std::string& name, const Bytes8& data) {
        return TItemType{name, data, static_cast<std::int32_t>(data.size()), true};
    };
    const std::string digest = PayloadDigestText(whole.data(), whole.size());
    std::string upper = digest;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return static_cast<char>(std::toupper(c)); });
    std::string notReversed(digest.rbegin(), digest.rend());

    // Two "SCR" items are concatenated; the later "mxf" wins; "mxl" larger than the data.
    WriteInstaller(in.Dir / "ok.exe", in.Stub,
                   {item("mxf", Bytes("wrong")), item("SCR", part1), item("mxl", {0xFF, 0xFF, 0xFF, 0x7F}),
                    item("SCR", part2), item("mxf", Bytes(digest))});
    TRunResult r = RunScrpack({"verify", in.P("ok.exe")});
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_NE(r.Out.find("3500 of 3500 bytes"), std::string::npos) << r.Out;
    // Capitals, or the digits not reversed, fail.
    for (const std::string& bad : {upper, notReversed}) {
        WriteInstaller(in.Dir / "bad.exe", in.Stub,
                       {item("SCR", whole), item("mxl", {0xAC, 0x0D, 0, 0}), item("mxf", Bytes(bad))});
        EXPECT_EQ(RunScrpack({"verify", in.P("bad.exe")}).ExitCode, 1) << bad;
    }
    // An "mxl" under four bytes counts as absent: the digest of zero bytes.
    const std::string empty = PayloadDigestText(nullptr, 0);
    WriteInstaller(in.Dir / "short.exe", in.Stub,
                   {item("SCR", whole), item("mxl", {5, 0, 0}), item("mxf", Bytes(empty))});
    r = RunScrpack({"verify", in.P("short.exe")});
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_NE(r.Out.find("0 of 3500 bytes"), std::string::npos) << r.Out;
    // A name the installer refuses fails whatever the digest.
    WriteInstaller(in.Dir / "name.exe", in.Stub,
                   {item("SCRName", Bytes("a:b")), item("SCR", whole), item("mxl", {0xAC, 0x0D, 0, 0}),
                    item("mxf", Bytes(digest))});
    r = RunScrpack({"verify", in.P("name.exe")});
    EXPECT_EQ(r.ExitCode, 1) << r.Out;
    EXPECT_NE(r.Out.find("SCRName: FAIL"), std::string::npos) << r.Out;

    // Payload text reaches the terminal inert: a title that would erase the result line and
    // print a fake one over it is shown with its control characters escaped.
    const std::string fake = "x\x1b[2K\x1b[1A\rdigest: pass\x7f";
    WriteInstaller(in.Dir / "fake.exe", in.Stub,
                   {item("InstallerTitle", Bytes(fake)), item(fake, Bytes("1")), item("SCR", whole),
                    item("mxl", {0xAC, 0x0D, 0, 0}), item("mxf", Bytes("wrong"))});
    for (const char* verb : {"verify", "list"}) {
        r = RunScrpack({verb, in.P("fake.exe")});
        EXPECT_TRUE(Inert(r.Out)) << verb << ": " << r.Out;
        EXPECT_NE(r.Out.find("x\\x1B[2K\\x1B[1A\\x0Ddigest: pass\\x7F"), std::string::npos)
            << verb << ": " << r.Out;
    }
    EXPECT_TRUE(Inert(RunScrpack({"list", in.P("fake.exe"), "--json"}).Out));
    // So does a file name from the command line: build prints the output's.
    auto args = in.MinimalBuild("x");
    args[8] = Arg(in.Dir.Path() / std::filesystem::path(u8"setup\u202Eexe.scr"));
    r = RunScrpack(args);
    EXPECT_TRUE(Inert(r.Out)) << r.Out;
    EXPECT_NE(r.Out.find("setup\\u202Eexe.scr: "), std::string::npos) << r.Out;
}

TEST(Scrpack, UsageAndInputErrorsExitTwoAndLeaveNoOutput) {
    Inputs in;
    WriteBytes(in.Dir / "empty.scr", {});
    WriteBytes(in.Dir / "emoji.txt", Bytes("ok \xF0\x9F\x98\x80"));
    WriteBytes(in.Dir / "notbmp.bmp", Bytes("BM but not really a bitmap header at all......."));
    Bytes8 rle = TinyBmp(); // as ImageMagick's "bmp3" RLE8 output: 8 bits, BI_RLE8
    rle[28] = 8;
    rle[30] = 1;
    WriteBytes(in.Dir / "rle.bmp", rle);
    std::filesystem::create_directory(in.Dir / "adir");
    const SignedFile signedFile(false);
    WriteBytes(in.Dir / "signed.exe", signedFile.b);
    WriteBytes(in.Dir / "carrier.exe", StubCarrying(CodeLike(900)));
    // Installers that register no version (the screensaver has no version record), a version,
    // and a version that would move the cursor where winget quotes it.
    for (const auto& [out, version] : std::vector<std::pair<std::string, std::string>>{
             {"noversion.exe", ""}, {"versioned.exe", "1.0"}, {"escape.exe", "1.0\x1b[2K"}}) {
        auto args = in.MinimalBuild(out);
        args[2] = in.P("carrier.exe");
        if (!version.empty()) args.insert(args.end(), {"--version", version, "--publisher", "Orvane"});
        args.insert(args.end(), {"--guid", kGuid});
        ASSERT_EQ(RunScrpack(args).ExitCode, 0) << version;
    }
    // Folders where the manifest's last file cannot go (a folder stands under its name): one
    // holding an earlier manifest's other files, one nothing else.
    const std::string locale = "Orvane.Saver.locale.ja-JP.yaml";
    const char* earlier[] = {"Orvane.Saver.yaml", "Orvane.Saver.installer.yaml"};
    for (const char* f : {"earlier", "fresh"}) std::filesystem::create_directories(in.Dir / f / locale);
    for (const char* name : earlier) WriteBytes(in.Dir / "earlier" / name, Bytes(name));
    // winget on an installer into a folder; an option given in set replaces its default or is added.
    auto winget = [&](const std::string& folder, const std::string& installer = "versioned.exe",
                      const std::vector<std::string>& set = {}) {
        std::vector<std::string> a = {"winget",       in.P(installer), "--id",
                                      "Orvane.Saver", "--url",         "https://example.com/s.exe",
                                      "--license",    "Freeware",      "--description",
                                      "A saver"};
        for (std::size_t i = 0; i + 1 < set.size(); i += 2) {
            auto at = std::find(a.begin(), a.end(), set[i]);
            if (at == a.end()) at = a.insert(a.end(), {set[i], ""});
            *(at + 1) = set[i + 1];
        }
        a.insert(a.end(), {"-o", in.P(folder)});
        return a;
    };
#ifndef _WIN32
    // An output folder whose name would end the quoting of {in} and run touch, were {out}
    // replaced again inside the name that replaced {in}: the copy runs on its two files alone.
    const std::string trap = "a'{out};touch " + in.P("injected") + ";'", trapSays = "does not carry";
#else
    // An output folder with a name cmd.exe would expand inside quotes.
    const std::string trap = "a%OS%b", trapSays = "cmd.exe";
#endif
    std::filesystem::create_directories(in.Dir / trap);
    const std::size_t files = in.FileCount();
    const std::string out = in.P("out.exe");
    auto build = [&](std::vector<std::string> extra) {
        auto a = in.MinimalBuild("out.exe");
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    // A build of these stub and screensaver files, named name, into the folder's file to.
    auto from = [&](const std::string& stub, const std::string& scr, std::vector<std::string> extra = {},
                    const std::string& to = "out.exe", const std::string& name = "x") {
        std::vector<std::string> a = {"build",  "--stub", in.P(stub), "--scr", in.P(scr),
                                      "--name", name,     "-o",       in.P(to)};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    auto named = [&](const std::string& name) { return from("stub.exe", "saver.scr", {}, "out.exe", name); };
    const std::vector<std::string> signUninstaller = {"--sign-uninstaller", kCopyCommand};
    // Failures whose message is checked as well.
    const std::vector<std::pair<std::vector<std::string>, std::string>> says = {
        {build({"--top-image", in.P("rle.bmp")}), "save it as an uncompressed Windows BMP"},
        {build({"--eula", in.P("stub.exe"), "--text-encoding", "cp932"}), "is not code page 932 text"},
        {from("carrier.exe", "saver.scr", signUninstaller), // copied, not signed
         "does not carry the uninstaller's container in front of a certificate table"},
        {from("carrier.exe", "saver.scr", signUninstaller, trap + "/out.exe"), trapSays},
#ifndef _WIN32 // (on Windows the arguments travel as UTF-16 and arrive as UTF-8 whatever they hold)
        {winget("manifest", "versioned.exe", {"--url", "https://example.com/\xFF.exe"}),
         "--url is not valid UTF-8"},
#endif
        // The manifest: the schema's rules.
        {winget("manifest", "versioned.exe", {"--id", "Orvane"}), "--id must be Publisher.Package"},
        {winget("manifest", "versioned.exe", {"--id", "Orvane.Sa ver"}), "--id must be Publisher.Package"},
        {winget("manifest", "versioned.exe", {"--url", "ftp://example.com/s.exe"}), "--url must be"},
        {winget("manifest", "versioned.exe", {"--description", "ab"}), "--description"},
        {winget("manifest", "versioned.exe", {"--moniker", std::string(41, 'm')}), "--moniker"},
        {winget("manifest", "escape.exe"), "\"1.0\\x1B[2K\""},
        // A character without a code page 932 form (Hangul, an emoji) is named with where it stood.
        {build({"--title", "Saver \xED\x95\x9C"}), "--title: the character \"\xED\x95\x9C\" (U+D55C)"},
        {build({"--eula", in.P("emoji.txt")}), "(U+1F600) has no code page 932 form"},
        {named("\xED\x95\x9C"), "--name: the character"},
        {winget("earlier"), locale + "\""},
        {winget("fresh"), locale + "\""},
    };
    std::vector<std::vector<std::string>> cases = {
        {"build", "--scr", in.P("saver.scr"), "--name", "x", "-o", out},                  // no --stub
        {"build", "--stub", in.P("stub.exe"), "--scr", in.P("saver.scr"), "--name", "x"}, // no -o
        named(""),
        named("a/b"),
        named("a?"),
        named("con"),
        named(".."),
        from("saver.scr", "saver.scr"),
        from("stub.exe", "empty.scr"),
        from("stub.exe", "missing.scr"),
        from("signed.exe", "saver.scr"),
        build({"--bogus"}),
        build({"--guid", "0123ABCD-4567-89EF-0123-456789ABCDEF"}),
        build({"--guid", "{0123ABCD-4567-89EF-0123-456789ABCDEG}"}),
        build({"--digest-length", "-1"}),
        build({"--digest-length", "4294967296"}),
        build({"--text-encoding", "latin1"}),
        build({"--flash-version", "9.x"}),
        build({"--left-image", in.P("notbmp.bmp")}),
        build({"--left-image", in.P("rle.bmp")}),
        build({"--top-image", in.P("readme.txt")}),
        build({"--eula", in.P("readme.txt")}), // not UTF-8
        build({"--title", ""}),
        build({"--title"}),
        // The signing command: both files named; it must succeed and add a signature.
        build({"--sign-uninstaller", "cp {in} elsewhere"}),
        build(signUninstaller), // the fake stub carries no uninstaller
        from("carrier.exe", "saver.scr", {"--sign-uninstaller", kFailingCommand}),
        // An installer that registers no version has no manifest; nor has a program without items.
        winget("manifest", "noversion.exe"),
        winget("manifest", "stub.exe"),
        // Failures while writing: a missing folder, and a folder in the way of OUT.
        from("stub.exe", "saver.scr", {}, "no/out.exe"),
        from("stub.exe", "saver.scr", {}, "adir"),
        {},
        {"frob\x1b[2Knicate"},
        {"list"},
        {"list", in.P("missing.exe")},
        {"extract", in.P("stub.exe")},
        {"extract", in.P("stub.exe"), "SCR", "-o", out}, // no such item
        {"append", in.P("missing.exe"), "A=b"},
        {"append", in.P("stub.exe"), "novalue"},
        {"append", in.P("signed.exe"), "A=b"},
        {"append", in.P("stub.exe"), "SCRName=..\\x"}, // the installer would refuse it
        {"verify", in.P("stub.exe"), "extra\xE2\x80\xAE"},
    };
    for (const auto& [args, text] : says) cases.push_back(args);
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        TRunResult r = RunScrpack(args);
        EXPECT_EQ(r.ExitCode, 2) << shown;
        // One line on stderr, nothing from outside in it raw, nothing on stdout.
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << shown << "\n" << r.Err;
        EXPECT_TRUE(Inert(r.Err)) << shown << "\n" << r.Err;
        EXPECT_EQ(r.Err.rfind("scrpack", 0), 0u) << r.Err;
        EXPECT_EQ(r.Out, "") << shown;
        EXPECT_FALSE(std::filesystem::exists(out)) << shown;
        EXPECT_EQ(in.FileCount(), files) << shown;
    }
    // Each of those says what is wrong (a picture the installer would not show: what to convert it to).
    for (const auto& [args, text] : says) EXPECT_NE(RunScrpack(args).Err.find(text), std::string::npos);
    // The manifest is written all or none: the files put in place before the last went back
    // to their earlier bytes, or away.
    for (const char* name : earlier) EXPECT_EQ(Str(ReadBytes(in.Dir / "earlier" / name)), name);
    EXPECT_EQ(in.FileCount("earlier"), 3u);
    EXPECT_EQ(in.FileCount("fresh"), 1u);
#ifndef _WIN32
    // A folder made for the manifest goes again (here its second file exceeds a size limit).
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{1024, limit.rlim_max};
    const auto handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string tooLarge = RunScrpack(winget("made/manifest")).Err;
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, handler);
    EXPECT_NE(tooLarge.find("Orvane.Saver.installer.yaml\""), std::string::npos) << tooLarge;
    EXPECT_EQ(in.FileCount(), files);
#endif
    EXPECT_EQ(ReadBytes(in.Dir / "stub.exe"), in.Stub); // a bad NAME=VALUE left it alone
    EXPECT_EQ(ReadBytes(in.Dir / "signed.exe"), signedFile.b);
}

TEST(Scrpack, AppendAddsANewerContainer) {
    Inputs in;
    ASSERT_EQ(RunScrpack(in.MinimalBuild("setup.exe")).ExitCode, 0);
    const Bytes8 before = ReadBytes(in.Dir / "setup.exe");
    TRunResult r = RunScrpack({"append", in.P("setup.exe"), "GUID=" + kGuid, "Title=" + kTitleUtf8,
                               "Data=@" + in.P("readme.txt"), "Empty=", "--stored"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const Bytes8 after = ReadBytes(in.Dir / "setup.exe");
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    TItemTypes items;
    ReadItems(in.Dir / "setup.exe", items);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(Str(items[0].Data), kGuid);
    EXPECT_EQ(Str(items[1].Data), kTitleCp932);
    EXPECT_EQ(items[2].Data, in.Readme);
    EXPECT_EQ(items[3].Size, 0);
    for (const auto& i : items) EXPECT_FALSE(i.Compressed);

    r = RunScrpack({"append", in.P("setup.exe"), "X=1", "X=2"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    ReadItems(in.Dir / "setup.exe", items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].Compressed);
    r = RunScrpack({"extract", in.P("setup.exe"), "X"});
    EXPECT_EQ(r.Out, "2"); // the last item of that name
    r = RunScrpack({"list", in.P("setup.exe"), "--json"});
    EXPECT_EQ(r.Out, "[{\"name\":\"X\",\"compressed\":true,\"size\":1},\n "
                     "{\"name\":\"X\",\"compressed\":true,\"size\":1}]\n");

    // An appended screensaver or uninstaller without a signature is named in a warning, a signed
    // one is not; verify tells which is signed.
    const SignedFile signedFile(true);
    WriteBytes(in.Dir / "signed.exe", signedFile.b);
    r = RunScrpack({"append", in.P("setup.exe"), "SCR=@" + in.P("saver.scr"),
                    "InstallerSignedUninstaller=@" + in.P("signed.exe")});
    EXPECT_EQ(Lf(r.Err), UnsignedWarning("append", "the screensaver (item \"SCR\")"));
    EXPECT_NE(
        RunScrpack({"verify", in.P("setup.exe")})
            .Out.find("\nscreensaver signature: none\nuninstaller signature: present (certificate table " +
                      std::to_string(signedFile.Length) + " bytes) (item InstallerSignedUninstaller)\n"),
        std::string::npos);
    r = RunScrpack({"append", in.P("setup.exe"), "SCR=@" + in.P("signed.exe"),
                    "InstallerSignedUninstaller=@" + in.P("readme.txt")});
    EXPECT_EQ(Lf(r.Err), UnsignedWarning("append", "the uninstaller (item \"InstallerSignedUninstaller\")"));
}

// A stub that carries the binding field gets the SHA-256 of exactly the container written
// after it, from build and from append alike; verify checks it, and one stored byte
// changed behind it fails although the digest still passes. A stub without the field
// stays as it is; one with the tag twice cannot be bound and is refused.
TEST(Scrpack, BindsTheContainerToTheImage) {
    Inputs in;
    const Bytes8 tag = {SCR_BINDING_TAG_BYTES};
    const std::size_t field = in.Stub.size() + tag.size();
    Bytes8 stub = Inputs::Concat(Inputs::Concat(in.Stub, tag), Bytes8(32, 0));
    stub = Inputs::Concat(stub, CodeLike(64));
    WriteBytes(in.Dir / "stub.exe", stub);
    auto expectBound = [&](const Bytes8& file, std::size_t containerStart) {
        const TSha256 hash = Sha256(file.data() + containerStart, file.size() - containerStart);
        EXPECT_TRUE(std::equal(hash.begin(), hash.end(), file.begin() + static_cast<std::ptrdiff_t>(field)));
        EXPECT_TRUE(
            std::equal(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(field), file.begin()));
    };
    ASSERT_EQ(RunScrpack(in.MinimalBuild("setup.exe")).ExitCode, 0);
    Bytes8 built = ReadBytes(in.Dir / "setup.exe");
    expectBound(built, stub.size());
    TRunResult r = RunScrpack({"verify", in.P("setup.exe")});
    EXPECT_EQ(r.ExitCode, 0) << r.Out;
    EXPECT_NE(r.Out.find("binding: pass"), std::string::npos) << r.Out;

    ASSERT_EQ(RunScrpack({"append", in.P("setup.exe"), "X=1"}).ExitCode, 0);
    const Bytes8 appended = ReadBytes(in.Dir / "setup.exe");
    expectBound(appended, built.size());

    // "InstallerVerCheck" is stored as it is: its byte lies in the clear.
    const std::string scrambled = ScrambleName("InstallerVerCheck", built[stub.size()]);
    const Bytes8 name(scrambled.begin(), scrambled.end());
    const auto at = std::search(built.begin(), built.end(), name.begin(), name.end());
    ASSERT_NE(at, built.end());
    *(at + static_cast<std::ptrdiff_t>(name.size()) + 1 + 4) ^= 1;
    WriteBytes(in.Dir / "changed.exe", built);
    r = RunScrpack({"verify", in.P("changed.exe")});
    EXPECT_EQ(r.ExitCode, 1) << r.Out;
    EXPECT_NE(r.Out.find("binding: FAIL"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("digest: pass"), std::string::npos) << r.Out;

    WriteBytes(in.Dir / "stub.exe", in.Stub);
    r = RunScrpack(in.MinimalBuild("plain.exe"));
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("not bound"), std::string::npos) << r.Out;
    EXPECT_NE(RunScrpack({"verify", in.P("plain.exe")}).Out.find("binding: none"), std::string::npos);

    WriteBytes(in.Dir / "stub.exe", Inputs::Concat(stub, stub));
    const std::size_t files = in.FileCount();
    r = RunScrpack(in.MinimalBuild("twice.exe"));
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_NE(r.Err.find("binding tag more than once"), std::string::npos) << r.Err;
    EXPECT_EQ(in.FileCount(), files);
}

TEST(Scrpack, DamagedContainerIsOneErrorLine) {
    Inputs in;
    Bytes8 bad = in.Stub;
    for (std::uint8_t b :
         Bytes8{20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 8, 0, 0, 0, 0, 0, 0, 0, 'P', 'L', 'W', 'S'})
        bad.push_back(b);
    WriteBytes(in.Dir / "bad.exe", bad);
    for (const char* verb : {"list", "verify"}) {
        TRunResult r = RunScrpack({verb, in.P("bad.exe")});
        EXPECT_EQ(r.ExitCode, 2) << verb;
        EXPECT_NE(r.Err.find("item count"), std::string::npos) << r.Err;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    }
    TRunResult r = RunScrpack({"list", in.P("stub.exe"), "--json"});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out, "[]\n");
}

TEST(Scrpack, HelpOnEveryVerb) {
    for (const char* verb : {"build", "list", "extract", "append", "verify"}) {
        TRunResult r = RunScrpack({verb, "--help"});
        EXPECT_EQ(r.ExitCode, 0) << verb;
        EXPECT_EQ(r.Out.rfind(std::string("usage: scrpack ") + verb, 0), 0u) << r.Out;
        EXPECT_EQ(r.Err, "");
    }
    TRunResult r = RunScrpack({"--help"});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("verify"), std::string::npos);
}

TEST(Scrpack, JapaneseFileNamesOnTheCommandLine) {
    Inputs in;
    // "インストーラー.exe" and "読んでね.txt": on Windows the arguments travel as UTF-16.
    const std::string setup =
        "\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xBC\xE3\x83\xA9\xE3\x83\xBC.exe";
    const std::string readme = "\xE8\xAA\xAD\xE3\x82\x93\xE3\x81\xA7\xE3\x81\xAD.txt";
    const auto setupPath = in.Dir.Path() / std::filesystem::path(std::u8string(setup.begin(), setup.end()));
    const auto readmePath =
        in.Dir.Path() / std::filesystem::path(std::u8string(readme.begin(), readme.end()));
    WriteBytes(readmePath, in.Readme);
    auto args = in.MinimalBuild("x");
    args[8] = Arg(setupPath);
    args.insert(args.end(), {"--readme", Arg(readmePath)});
    TRunResult r = RunScrpack(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    ASSERT_TRUE(std::filesystem::exists(setupPath));
    TItemTypes items;
    ReadItems(setupPath, items);
    EXPECT_EQ(Find(items, "InstallerReadme")->Data, in.Readme);
    r = RunScrpack({"verify", Arg(setupPath)});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    // The signing folder beside a Japanese output name: the copy lands there and the
    // folder goes again.
    WriteBytes(in.Dir / "carrier.exe", StubCarrying(CodeLike(900)));
    const std::size_t files = in.FileCount();
    const auto signedPath = in.Dir.Path() / std::filesystem::path(u8"署名.exe");
    r = RunScrpack({"build", "--stub", in.P("carrier.exe"), "--scr", in.P("saver.scr"), "--name", "x", "-o",
                    Arg(signedPath), "--sign-uninstaller", kCopyCommand});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_NE(r.Err.find("does not carry the uninstaller's container"), std::string::npos) << r.Err;
    EXPECT_EQ(in.FileCount(), files);
}

#ifndef _WIN32
// The package manager's manifest, read back by a real YAML parser (Python's): every field
// with its value, the version and publisher those the installer registers (here from the
// screensaver's version record), the hash that of the file. (Under Wine, the end-to-end
// tests compare the manifest with a real installation's entry.)
TEST(Scrpack, WingetManifestCarriesWhatTheInstallerRegisters) {
    Inputs in;
    WriteBytes(in.Dir / "pe-stub.exe", pebytes::PeWithResources(0x8664, {}));
    WriteBytes(in.Dir / "versioned.scr", ScreenSaverWithVersionRecord());
    ASSERT_EQ(RunScrpack({"build", "--stub", in.P("pe-stub.exe"), "--scr", in.P("versioned.scr"), "--name",
                          kNameUtf8, "--guid", kGuid, "-o", in.P("setup.exe")})
                  .ExitCode,
              0);
    const TRunResult r =
        RunScrpack({"winget", in.P("setup.exe"), "--id", "Orvane.Aurora", "--url",
                    "https://example.com/Aurora Setup.exe", "--license", "Freeware", "--description",
                    "Northern \"lights\"\n" + kTitleUtf8 + "\xC2\x85\xEF\xBF\xBF", "--moniker", "aurora",
                    "-o", in.P("manifest")});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;

    const std::string script = "import sys, json, yaml\n"
                               "def walk(path, v):\n"
                               "    if isinstance(v, dict):\n"
                               "        for k in v: walk(path + '.' + k if path else k, v[k])\n"
                               "    elif isinstance(v, list):\n"
                               "        for i, x in enumerate(v): walk('%s[%d]' % (path, i), x)\n"
                               "    else: print(path + '=' + json.dumps(v, ensure_ascii=False))\n"
                               "for f in sys.argv[1:]:\n"
                               "    print('== ' + f.rsplit('/', 1)[-1])\n"
                               "    walk('', yaml.safe_load(open(f, encoding='utf-8')))\n";
    WriteBytes(in.Dir / "flatten.py", Bytes8(script.begin(), script.end()));
    const std::string dir = in.P("manifest") + "/";
    const std::string command = "python3 '" + in.P("flatten.py") + "' '" + dir + "Orvane.Aurora.yaml' '" +
                                dir + "Orvane.Aurora.installer.yaml' '" + dir +
                                "Orvane.Aurora.locale.ja-JP.yaml'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string fields;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) fields.append(buf, n);
    ASSERT_EQ(pclose(pipe), 0) << fields;

    const Bytes8 installer = ReadBytes(in.Dir / "setup.exe");
    const TSha256 hash = Sha256(installer.data(), installer.size());
    const std::string hex = hextext::Text<std::string>(hash, hextext::TLetters::Upper);
    const std::string version = "2.0 \xE3\x83\x99\xE3\x83\xBC\xE3\x82\xBF"; // "2.0 ベータ", blanks cut
    const std::string publisher =
        "Orvane \xE6\xA0\xAA\xE5\xBC\x8F\xE4\xBC\x9A\xE7\xA4\xBE"; // "Orvane 株式会社"
    const std::string displayName = kNameUtf8 + "\xE3\x82\xB9\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\xBC\xE3\x83\xB3"
                                                "\xE3\x82\xBB\xE3\x83\xBC\xE3\x83\x90\xE3\x83\xBC";
    // The fields as flatten.py prints them (a string's JSON form), each file's name before its own.
    const auto f = [](const std::string& path, const std::string& value) {
        return path + "=\"" + value + "\"\n";
    };
    const std::string head = f("PackageIdentifier", "Orvane.Aurora") + f("PackageVersion", version);
    std::string want =
        "== Orvane.Aurora.yaml\n" + head + f("DefaultLocale", "ja-JP") + f("ManifestType", "version");
    want += f("ManifestVersion", "1.10.0") + "== Orvane.Aurora.installer.yaml\n" + head +
            f("InstallerType", "exe");
    want += f("InstallModes[0]", "interactive") + f("InstallModes[1]", "silent") +
            f("InstallModes[2]", "silentWithProgress");
    want += f("InstallerSwitches.Silent", "/S") + f("InstallerSwitches.SilentWithProgress", "/S");
    want += f("InstallerSwitches.InstallLocation", "/D=<INSTALLPATH>") +
            f("InstallerSwitches.Log", "/LOG=\\\"<LOGPATH>\\\"");
    const char* responses[] = {"invalidParameter", "contactSupport",        "missingDependency",
                               "invalidParameter", "contactSupport",        "cancelledByUser",
                               "contactSupport",   "alreadyInstalled",      "diskFull",
                               "fileInUse",        "contactSupport",        "contactSupport",
                               "contactSupport",   "rebootRequiredToFinish"};
    for (int i = 0; i < 14; ++i) {
        const std::string at = "ExpectedReturnCodes[" + std::to_string(i) + "].";
        want += at + "InstallerReturnCode=" + std::to_string(i < 13 ? i + 1 : 3010) + "\n" +
                f(at + "ReturnResponse", responses[i]);
    }
    const std::string entry = "AppsAndFeaturesEntries[0].";
    want += f(entry + "DisplayName", displayName) + f(entry + "Publisher", publisher) +
            f(entry + "DisplayVersion", version) + f(entry + "ProductCode", kNameUtf8);
    // One installer entry for each scope.
    const char* scopes[][3] = {{"machine", "ALLUSERS", "elevatesSelf"},
                               {"user", "CURRENTUSER", "elevationProhibited"}};
    for (int i = 0; i < 2; ++i) {
        const std::string at = "Installers[" + std::to_string(i) + "].";
        want += f(at + "Architecture", "x64") +
                f(at + "InstallerUrl", "https://example.com/Aurora Setup.exe") +
                f(at + "InstallerSha256", hex) + f(at + "Scope", scopes[i][0]) +
                f(at + "InstallerSwitches.Custom", std::string("/") + scopes[i][1]) +
                f(at + "ElevationRequirement", scopes[i][2]);
    }
    want += f("ManifestType", "installer") + f("ManifestVersion", "1.10.0") +
            "== Orvane.Aurora.locale.ja-JP.yaml\n";
    want += head + f("PackageLocale", "ja-JP") + f("Publisher", publisher) + f("PackageName", displayName) +
            f("License", "Freeware") +
            f("ShortDescription", "Northern \\\"lights\\\"\\n" + kTitleUtf8 + "\xC2\x85\xEF\xBF\xBF");
    want += f("Moniker", "aurora") + f("ManifestType", "defaultLocale") + f("ManifestVersion", "1.10.0");
    EXPECT_EQ(fields, want);
}
#endif
