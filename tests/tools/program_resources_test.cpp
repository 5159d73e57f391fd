// disctool project build: what it writes into Setup.exe besides the project
// tree, read back with disctool pe extract from a build on a small runtime.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "../core/test_util.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace {

using testutil::Result;
using testutil::RunTool;
using testutil::Shell;

const fs::path kGood = fs::path(DISC_FIXTURES_DIR) / "projects" / "good";
const fs::path kRuntime = fs::path(DISC_FIXTURES_DIR) / "pe" / "tiny32.exe";

// The good fixture with extra settings put first, built onto the small
// runtime; the disc folder, or "" after a failed build (output in *out).
std::string Build(const testutil::TempFolder& dir, const std::string& name, const std::string& settings,
                  Result* out, const std::string& options = "", const std::string& runtime = kRuntime.string()) {
    fs::path project = dir.Path() / name;
    fs::copy(kGood, project, fs::copy_options::recursive);
    std::string yaml = testutil::ReadFile((project / "project.yaml").string());
    testutil::WriteFile((project / "project.yaml").string(), settings + yaml);
    std::string disc = (dir.Path() / (name + "-disc")).string();
    *out = RunTool("project build " + project.string() + " -o " + disc + " --runtime " + runtime +
                   " --method none " + options);
    return out->status == 0 ? disc : "";
}

std::string Extract(const testutil::TempFolder& dir, const std::string& file, const std::string& type,
                    const std::string& id) {
    std::string out = dir.File("extracted.bin");
    Result r = RunTool("pe extract " + file + " " + type + " " + id + " -o " + out);
    EXPECT_EQ(r.status, 0) << r.output;
    return r.status == 0 ? testutil::ReadFile(out) : "";
}

// The blocks of a version resource walked by their lengths, as Windows reads
// them: "StringFileInfo/000004b0/ProductName" -> its text (UTF-16 code units
// below 256 as bytes, others as '?'), "" -> the fixed part's 13 numbers as
// text. A block whose lengths run past its parent fails the test.
void Walk(const std::string& r, size_t at, size_t end, const std::string& path, std::map<std::string, std::string>* out) {
    auto u16 = [&](size_t o) { return uint16_t(uint8_t(r[o]) | uint8_t(r[o + 1]) << 8); };
    auto align = [](size_t o) { return (o + 3) & ~size_t(3); };
    while (at + 6 <= end) {
        const size_t length = u16(at), valueLength = u16(at + 2), type = u16(at + 4);
        ASSERT_GE(length, 6u) << path;
        ASSERT_LE(at + length, end) << path;
        std::string key;
        size_t o = at + 6;
        for (; o + 1 < at + length && u16(o); o += 2) key += char(u16(o));
        o = align(o + 2);
        std::string name = path.empty() ? key : path + "/" + key;
        if (type == 1 && valueLength) {
            std::string text;
            for (size_t k = 0; k + 1 < valueLength; ++k) text += u16(o + 2 * k) < 256 ? char(u16(o + 2 * k)) : '?';
            (*out)[name] = text;
            o = align(o + 2 * valueLength);
        } else if (valueLength) {
            std::string numbers;
            for (size_t k = 0; k + 4 <= valueLength; k += 4)
                numbers += (k ? " " : "") + std::to_string(uint32_t(u16(o + k)) | uint32_t(u16(o + k + 2)) << 16);
            (*out)[name + "#"] = numbers;
            o = align(o + valueLength);
        }
        Walk(r, o, at + length, name, out);
        at = align(at + length);
    }
}

bool CanSign() { return Shell("osslsigncode --version").status == 0 && Shell("openssl version").status == 0; }

