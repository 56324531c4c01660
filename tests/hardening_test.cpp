// Bad input and faults, end to end through the native program: files the
// user may not read, files too large or changing under the program, very
// long names, special files, a full disk, and control modules that can't be
// loaded or misbehave.  Every run must end, with the documented line and
// status, and leave TCERT_RSA.tmp whole: as it was, or the new signature.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/expected.h"
#include "support/program_run.h"
#include "support/work_folder.h"

namespace {

const char kClsid[] = "{589F6929-9B41-4844-86FF-F61F0B35617C}";
const std::string kOldSignature = "an earlier, longer signature that must survive";
// What the scripted control hands out when its script sets nothing.
const std::string kScriptedIdentity = "scripted-identity";
const std::string kScriptedSignature = "scripted-signature";
const int kFailed = 255; // the status -1 as a POSIX parent sees it

// A narrow text as the controls log it: its code units (one per byte, the
// code page being ISO-8859-1) in hex inside brackets.
std::string Units(const std::string& text) {
    return ::Units(Latin1(text));
}

// The digest text the control is handed for a data file's content.
std::string DigestText(const std::string& content) {
    return DigestBytes(content);
}

// The scripted control's calls in sign mode, up to and including signing
// when content is given.
std::vector<std::string> SignCalls(const std::optional<std::string>& content) {
    std::vector<std::string> calls = {"Create 0", "CheckInstalled", "CheckUkeyConnected",
                                      "InitContainer " + Units(kScriptedIdentity) + " " +
                                          Units("BRIVCont1")};
    if (content)
        calls.push_back("SignData " + Units(DigestText(*content)) + " 2");
    calls.push_back("Release 0");
    return calls;
}

// Likewise in verify mode, with the signature text when it was verified.
std::vector<std::string> VerifyCalls(const std::optional<std::string>& content,
                                     const std::string& signature = "") {
    std::vector<std::string> calls = {"Create 0", "CheckInstalled",
                                      "InitContainer " + Units("briv_tav_client_p12") + " " +
                                          Units("BRIVCont1")};
    if (content)
        calls.push_back("VerifySign " + Units(DigestText(*content)) + " " + Units(signature) +
                        " 2 23130");
    calls.push_back("Release 0");
    return calls;
}

std::string FileError(const std::string& what, const std::string& name, const std::string& why) {
    return kCreated + "cannot " + what + " \"" + name + "\": " + why + "\r\n";
}

// Registers module as the control for runs in work.
void Register(const WorkFolder& work, const std::string& module) {
    std::filesystem::create_directories(work / ".config/signctl/inproc");
    WriteBytes(work / ".config/signctl/inproc" + "/" + kClsid, module + "\n");
}

// A work folder ready for a run: open to other users, with module (the
// scripted control unless said otherwise) registered, the scripted control's
// default script, a log anyone may append to, and an earlier signature in
// the signature file.
void Prepare(const WorkFolder& work, const std::string& module = SIGNCTL_SCRIPTED_MODULE) {
    chmod(work.path().c_str(), 0777);
    Register(work, module);
    WriteBytes(work / ".script", "");
    WriteBytes(work / ".log", "");
    chmod((work / ".log").c_str(), 0666);
    WriteBytes(work / kSignatureFile, kOldSignature);
}

std::vector<std::string> LogLines(const WorkFolder& work) {
    std::vector<std::string> lines;
    std::istringstream log(ReadBytes(work / ".log"));
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

// Gives the owner every permission on everything under work again, so that
// the folder can be removed whoever runs the tests.
void OpenUp(const WorkFolder& work) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(work.path(), ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
}

struct Expected {
    std::string out;
    int status;
    std::vector<std::string> calls;
    std::string signature; // TCERT_RSA.tmp afterwards
};

// Checks a run that ended as documented: the exact output and status, the
// control's calls, the signature file whole, nothing else left behind in
// folder (the run's current folder).
void ExpectEnded(const ProgramResult& r, const WorkFolder& work, const Expected& e,
                 const std::string& folder, const std::set<std::string>& entries) {
    EXPECT_FALSE(r.hung);
    EXPECT_TRUE(r.exited) << "signal " << r.signal;
    EXPECT_EQ(r.out, e.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, e.status);
    EXPECT_EQ(LogLines(work), e.calls);
    EXPECT_EQ(ReadBytes(folder + "/" + kSignatureFile), e.signature);
    EXPECT_EQ(Entries(folder), entries);
}

ProgramResult RunIn(const WorkFolder& work, const std::vector<std::string>& args,
                    const std::vector<std::string>& wrapper = {},
                    const std::vector<std::string>& extraEnv = {},
                    const std::string& program = SIGNCTL_PROGRAM) {
    ProgramRun run;
    run.program = program;
    run.wrapper = wrapper;
    run.work = work.path();
    run.args = args;
    run.env = ProgramEnvironment(work.path());
    // A variable given again replaces the first: getenv finds only that.
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        auto same = [&name](const std::string& e) { return e.rfind(name, 0) == 0; };
        run.env.erase(std::remove_if(run.env.begin(), run.env.end(), same), run.env.end());
        run.env.push_back(extra);
    }
    return RunProgram(run);
}

struct FileCase {
    std::string name;
    std::vector<std::string> args;
    std::function<void(const WorkFolder&)> prepare; // after Prepare, before the run
    Expected expected;
};

const std::string kData = "data to be signed\n";

// The program and the scripted control the runs use.
struct Binaries {
    std::string program = SIGNCTL_PROGRAM;
    std::string module = SIGNCTL_SCRIPTED_MODULE;
};

// Copies of both in folder, which every user can reach: the build may sit
// where only its owner can (under root's home, say).
Binaries CopiesForEveryone(const WorkFolder& folder) {
    namespace fs = std::filesystem;
    const Binaries copies = {folder / "signctl", folder / "scripted_control.so"};
    fs::copy_file(SIGNCTL_PROGRAM, copies.program);
    fs::copy_file(SIGNCTL_SCRIPTED_MODULE, copies.module);
    for (const std::string& path : {folder.path(), copies.program, copies.module})
        chmod(path.c_str(), 0755);
    return copies;
}

// Runs each case in a fresh prepared folder holding data.bin (kData) and
// sig.txt (the scripted signature); the run must leave the folder holding
// what it held before.
void RunFileCases(const std::vector<FileCase>& cases, const std::vector<std::string>& wrapper,
                  const Binaries& binaries = Binaries()) {
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkFolder work;
        Prepare(work, binaries.module);
        WriteBytes(work / "data.bin", kData);
        WriteBytes(work / "sig.txt", kScriptedSignature);
        if (c.prepare)
            c.prepare(work);
        const std::set<std::string> entries = Entries(work.path());
        ProgramResult r = RunIn(work, c.args, wrapper, {}, binaries.program);
        ExpectEnded(r, work, c.expected, work.path(), entries);
        OpenUp(work);
    }
}

} // namespace

