// The program end to end: every way out of a run, on every target, through
// the real binary with the scripted control, bytes compared exactly.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/expected.h"
#include "support/target.h"
#include "support/work_folder.h"

namespace {

// Data files whose SHA-1 has its first zero byte at position 0 and at 3.
const std::string kDigestZeroAt0 = "127";
const std::string kDigestZeroAt3 = "438";

const std::u16string kIdentity = u"k\u00e9y-\u4e2d";
const std::u16string kSignature = u"c2lnbmF0dXJl";
const std::u16string kContainer = u"BRIVCont1";
const std::u16string kClientIdentity = u"briv_tav_client_p12";

struct Case {
    std::string name;
    std::vector<std::string> args;            // after the program's name
    std::map<std::string, std::string> files; // made in the work folder first
    std::vector<std::string> folders;         // likewise, as folders
    std::vector<std::string> fifos;           // likewise, as FIFOs
    std::string script;                       // the scripted control's lines
    std::string out;                          // standard output, exactly
    int32_t status = 0;                       // the run's 32-bit status
    std::vector<std::string> calls;           // the control's log, exactly
    std::optional<std::string> signatureFile; // TCERT_RSA.tmp afterwards
    bool registered = true;
    bool needsByteNames = false;
    bool needsPosixFiles = false;
};

const std::string kOldSignature = "an earlier, longer signature that must survive";

class Expect {
  public:
    explicit Expect(const Target& target) : t_(target) {}

    // The digest text the control is handed for a data file's content.
    std::u16string DigestText(const std::string& content) const {
        return t_.AnsiToWide(DigestBytes(content));
    }

    std::vector<std::string> Frame(const std::vector<std::string>& middle,
                                   const std::string& create = "0") const {
        std::vector<std::string> calls = {"Create " + create, "CheckInstalled"};
        calls.insert(calls.end(), middle.begin(), middle.end());
        calls.push_back("Release 0");
        return calls;
    }
    std::string InitSign() const {
        return "InitContainer " + Units(kIdentity) + " " + Units(kContainer);
    }
    std::string InitVerify() const {
        return "InitContainer " + Units(kClientIdentity) + " " + Units(kContainer);
    }
    std::string Sign(const std::string& content) const {
        return "SignData " + Units(DigestText(content)) + " 2";
    }
    std::string Verify(const std::string& content, const std::u16string& signature) const {
        return "VerifySign " + Units(DigestText(content)) + " " + Units(signature) + " 2 23130";
    }
    std::string FileError(const std::string& what, const std::string& name, int error) const {
        return "cannot " + what + " \"" + name + "\": " + t_.ErrorText(error) + "\r\n";
    }
    std::string NotRegular(const std::string& what, const std::string& name) const {
        return "cannot " + what + " \"" + name + "\": not a regular file\r\n";
    }
    std::string Stored(const std::u16string& signature) const { return t_.WideToAnsi(signature); }
    std::u16string Ansi(const std::string& bytes) const { return t_.AnsiToWide(bytes); }

