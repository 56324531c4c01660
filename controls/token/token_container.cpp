#include "token_container.h"

#include <openssl/err.h>

#include "crypto.h"
#include "error_codes.h"

namespace {

std::string RvText(const char* call, CK_RV rv) {
    return std::string(call) + ": " + p11_kit_strerror(rv);
}

class TokenContainer final : public Container {
  public:
    TokenContainer(const std::shared_ptr<ModuleSet>& modules, const TokenRef& token,
                   const Config& config)
        : modules_(modules), token_(token), config_(config) {}

    ~TokenContainer() override {
        if (session_ == CK_INVALID_HANDLE)
            return;
        if (loggedIn_)
            token_.module->C_Logout(session_);
        token_.module->C_CloseSession(session_);
    }

    HRESULT Open(const std::string& name);
    HRESULT Sign(const std::string& data, int32_t algorithm,
                 std::vector<unsigned char>& signature) override;
    HRESULT Certificate(X509*& certificate) override;

  private:
    HRESULT LogIn(CK_USER_TYPE user);
    HRESULT FindKey(const std::string& name);
    HRESULT FindCertificate(const std::string& name, const std::vector<unsigned char>& id);
    bool ReadAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type,
                       std::vector<unsigned char>& value);
    bool Supports(CK_MECHANISM_TYPE mechanism);
    // Signs with mechanism.  When refused is given and the token refuses
    // the mechanism, sets it and returns S_FALSE without reporting.
    HRESULT RunSign(CK_MECHANISM_TYPE mechanism, const unsigned char* data, size_t size,
                    std::vector<unsigned char>& signature, bool* refused = nullptr);

    // The modules stay loaded as long as a session on them is open.
    std::shared_ptr<ModuleSet> modules_;
    TokenRef token_;
    const Config& config_;
    CK_SESSION_HANDLE session_ = CK_INVALID_HANDLE;
    bool loggedIn_ = false;
    CK_OBJECT_HANDLE key_ = CK_INVALID_HANDLE;
    CK_KEY_TYPE keyType_ = CKK_RSA;
    bool alwaysAuthenticate_ = false;
    // The certificate as the token holds it, decoded when first needed:
    // decoding costs as much as the rest of opening, and signing never
    // needs it.
    std::vector<unsigned char> certificateDer_;
    std::string name_;
    X509Ptr certificate_;
};

HRESULT TokenContainer::Open(const std::string& name) {
    CK_RV rv =
        token_.module->C_OpenSession(token_.slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session_);
    if (rv != CKR_OK) {
        session_ = CK_INVALID_HANDLE;
        return Fail(TOKEN_E_TOKEN_FAILED, RvText("C_OpenSession", rv));
    }
    HRESULT hr = LogIn(CKU_USER);
    if (hr == S_OK)
        hr = FindKey(name);
    return hr;
}

HRESULT TokenContainer::LogIn(CK_USER_TYPE user) {
    // The flags as they are now: another program may have used up tries.
    CK_TOKEN_INFO info;
    if (token_.module->C_GetTokenInfo(token_.slot, &info) != CKR_OK)
        info = token_.info;
    if (user == CKU_USER && (info.flags & CKF_LOGIN_REQUIRED) == 0)
        return S_OK;
    const std::string uri = TokenUri(info);
    if ((info.flags & CKF_USER_PIN_LOCKED) != 0)
        return Fail(TOKEN_E_PIN_LOCKED, uri);
    if ((info.flags & CKF_USER_PIN_FINAL_TRY) != 0)
        return Fail(TOKEN_E_PIN_FINAL_TRY, uri);

    CK_RV rv;
    if ((info.flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0) {
        rv = token_.module->C_Login(session_, user, nullptr, 0);
    } else {
        const TokenSection* section = nullptr;
        for (const auto& candidate : config_.tokens) {
            if (p11_kit_uri_match_token_info(candidate->uri.get(), &info)) {
                section = candidate.get();
                break;
            }
        }
        if (section == nullptr)
            return Fail(TOKEN_E_NO_PIN, "no [token] section matches " + uri);
        Secret pin;
        HRESULT hr = TakeSecret(config_, section->pin, TOKEN_E_NO_PIN, pin);
        if (hr != S_OK)
            return hr;
        rv = token_.module->C_Login(session_, user,
                                    reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin.Data())),
                                    pin.Size());
    }
    if (rv == CKR_OK) {
        loggedIn_ = true;
        return S_OK;
    }
    if (rv == CKR_USER_ALREADY_LOGGED_IN)
        return S_OK;
    if (rv == CKR_PIN_INCORRECT)
        return Fail(TOKEN_E_PIN_INCORRECT, uri);
    if (rv == CKR_PIN_LOCKED)
        return Fail(TOKEN_E_PIN_LOCKED, uri);
    return Fail(TOKEN_E_LOGIN, RvText("C_Login", rv));
}