// Root reads everything, so these run the program as an unprivileged user.
TEST(Hardening, FilesTheUserMayNotRead) {
    const std::string denied = std::strerror(EACCES);
    const Expected signedOk = {kCreated + "signdata:" + kScriptedSignature + "\r\n", 0,
                               SignCalls(kData), kScriptedSignature};
    std::vector<FileCase> cases = {
        {"readable: the other user can sign", {"any", "data.bin"}, nullptr, signedOk},
        {"data file without read permission",
         {"any", "data.bin"},
         [](const WorkFolder& w) { chmod((w / "data.bin").c_str(), 0); },
         {FileError("read data file", "data.bin", denied), kFailed, SignCalls(std::nullopt),
          kOldSignature}},
        {"data file in a folder without search permission",
         {"any", "locked/data.bin"},
         [](const WorkFolder& w) {
             mkdir((w / "locked").c_str(), 0700);
             WriteBytes(w / "locked/data.bin", kData);
             chmod((w / "locked").c_str(), 0600);
         },
         {FileError("read data file", "locked/data.bin", denied), kFailed, SignCalls(std::nullopt),
          kOldSignature}},
        {"signature file without read permission",
         {"any", "data.bin", "sig.txt"},
         [](const WorkFolder& w) { chmod((w / "sig.txt").c_str(), 0); },
         {FileError("read signature file", "sig.txt", denied), kFailed, VerifyCalls(std::nullopt),
          kOldSignature}},
        {"current folder not writable",
         {"any", "data.bin"},
         [](const WorkFolder& w) { chmod(w.path().c_str(), 0555); },
         {FileError("write signature file", kSignatureFile, denied), kFailed, SignCalls(kData),
          kOldSignature}},
    };
    WorkFolder bin;
    RunFileCases(cases, AsUnprivilegedUser(), CopiesForEveryone(bin));
}

