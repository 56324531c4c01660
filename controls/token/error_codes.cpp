#include "error_codes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct CodeText {
    HRESULT code;
    const char* text;
};

const CodeText kTexts[] = {
    {TOKEN_E_CONFIG_UNREADABLE, "the configuration can't be read"},
    {TOKEN_E_CONFIG_SYNTAX, "the configuration has a line the control doesn't understand"},
    {TOKEN_E_MODULES, "p11-kit couldn't load or initialise the PKCS#11 modules"},
    {TOKEN_E_NO_TOKEN, "no token with a user's keys is present"},
    {TOKEN_E_BAD_IDENTITY, "the identity is neither a token URI nor an identity name"},
    {TOKEN_E_TOKEN_NOT_FOUND, "no present token matches the identity"},
    {TOKEN_E_NO_PIN, "the configuration gives no PIN for the token"},
    {TOKEN_E_SECRET_UNSAFE, "a file holding a secret is not the user's own and private"},
    {TOKEN_E_SECRET_UNREADABLE, "a PIN or password file can't be read"},
    {TOKEN_E_PIN_LOCKED, "the token's user PIN is locked"},
    {TOKEN_E_PIN_FINAL_TRY, "one more wrong PIN locks the token; not logging in"},
    {TOKEN_E_PIN_INCORRECT, "the token refused the PIN"},
    {TOKEN_E_LOGIN, "logging in to the token failed"},
    {TOKEN_E_KEY_NOT_FOUND, "no private key is labelled with the container's name"},
    {TOKEN_E_KEY_AMBIGUOUS, "more than one private key is labelled with the container's name"},
    {TOKEN_E_NO_CERTIFICATE, "the key has no certificate on the token"},
    {TOKEN_E_KEY_TYPE, "the key is not RSA or EC, or its certificate can't be decoded"},
    {TOKEN_E_P12_MISSING, "the identity's PKCS#12 file doesn't exist"},
    {TOKEN_E_P12_CORRUPT, "the identity's PKCS#12 file can't be read or decoded"},
    {TOKEN_E_P12_PASSWORD, "the password doesn't open the identity's PKCS#12 file"},
    {TOKEN_E_NO_PASSWORD, "the configuration gives no password for the identity"},
    {TOKEN_E_P12_CONTAINER, "the identity's key is not named as the container"},
    {TOKEN_E_NO_CONTAINER, "no container is open"},
    {TOKEN_E_BAD_HANDLE, "the container handle is not the open container's"},
    {TOKEN_E_ALGORITHM, "the algorithm is not supported"},
    {TOKEN_E_SIGNATURE_MALFORMED, "the signature text is not base64"},
    {TOKEN_E_SIGNATURE_MISMATCH, "the signature doesn't match"},
    {TOKEN_E_TOKEN_FAILED, "the token failed"},
    {TOKEN_E_ARGUMENT, "a null pointer or a text that isn't UTF-16"},
    {TOKEN_E_INTERNAL, "out of memory or a cryptographic failure"},
};

} // namespace

const char* TokenErrorText(HRESULT code) {
    for (const CodeText& entry : kTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return "unknown error";
}

HRESULT Fail(HRESULT code, const std::string& detail) {
    // signctl's runs write nothing to standard error; the reason behind a
    // code is told only to someone who asks for it.
    const char* diagnostics = std::getenv("SIGNCTL_TOKEN_DIAGNOSTICS");
    if (diagnostics == nullptr || std::strcmp(diagnostics, "1") != 0)
        return code;
    std::fprintf(stderr, "signctl token control: %s%s%s (hr = 0x%08X)\n", TokenErrorText(code),
                 detail.empty() ? "" : ": ", detail.c_str(), static_cast<unsigned>(code));
    return code;
}
