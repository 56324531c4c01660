// signctl run end to end with the token control registered in a throwaway
// configuration: real signatures on a SoftHSM2 token, real identities, and
// each of the control's failures as the program shows it.
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base64.h"
#include "driver/messages.h"
#include "error_codes.h"
#include "support/process.h"
#include "support/token_lab.h"

namespace {

// The program writes every line feed as carriage return and line feed.
std::string Console(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// message (one of the client's, holding one %x) with code in its place.
std::string WithCode(const std::string& message, HRESULT code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
    std::string text = message;
    return text.replace(text.find("%x"), 2, hex);
}

// How the control's diagnostic names code.
std::string DiagnosticCode(HRESULT code) {
    char text[32];
    std::snprintf(text, sizeof text, "(hr = 0x%08X)", static_cast<unsigned>(code));
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The bytes the control signs for data: the UTF-8 form of the digest text,
// i.e. the SHA-1 of data up to its first zero byte, each byte b taken as
// the character U+00bb.
std::string SignedBytes(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), digest, &n, EVP_sha1(), nullptr);
    std::string bytes;
    for (unsigned int i = 0; i < n && digest[i] != 0; ++i) {
        if (digest[i] < 0x80) {
            bytes += static_cast<char>(digest[i]);
        } else {
            bytes += static_cast<char>(0xC0 | (digest[i] >> 6));
            bytes += static_cast<char>(0x80 | (digest[i] & 0x3F));
        }
    }
    return bytes;
}

class SignctlTokenTest : public testing::Test {
  protected:
    void SetUp() override {
        if (TokenLab::SoftHsmModule().empty())
            GTEST_SKIP() << "SoftHSM2 is not installed";
        lab_.reset(new TokenLab);
        TokenLab::WriteFile(lab_->Work() + "/data.txt", kData, 0600);
    }

    ProcessResult Sign() {
        return RunProcess({SIGNCTL_PROGRAM, "ANY", "data.txt"}, lab_->Env(), lab_->Work());
    }
    ProcessResult Verify() {
        return RunProcess({SIGNCTL_PROGRAM, "ANY", "data.txt", "TCERT_RSA.tmp"}, lab_->Env(),
                          lab_->Work());
    }

    // Its SHA-1 holds a zero byte and bytes above 0x7F.
    static const char* const kData;
    std::unique_ptr<TokenLab> lab_;
};

const char* const SignctlTokenTest::kData = "hello\n";

} // namespace

TEST_F(SignctlTokenTest, SignsOnTheTokenAndVerifiesWithTheIdentity) {
    lab_->Standard();
    ProcessResult sign = Sign();
    ASSERT_TRUE(sign.exited);
    ASSERT_EQ(sign.status, 0) << sign.out << sign.err;
    const std::string signature = ReadFile(lab_->Work() + "/TCERT_RSA.tmp");
    EXPECT_EQ(sign.out, Console(MSG_CONTROL_CREATED "signdata:" + signature + "\n"));
    EXPECT_EQ(sign.err, "");

    ProcessResult verify = Verify();
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(verify.out, Console(MSG_CONTROL_CREATED) + "verifySign:OK");

    // The same signature, checked by the openssl command alone.
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(Base64Decode(signature, bytes));
    const std::string w = lab_->Work();
    TokenLab::WriteFile(w + "/sig.bin", std::string(bytes.begin(), bytes.end()), 0600);
    TokenLab::WriteFile(w + "/signed.bin", SignedBytes(kData), 0600);
    ASSERT_TRUE(RunTool({"openssl", "x509", "-in", TokenLab::Keys().rsaCert, "-pubkey", "-noout",
                         "-out", "pub.pem"},
                        {}, w));
    ProcessResult check = RunProcess(
        {"openssl", "dgst", "-sha256", "-verify", "pub.pem", "-signature", "sig.bin", "signed.bin"},
        {}, w);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.out, "Verified OK\n");

    TokenLab::WriteFile(w + "/data.txt", "hello!\n", 0600);
    verify = Verify();
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(verify.out, Console(MSG_CONTROL_CREATED) + "verifySign:Error");
}

TEST_F(SignctlTokenTest, SeesATokenPluggedInBetweenTwoRuns) {
    ProcessResult before = Sign();
    EXPECT_EQ(before.status, TOKEN_E_NO_TOKEN & 0xFF);
    EXPECT_EQ(before.out,
              Console(std::string(MSG_CONTROL_CREATED) + WithCode(MSG_NO_UKEY, TOKEN_E_NO_TOKEN)));
    lab_->Standard();
    ProcessResult after = Sign();
    EXPECT_EQ(after.status, 0) << after.out << after.err;
}

