// The token control's parts that need no token: base64, the configuration
// and secret files.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base64.h"
#include "config.h"
#include "error_codes.h"
#include "secret.h"
#include "support/token_lab.h"

TEST(Base64Test, DecodesOnlyStrictStandardBase64) {
    struct Row {
        const char* name;
        std::string text;
        bool valid;
        std::string bytes;
    };
    const Row rows[] = {
        {"no padding", "YWJj", true, "abc"},
        {"one pad", "YWI=", true, "ab"},
        {"two pads", "YQ==", true, "a"},
        {"binary with + and /", "+/8A", true, std::string("\xfb\xff\x00", 3)},
        {"empty", "", false, ""},
        {"short", "YWI", false, ""},
        {"three pads", "Y===", false, ""},
        {"pad inside", "YQ==YWJj", false, ""},
        {"url alphabet", "-_8A", false, ""},
        {"trailing line feed", "YWJj\n", false, ""},
        {"inner space", "YW Jj", false, ""},
        {"non-ASCII", "YWJ\xc3\xa9", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<unsigned char> out;
        ASSERT_EQ(Base64Decode(row.text, out), row.valid);
        if (row.valid) {
            EXPECT_EQ(std::string(out.begin(), out.end()), row.bytes);
        }
    }
}

TEST(Base64Test, EncodesOneLineThatDecodesBack) {
    std::vector<unsigned char> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7);
    std::string text = Base64Encode(bytes);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.size(), 400u);
    std::vector<unsigned char> back;
    ASSERT_TRUE(Base64Decode(text, back));
    EXPECT_EQ(back, bytes);
}

namespace {

HRESULT Parse(const std::string& text, Config& config) {
    config.path = "/etc/signctl/token.conf";
    config.folder = "/etc/signctl";
    return ParseConfig(text.data(), text.size(), config);
}

} // namespace

TEST(ConfigTest, ReadsEverySetting) {
    Config config;
    ASSERT_EQ(Parse("# comment\n"
                    "  identity-folder = ids  \n"
                    "module\t=\t/usr/lib/x.so\r\n"
                    "token = pkcs11:token=A\n"
                    "\n"
                    "[token pkcs11:token=A]\n"
                    "pin-value =  12 34 \n"
                    "[token pkcs11:]\n"
                    "pin-source = file:///run/pin\n"
                    "[identity client]\n"
                    "password-value =\n"
                    "password-source = pw\n",
                    config),
              S_OK);
    EXPECT_EQ(config.identityFolder, "/etc/signctl/ids");
    EXPECT_EQ(config.module, "/usr/lib/x.so");
    ASSERT_NE(config.token, nullptr);
    ASSERT_EQ(config.tokens.size(), 2u);
    EXPECT_TRUE(config.tokens[0]->pin.hasValue);
    EXPECT_EQ(std::string(config.tokens[0]->pin.value.Data()), "12 34");
    EXPECT_FALSE(config.tokens[1]->pin.hasValue);
    EXPECT_EQ(config.tokens[1]->pin.source, "file:///run/pin");
    ASSERT_EQ(config.identities.size(), 1u);
    EXPECT_EQ(config.identities[0]->name, "client");
    EXPECT_TRUE(config.identities[0]->password.hasValue);
    EXPECT_TRUE(config.identities[0]->password.value.Empty());
    EXPECT_EQ(config.identities[0]->password.source, "pw");
}

