// The token control loaded into the test program, as the client loads it,
// working on a throwaway SoftHSM2 token.
#include <openssl/ecdsa.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base64.h"
#include "error_codes.h"
#include "support/loaded_control.h"
#include "support/process.h"
#include "support/token_lab.h"

namespace {

const HRESULT kNotImplemented = static_cast<HRESULT>(0x80004001);

class TokenControlTest : public testing::Test {
  protected:
    void SetUp() override {
        if (TokenLab::SoftHsmModule().empty())
            GTEST_SKIP() << "SoftHSM2 is not installed";
        lab_.reset(new TokenLab);
        lab_->Enter();
        // The control's diagnostics are checked by the end-to-end tests.
        testing::internal::CaptureStderr();
    }
    void TearDown() override {
        control_.reset();
        if (lab_ != nullptr)
            testing::internal::GetCapturedStderr();
        lab_.reset();
    }

    // A new control; the one made before is released first.
    ISignControl* Control() {
        control_.reset();
        control_ = LoadControl();
        return control_.get();
    }

    // Looks for the connected token and opens container on it.
    HRESULT OpenOnToken(const char16_t* container, int32_t& handle) {
        OLECHAR* identity = nullptr;
        HRESULT hr = control_->CheckUkeyConnected(&identity);
        if (hr != S_OK)
            return hr;
        return control_->InitContainer(identity, container, &handle);
    }

    // A fresh token holding key and certificate as "BRIVCont1" with id, a
    // new control, and that container opened on the token into handle.
    void OpenPairOnFreshToken(const std::string& key, const std::string& certificate,
                              const char* id, int32_t& handle) {
        lab_->InitToken(TokenLab::kTokenLabel);
        lab_->ImportKey(TokenLab::kTokenLabel, key, "BRIVCont1", id);
        lab_->ImportCertificate(TokenLab::kTokenLabel, certificate, "BRIVCont1", id);
        ASSERT_NE(Control(), nullptr);
        ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    }

    std::unique_ptr<TokenLab> lab_;
    ControlPtr control_;
};

} // namespace

TEST_F(TokenControlTest, EveryOtherSlotIsRefused) {
    // Called by position in the table, as the client's binary calls them.
    typedef HRESULT (*NoArguments)(ISignControl*);
    ISignControl* control = Control();
    ASSERT_NE(control, nullptr);
    void** table = *reinterpret_cast<void***>(control);
    for (int slot = 3; slot <= 55; ++slot) {
        SCOPED_TRACE(testing::Message() << "slot " << slot);
        if (slot == 9 || slot == 37 || slot == 38 || slot == 55)
            continue;
        HRESULT expected = slot == 48 ? S_OK : kNotImplemented; // 48: CheckInstalled
        EXPECT_EQ(reinterpret_cast<NoArguments>(table[slot])(control), expected);
    }
}

TEST_F(TokenControlTest, SignsAndVerifiesWithTokenAndIdentityForBothAlgorithms) {
    lab_->Standard();
    ASSERT_NE(Control(), nullptr);
    struct Row {
        const char* name;
        bool onToken;
        int32_t algorithm;
    };
    const Row rows[] = {
        {"token, SHA-256", true, 2},
        {"token, SHA-1", true, 1},
        {"identity, SHA-256", false, 2},
        {"identity, SHA-1", false, 1},
    };
    const char16_t* text = u"\u00f5r";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int32_t handle = 0;
        if (row.onToken) {
            ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
        } else {
            ASSERT_EQ(control_->InitContainer(u"briv_tav_client_p12", u"BRIVCont1", &handle), S_OK);
        }
        OLECHAR* signature = nullptr;
        ASSERT_EQ(control_->SignData(text, row.algorithm, &signature), S_OK);
        const std::string signatureText = Narrow(signature);
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(Base64Decode(signatureText, bytes)) << signatureText;
        EXPECT_EQ(bytes.size(), 256u);
        EXPECT_EQ(control_->VerifySign(text, signature, row.algorithm, &handle), S_OK);
        EXPECT_EQ(control_->VerifySign(u"\u00f5s", signature, row.algorithm, &handle),
                  TOKEN_E_SIGNATURE_MISMATCH);
        EXPECT_EQ(control_->VerifySign(text, signature, 3 - row.algorithm, &handle),
                  TOKEN_E_SIGNATURE_MISMATCH);

        // The same key in the other container verifies the signature too.
        int32_t other = 0;
        if (row.onToken) {
            ASSERT_EQ(control_->InitContainer(u"briv_tav_client_p12", u"BRIVCont1", &other), S_OK);
        } else {
            ASSERT_EQ(OpenOnToken(u"BRIVCont1", other), S_OK);
        }
        EXPECT_NE(other, handle);
        EXPECT_EQ(control_->VerifySign(text, signature, row.algorithm, &other), S_OK);
        EXPECT_EQ(Narrow(signature), signatureText);
    }
}