// A throwaway code-signing certificate in dir: cert.pfx, its password in
// password.txt and the certificate alone in cert.pem.
bool MakeCertificate(const testutil::TempFolder& dir) {
    testutil::WriteFile(dir.File("password.txt"), "not secret\n");
    return Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Disc test signing' "
                 "-addext extendedKeyUsage=codeSigning -keyout " + dir.File("key.pem") + " -out " + dir.File("cert.pem"))
                   .status == 0 &&
           Shell("openssl pkcs12 -export -inkey " + dir.File("key.pem") + " -in " + dir.File("cert.pem") + " -out " +
                 dir.File("cert.pfx") + " -passout file:" + dir.File("password.txt"))
                   .status == 0;
}

// A runtime that carries a real program as its uninstaller (EXE 153).
std::string RuntimeWithUninstaller(const testutil::TempFolder& dir) {
    const std::string runtime = dir.File("runtime.exe");
    Result r = RunTool("pe set " + kRuntime.string() + " EXE 153 " + kRuntime.string() + " -o " + runtime);
    EXPECT_EQ(r.status, 0) << r.output;
    return runtime;
}

uint32_t PeTimestamp(const std::string& bytes) {
    auto u32 = [&](size_t at) {
        return at + 4 <= bytes.size() ? uint32_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8 |
                                                 uint8_t(bytes[at + 2]) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24)
                                      : 0;
    };
    return u32(u32(0x3C) + 8);
}

}  // namespace

TEST(ProgramResources, ManifestAsksForTheProjectsExecutionLevel) {
    static const struct {
        const char* settings;
        const char* level;  // nullptr: the build fails naming the key
    } kCases[] = {
        {"", "highestAvailable"},  // the fixture installs
        {"UseInstaller: false\n", "asInvoker"},
        {"ExecutionLevel: asInvoker\n", "asInvoker"},
        {"ExecutionLevel: highestAvailable\nUseInstaller: false\n", "highestAvailable"},
        {"ExecutionLevel: requireAdministrator\n", "requireAdministrator"},
        {"ExecutionLevel: admin\n", nullptr},
    };
    testutil::TempFolder dir("manifest");
    for (size_t i = 0; i < std::size(kCases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i) + ": " + kCases[i].settings);
        Result r;
        std::string disc = Build(dir, "p" + std::to_string(i), kCases[i].settings, &r);
        if (!kCases[i].level) {
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.output.find("project.yaml:1:17: ExecutionLevel must be asInvoker, highestAvailable or "
                                    "requireAdministrator"),
                      std::string::npos)
                << r.output;
            continue;
        }
        ASSERT_FALSE(disc.empty()) << r.output;
        std::string manifest = Extract(dir, disc + "/Setup.exe", "24", "1");
        EXPECT_NE(manifest.find(std::string("<requestedExecutionLevel level=\"") + kCases[i].level + "\""),
                  std::string::npos)
            << manifest;
        // Visual styles, Vista to 11 as known versions, DPI awareness.
        for (const char* part : {"Microsoft.Windows.Common-Controls", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
                                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "<dpiAware", "urn:schemas-microsoft-com:asm.v2"})
            EXPECT_NE(manifest.find(part), std::string::npos) << part;
        EXPECT_EQ(manifest.find('@'), std::string::npos) << "a placeholder is left: " << manifest;
    }
}