bool TokenContainer::ReadAttribute(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type,
                                   std::vector<unsigned char>& value) {
    CK_ATTRIBUTE attribute = {type, nullptr, 0};
    if (token_.module->C_GetAttributeValue(session_, object, &attribute, 1) != CKR_OK ||
        attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION)
        return false;
    value.assign(attribute.ulValueLen, 0);
    attribute.pValue = value.data();
    return token_.module->C_GetAttributeValue(session_, object, &attribute, 1) == CKR_OK;
}

HRESULT TokenContainer::FindKey(const std::string& name) {
    CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE search[] = {
        {CKA_CLASS, &keyClass, sizeof keyClass},
        {CKA_LABEL, const_cast<char*>(name.data()), name.size()},
    };
    CK_OBJECT_HANDLE found[2];
    CK_ULONG count = 0;
    CK_RV rv = token_.module->C_FindObjectsInit(session_, search, 2);
    if (rv == CKR_OK) {
        rv = token_.module->C_FindObjects(session_, found, 2, &count);
        token_.module->C_FindObjectsFinal(session_);
    }
    if (rv != CKR_OK)
        return Fail(TOKEN_E_TOKEN_FAILED, RvText("C_FindObjects", rv));
    if (count == 0)
        return Fail(TOKEN_E_KEY_NOT_FOUND, name);
    if (count > 1)
        return Fail(TOKEN_E_KEY_AMBIGUOUS, name);
    key_ = found[0];

    std::vector<unsigned char> value;
    if (!ReadAttribute(key_, CKA_KEY_TYPE, value) || value.size() != sizeof(CK_KEY_TYPE))
        return Fail(TOKEN_E_TOKEN_FAILED, "the key's type can't be read");
    keyType_ = *reinterpret_cast<const CK_KEY_TYPE*>(value.data());
    if (keyType_ != CKK_RSA && keyType_ != CKK_EC)
        return Fail(TOKEN_E_KEY_TYPE, name);
    alwaysAuthenticate_ = ReadAttribute(key_, CKA_ALWAYS_AUTHENTICATE, value) &&
                          value.size() == sizeof(CK_BBOOL) && value[0] == CK_TRUE;
    std::vector<unsigned char> id;
    if (!ReadAttribute(key_, CKA_ID, id))
        id.clear();
    return FindCertificate(name, id);
}

HRESULT TokenContainer::FindCertificate(const std::string& name,
                                        const std::vector<unsigned char>& id) {
    CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE certificateType = CKC_X_509;
    CK_OBJECT_HANDLE found = CK_INVALID_HANDLE;
    // By the key's identifier first, then by its label.
    for (int pass = 0; pass < 2 && found == CK_INVALID_HANDLE; ++pass) {
        CK_ATTRIBUTE search[] = {
            {CKA_CLASS, &certificateClass, sizeof certificateClass},
            {CKA_CERTIFICATE_TYPE, &certificateType, sizeof certificateType},
            pass == 0 ? CK_ATTRIBUTE{CKA_ID, const_cast<unsigned char*>(id.data()), id.size()}
                      : CK_ATTRIBUTE{CKA_LABEL, const_cast<char*>(name.data()), name.size()},
        };
        if (pass == 0 && id.empty())
            continue;
        CK_ULONG count = 0;
        if (token_.module->C_FindObjectsInit(session_, search, 3) == CKR_OK) {
            if (token_.module->C_FindObjects(session_, &found, 1, &count) != CKR_OK || count == 0)
                found = CK_INVALID_HANDLE;
            token_.module->C_FindObjectsFinal(session_);
        }
    }
    if (found == CK_INVALID_HANDLE || !ReadAttribute(found, CKA_VALUE, certificateDer_))
        return Fail(TOKEN_E_NO_CERTIFICATE, name);
    name_ = name;
    return S_OK;
}

