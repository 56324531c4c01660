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
// from its [identity] section of config, and takes its certificate and, if
// it holds one, its private key.  The certificate's friendlyName must be
// container (as `openssl pkcs12 -export -name CONTAINER` sets it).  Returns
// S_OK with the container in out, or a failure code, reported:
// TOKEN_E_P12_MISSING, TOKEN_E_P12_CORRUPT, TOKEN_E_NO_PASSWORD, TakeSecret's
// codes, TOKEN_E_P12_PASSWORD, TOKEN_E_P12_CONTAINER.  A container without a
// private key verifies but can't sign (TOKEN_E_KEY_NOT_FOUND).
HRESULT OpenP12Container(const Config& config, const std::string& identity,
                         const std::string& container, std::unique_ptr<Container>& out);

#endif