TEST_F(SignctlTokenTest, ShowsEachFailureWithItsCode) {
    enum Mode { kSign, kVerify };
    struct Row {
        const char* name;
        std::function<void(TokenLab&)> setup;
        Mode mode;
        HRESULT code;
    };
    const Material& keys = TokenLab::Keys();
    auto pinFile = [](TokenLab& lab) { return lab.ConfigFolder() + "/pin"; };
    auto p12 = [](TokenLab& lab) { return lab.IdentityFolder() + "/briv_tav_client_p12.p12"; };
    const Row rows[] = {
        {"no token", [](TokenLab&) {}, kSign, TOKEN_E_NO_TOKEN},
        {"two keys labelled as the container",
         [&](TokenLab& lab) {
             lab.Standard();
             lab.ImportKey(TokenLab::kTokenLabel, keys.otherKey, "BRIVCont1", "02");
         },
         kSign, TOKEN_E_KEY_AMBIGUOUS},
        {"no key labelled as the container",
         [&](TokenLab& lab) {
             lab.InitToken(TokenLab::kTokenLabel);
             lab.ImportKey(TokenLab::kTokenLabel, keys.rsaKey, "BRIVCont2", "01");
             lab.ImportCertificate(TokenLab::kTokenLabel, keys.rsaDer, "BRIVCont2", "01");
         },
         kSign, TOKEN_E_KEY_NOT_FOUND},
        {"wrong PIN",
         [&](TokenLab& lab) {
             lab.Standard();
             TokenLab::WriteFile(pinFile(lab), "4321\n", 0600);
         },
         kSign, TOKEN_E_PIN_INCORRECT},
        {"PIN file readable by others",
         [&](TokenLab& lab) {
             lab.Standard();
             TokenLab::WriteFile(pinFile(lab), "1234\n", 0644);
         },
         kSign, TOKEN_E_SECRET_UNSAFE},
        {"no PIN for the token",
         [&](TokenLab& lab) {
             lab.Standard();
             lab.WriteConfig("module = @MODULE@\n");
         },
         kSign, TOKEN_E_NO_PIN},
        {"module that isn't one",
         [&](TokenLab& lab) {
             lab.Standard();
             lab.WriteConfig("module = " + pinFile(lab) + "\n");
         },
         kSign, TOKEN_E_MODULES},
        {"configuration it doesn't understand",
         [&](TokenLab& lab) {
             lab.Standard();
             lab.WriteConfig(lab.StandardConfig() + "colour = blue\n");
         },
         kSign, TOKEN_E_CONFIG_SYNTAX},
        {"missing identity",
         [&](TokenLab& lab) {
             lab.Standard();
             unlink(p12(lab).c_str());
         },
         kVerify, TOKEN_E_P12_MISSING},
        {"corrupt identity",
         [&](TokenLab& lab) {
             lab.Standard();
             TokenLab::WriteFile(p12(lab), "this is not PKCS#12", 0600);
         },
         kVerify, TOKEN_E_P12_CORRUPT},
        {"wrong password",
         [&](TokenLab& lab) {
             lab.Standard();
             TokenLab::WriteFile(lab.ConfigFolder() + "/p12-password", "guess", 0600);
         },
         kVerify, TOKEN_E_P12_PASSWORD},
        {"identity without the container",
         [&](TokenLab& lab) {
             lab.Standard();
             lab.MakeIdentity("briv_tav_client_p12", keys.rsaKey, keys.rsaCert, "BRIVCont2",
                              TokenLab::kPassword);
         },
         kVerify, TOKEN_E_P12_CONTAINER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lab_.reset(new TokenLab);
        TokenLab::WriteFile(lab_->Work() + "/data.txt", kData, 0600);
        TokenLab::WriteFile(lab_->Work() + "/TCERT_RSA.tmp", "AAAA", 0600);
        row.setup(*lab_);
        ProcessResult run = row.mode == kSign ? Sign() : Verify();
        std::string expected = MSG_CONTROL_CREATED;
        if (row.code == TOKEN_E_CONFIG_SYNTAX)
            expected += WithCode(MSG_NOT_INSTALLED, row.code);
        else if (row.code == TOKEN_E_NO_TOKEN || row.code == TOKEN_E_MODULES)
            expected += WithCode(MSG_NO_UKEY, row.code);
        else
            expected += MSG_INIT_FAILED;
        EXPECT_EQ(run.out, Console(expected));
        EXPECT_EQ(run.status, row.code & 0xFF);
        EXPECT_NE(run.err.find(DiagnosticCode(row.code)), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(TokenErrorText(row.code)), std::string::npos) << run.err;
    }
}

TEST_F(SignctlTokenTest, MalformedSignatureIsNotValid) {
    lab_->Standard();
    TokenLab::WriteFile(lab_->Work() + "/TCERT_RSA.tmp", "not base64!", 0600);
    ProcessResult verify = Verify();
    EXPECT_EQ(verify.status, 0);
    EXPECT_EQ(verify.out, Console(MSG_CONTROL_CREATED) + "verifySign:Error");
    EXPECT_NE(verify.err.find(DiagnosticCode(TOKEN_E_SIGNATURE_MALFORMED)), std::string::npos)
        << verify.err;
    // Unasked, the control says nothing on standard error.
    std::vector<std::string> quiet;
    for (const std::string& variable : lab_->Env()) {
        if (variable.rfind("SIGNCTL_TOKEN_DIAGNOSTICS=", 0) != 0)
            quiet.push_back(variable);
    }
    ProcessResult silent = RunProcess({SIGNCTL_PROGRAM, "ANY", "data.txt", "TCERT_RSA.tmp"}, quiet,
                                      lab_->Work());
    EXPECT_EQ(silent.out, Console(MSG_CONTROL_CREATED) + "verifySign:Error");
    EXPECT_EQ(silent.err, "");
}