TEST(ProgramResources, VersionResourceCarriesTheProjectsIdentity) {
    testutil::TempFolder dir("version");
    Result r;
    // "Média" is in code page 1252: é must come out as U+00E9.
    std::string disc = Build(dir, "p", "Publisher: Trelvo Média\nVersion: 2.5.1\n", &r);
    ASSERT_FALSE(disc.empty()) << r.output;
    std::map<std::string, std::string> blocks;
    std::string resource = Extract(dir, disc + "/Setup.exe", "16", "1");
    ASSERT_FALSE(resource.empty());
    Walk(resource, 0, resource.size(), "", &blocks);
    const std::string strings = "VS_VERSION_INFO/StringFileInfo/000004b0/";
    const std::pair<const char*, const char*> kExpected[] = {
        {"ProductName", "Fixture"},  // [TITLE] in the default language
        {"CompanyName", "Trelvo M\xe9" "dia"},
        {"ProductVersion", "2.5.1"},
        {"FileVersion", "2.5.1"},
        {"FileDescription", "Fixture"},
        {"LegalCopyright", "Copyright (C) Trelvo M\xe9" "dia"},
        {"OriginalFilename", "Setup.exe"},
    };
    for (const auto& [key, value] : kExpected) EXPECT_EQ(blocks[strings + key], value) << key;
    // Signature, structure version, file and product version 2.5.1.0 (twice
    // two 32-bit halves), flags, Windows NT, an application.
    EXPECT_EQ(blocks["VS_VERSION_INFO#"],
              std::to_string(0xFEEF04BDu) + " 65536 131077 65536 131077 65536 63 0 262148 1 0 0 0");
    EXPECT_EQ(blocks["VS_VERSION_INFO/VarFileInfo/Translation#"], std::to_string(0x04B00000u));

    // Without the keys: version 1.0, no company and no copyright.
    blocks.clear();
    disc = Build(dir, "q", "", &r);
    ASSERT_FALSE(disc.empty()) << r.output;
    resource = Extract(dir, disc + "/Setup.exe", "16", "1");
    Walk(resource, 0, resource.size(), "", &blocks);
    EXPECT_EQ(blocks[strings + "ProductVersion"], "1.0");
    EXPECT_EQ(blocks.count(strings + "CompanyName"), 0u);
    EXPECT_EQ(blocks.count(strings + "LegalCopyright"), 0u);

    int n = 0;
    for (const char* bad : {"Version: 1.2.3.4.5\n", "Version: 1.70000\n", "Version: v2\n", "Version: 1..2\n"}) {
        Result failed;
        EXPECT_TRUE(Build(dir, "bad" + std::to_string(n++), bad, &failed).empty()) << bad;
        EXPECT_NE(failed.output.find("Version must be one to four numbers"), std::string::npos) << bad << failed.output;
    }
}

TEST(ProgramResources, SignedBuildVerifiesAndAnEditDropsTheSignature) {
    if (!CanSign()) GTEST_SKIP() << "osslsigncode or openssl is not installed";
    testutil::TempFolder dir("signing");
    ASSERT_TRUE(MakeCertificate(dir));
    const std::string cert = dir.File("cert.pem"), pfx = dir.File("cert.pfx"), password = dir.File("password.txt");
    const std::string runtime = RuntimeWithUninstaller(dir);

    Result r;
    const std::string plain = Build(dir, "plain", "", &r, "", runtime);
    ASSERT_FALSE(plain.empty()) << r.output;
    const std::string disc =
        Build(dir, "signed", "", &r, "--sign " + pfx + " --sign-password-file " + password, runtime);
    ASSERT_FALSE(disc.empty()) << r.output;
    EXPECT_NE(r.output.find("signed with " + pfx + ": the uninstaller in Setup.exe, Setup.exe (no time stamp)"),
              std::string::npos)
        << r.output;
    const std::string uninstaller = dir.File("uninstaller.exe");
    ASSERT_EQ(RunTool("pe extract " + disc + "/Setup.exe EXE 153 -o " + uninstaller).status, 0);
    for (const std::string& file : {disc + "/Setup.exe", uninstaller}) {
        Result verify = Shell("osslsigncode verify -CAfile " + cert + " -in " + file);
        EXPECT_EQ(verify.status, 0) << file << ": " << verify.output;
        EXPECT_NE(verify.output.find("Signature verification: ok"), std::string::npos) << file << verify.output;
        EXPECT_NE(verify.output.find("Text description: Fixture"), std::string::npos) << file << verify.output;
    }

    // Editing the signed file says so and leaves no stale certificate: the
    // result is the edit of the unsigned file, byte for byte.
    const std::string data = dir.File("data.bin");
    testutil::WriteFile(data, "edited");
    const std::string signedPlain = dir.File("signed-plain.exe");
    ASSERT_EQ(Shell("osslsigncode sign -pkcs12 " + pfx + " -readpass " + password + " -in " + plain +
                    "/Setup.exe -out " + signedPlain)
                  .status,
              0);
    Result fromSigned = RunTool("pe set " + signedPlain + " VGF 157 " + data + " -o " + dir.File("a.exe"));
    ASSERT_EQ(fromSigned.status, 0) << fromSigned.output;
    EXPECT_NE(fromSigned.output.find("was signed; the signature would not match the edited file"), std::string::npos)
        << fromSigned.output;
    ASSERT_EQ(RunTool("pe set " + plain + "/Setup.exe VGF 157 " + data + " -o " + dir.File("b.exe")).status, 0);
    EXPECT_TRUE(testutil::ReadFile(dir.File("a.exe")) == testutil::ReadFile(dir.File("b.exe")));
    EXPECT_NE(Shell("osslsigncode verify -CAfile " + cert + " -in " + dir.File("a.exe")).status, 0);

    // A wrong password fails the build with osslsigncode's reason.
    testutil::WriteFile(password, "wrong\n");
    EXPECT_TRUE(Build(dir, "wrong", "", &r, "--sign " + pfx + " --sign-password-file " + password, runtime).empty());
    EXPECT_NE(r.output.find("osslsigncode failed"), std::string::npos) << r.output;
}