TEST(Hardening, SparseSignatureFilesOf2GiBAndMore) {
    const std::string tooLarge = "file is 2 GiB or larger";
    auto sparse = [](off_t size) {
        return [size](const WorkFolder& w) {
            // Made with truncate: a hole, not gigabytes written.
            WriteBytes(w / "big.sig", "sig");
            ASSERT_EQ(truncate((w / "big.sig").c_str(), size), 0);
        };
    };
    const off_t twoGiB = off_t{1} << 31;
    std::vector<FileCase> cases = {
        {"one byte under 2 GiB is read, up to its first zero byte",
         {"any", "data.bin", "big.sig"},
         sparse(twoGiB - 1),
         {kCreated + "verifySign:OK", 0, VerifyCalls(kData, "sig"), kOldSignature}},
        {"exactly 2 GiB",
         {"any", "data.bin", "big.sig"},
         sparse(twoGiB),
         {FileError("read signature file", "big.sig", tooLarge), kFailed, VerifyCalls(std::nullopt),
          kOldSignature}},
        {"5 GiB",
         {"any", "data.bin", "big.sig"},
         sparse(5 * (off_t{1} << 30)),
         {FileError("read signature file", "big.sig", tooLarge), kFailed, VerifyCalls(std::nullopt),
          kOldSignature}},
    };
    RunFileCases(cases, {});
}

// Names of 4,000 bytes: folders nested under the 255-byte limit of one name.
TEST(Hardening, LongFileNames) {
    // A relative name of length bytes under w, in parts of at most part
    // bytes filled with fill; the folders are made when asked (the file is
    // not).
    auto nested = [](const WorkFolder& w, size_t length, const std::string& fill, size_t part,
                     bool make) {
        std::string name;
        while (length - name.size() > part + 1) {
            std::string folder;
            while (folder.size() < part)
                folder += fill;
            name += folder.substr(0, part);
            if (make)
                std::filesystem::create_directories(w / name);
            name += "/";
        }
        std::string last;
        while (name.size() + last.size() < length)
            last += fill;
        return name + last.substr(0, length - name.size());
    };
    struct NameCase {
        std::string name;
        size_t length;
        size_t part; // bytes in each folder's name
        std::string fill;
        bool verify;     // the name is the signature file's, not the data file's
        bool exists;     // the file is made (its folders are, where names allow)
        std::string why; // the error's reason, or empty for success
    };
    const std::string tooLong = std::strerror(ENAMETOOLONG);
    const NameCase cases[] = {
        {"data file named by 4,000 bytes", 4000, 199, "d", false, true, ""},
        {"4,000 bytes that aren't UTF-8", 4000, 199, "\xff\xfe-\xc3", false, true, ""},
        {"signature file named by 4,000 bytes", 4000, 199, "s", true, true, ""},
        {"missing data file named by 4,000 bytes", 4000, 199, "m", false, false,
         std::strerror(ENOENT)},
        {"one name of 256 bytes", 256, 256, "p", false, false, tooLong},
        {"5,000 bytes, beyond the system's limit", 5000, 199, "x", false, false, tooLong},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkFolder work;
        Prepare(work);
        const bool folders = c.exists || c.length < 4096;
        const std::string name = nested(work, c.length, c.fill, c.part, folders);
        ASSERT_EQ(name.size(), c.length);
        WriteBytes(work / "data.bin", kData);
        if (c.exists)
            WriteBytes(work / name, c.verify ? kScriptedSignature : kData);
        const std::set<std::string> entries = Entries(work.path());
        std::vector<std::string> args = {"any", c.verify ? "data.bin" : name};
        if (c.verify)
            args.push_back(name);
        ProgramResult r = RunIn(work, args);
        Expected e;
        if (!c.why.empty()) {
            e = {FileError("read data file", name, c.why), kFailed, SignCalls(std::nullopt),
                 kOldSignature};
        } else if (c.verify) {
            e = {kCreated + "verifySign:OK", 0, VerifyCalls(kData, kScriptedSignature),
                 kOldSignature};
        } else {
            e = {kCreated + "signdata:" + kScriptedSignature + "\r\n", 0, SignCalls(kData),
                 kScriptedSignature};
        }
        ExpectEnded(r, work, e, work.path(), entries);
    }
}

