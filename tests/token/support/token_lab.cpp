#include "token_lab.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "process.h"

#ifndef SIGNCTL_TOKEN_MODULE
#error SIGNCTL_TOKEN_MODULE names the control module under test
#endif

const char* const TokenLab::kTokenLabel = "signctl test";
const char* const TokenLab::kPin = "1234";
const char* const TokenLab::kPassword = "p12 secret";

namespace {

const char kRegistrationName[] = "{589F6929-9B41-4844-86FF-F61F0B35617C}";

std::string MakeTempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/signctl-token-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        std::abort();
    return pattern;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

void RemoveTree(const std::string& root) {
    nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Made once, removed when the program ends.
struct MaterialFolder {
    std::string root;
    Material keys;
    bool made = false;
    ~MaterialFolder() {
        if (!root.empty())
            RemoveTree(root);
    }
};

bool MakeCertificate(const std::string& folder, const std::string& name,
                     const std::vector<std::string>& keyArgs, const std::string& subject) {
    std::vector<std::string> req = {"openssl", "req",         "-x509", "-nodes",
                                    "-days",   "3650",        "-subj", subject,
                                    "-keyout", name + ".key", "-out",  name + ".pem"};
    req.insert(req.begin() + 3, keyArgs.begin(), keyArgs.end());
    return RunTool(req, {}, folder) && RunTool({"openssl", "x509", "-in", name + ".pem", "-outform",
                                                "DER", "-out", name + ".der"},
                                               {}, folder);
}

} // namespace

std::string TokenLab::SoftHsmModule() {
    static const char* const kCandidates[] = {
        "/usr/lib/softhsm/libsofthsm2.so",
        "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so",
        "/usr/lib/aarch64-linux-gnu/softhsm/libsofthsm2.so",
        "/usr/lib64/pkcs11/libsofthsm2.so",
        "/usr/local/lib/softhsm/libsofthsm2.so",
    };
    for (const char* candidate : kCandidates) {
        if (access(candidate, R_OK) == 0 && access("/usr/bin/softhsm2-util", X_OK) == 0)
            return candidate;
    }
    return std::string();
}

const Material& TokenLab::Keys() {
    static MaterialFolder folder;
    if (folder.made)
        return folder.keys;
    folder.root = MakeTempFolder();
    const std::string& f = folder.root;
    bool ok = MakeCertificate(f, "rsa", {"-newkey", "rsa:2048"}, "/CN=BRIVCont1") &&
              MakeCertificate(f, "other", {"-newkey", "rsa:2048"}, "/CN=other") &&
              MakeCertificate(f, "ec", {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256"},
                              "/CN=ec");
    EXPECT_TRUE(ok) << "the openssl command couldn't make the test keys";
    folder.keys.rsaKey = f + "/rsa.key";
    folder.keys.rsaCert = f + "/rsa.pem";
    folder.keys.rsaDer = f + "/rsa.der";
    folder.keys.otherKey = f + "/other.key";
    folder.keys.otherCert = f + "/other.pem";
    folder.keys.otherDer = f + "/other.der";
    folder.keys.ecKey = f + "/ec.key";
    folder.keys.ecDer = f + "/ec.der";
    folder.made = ok;
    return folder.keys;
}

TokenLab::TokenLab() : root_(MakeTempFolder()) {
    mkdir((root_ + "/tokens").c_str(), 0700);
    mkdir((root_ + "/work").c_str(), 0700);
    mkdir((root_ + "/config").c_str(), 0700);
    mkdir(ConfigFolder().c_str(), 0700);
    mkdir((ConfigFolder() + "/inproc").c_str(), 0700);
    mkdir(IdentityFolder().c_str(), 0700);
    SetMechanisms("ALL");
    WriteFile(ConfigFolder() + "/inproc/" + kRegistrationName,
              std::string(SIGNCTL_TOKEN_MODULE) + "\n", 0600);
    WriteFile(ConfigFolder() + "/pin", std::string(kPin) + "\n", 0600);
    WriteFile(ConfigFolder() + "/p12-password", kPassword, 0600);
    WriteConfig(StandardConfig());
}

TokenLab::~TokenLab() {
    for (const auto& saved : saved_) {
        if (saved.second.empty())
            unsetenv(saved.first.c_str());
        else
            setenv(saved.first.c_str(), saved.second.c_str(), 1);
    }
    RemoveTree(root_);
}

std::string TokenLab::StandardConfig() const {
    return "# the lab's control configuration\n"
           "module = @MODULE@\n"
           "identity-folder = identities\n"
           "\n"
           "[token pkcs11:token=signctl%20test]\n"
           "pin-source = pin\n"
           "\n"
           "[identity briv_tav_client_p12]\n"
           "password-source = file://@LAB@/p12-password\n";
}

void TokenLab::WriteConfig(const std::string& text) {
    std::string config = text;
    ReplaceAll(config, "@LAB@", ConfigFolder());
    ReplaceAll(config, "@MODULE@", SoftHsmModule());
    WriteFile(ConfigFolder() + "/token.conf", config, 0600);
}

void TokenLab::WriteFile(const std::string& path, const std::string& content, int mode) {
    unlink(path.c_str());
    {
        std::ofstream out(path, std::ios::binary);
        out << content;
    }
    chmod(path.c_str(), static_cast<mode_t>(mode));
}

void TokenLab::Standard() {
    const Material& keys = Keys();
    InitToken(kTokenLabel);
    ImportKey(kTokenLabel, keys.rsaKey, "BRIVCont1", "01");
    ImportCertificate(kTokenLabel, keys.rsaDer, "BRIVCont1", "01");
    MakeIdentity("briv_tav_client_p12", keys.rsaKey, keys.rsaCert, "BRIVCont1", kPassword);
}

void TokenLab::Enter() {
    const char* names[] = {"SOFTHSM2_CONF", "XDG_CONFIG_HOME", "HOME"};
    if (!entered_) {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value != nullptr ? value : "");
        }
        entered_ = true;
    }
    setenv("SOFTHSM2_CONF", (root_ + "/softhsm2.conf").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("HOME", root_.c_str(), 1);
}

std::vector<std::string> TokenLab::Env() const {
    return {"SOFTHSM2_CONF=" + root_ + "/softhsm2.conf", "XDG_CONFIG_HOME=" + root_ + "/config",
            "HOME=" + root_, "SIGNCTL_TOKEN_DIAGNOSTICS=1"};
}

void TokenLab::SetMechanisms(const std::string& mechanisms) {
    WriteFile(root_ + "/softhsm2.conf",
              "directories.tokendir = " + root_ +
                  "/tokens\nobjectstore.backend = file\nlog.level = ERROR\nslots.mechanisms = " +
                  mechanisms + "\n",
              0600);
}

void TokenLab::InitToken(const std::string& label) {
    RunTool({"softhsm2-util", "--init-token", "--free", "--label", label, "--so-pin", "5678",
             "--pin", kPin},
            Env(), Work());
}

void TokenLab::ImportKey(const std::string& token, const std::string& keyPem,
                         const std::string& label, const std::string& idHex) {
    RunTool({"softhsm2-util", "--import", keyPem, "--token", token, "--label", label, "--id", idHex,
             "--pin", kPin, "--force"},
            Env(), Work());
}

void TokenLab::ImportCertificate(const std::string& token, const std::string& der,
                                 const std::string& label, const std::string& idHex) {
    RunTool({"pkcs11-tool", "--module", SoftHsmModule(), "--token-label", token, "--login", "--pin",
             kPin, "--write-object", der, "--type", "cert", "--label", label, "--id", idHex},
            Env(), Work());
}

void TokenLab::MakeIdentity(const std::string& identity, const std::string& keyPem,
                            const std::string& certPem, const std::string& name,
                            const std::string& password, const std::string& extraCertPem,
                            const std::string& extraName) {
    WriteFile(Work() + "/.passout", password, 0600);
    std::vector<std::string> args = {
        "openssl",       "pkcs12", "-export",
        "-in",           certPem,  "-passout",
        "file:.passout", "-out",   IdentityFolder() + "/" + identity + ".p12"};
    // Without a key the certificate is named by -caname.
    if (keyPem.empty())
        args.insert(args.end(), {"-nokeys", "-caname", name});
    else
        args.insert(args.end(), {"-inkey", keyPem, "-name", name});
    if (!extraCertPem.empty())
        args.insert(args.end(), {"-certfile", extraCertPem, "-caname", extraName});
    RunTool(args, Env(), Work());
    unlink((Work() + "/.passout").c_str());
}