// The same project gives the same disc, byte for byte; with SOURCE_DATE_EPOCH
// the programs' time stamps (and, signed, the signing time) are that time,
// so that even signed discs come out the same.
TEST(ProgramResources, SameProjectSameDiscAndTimeStampsFromSourceDateEpoch) {
    testutil::TempFolder dir("reproducible");
    const std::string runtime = RuntimeWithUninstaller(dir);
    const bool sign = CanSign() && MakeCertificate(dir);
    const std::string signing =
        sign ? " --sign " + dir.File("cert.pfx") + " --sign-password-file " + dir.File("password.txt") : "";
    fs::copy(kGood, dir.Path() / "project", fs::copy_options::recursive);
    const std::string project = (dir.Path() / "project").string();
    static const struct {
        const char* environment;
        bool signs;
        uint32_t stamp;  // 0: the runtime's own
    } kCases[] = {{"", false, 0}, {"SOURCE_DATE_EPOCH=1700000000 ", false, 1700000000},
                  {"SOURCE_DATE_EPOCH=1700000000 ", true, 1700000000}};
    const uint32_t runtimeStamp = PeTimestamp(testutil::ReadFile(runtime));
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const auto& c = kCases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        if (c.signs && !sign) continue;  // without osslsigncode
        std::string discs[2];
        for (int k = 0; k < 2; ++k) {
            discs[k] = dir.File("disc" + std::to_string(i) + "-" + std::to_string(k));
            Result r = Shell(std::string(c.environment) + DISCTOOL_PATH + " project build " + project + " -o " +
                             discs[k] + " --runtime " + runtime + (c.signs ? signing : ""));
            ASSERT_EQ(r.status, 0) << r.output;
        }
        size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(discs[0])) {
            if (!entry.is_regular_file()) continue;
            const fs::path other = discs[1] / fs::relative(entry.path(), discs[0]);
            EXPECT_TRUE(testutil::ReadFile(entry.path().string()) == testutil::ReadFile(other.string()))
                << entry.path().filename();
            ++files;
        }
        EXPECT_GE(files, 3u);  // Setup.exe, Setup.pac, autorun.inf
        const std::string setup = discs[0] + "/Setup.exe";
        EXPECT_EQ(PeTimestamp(testutil::ReadFile(setup)), c.stamp ? c.stamp : runtimeStamp);
        EXPECT_EQ(PeTimestamp(Extract(dir, setup, "EXE", "153")), c.stamp ? c.stamp : runtimeStamp);
    }
    Result bad = Shell("SOURCE_DATE_EPOCH=soon " + std::string(DISCTOOL_PATH) + " project build " + project + " -o " +
                       dir.File("bad") + " --runtime " + runtime);
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.output.find("SOURCE_DATE_EPOCH=soon: not a number"), std::string::npos) << bad.output;
}