TEST_F(TokenControlTest, HashesForTokensThatOnlySignDigests) {
    lab_->Standard();
    lab_->SetMechanisms("CKM_RSA_PKCS");
    ASSERT_NE(Control(), nullptr);
    int32_t handle = 0;
    ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    for (int32_t algorithm : {1, 2}) {
        SCOPED_TRACE(algorithm);
        OLECHAR* signature = nullptr;
        ASSERT_EQ(control_->SignData(u"data", algorithm, &signature), S_OK);
        EXPECT_EQ(control_->VerifySign(u"data", signature, algorithm, &handle), S_OK);
    }
}

TEST_F(TokenControlTest, SignsWithEcKeyOnToken) {
    const Material& keys = TokenLab::Keys();
    int32_t handle = 0;
    ASSERT_NO_FATAL_FAILURE(OpenPairOnFreshToken(keys.ecKey, keys.ecDer, "0e", handle));
    for (int32_t algorithm : {1, 2}) {
        SCOPED_TRACE(algorithm);
        OLECHAR* signature = nullptr;
        ASSERT_EQ(control_->SignData(u"data", algorithm, &signature), S_OK);
        std::vector<unsigned char> der;
        ASSERT_TRUE(Base64Decode(Narrow(signature), der));
        const unsigned char* p = der.data();
        ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
        EXPECT_NE(sig, nullptr) << "not a DER ECDSA signature";
        ECDSA_SIG_free(sig);
        EXPECT_EQ(control_->VerifySign(u"data", signature, algorithm, &handle), S_OK);
        EXPECT_EQ(control_->VerifySign(u"date", signature, algorithm, &handle),
                  TOKEN_E_SIGNATURE_MISMATCH);
    }
}

TEST_F(TokenControlTest, LogsInAgainForKeysThatAlwaysAuthenticate) {
    // The token makes the key; its certificate carries the token's public
    // key, signed by another key (the control only reads the public key).
    const Material& keys = TokenLab::Keys();
    lab_->InitToken(TokenLab::kTokenLabel);
    const std::string module = TokenLab::SoftHsmModule();
    const std::string w = lab_->Work();
    ASSERT_TRUE(RunTool({"pkcs11-tool", "--module", module, "--token-label", TokenLab::kTokenLabel,
                         "--login", "--pin", TokenLab::kPin, "--keypairgen", "--key-type",
                         "rsa:2048", "--always-auth", "--label", "BRIVCont1", "--id", "0a"},
                        lab_->Env(), w));
    ASSERT_TRUE(RunTool({"pkcs11-tool", "--module", module, "--token-label", TokenLab::kTokenLabel,
                         "--read-object", "--type", "pubkey", "--id", "0a", "-o", "pub.der"},
                        lab_->Env(), w));
    ASSERT_TRUE(RunTool(
        {"openssl", "pkey", "-pubin", "-inform", "DER", "-in", "pub.der", "-out", "pub.pem"}, {},
        w));
    ASSERT_TRUE(RunTool(
        {"openssl", "req", "-new", "-key", keys.otherKey, "-subj", "/CN=a", "-out", "a.csr"}, {},
        w));
    ASSERT_TRUE(RunTool({"openssl", "x509", "-req", "-in", "a.csr", "-signkey", keys.otherKey,
                         "-force_pubkey", "pub.pem", "-outform", "DER", "-out", "a.der"},
                        {}, w));
    lab_->ImportCertificate(TokenLab::kTokenLabel, w + "/a.der", "BRIVCont1", "0a");

    ASSERT_NE(Control(), nullptr);
    int32_t handle = 0;
    ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        OLECHAR* signature = nullptr;
        ASSERT_EQ(control_->SignData(u"data", 2, &signature), S_OK);
        EXPECT_EQ(control_->VerifySign(u"data", signature, 2, &handle), S_OK);
    }
}