// Files that aren't regular files are refused at once, never waited on or
// read without end.
TEST(Hardening, SpecialFilesEndTheRunAtOnce) {
    const std::string notRegular = "not a regular file";
    int fifoWriter = -1;
    std::vector<FileCase> cases = {
        {"data file is /dev/zero",
         {"any", "/dev/zero"},
         nullptr,
         {FileError("read data file", "/dev/zero", notRegular), kFailed, SignCalls(std::nullopt),
          kOldSignature}},
        {"signature file is /dev/zero",
         {"any", "data.bin", "/dev/zero"},
         nullptr,
         {FileError("read signature file", "/dev/zero", notRegular), kFailed,
          VerifyCalls(std::nullopt), kOldSignature}},
        {"signature file is a FIFO whose writer never writes",
         {"any", "data.bin", "fifo"},
         [&fifoWriter](const WorkFolder& w) {
             ASSERT_EQ(mkfifo((w / "fifo").c_str(), 0644), 0);
             fifoWriter = open((w / "fifo").c_str(), O_RDWR | O_CLOEXEC);
             ASSERT_GE(fifoWriter, 0);
         },
         {FileError("read signature file", "fifo", notRegular), kFailed, VerifyCalls(std::nullopt),
          kOldSignature}},
        {"data file is a socket",
         {"any", "socket"},
         [](const WorkFolder& w) {
             int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
             sockaddr_un address = {};
             address.sun_family = AF_UNIX;
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (w / "socket").c_str());
             ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             close(s);
         },
         {FileError("read data file", "socket", std::strerror(ENXIO)), kFailed,
          SignCalls(std::nullopt), kOldSignature}},
        {"data file is a symbolic link to a regular file",
         {"any", "link"},
         [](const WorkFolder& w) { ASSERT_EQ(symlink("data.bin", (w / "link").c_str()), 0); },
         {kCreated + "signdata:" + kScriptedSignature + "\r\n", 0, SignCalls(kData),
          kScriptedSignature}},
    };
    for (const FileCase& c : cases) {
        RunFileCases({c}, {});
        if (fifoWriter >= 0)
            close(fifoWriter);
        fifoWriter = -1;
    }
}

