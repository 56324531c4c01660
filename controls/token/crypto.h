// The cryptography the control does in software, with OpenSSL's libcrypto.
#ifndef SIGNCTL_CONTROLS_TOKEN_CRYPTO_H
#define SIGNCTL_CONTROLS_TOKEN_CRYPTO_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "platform/platform.h"

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
typedef std::unique_ptr<X509, X509Free> X509Ptr;
typedef std::unique_ptr<EVP_PKEY, PkeyFree> PkeyPtr;

// The digest of algorithm number algorithm (1: SHA-1, 2: SHA-256), or null
// for any other number.
const EVP_MD* DigestFor(int32_t algorithm);

// Stores in digest the digest of data for algorithm (one DigestFor knows).
// Returns false when libcrypto fails.
bool TakeDigest(const std::string& data, int32_t algorithm, std::vector<unsigned char>& digest);

// The DER DigestInfo that wraps a digest of algorithm for RSA PKCS#1 v1.5:
// its fixed prefix followed by digest.
std::vector<unsigned char> DigestInfo(int32_t algorithm, const std::vector<unsigned char>& digest);

// Turns an ECDSA signature given as r and s of equal length, one after the
// other (PKCS#11's form), into its DER encoding.  Returns false for an odd
// or empty length or when libcrypto fails.
bool EcdsaRawToDer(const std::vector<unsigned char>& raw, std::vector<unsigned char>& der);

// Signs data with key for algorithm, as Container::Sign says.  Returns S_OK,
// or TOKEN_E_INTERNAL (reported).
HRESULT SignInSoftware(EVP_PKEY* key, const std::string& data, int32_t algorithm,
                       std::vector<unsigned char>& signature);

// Verifies signature over data for algorithm with certificate's public key.
// Returns S_OK when it is valid, TOKEN_E_SIGNATURE_MISMATCH when it isn't
// (not reported: the verdict is the client's to show).
HRESULT VerifyWithCertificate(X509* certificate, const std::string& data, int32_t algorithm,
                              const std::vector<unsigned char>& signature);

#endif