TEST_F(TokenControlTest, RefusesWhatItCannotSignOrVerify) {
    lab_->Standard();
    ASSERT_NE(Control(), nullptr);
    OLECHAR* signature = nullptr;
    int32_t handle = 0;
    EXPECT_EQ(control_->SignData(u"x", 2, &signature), TOKEN_E_NO_CONTAINER);
    EXPECT_EQ(control_->VerifySign(u"x", u"AAAA", 2, &handle), TOKEN_E_NO_CONTAINER);
    ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    ASSERT_EQ(control_->SignData(u"x", 2, &signature), S_OK);

    for (int32_t algorithm : {0, 3, -1, 256}) {
        SCOPED_TRACE(algorithm);
        char16_t untouched[] = u"untouched";
        OLECHAR* none = untouched;
        EXPECT_EQ(control_->SignData(u"x", algorithm, &none), TOKEN_E_ALGORITHM);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(control_->VerifySign(u"x", signature, algorithm, &handle), TOKEN_E_ALGORITHM);
    }

    const std::u16string good(signature, signature + Narrow(signature).size());
    struct Row {
        const char* name;
        std::u16string text;
    };
    const Row malformed[] = {
        {"empty", u""},
        {"line feed after it", good + u"\n"},
        {"cut short", good.substr(0, good.size() - 1)},
        {"not base64", u"*" + good.substr(1)},
        {"beyond Latin-1", u"\u4e2d" + good.substr(1)},
        {"lone surrogate", u"\xd800" + good.substr(1)},
    };
    for (const Row& row : malformed) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control_->VerifySign(u"x", row.text.c_str(), 2, &handle),
                  TOKEN_E_SIGNATURE_MALFORMED);
    }
    EXPECT_EQ(control_->VerifySign(u"x", u"AAAA", 2, &handle), TOKEN_E_SIGNATURE_MISMATCH);

    int32_t stale = handle + 1;
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, &stale), TOKEN_E_BAD_HANDLE);
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, &handle), S_OK);
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, nullptr), TOKEN_E_ARGUMENT);
    EXPECT_EQ(control_->SignData(u"\xdc00", 2, &signature), TOKEN_E_ARGUMENT);
    EXPECT_EQ(control_->CheckUkeyConnected(nullptr), TOKEN_E_ARGUMENT);
}

TEST_F(TokenControlTest, RefusesIdentitiesThatNameNothing) {
    lab_->Standard();
    ASSERT_NE(Control(), nullptr);
    struct Row {
        const char* name;
        const char16_t* identity;
        HRESULT code;
    };
    const Row rows[] = {
        {"empty", u"", TOKEN_E_BAD_IDENTITY},
        {"a path", u"../briv_tav_client_p12", TOKEN_E_BAD_IDENTITY},
        {"dot dot", u"..", TOKEN_E_BAD_IDENTITY},
        {"broken token URI", u"pkcs11:token=%zz", TOKEN_E_BAD_IDENTITY},
        {"absent token", u"pkcs11:token=elsewhere", TOKEN_E_TOKEN_NOT_FOUND},
        {"absent identity", u"nobody", TOKEN_E_P12_MISSING},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int32_t handle = 7;
        EXPECT_EQ(control_->InitContainer(row.identity, u"BRIVCont1", &handle), row.code);
        EXPECT_EQ(handle, 7);
    }
}

TEST_F(TokenControlTest, FailedOpenClosesTheContainerOpenBefore) {
    lab_->Standard();
    ASSERT_NE(Control(), nullptr);
    int32_t handle = 0;
    ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    int32_t unused = 0;
    EXPECT_EQ(control_->InitContainer(u"nobody", u"BRIVCont1", &unused), TOKEN_E_P12_MISSING);
    OLECHAR* signature = nullptr;
    EXPECT_EQ(control_->SignData(u"x", 2, &signature), TOKEN_E_NO_CONTAINER);
}