// A file that another process cuts short while the program reads it: a
// preloaded library truncates it right after the program took its size (the
// signature file) or read its first piece (the data file).  What the
// program reads is what the file holds by then.  The files are larger than
// the standard I/O buffer, which may hold their start already.
TEST(Hardening, FilesThatShrinkWhileRead) {
    std::string big;
    for (int i = 0; big.size() < (4u << 20); ++i)
        big += std::to_string(i) + ",";
    big.resize(4u << 20);
    const size_t cut = 3u << 20;
    struct ShrinkCase {
        std::string name;
        bool dataFile;       // the data file shrinks, else the signature file
        std::string content; // before
        size_t to;           // the size it is cut to
        int after;           // its ftell or fread calls before it shrinks
        Expected expected;
    };
    const ShrinkCase cases[] = {
        {"signature file cut short after its size was taken",
         false,
         big.substr(0, 1u << 20),
         10000,
         1,
         {kCreated + "verifySign:OK", 0, VerifyCalls(kData, big.substr(0, 10000)), kOldSignature}},
        {"signature file emptied after its size was taken",
         false,
         big.substr(0, 1u << 20),
         0,
         1,
         {kCreated + "verifySign:OK", 0, VerifyCalls(kData, ""), kOldSignature}},
        {"data file cut short after its first piece was read",
         true,
         big,
         cut,
         1,
         {kCreated + "verifySign:OK", 0, VerifyCalls(big.substr(0, cut), kScriptedSignature),
          kOldSignature}},
    };
    for (const ShrinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkFolder work;
        Prepare(work);
        const std::string victim = work / (c.dataFile ? "data.bin" : "sig.txt");
        WriteBytes(work / "data.bin", c.dataFile ? c.content : kData);
        WriteBytes(work / "sig.txt", c.dataFile ? kScriptedSignature : c.content);
        std::string asan = "verify_asan_link_order=0";
        if (const char* options = std::getenv("ASAN_OPTIONS"))
            asan = std::string(options) + ":" + asan;
        ProgramResult r =
            RunIn(work, {"any", "data.bin", "sig.txt"}, {},
                  {std::string("LD_PRELOAD=") + SIGNCTL_SHRINK_LIBRARY,
                   "SIGNCTL_SHRINK_FILE=" + victim, "SIGNCTL_SHRINK_TO=" + std::to_string(c.to),
                   "SIGNCTL_SHRINK_AFTER=" + std::to_string(c.after), "ASAN_OPTIONS=" + asan});
        // The file did shrink under the run.
        EXPECT_EQ(ReadBytes(victim).size(), c.to);
        ExpectEnded(r, work, c.expected, work.path(), {"data.bin", "sig.txt", kSignatureFile});
    }
}

