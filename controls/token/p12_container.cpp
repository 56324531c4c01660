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

struct SafesFree {
    void operator()(STACK_OF(PKCS7) * s) const { sk_PKCS7_pop_free(s, PKCS7_free); }
};
struct BagsFree {
    void operator()(STACK_OF(PKCS12_SAFEBAG) * s) const {
        sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free);
    }
};
typedef std::unique_ptr<STACK_OF(PKCS7), SafesFree> SafesPtr;
typedef std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), BagsFree> BagsPtr;

// The form of the password that opens a file: writers differ on whether an
// empty password is an empty text or none.
enum PasswordForm { kWrongPassword, kAsText, kAsNone };

PasswordForm PasswordFits(PKCS12* p12, const Secret& password) {
    if (!PKCS12_mac_present(p12))
        return kAsText;
    if (PKCS12_verify_mac(p12, password.Data(), static_cast<int>(password.Size())) == 1)
        return kAsText;
    if (password.Empty() && PKCS12_verify_mac(p12, nullptr, 0) == 1)
        return kAsNone;
    return kWrongPassword;
}

// Takes the identity's password from config.  Returns TakeSecret's codes
// and TOKEN_E_NO_PASSWORD when config has no section for identity.
HRESULT IdentityPassword(const Config& config, const std::string& identity, Secret& password) {
    for (const auto& section : config.identities) {
        if (section->name == identity)
            return TakeSecret(config, section->password, TOKEN_E_NO_PASSWORD, password);
    }
    return Fail(TOKEN_E_NO_PASSWORD, "no [identity " + identity + "] section");
}

// Whether bag's friendlyName is name.
bool NamedAs(PKCS12_SAFEBAG* bag, const std::string& name) {
    char* friendly = PKCS12_get_friendlyname(bag);
    bool same = friendly != nullptr && name == friendly;
    OPENSSL_free(friendly);
    return same;
}

// The certificate of the first certificate bag named name in p12, opened
// with password in the form form; null when there is none.  Returns false
// when p12's contents can't be taken out.  Private keys are left sealed.
bool FindNamedCertificate(PKCS12* p12, const Secret& password, PasswordForm form,
                          const std::string& name, X509Ptr& certificate) {
    SafesPtr safes(PKCS12_unpack_authsafes(p12));
    if (safes == nullptr)
        return false;
    for (int i = 0; i < sk_PKCS7_num(safes.get()) && certificate == nullptr; ++i) {
        PKCS7* safe = sk_PKCS7_value(safes.get(), i);
        BagsPtr bags;
        int type = OBJ_obj2nid(safe->type);
        if (type == NID_pkcs7_data)
            bags.reset(PKCS12_unpack_p7data(safe));
        else if (type == NID_pkcs7_encrypted)
            bags.reset(PKCS12_unpack_p7encdata(safe, form == kAsNone ? nullptr : password.Data(),
                                               static_cast<int>(password.Size())));
        else
            continue;
        if (bags == nullptr)
            return false;
        for (int j = 0; j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
            PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags.get(), j);
            if (PKCS12_SAFEBAG_get_nid(bag) == NID_certBag &&
                PKCS12_SAFEBAG_get_bag_nid(bag) == NID_x509Certificate && NamedAs(bag, name)) {
                certificate.reset(PKCS12_SAFEBAG_get1_cert(bag));
                return certificate != nullptr;
            }
        }
    }
    return true;
}

// The certificate is taken out when the container opens; the private key
// only when asked to sign (signctl only verifies with identities), so that
// verifying costs no key decryption.
class P12Container final : public Container {
  public:
    P12Container(P12Ptr p12, X509Ptr certificate, const Config& config, const std::string& identity)
        : p12_(std::move(p12)), certificate_(std::move(certificate)), config_(config),
          identity_(identity) {}

    HRESULT Sign(const std::string& data, int32_t algorithm,
                 std::vector<unsigned char>& signature) override {
        if (key_ == nullptr) {
            HRESULT hr = OpenKey();
            if (hr != S_OK)
                return hr;
        }
        return SignInSoftware(key_.get(), data, algorithm, signature);
    }
    HRESULT Certificate(X509*& certificate) override {
        certificate = certificate_.get();
        return S_OK;
    }

  private:
    HRESULT OpenKey() {
        Secret password;
        HRESULT hr = IdentityPassword(config_, identity_, password);
        if (hr != S_OK)
            return hr;
        EVP_PKEY* key = nullptr;
        X509* certificate = nullptr;
        STACK_OF(X509)* others = nullptr;
        int parsed = PKCS12_parse(p12_.get(), password.Data(), &key, &certificate, &others);
        password.Clear();
        ERR_clear_error();
        PkeyPtr keyOwner(key);
        X509_free(certificate);
        sk_X509_pop_free(others, X509_free);
        if (parsed != 1)
            return Fail(TOKEN_E_P12_CORRUPT, identity_ + ": the private key can't be taken out");
        if (key == nullptr || X509_check_private_key(certificate_.get(), key) != 1) {
            ERR_clear_error();
            return Fail(TOKEN_E_KEY_NOT_FOUND, identity_ + " holds no key for the certificate");
        }
        key_ = std::move(keyOwner);
        return S_OK;
    }

    P12Ptr p12_;
    X509Ptr certificate_;
    const Config& config_;
    std::string identity_;
    PkeyPtr key_;
};

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

    Secret password;
    HRESULT hr = IdentityPassword(config, identity, password);
    if (hr != S_OK)
        return hr;
    PasswordForm form = PasswordFits(p12.get(), password);
    if (form == kWrongPassword) {
        ERR_clear_error();
        return Fail(TOKEN_E_P12_PASSWORD, path);
    }
    X509Ptr certificate;
    bool readable = FindNamedCertificate(p12.get(), password, form, container, certificate);
    password.Clear();
    ERR_clear_error();
    if (!readable)
        return Fail(TOKEN_E_P12_CORRUPT, path + ": its contents can't be taken out");
    if (certificate == nullptr)
        return Fail(TOKEN_E_P12_CONTAINER, path + " holds no container " + container);
    out.reset(new P12Container(std::move(p12), std::move(certificate), config, identity));
    return S_OK;
}