TEST(ConfigTest, RefusesLinesItDoesNotUnderstand) {
    struct Row {
        const char* name;
        const char* text;
    };
    const Row rows[] = {
        {"unknown key", "colour = blue\n"},
        {"no equals sign", "module\n"},
        {"empty module", "module =\n"},
        {"token URI that isn't one", "token = https://example.org/\n"},
        {"bad escape in token URI", "token = pkcs11:token=%zz\n"},
        {"unknown section", "[slot 1]\n"},
        {"unclosed section", "[token pkcs11:\n"},
        {"identity without a name", "[identity ]\n"},
        {"PIN outside a section", "pin-value = 1\n"},
        {"password in a token section", "[token pkcs11:]\npassword-value = 1\n"},
        {"PIN in an identity section", "[identity a]\npin-source = f\n"},
        {"global key after a section", "[identity a]\nmodule = /x.so\n"},
    };
    // The line is told only when diagnostics are asked for.
    setenv("SIGNCTL_TOKEN_DIAGNOSTICS", "1", 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Config config;
        testing::internal::CaptureStderr();
        EXPECT_EQ(Parse(row.text, config), TOKEN_E_CONFIG_SYNTAX);
        std::string err = testing::internal::GetCapturedStderr();
        // The line is named by number; its text may be a secret.
        EXPECT_NE(err.find("token.conf: line "), std::string::npos) << err;
    }
    unsetenv("SIGNCTL_TOKEN_DIAGNOSTICS");
}

class SecretFileTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/signctl-secret-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        for (const std::string& f : files_)
            unlink(f.c_str());
        rmdir(folder_.c_str());
    }
    std::string Make(const std::string& name, const std::string& content, int mode) {
        std::string path = folder_ + "/" + name;
        TokenLab::WriteFile(path, content, mode);
        files_.push_back(path);
        return path;
    }
    HRESULT Read(const std::string& source, Secret& secret) {
        testing::internal::CaptureStderr();
        HRESULT hr = ReadSecretFile(source, folder_, secret);
        testing::internal::GetCapturedStderr();
        return hr;
    }

    std::string folder_;
    std::vector<std::string> files_;
};

TEST_F(SecretFileTest, ReadsByPathOrFileUriDroppingOneLineFeed) {
    Make("pin file", "1234\n\n", 0600);
    Make("plain", "  secret ", 0400);
    struct Row {
        const char* name;
        std::string source;
        std::string secret;
    };
    const Row rows[] = {
        {"relative path", "pin file", "1234\n"},
        {"absolute path", folder_ + "/plain", "  secret "},
        {"file URI", "file://" + folder_ + "/pin%20file", "1234\n"},
        {"file URI on localhost", "file://localhost" + folder_ + "/plain", "  secret "},
        {"file URI without authority", "file:" + folder_ + "/plain", "  secret "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Secret secret;
        ASSERT_EQ(Read(row.source, secret), S_OK);
        EXPECT_EQ(std::string(secret.Data(), secret.Size()), row.secret);
    }
}

TEST_F(SecretFileTest, RefusesFilesThatAreNotPrivateOrNotThere) {
    Make("group", "1", 0640);
    Make("others", "1", 0604);
    Make("big", std::string(5000, 'x'), 0600);
    struct Row {
        const char* name;
        std::string source;
        HRESULT code;
    };
    const Row rows[] = {
        {"readable by group", "group", TOKEN_E_SECRET_UNSAFE},
        {"readable by others", "others", TOKEN_E_SECRET_UNSAFE},
        {"missing", "nothing", TOKEN_E_SECRET_UNREADABLE},
        {"a folder", folder_, TOKEN_E_SECRET_UNREADABLE},
        {"too large", "big", TOKEN_E_SECRET_UNREADABLE},
        {"remote file URI", "file://host/etc/pin", TOKEN_E_SECRET_UNREADABLE},
        {"bad escape", "file://" + folder_ + "/%0", TOKEN_E_SECRET_UNREADABLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Secret secret;
        EXPECT_EQ(Read(row.source, secret), row.code);
        EXPECT_TRUE(secret.Empty());
    }
}

TEST_F(SecretFileTest, RefusesAnotherUsersFile) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making another user's file needs root";
    std::string path = Make("theirs", "1", 0600);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    Secret secret;
    EXPECT_EQ(Read("theirs", secret), TOKEN_E_SECRET_UNSAFE);
}