// The wrapper that runs a command in a private mount namespace, where the
// test may mount a tmpfs; empty, with why set, when this machine allows
// none.
std::vector<std::string> PrivateMounts(std::string& why) {
    std::vector<std::string> unshare = {"unshare", "--mount", "--propagation", "private"};
    if (geteuid() != 0)
        unshare.push_back("--map-root-user");
    WorkFolder probe;
    std::string command;
    for (const std::string& word : unshare)
        command += word + " ";
    command += "mount -t tmpfs -o size=4k tmpfs '" + probe.path() + "' 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string said;
    char buffer[256];
    size_t n;
    while (p != nullptr && (n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
        said.append(buffer, n);
    if (p == nullptr || pclose(p) != 0) {
        why = "can't mount a tmpfs in a private mount namespace here (" + command + "): " + said;
        return {};
    }
    return unshare;
}

// The signature file on a full disk: a tiny tmpfs, mounted in a private
// mount namespace, holds the current folder and the earlier signature.
TEST(Hardening, FullDiskLeavesTheEarlierSignatureWhole) {
    std::string why;
    std::vector<std::string> unshare = PrivateMounts(why);
    if (unshare.empty())
        GTEST_SKIP() << why;
    struct DiskCase {
        std::string name;
        std::string options; // the tmpfs's
        Expected expected;
    };
    const std::string noSpace = std::strerror(ENOSPC);
    const DiskCase cases[] = {
        {"room enough: the signature is replaced",
         "size=1m",
         {kCreated + "signdata:" + kScriptedSignature + "\r\n", 0, SignCalls(kData),
          kScriptedSignature}},
        {"no room for the new signature's bytes",
         "size=4k",
         {FileError("write signature file", kSignatureFile, noSpace), kFailed, SignCalls(kData),
          kOldSignature}},
        {"no room for the new file itself",
         "size=1m,nr_inodes=2",
         {FileError("write signature file", kSignatureFile, noSpace), kFailed, SignCalls(kData),
          kOldSignature}},
    };
    for (const DiskCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkFolder work;
        Prepare(work);
        WriteBytes(work / "data.bin", kData);
        ASSERT_EQ(mkdir((work / "disk").c_str(), 0777), 0);
        // The run's folder lives only in the namespace: what the run left
        // there is copied out before it goes.
        const std::string script = "mount -t tmpfs -o " + c.options +
                                   " tmpfs disk || exit 125\n"
                                   "cp TCERT_RSA.tmp disk/TCERT_RSA.tmp || exit 125\n"
                                   "cd disk\n"
                                   "\"$@\"\n"
                                   "status=$?\n"
                                   "cp TCERT_RSA.tmp ../after.tmp\n"
                                   "ls -A > ../entries.txt\n"
                                   "exit $status\n";
        std::vector<std::string> wrapper = unshare;
        wrapper.insert(wrapper.end(), {"sh", "-c", script, "sh"});
        ProgramResult r = RunIn(work, {"any", "../data.bin"}, wrapper);
        EXPECT_EQ(ReadBytes(work / "entries.txt"), std::string(kSignatureFile) + "\n");
        EXPECT_FALSE(r.hung);
        EXPECT_TRUE(r.exited) << "signal " << r.signal;
        EXPECT_EQ(r.out, c.expected.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, c.expected.status);
        EXPECT_EQ(LogLines(work), c.expected.calls);
        EXPECT_EQ(ReadBytes(work / "after.tmp"), c.expected.signature);
        // The mount is gone with the namespace; the earlier file is untouched.
        EXPECT_EQ(ReadBytes(work / kSignatureFile), kOldSignature);
    }
}

// A module that can't be loaded is a control that can't be created.
TEST(Hardening, ControlModulesThatCannotBeLoaded) {
    struct ModuleCase {
        std::string name;
        std::function<std::string(const WorkFolder&)> module; // the registered path
    };
    const ModuleCase cases[] = {
        {"module missing", [](const WorkFolder& w) { return w / "missing.so"; }},
        {"not a shared object",
         [](const WorkFolder& w) {
             WriteBytes(w / "text.so", "not a library\n");
             return w / "text.so";
         }},
        {"a folder", [](const WorkFolder& w) { return w.path(); }},
        {"needs a symbol that nothing defines",
         [](const WorkFolder&) { return std::string(SIGNCTL_UNRESOLVED_MODULE); }},
        {"no DllGetClassObject",
         [](const WorkFolder&) { return std::string(SIGNCTL_LIBRARY_WITHOUT_ENTRY); }},
    };
    for (const ModuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkFolder work;
        Prepare(work, c.module(work));
        WriteBytes(work / "data.bin", kData);
        ProgramResult r = RunIn(work, {"any", "data.bin"});
        std::set<std::string> entries = {"data.bin", kSignatureFile};
        if (c.name == "not a shared object")
            entries.insert("text.so");
        ExpectEnded(r, work, {kNotCreated, kFailed, {}, kOldSignature}, work.path(), entries);
    }
}

// A module that aborts while the control is being made is a control that
// can't be created: the creation failure line and -1.  One that aborts once
// created takes the process with it, as an in-process control does on every
// platform: the run ends at once, by SIGABRT, before any signature is
// written, and the earlier signature stays whole.
TEST(Hardening, ControlModulesThatAbort) {
    for (const char* fault : {"abort-on-load", "abort-in-factory"}) {
        SCOPED_TRACE(fault);
        WorkFolder work;
        Prepare(work, SIGNCTL_FAULTY_MODULE);
        WriteBytes(work / "data.bin", kData);
        ProgramResult r =
            RunIn(work, {"any", "data.bin"}, {}, {std::string("SIGNCTL_FAULT=") + fault});
        ExpectEnded(r, work, {kNotCreated, kFailed, {}, kOldSignature}, work.path(),
                    {"data.bin", kSignatureFile});
    }
    {
        SCOPED_TRACE("abort-in-sign");
        WorkFolder work;
        Prepare(work, SIGNCTL_FAULTY_MODULE);
        WriteBytes(work / "data.bin", kData);
        ProgramResult r = RunIn(work, {"any", "data.bin"}, {}, {"SIGNCTL_FAULT=abort-in-sign"});
        EXPECT_FALSE(r.hung);
        EXPECT_FALSE(r.exited);
        EXPECT_EQ(r.signal, SIGABRT);
        // Output still in the program's buffer dies with it: at most the
        // creation line, never a signature.
        EXPECT_EQ(kCreated.compare(0, r.out.size(), r.out), 0) << r.out;
        EXPECT_EQ(LogLines(work),
                  (std::vector<std::string>{"Create 0", "CheckInstalled", "CheckUkeyConnected",
                                            "InitContainer " + Units("faulty-identity") + " " +
                                                Units("BRIVCont1"),
                                            "SignData " + Units(DigestText(kData)) + " 2"}));
        EXPECT_EQ(ReadBytes(work / kSignatureFile), kOldSignature);
        EXPECT_EQ(Entries(work.path()), (std::set<std::string>{"data.bin", kSignatureFile}));
    }
}

// Texts the control hands out.  The identity goes back to the control
// unread, so one without an end can't hurt signctl.  The signature is read
// whole, however long: only the control knows where it ends.  One without
// an end faults where the control's memory ends, and the conversion that
// faults comes before anything is written.
TEST(Hardening, TextsFromAFaultyControl) {
    const std::string identityUnits = "InitContainer handed-out " + Units("BRIVCont1");
    std::string longSignature;
    for (size_t i = 0; i < (1u << 20); ++i)
        longSignature.push_back(static_cast<char>('A' + i % 26));
    struct TextCase {
        std::string fault;
        std::optional<Expected> expected; // none: the run dies
    };
    const std::vector<std::string> faultyCalls = {"Create 0",
                                                  "CheckInstalled",
                                                  "CheckUkeyConnected",
                                                  "InitContainer " + Units("faulty-identity") +
                                                      " " + Units("BRIVCont1"),
                                                  "SignData " + Units(DigestText(kData)) + " 2",
                                                  "Release 0"};
    const TextCase cases[] = {
        {"unterminated-identity",
         Expected{kCreated + "signdata:faulty-signature\r\n",
                  0,
                  {"Create 0", "CheckInstalled", "CheckUkeyConnected", identityUnits,
                   "SignData " + Units(DigestText(kData)) + " 2", "Release 0"},
                  "faulty-signature"}},
        {"long-signature",
         Expected{kCreated + "signdata:" + longSignature + "\r\n", 0, faultyCalls, longSignature}},
        {"unterminated-signature", std::nullopt},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.fault);
        WorkFolder work;
        Prepare(work, SIGNCTL_FAULTY_MODULE);
        WriteBytes(work / "data.bin", kData);
        ProgramResult r = RunIn(work, {"any", "data.bin"}, {},
                                {"SIGNCTL_FAULT=" + c.fault,
                                 "SIGNCTL_FAULT_UNITS=" + std::to_string(longSignature.size())});
        if (c.expected) {
            ExpectEnded(r, work, *c.expected, work.path(), {"data.bin", kSignatureFile});
            continue;
        }
        // Dies by the fault, or by the sanitizer's report of it.
        EXPECT_FALSE(r.hung);
        EXPECT_FALSE(r.exited && r.status == 0);
        EXPECT_EQ(r.out.find("signdata:"), std::string::npos);
        EXPECT_EQ(ReadBytes(work / kSignatureFile), kOldSignature);
        EXPECT_EQ(Entries(work.path()), (std::set<std::string>{"data.bin", kSignatureFile}));
    }
}