  private:
    const Target& t_;
};

std::vector<Case> FrameCases(const Expect& e) {
    std::vector<std::string> thousand(999, "x");
    return {
        {"no arguments", {}, {}, {}, {}, "", kCreated, 0, e.Frame({}), kOldSignature},
        {"one argument", {"data.bin"}, {}, {}, {}, "", kCreated, 0, e.Frame({}), kOldSignature},
        {"four arguments",
         {"a", "b", "c", "d"},
         {},
         {},
         {},
         "",
         kCreated,
         0,
         e.Frame({}),
         kOldSignature},
        {"a thousand arguments", thousand, {}, {}, {}, "", kCreated, 0, e.Frame({}), kOldSignature},
        {"creation fails",
         {"any", "data.bin"},
         {{"data.bin", "x"}},
         {},
         {},
         "create 0x80004005",
         kNotCreated,
         -1,
         {"Create 2147500037"},
         kOldSignature},
        {"not registered",
         {"any", "data.bin"},
         {{"data.bin", "x"}},
         {},
         {},
         "",
         kNotCreated,
         -1,
         {},
         kOldSignature,
         false},
        {"creation gives 1",
         {},
         {},
         {},
         {},
         "create 1",
         kCreated,
         0,
         e.Frame({}, "1"),
         kOldSignature},
        {"not installed, positive code",
         {},
         {},
         {},
         {},
         "CheckInstalled 31",
         kCreated + kNotInstalled + ",hr = 1f\r\n",
         31,
         e.Frame({}),
         kOldSignature},
        {"not installed, low byte zero",
         {"any", "data.bin", "sig"},
         {},
         {},
         {},
         "CheckInstalled 0x80040100",
         kCreated + kNotInstalled + ",hr = 80040100\r\n",
         static_cast<int32_t>(0x80040100),
         e.Frame({}),
         kOldSignature},
        {"not installed, -1, sign arguments",
         {"any", "data.bin"},
         {{"data.bin", "x"}},
         {},
         {},
         "CheckInstalled -1",
         kCreated + kNotInstalled + ",hr = ffffffff\r\n",
         -1,
         e.Frame({}),
         kOldSignature},
    };
}

std::vector<Case> SignCases(const Expect& e) {
    const std::string data = "hello, signer\n";
    const std::string okOut = kCreated + "signdata:" + "c2lnbmF0dXJl\r\n";
    const std::vector<std::string> okCalls =
        e.Frame({"CheckUkeyConnected", e.InitSign(), e.Sign(data)});
    Case byteName = {"name that isn't UTF-8",
                     {"any", "\xff\xfe-data"},
                     {{"\xff\xfe-data", data}},
                     {},
                     {},
                     "",
                     okOut,
                     0,
                     okCalls,
                     "c2lnbmF0dXJl"};
    byteName.needsByteNames = true;
    Case folder = {"data file is a folder",
                   {"any", "folder"},
                   {},
                   {"folder"},
                   {},
                   "",
                   kCreated + e.FileError("read data file", "folder", EISDIR),
                   -1,
                   e.Frame({"CheckUkeyConnected", e.InitSign()}),
                   kOldSignature};
    folder.needsPosixFiles = true;
    Case fifo = {"data file is a FIFO",
                 {"any", "pipe"},
                 {},
                 {},
                 {"pipe"},
                 "",
                 kCreated + e.NotRegular("read data file", "pipe"),
                 -1,
                 e.Frame({"CheckUkeyConnected", e.InitSign()}),
                 kOldSignature};
    fifo.needsPosixFiles = true;
    Case output = {"signature file is a folder",
                   {"any", "data.bin"},
                   {{"data.bin", data}},
                   {kSignatureFile},
                   {},
                   "",
                   kCreated + e.FileError("write signature file", kSignatureFile, EISDIR),
                   -1,
                   okCalls,
                   std::nullopt};
    output.needsPosixFiles = true;
    const std::u16string wide = u"A\u00e9\u4e2d\U0001F600";
    const std::u16string combining = u"e\u0301";
    return {
        {"sign",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "",
         okOut,
         0,
         okCalls,
         "c2lnbmF0dXJl"},
        {"sign, argument 1 empty",
         {"", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "",
         okOut,
         0,
         okCalls,
         "c2lnbmF0dXJl"},
        {"sign, argument 1 arbitrary",
         {"-v --help \xe4\xb8\xad", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "",
         okOut,
         0,
         okCalls,
         "c2lnbmF0dXJl"},
        {"no Ukey, data file missing too",
         {"any", "missing.bin"},
         {},
         {},
         {},
         "CheckUkeyConnected 0x80070002",
         kCreated + kNoUkey + ",hr = 80070002\r\n",
         static_cast<int32_t>(0x80070002),
         e.Frame({"CheckUkeyConnected"}),
         kOldSignature},
        {"no Ukey, positive code",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "CheckUkeyConnected 3",
         kCreated + kNoUkey + ",hr = 3\r\n",
         3,
         e.Frame({"CheckUkeyConnected"}),
         kOldSignature},
        {"sign, container fails, low byte zero",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "InitContainer 0x80040100",
         kCreated + kInitFailed,
         static_cast<int32_t>(0x80040100),
         e.Frame({"CheckUkeyConnected", e.InitSign()}),
         kOldSignature},
        {"sign, container fails, positive",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "InitContainer 7",
         kCreated + kInitFailed,
         7,
         e.Frame({"CheckUkeyConnected", e.InitSign()}),
         kOldSignature},
        {"signing fails, negative",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "SignData 0x80090016",
         kCreated + "sign data failed,hr=80090016 \r\n",
         -1,
         okCalls,
         kOldSignature},
        {"signing fails, positive",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "SignData 1",
         kCreated + "sign data failed,hr=1 \r\n",
         -1,
         okCalls,
         kOldSignature},
        {"signing fails, low byte zero",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "SignData 0x12345600",
         kCreated + "sign data failed,hr=12345600 \r\n",
         -1,
         okCalls,
         kOldSignature},
        {"digest with a zero byte first",
         {"any", "d0"},
         {{"d0", kDigestZeroAt0}},
         {},
         {},
         "",
         okOut,
         0,
         e.Frame({"CheckUkeyConnected", e.InitSign(), "SignData [] 2"}),
         "c2lnbmF0dXJl"},
        {"digest with a zero byte at 3",
         {"any", "d3"},
         {{"d3", kDigestZeroAt3}},
         {},
         {},
         "",
         okOut,
         0,
         e.Frame({"CheckUkeyConnected", e.InitSign(), e.Sign(kDigestZeroAt3)}),
         "c2lnbmF0dXJl"},
        {"non-ASCII name",
         {"any", "donn\xc3\xa9"
                 "es \xe4\xb8\xad.txt"},
         {{"donn\xc3\xa9"
           "es \xe4\xb8\xad.txt",
           data}},
         {},
         {},
         "",
         okOut,
         0,
         okCalls,
         "c2lnbmF0dXJl"},
        byteName,
        {"signature beyond U+00FF",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "signature " + Units(wide, false),
         kCreated + "signdata:A\xe9???\r\n",
         0,
         okCalls,
         e.Stored(wide)},
        {"signature with a combining mark",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "signature " + Units(combining, false),
         kCreated + "signdata:e?\r\n",
         0,
         okCalls,
         e.Stored(combining)},
        {"empty signature",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "signature",
         kCreated + "signdata:\r\n",
         0,
         okCalls,
         ""},
        {"no signature from the control",
         {"any", "data.bin"},
         {{"data.bin", data}},
         {},
         {},
         "signature-null 1",
         kCreated + "sign data failed: the control returned no signature\r\n",
         -1,
         okCalls,
         kOldSignature},
        {"data file missing",
         {"any", "missing.bin"},
         {},
         {},
         {},
         "",
         kCreated + e.FileError("read data file", "missing.bin", ENOENT),
         -1,
         e.Frame({"CheckUkeyConnected", e.InitSign()}),
         kOldSignature},
        folder,
        fifo,
        output,
    };
}

std::vector<Case> VerifyCases(const Expect& e) {
    const std::string data = "hello, verifier\n";
    const std::string sigText = "c2lnbmF0dXJl";
    const std::u16string sig = u"c2lnbmF0dXJl";
    const std::string ok = kCreated + "verifySign:OK";
    const std::string bad = kCreated + "verifySign:Error";
    const std::map<std::string, std::string> files = {{"data.bin", data}, {"sig.txt", sigText}};
    const std::vector<std::string> args = {"any", "data.bin", "sig.txt"};
    const std::vector<std::string> calls = e.Frame({e.InitVerify(), e.Verify(data, sig)});
    auto withSig = [&](const std::string& bytes) {
        std::map<std::string, std::string> f = {{"data.bin", data}, {"sig.txt", bytes}};
        return f;
    };
    Case folder = {"signature file is a folder",
                   {"any", "data.bin", "sigs"},
                   {{"data.bin", data}},
                   {"sigs"},
                   {},
                   "",
                   kCreated + e.FileError("read signature file", "sigs", EISDIR),
                   -1,
                   e.Frame({e.InitVerify()}),
                   kOldSignature};
    folder.needsPosixFiles = true;
    return {
        {"verify, valid", args, files, {}, {}, "", ok, 0, calls, kOldSignature},
        {"verify, argument 1 empty",
         {"", "data.bin", "sig.txt"},
         files,
         {},
         {},
         "",
         ok,
         0,
         calls,
         kOldSignature},
        {"verify, invalid", args, files, {}, {}, "VerifySign 1", bad, 0, calls, kOldSignature},
        {"verify, call fails, low byte zero",
         args,
         files,
         {},
         {},
         "VerifySign 0x80040100",
         bad,
         0,
         calls,
         kOldSignature},
        {"verify, container fails",
         args,
         files,
         {},
         {},
         "InitContainer 0x80070005",
         kCreated + kInitFailed,
         static_cast<int32_t>(0x80070005),
         e.Frame({e.InitVerify()}),
         kOldSignature},
        {"verify, digest with a zero byte first",
         {"any", "d0", "sig.txt"},
         {{"d0", kDigestZeroAt0}, {"sig.txt", sigText}},
         {},
         {},
         "",
         ok,
         0,
         e.Frame({e.InitVerify(), "VerifySign [] " + Units(sig) + " 2 23130"}),
         kOldSignature},
        {"signature file with a zero byte",
         args,
         withSig(std::string("abc\0def", 7)),
         {},
         {},
         "",
         ok,
         0,
         e.Frame({e.InitVerify(), e.Verify(data, u"abc")}),
         kOldSignature},
        {"signature file with a byte-order mark and CRLF",
         args,
         withSig("\xef\xbb\xbfsig\r\n"),
         {},
         {},
         "",
         ok,
         0,
         e.Frame({e.InitVerify(), "VerifySign " + Units(e.DigestText(data)) + " " +
                                      Units(e.Ansi("\xef\xbb\xbfsig\r\n")) + " 2 23130"}),
         kOldSignature},
        {"empty signature file",
         args,
         withSig(""),
         {},
         {},
         "",
         ok,
         0,
         e.Frame({e.InitVerify(), e.Verify(data, u"")}),
         kOldSignature},
        {"signature file missing",
         {"any", "data.bin", "nosig.txt"},
         {{"data.bin", data}},
         {},
         {},
         "",
         kCreated + e.FileError("read signature file", "nosig.txt", ENOENT),
         -1,
         e.Frame({e.InitVerify()}),
         kOldSignature},
        {"verify, data file missing",
         {"any", "missing.bin", "sig.txt"},
         {{"sig.txt", sigText}},
         {},
         {},
         "",
         kCreated + e.FileError("read data file", "missing.bin", ENOENT),
         -1,
         e.Frame({e.InitVerify()}),
         kOldSignature},
        folder,
    };
}

void RunCase(Target& target, const Case& c) {
    SCOPED_TRACE(target.Name() + ": " + c.name);
    WorkFolder work;
    if (c.registered)
        target.RegisterControl(work.path());
    WriteBytes(work / kSignatureFile, kOldSignature);
    std::set<std::string> expectedEntries;
    for (const auto& [name, content] : c.files) {
        WriteBytes(work / name, content);
        expectedEntries.insert(name);
    }
    for (const std::string& name : c.folders) {
        if (name == kSignatureFile)
            std::remove((work / name).c_str());
        ASSERT_EQ(mkdir((work / name).c_str(), 0755), 0);
        expectedEntries.insert(name);
    }
    for (const std::string& name : c.fifos) {
        ASSERT_EQ(mkfifo((work / name).c_str(), 0644), 0);
        expectedEntries.insert(name);
    }
    if (c.signatureFile)
        expectedEntries.insert(kSignatureFile);
    // Every case hands out the same identity and signature unless it says
    // otherwise: a later line wins.
    WriteBytes(work / ".script", "identity " + Units(kIdentity, false) + "\nsignature " +
                                     Units(kSignature, false) + "\n" + c.script + "\n");

    RunResult result = target.Run(work.path(), c.args, work / ".script", work / ".log");

    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, target.VisibleStatus(c.status));
    std::vector<std::string> calls;
    std::istringstream log(ReadBytes(work / ".log"));
    for (std::string line; std::getline(log, line);)
        calls.push_back(line);
    EXPECT_EQ(calls, c.calls);
    bool exists = false;
    std::string stored = ReadBytes(work / kSignatureFile, &exists);
    EXPECT_EQ(exists, c.signatureFile.has_value());
    if (c.signatureFile && exists) {
        EXPECT_EQ(stored, *c.signatureFile);
    }
    EXPECT_EQ(Entries(work.path()), expectedEntries);
}

void RunCases(std::vector<Case> (*cases)(const Expect&)) {
    for (const auto& target : TestTargets()) {
        Expect expect(*target);
        for (const Case& c : cases(expect)) {
            if ((c.needsByteNames && !target->PassesByteNames()) ||
                (c.needsPosixFiles && !target->HasPosixFiles()))
                continue;
            RunCase(*target, c);
        }
    }
}

} // namespace

TEST(EndToEnd, StartAndProbe) {
    RunCases(FrameCases);
}
TEST(EndToEnd, SignMode) {
    RunCases(SignCases);
}
TEST(EndToEnd, VerifyMode) {
    RunCases(VerifyCases);
}