HRESULT TokenContainer::Certificate(X509*& certificate) {
    if (certificate_ == nullptr) {
        const unsigned char* p = certificateDer_.data();
        certificate_.reset(d2i_X509(nullptr, &p, static_cast<long>(certificateDer_.size())));
        ERR_clear_error();
        if (certificate_ == nullptr)
            return Fail(TOKEN_E_KEY_TYPE, name_ + ": the certificate can't be decoded");
        int key = EVP_PKEY_get_base_id(X509_get0_pubkey(certificate_.get()));
        if (key != (keyType_ == CKK_RSA ? EVP_PKEY_RSA : EVP_PKEY_EC)) {
            certificate_.reset();
            return Fail(TOKEN_E_KEY_TYPE, name_ + ": the certificate is for another kind of key");
        }
    }
    certificate = certificate_.get();
    return S_OK;
}

bool TokenContainer::Supports(CK_MECHANISM_TYPE mechanism) {
    CK_MECHANISM_INFO info;
    return token_.module->C_GetMechanismInfo(token_.slot, mechanism, &info) == CKR_OK &&
           (info.flags & CKF_SIGN) != 0;
}

HRESULT TokenContainer::RunSign(CK_MECHANISM_TYPE mechanism, const unsigned char* data, size_t size,
                                std::vector<unsigned char>& signature, bool* refused) {
    CK_MECHANISM m = {mechanism, nullptr, 0};
    CK_RV rv = token_.module->C_SignInit(session_, &m, key_);
    if (rv == CKR_MECHANISM_INVALID && refused != nullptr) {
        *refused = true;
        return S_FALSE;
    }
    if (rv != CKR_OK)
        return Fail(TOKEN_E_TOKEN_FAILED, RvText("C_SignInit", rv));
    if (alwaysAuthenticate_) {
        HRESULT hr = LogIn(CKU_CONTEXT_SPECIFIC);
        if (hr != S_OK) {
            // Ends the operation begun above.
            std::vector<unsigned char> unused(1024);
            CK_ULONG n = unused.size();
            token_.module->C_Sign(session_, const_cast<unsigned char*>(data), size, unused.data(),
                                  &n);
            return hr;
        }
    }
    // Large enough for RSA keys of 4096 bits; a token asks for more when
    // it needs it, and the operation stays open for the second call.
    signature.assign(512, 0);
    CK_ULONG length = signature.size();
    rv = token_.module->C_Sign(session_, const_cast<unsigned char*>(data), size, signature.data(),
                               &length);
    if (rv == CKR_BUFFER_TOO_SMALL) {
        signature.assign(length, 0);
        rv = token_.module->C_Sign(session_, const_cast<unsigned char*>(data), size,
                                   signature.data(), &length);
    }
    if (rv != CKR_OK)
        return Fail(TOKEN_E_TOKEN_FAILED, RvText("C_Sign", rv));
    signature.resize(length);
    return S_OK;
}

HRESULT TokenContainer::Sign(const std::string& data, int32_t algorithm,
                             std::vector<unsigned char>& signature) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (keyType_ == CKK_RSA) {
        CK_MECHANISM_TYPE hashing = algorithm == 1 ? CKM_SHA1_RSA_PKCS : CKM_SHA256_RSA_PKCS;
        // Some tokens list a mechanism that a key then refuses.
        bool refused = false;
        if (Supports(hashing)) {
            HRESULT hr = RunSign(hashing, bytes, data.size(), signature, &refused);
            if (!refused)
                return hr;
        }
    }
    // Tokens that can't hash, and every EC key, get the digest made here.
    std::vector<unsigned char> digest;
    if (!TakeDigest(data, algorithm, digest))
        return Fail(TOKEN_E_INTERNAL, "digest");
    if (keyType_ == CKK_RSA) {
        std::vector<unsigned char> info = DigestInfo(algorithm, digest);
        return RunSign(CKM_RSA_PKCS, info.data(), info.size(), signature);
    }
    std::vector<unsigned char> raw;
    HRESULT hr = RunSign(CKM_ECDSA, digest.data(), digest.size(), raw);
    if (hr == S_OK && !EcdsaRawToDer(raw, signature))
        hr = Fail(TOKEN_E_TOKEN_FAILED, "the token's ECDSA signature is malformed");
    return hr;
}

} // namespace

HRESULT OpenTokenContainer(const std::shared_ptr<ModuleSet>& modules, const TokenRef& token,
                           const std::string& name, const Config& config,
                           std::unique_ptr<Container>& out) {
    std::unique_ptr<TokenContainer> container(new TokenContainer(modules, token, config));
    HRESULT hr = container->Open(name);
    if (hr == S_OK)
        out = std::move(container);
    return hr;
}