TEST_F(TokenControlTest, SeesATokenPluggedInSinceTheLastLook) {
    ASSERT_NE(Control(), nullptr);
    OLECHAR* identity = nullptr;
    EXPECT_EQ(control_->CheckUkeyConnected(&identity), TOKEN_E_NO_TOKEN);
    EXPECT_EQ(identity, nullptr);
    lab_->Standard();
    ASSERT_EQ(control_->CheckUkeyConnected(&identity), S_OK);
    const std::string uri = Narrow(identity);
    EXPECT_EQ(uri.rfind("pkcs11:", 0), 0u) << uri;
    EXPECT_NE(uri.find("token=signctl%20test"), std::string::npos) << uri;
    EXPECT_NE(uri.find("serial="), std::string::npos) << uri;
    EXPECT_NE(uri.find("model="), std::string::npos) << uri;
    EXPECT_NE(uri.find("manufacturer="), std::string::npos) << uri;
    int32_t handle = 0;
    EXPECT_EQ(control_->InitContainer(identity, u"BRIVCont1", &handle), S_OK);
}

TEST_F(TokenControlTest, TakesTheFirstTokenTheConfigurationAllows) {
    lab_->InitToken("first");
    lab_->InitToken("second");
    struct Row {
        const char* name;
        const char* filter;
        const char* token; // null: none found
    };
    // Without a filter either may come first: SoftHSM orders its slots by
    // their serial numbers.
    const Row rows[] = {
        {"no filter", "", "token="},
        {"by label", "token = pkcs11:token=second\n", "token=second"},
        {"by model", "token = pkcs11:model=SoftHSM%20v2;token=second\n", "token=second"},
        {"matching none", "token = pkcs11:token=third\n", nullptr},
        {"by another model", "token = pkcs11:model=Other\n", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lab_->WriteConfig(std::string(row.filter) + lab_->StandardConfig());
        ASSERT_NE(Control(), nullptr);
        OLECHAR* identity = nullptr;
        HRESULT hr = control_->CheckUkeyConnected(&identity);
        if (row.token == nullptr) {
            EXPECT_EQ(hr, TOKEN_E_NO_TOKEN);
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        EXPECT_NE(Narrow(identity).find(row.token), std::string::npos) << Narrow(identity);
    }
}

TEST_F(TokenControlTest, TextsStayValidUntilRelease) {
    lab_->Standard();
    ASSERT_NE(Control(), nullptr);
    int32_t handle = 0;
    ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    OLECHAR* first = nullptr;
    OLECHAR* second = nullptr;
    ASSERT_EQ(control_->SignData(u"one", 2, &first), S_OK);
    const std::string firstText = Narrow(first);
    ASSERT_EQ(control_->SignData(u"two", 2, &second), S_OK);
    OLECHAR* identity = nullptr;
    ASSERT_EQ(control_->CheckUkeyConnected(&identity), S_OK);
    EXPECT_NE(Narrow(second), firstText);
    EXPECT_EQ(Narrow(first), firstText);
}

TEST_F(TokenControlTest, FindsTheCertificateByLabelWhenNoneSharesTheKeysId) {
    const Material& keys = TokenLab::Keys();
    lab_->InitToken(TokenLab::kTokenLabel);
    lab_->ImportKey(TokenLab::kTokenLabel, keys.rsaKey, "BRIVCont1", "01");
    lab_->ImportCertificate(TokenLab::kTokenLabel, keys.rsaDer, "BRIVCont1", "77");
    lab_->ImportKey(TokenLab::kTokenLabel, keys.otherKey, "orphan", "02");
    ASSERT_NE(Control(), nullptr);
    int32_t handle = 0;
    ASSERT_EQ(OpenOnToken(u"BRIVCont1", handle), S_OK);
    OLECHAR* signature = nullptr;
    ASSERT_EQ(control_->SignData(u"x", 2, &signature), S_OK);
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, &handle), S_OK);
    EXPECT_EQ(OpenOnToken(u"orphan", handle), TOKEN_E_NO_CERTIFICATE);
}

TEST_F(TokenControlTest, RefusesToVerifyWithACertificateForAnotherKindOfKey) {
    const Material& keys = TokenLab::Keys();
    int32_t handle = 0;
    ASSERT_NO_FATAL_FAILURE(OpenPairOnFreshToken(keys.rsaKey, keys.ecDer, "01", handle));
    OLECHAR* signature = nullptr;
    ASSERT_EQ(control_->SignData(u"x", 2, &signature), S_OK);
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, &handle), TOKEN_E_KEY_TYPE);
}

