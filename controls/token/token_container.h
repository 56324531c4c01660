// A container on a PKCS#11 token: a private key found by its label, and its
// certificate.
#ifndef SIGNCTL_CONTROLS_TOKEN_TOKEN_CONTAINER_H
#define SIGNCTL_CONTROLS_TOKEN_TOKEN_CONTAINER_H

#include <memory>
#include <string>

#include "config.h"
#include "container.h"
#include "modules.h"

// Opens a session on token (a token of modules), logs the user in and finds
// the one private key labelled name and its certificate (the certificate
// with the key's CKA_ID, else one labelled name), which is decoded when
// first asked for (TOKEN_E_KEY_TYPE then when it can't be, or is for another
// kind of key).  The PIN comes from the
// token's protected authentication path, else from the first [token]
// section of config that matches the token; a token whose PIN is locked or
// on its final try is not logged in to, and a refused PIN is never tried
// again.  Returns S_OK with the container in out (which keeps modules and
// config's address; config must outlive it), or a failure code, reported:
// TOKEN_E_PIN_LOCKED, TOKEN_E_PIN_FINAL_TRY, TOKEN_E_NO_PIN, TakeSecret's
// codes, TOKEN_E_PIN_INCORRECT, TOKEN_E_LOGIN, TOKEN_E_KEY_NOT_FOUND,
// TOKEN_E_KEY_AMBIGUOUS, TOKEN_E_NO_CERTIFICATE, TOKEN_E_KEY_TYPE,
// TOKEN_E_TOKEN_FAILED.
HRESULT OpenTokenContainer(const std::shared_ptr<ModuleSet>& modules, const TokenRef& token,
                           const std::string& name, const Config& config,
                           std::unique_ptr<Container>& out);

#endif
