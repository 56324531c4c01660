#include "crypto.h"

#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>

#include "error_codes.h"

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
typedef std::unique_ptr<EVP_MD_CTX, MdCtxFree> MdCtxPtr;

// DigestInfo prefixes from RFC 8017, section 9.2, note 1.
const unsigned char kSha1Prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                     0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
const unsigned char kSha256Prefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                       0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

} // namespace

const EVP_MD* DigestFor(int32_t algorithm) {
    if (algorithm == 1)
        return EVP_sha1();
    if (algorithm == 2)
        return EVP_sha256();
    return nullptr;
}

bool TakeDigest(const std::string& data, int32_t algorithm, std::vector<unsigned char>& digest) {
    digest.assign(EVP_MAX_MD_SIZE, 0);
    unsigned int n = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &n, DigestFor(algorithm), nullptr) != 1)
        return false;
    digest.resize(n);
    return true;
}

std::vector<unsigned char> DigestInfo(int32_t algorithm, const std::vector<unsigned char>& digest) {
    std::vector<unsigned char> info;
    if (algorithm == 1)
        info.assign(kSha1Prefix, kSha1Prefix + sizeof kSha1Prefix);
    else
        info.assign(kSha256Prefix, kSha256Prefix + sizeof kSha256Prefix);
    info.insert(info.end(), digest.begin(), digest.end());
    return info;
}

bool EcdsaRawToDer(const std::vector<unsigned char>& raw, std::vector<unsigned char>& der) {
    if (raw.empty() || raw.size() % 2 != 0)
        return false;
    const int half = static_cast<int>(raw.size() / 2);
    ECDSA_SIG* sig = ECDSA_SIG_new();
    BIGNUM* r = BN_bin2bn(raw.data(), half, nullptr);
    BIGNUM* s = BN_bin2bn(raw.data() + half, half, nullptr);
    bool ok = sig != nullptr && r != nullptr && s != nullptr && ECDSA_SIG_set0(sig, r, s) == 1;
    if (!ok) {
        // Until set0 succeeds, r and s are still ours.
        BN_free(r);
        BN_free(s);
    }
    int n = ok ? i2d_ECDSA_SIG(sig, nullptr) : -1;
    if (n > 0) {
        der.assign(static_cast<size_t>(n), 0);
        unsigned char* out = der.data();
        ok = i2d_ECDSA_SIG(sig, &out) == n;
    } else {
        ok = false;
    }
    ECDSA_SIG_free(sig);
    return ok;
}

HRESULT SignInSoftware(EVP_PKEY* key, const std::string& data, int32_t algorithm,
                       std::vector<unsigned char>& signature) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    size_t n = 0;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (ctx == nullptr ||
        EVP_DigestSignInit(ctx.get(), nullptr, DigestFor(algorithm), nullptr, key) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &n, bytes, data.size()) != 1) {
        ERR_clear_error();
        return Fail(TOKEN_E_INTERNAL, "software signing");
    }
    signature.assign(n, 0);
    if (EVP_DigestSign(ctx.get(), signature.data(), &n, bytes, data.size()) != 1) {
        ERR_clear_error();
        return Fail(TOKEN_E_INTERNAL, "software signing");
    }
    signature.resize(n);
    return S_OK;
}

HRESULT VerifyWithCertificate(X509* certificate, const std::string& data, int32_t algorithm,
                              const std::vector<unsigned char>& signature) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    EVP_PKEY* key = X509_get0_pubkey(certificate);
    bool valid =
        ctx != nullptr && key != nullptr &&
        EVP_DigestVerifyInit(ctx.get(), nullptr, DigestFor(algorithm), nullptr, key) == 1 &&
        EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                         reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    // A signature that doesn't verify leaves errors behind; they are no one's.
    ERR_clear_error();
    return valid ? S_OK : TOKEN_E_SIGNATURE_MISMATCH;
}