TEST_F(TokenControlTest, IdentitySignsOnlyWithTheKeyOfTheContainersCertificate) {
    const Material& keys = TokenLab::Keys();
    lab_->MakeIdentity("signer", keys.rsaKey, keys.rsaCert, "BRIVCont1", TokenLab::kPassword,
                       keys.otherCert, "Other");
    lab_->MakeIdentity("briv_tav_client_p12", "", keys.rsaCert, "BRIVCont1", TokenLab::kPassword);
    lab_->WriteConfig(lab_->StandardConfig() +
                      "[identity signer]\npassword-source = @LAB@/p12-password\n");
    ASSERT_NE(Control(), nullptr);
    int32_t handle = 0;
    ASSERT_EQ(control_->InitContainer(u"signer", u"BRIVCont1", &handle), S_OK);
    OLECHAR* signature = nullptr;
    ASSERT_EQ(control_->SignData(u"x", 2, &signature), S_OK);
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, &handle), S_OK);

    // A certificate without its key, in a file with another key, or alone.
    struct Row {
        const char* name;
        const char16_t* identity;
        const char16_t* container;
    };
    const Row rows[] = {
        {"beside another key", u"signer", u"Other"},
        {"alone", u"briv_tav_client_p12", u"BRIVCont1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(control_->InitContainer(row.identity, row.container, &handle), S_OK);
        OLECHAR* none = nullptr;
        EXPECT_EQ(control_->SignData(u"x", 2, &none), TOKEN_E_KEY_NOT_FOUND);
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_EQ(control_->VerifySign(u"x", signature, 2, &handle), S_OK);
}

TEST_F(TokenControlTest, TakesPinsAndPasswordsFromWhereTheConfigurationSays) {
    lab_->Standard();
    struct Row {
        const char* name;
        std::string config;
        int configMode;
        HRESULT token;
        HRESULT identity;
    };
    const std::string identity = "[identity briv_tav_client_p12]\npassword-value = p12 secret\n";
    const Row rows[] = {
        {"values in a private configuration",
         "module = @MODULE@\n[token pkcs11:]\npin-value = 1234\n" + identity, 0600, S_OK, S_OK},
        {"values in a configuration others can read",
         "module = @MODULE@\n[token pkcs11:]\npin-value = 1234\n" + identity, 0644,
         TOKEN_E_SECRET_UNSAFE, TOKEN_E_SECRET_UNSAFE},
        {"files named by file: URIs in a readable configuration",
         "module = @MODULE@\n[token pkcs11:token=signctl%20test]\n"
         "pin-source = file://@LAB@/pin\n"
         "[identity briv_tav_client_p12]\npassword-source = file:@LAB@/p12-password\n",
         0644, S_OK, S_OK},
        {"the first matching token section",
         "module = @MODULE@\n[token pkcs11:token=signctl%20test]\npin-value = 1234\n"
         "[token pkcs11:]\npin-value = 0000\n" +
             identity,
         0600, S_OK, S_OK},
        {"no matching sections",
         "module = @MODULE@\n[token pkcs11:token=other]\npin-value = 1234\n"
         "[identity other]\npassword-value = p12 secret\n",
         0600, TOKEN_E_NO_PIN, TOKEN_E_NO_PASSWORD},
        {"sections without secrets",
         "module = @MODULE@\n[token pkcs11:]\n[identity briv_tav_client_p12]\n", 0600,
         TOKEN_E_NO_PIN, TOKEN_E_NO_PASSWORD},
        {"files that are missing",
         "module = @MODULE@\n[token pkcs11:]\npin-source = none\n"
         "[identity briv_tav_client_p12]\npassword-source = none\n",
         0600, TOKEN_E_SECRET_UNREADABLE, TOKEN_E_SECRET_UNREADABLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lab_->WriteConfig(row.config);
        chmod((lab_->ConfigFolder() + "/token.conf").c_str(), static_cast<mode_t>(row.configMode));
        ASSERT_NE(Control(), nullptr);
        int32_t handle = 0;
        EXPECT_EQ(OpenOnToken(u"BRIVCont1", handle), row.token);
        EXPECT_EQ(control_->InitContainer(u"briv_tav_client_p12", u"BRIVCont1", &handle),
                  row.identity);
    }
}
