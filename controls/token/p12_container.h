// A container in a PKCS#12 client identity: the file NAME.p12 in the
// configuration's identity folder.
#ifndef SIGNCTL_CONTROLS_TOKEN_P12_CONTAINER_H
#define SIGNCTL_CONTROLS_TOKEN_P12_CONTAINER_H

#include <memory>
#include <string>

#include "config.h"
#include "container.h"

// Whether name can name an identity: not empty, no '/', not "." or "..".
bool IsIdentityName(const std::string& name);

// Opens the identity called identity (see IsIdentityName) with the password
// from its [identity] section of config and takes out the container's
// certificate: the first certificate whose friendlyName is container (as
// `openssl pkcs12 -export -name CONTAINER` sets it, or -caname for a file
// without a key).  The private key is taken out when the container first
// signs: the key the file holds for that certificate, or TOKEN_E_KEY_NOT_FOUND
// (a file of certificates verifies but can't sign).  Returns S_OK with the
// container in out (which keeps config's address; config must outlive it),
// or a failure code, reported: TOKEN_E_P12_MISSING, TOKEN_E_P12_CORRUPT,
// TOKEN_E_NO_PASSWORD, TakeSecret's codes, TOKEN_E_P12_PASSWORD,
// TOKEN_E_P12_CONTAINER.
HRESULT OpenP12Container(const Config& config, const std::string& identity,
                         const std::string& container, std::unique_ptr<Container>& out);

#endif
