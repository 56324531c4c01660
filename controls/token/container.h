// An open container: a key and its certificate, on a token or in a PKCS#12
// file.
#ifndef SIGNCTL_CONTROLS_TOKEN_CONTAINER_H
#define SIGNCTL_CONTROLS_TOKEN_CONTAINER_H

#include <cstdint>
#include <string>
#include <vector>

#include <openssl/x509.h>

#include "platform/platform.h"

class Container {
  public:
    virtual ~Container() = default;

    // Signs data with the container's key: for algorithm 1 with SHA-1, for
    // algorithm 2 with SHA-256 (RSA keys: PKCS#1 v1.5; EC keys: ECDSA, the
    // signature DER-encoded).  Returns S_OK with the signature in signature,
    // or a failure code, reported; the algorithm is checked by the caller.
    virtual HRESULT Sign(const std::string& data, int32_t algorithm,
                         std::vector<unsigned char>& signature) = 0;

    // Stores the container's certificate in certificate (it stays the
    // container's) and returns S_OK, or returns a failure code, reported,
    // when it can't be decoded.
    virtual HRESULT Certificate(X509*& certificate) = 0;
};

#endif
