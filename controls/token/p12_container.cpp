#include "p12_container.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include "crypto.h"
#include "error_codes.h"

namespace {

struct P12Free {
    void operator()(PKCS12* p) const { PKCS12_free(p); }
};
typedef std::unique_ptr<PKCS12, P12Free> P12Ptr;

class P12Container final : public Container {
  public:
    P12Container(X509Ptr certificate, PkeyPtr key)
        : certificate_(std::move(certificate)), key_(std::move(key)) {}

    HRESULT Sign(const std::string& data, int32_t algorithm,
                 std::vector<unsigned char>& signature) override {
        if (key_ == nullptr)
            return Fail(TOKEN_E_KEY_NOT_FOUND, "the identity holds no private key");
        return SignInSoftware(key_.get(), data, algorithm, signature);
    }
    X509* Certificate() const override { return certificate_.get(); }

  private:
    X509Ptr certificate_;
    PkeyPtr key_;
};

// Whether password opens p12's integrity check.  An empty password is tried
// both as an empty text and as none, as writers differ.
bool PasswordFits(PKCS12* p12, const Secret& password) {
    if (!PKCS12_mac_present(p12))
        return true;
    if (PKCS12_verify_mac(p12, password.Data(), static_cast<int>(password.Size())) == 1)
        return true;
    return password.Empty() && PKCS12_verify_mac(p12, nullptr, 0) == 1;
}

// Whether certificate's friendlyName is name.
bool HasAlias(X509* certificate, const std::string& name) {
    int length = 0;
    const unsigned char* alias = X509_alias_get0(certificate, &length);
    return alias != nullptr && name.size() == static_cast<size_t>(length) &&
           std::memcmp(alias, name.data(), name.size()) == 0;
}

} // namespace

bool IsIdentityName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

HRESULT OpenP12Container(const Config& config, const std::string& identity,
                         const std::string& container, std::unique_ptr<Container>& out) {
    const std::string path = config.identityFolder + "/" + identity + ".p12";
    FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        if (errno == ENOENT)
            return Fail(TOKEN_E_P12_MISSING, path);
        return Fail(TOKEN_E_P12_CORRUPT, path + ": " + std::strerror(errno));
    }
    P12Ptr p12(d2i_PKCS12_fp(file, nullptr));
    std::fclose(file);
    if (p12 == nullptr) {
        ERR_clear_error();
        return Fail(TOKEN_E_P12_CORRUPT, path);
    }

    const IdentitySection* section = nullptr;
    for (const auto& candidate : config.identities) {
        if (candidate->name == identity) {
            section = candidate.get();
            break;
        }
    }
    if (section == nullptr)
        return Fail(TOKEN_E_NO_PASSWORD, "no [identity " + identity + "] section");
    Secret password;
    HRESULT hr = TakeSecret(config, section->password, TOKEN_E_NO_PASSWORD, password);
    if (hr != S_OK)
        return hr;
    if (!PasswordFits(p12.get(), password)) {
        ERR_clear_error();
        return Fail(TOKEN_E_P12_PASSWORD, path);
    }

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* others = nullptr;
    int parsed = PKCS12_parse(p12.get(), password.Data(), &key, &certificate, &others);
    password.Clear();
    ERR_clear_error();
    PkeyPtr keyOwner(key);
    X509Ptr certificateOwner(certificate);
    // Without a key, the certificates are all "others": the container's is
    // the one named as the container.
    if (parsed == 1 && certificate == nullptr && key == nullptr) {
        for (int i = 0; i < sk_X509_num(others); ++i) {
            if (HasAlias(sk_X509_value(others, i), container)) {
                certificateOwner.reset(sk_X509_delete(others, i));
                break;
            }
        }
    }
    sk_X509_pop_free(others, X509_free);
    if (parsed != 1)
        return Fail(TOKEN_E_P12_CORRUPT, path + ": its contents can't be taken out");
    if (certificateOwner == nullptr || !HasAlias(certificateOwner.get(), container))
        return Fail(TOKEN_E_P12_CONTAINER, path + " holds no container " + container);
    out.reset(new P12Container(std::move(certificateOwner), std::move(keyOwner)));
    return S_OK;
}
