// The token control's result codes.
//
// Every failure of an operation is a code of the block 0x8004A0xx, each with
// its own low byte, so that the part of a code that survives as a POSIX exit
// status still tells the conditions apart.  docs/token-control.md lists them
// with what to do about each; keep the two in step.
#ifndef SIGNCTL_CONTROLS_TOKEN_ERROR_CODES_H
#define SIGNCTL_CONTROLS_TOKEN_ERROR_CODES_H

#include <string>

#include "platform/platform.h"

#define TOKEN_CODE(low) static_cast<HRESULT>(0x8004A000u | (low))

// The control's configuration file exists but can't be read.
const HRESULT TOKEN_E_CONFIG_UNREADABLE = TOKEN_CODE(0x01);
// The configuration has a line the control doesn't understand.
const HRESULT TOKEN_E_CONFIG_SYNTAX = TOKEN_CODE(0x02);
// p11-kit couldn't load or initialise the PKCS#11 modules.
const HRESULT TOKEN_E_MODULES = TOKEN_CODE(0x03);
// No token is present that is initialised, holds a user's keys and matches
// the configured token URI.
const HRESULT TOKEN_E_NO_TOKEN = TOKEN_CODE(0x04);
// The identity is neither a PKCS#11 token URI nor a PKCS#12 identity name.
const HRESULT TOKEN_E_BAD_IDENTITY = TOKEN_CODE(0x05);
// No present token matches the identity's URI.
const HRESULT TOKEN_E_TOKEN_NOT_FOUND = TOKEN_CODE(0x06);
// The token needs a PIN and the configuration gives none.
const HRESULT TOKEN_E_NO_PIN = TOKEN_CODE(0x07);
// A file holding a secret (the configuration, a PIN or password file)
// belongs to another user or is readable by group or others.
const HRESULT TOKEN_E_SECRET_UNSAFE = TOKEN_CODE(0x08);
// A PIN or password file can't be read.
const HRESULT TOKEN_E_SECRET_UNREADABLE = TOKEN_CODE(0x09);
// The token says the user PIN is locked.
const HRESULT TOKEN_E_PIN_LOCKED = TOKEN_CODE(0x0A);
// The token says one more wrong PIN locks it; the control won't try.
const HRESULT TOKEN_E_PIN_FINAL_TRY = TOKEN_CODE(0x0B);
// The token refused the PIN (the control never tries again).
const HRESULT TOKEN_E_PIN_INCORRECT = TOKEN_CODE(0x0C);
// Logging in failed for another reason.
const HRESULT TOKEN_E_LOGIN = TOKEN_CODE(0x0D);
// No private key on the token has the container's name as its label.
const HRESULT TOKEN_E_KEY_NOT_FOUND = TOKEN_CODE(0x0E);
// More than one private key has the container's name as its label.
const HRESULT TOKEN_E_KEY_AMBIGUOUS = TOKEN_CODE(0x0F);
// The key has no certificate (same CKA_ID, or same label) on the token.
const HRESULT TOKEN_E_NO_CERTIFICATE = TOKEN_CODE(0x10);
// The key is neither RSA nor EC, or its certificate can't be decoded.
const HRESULT TOKEN_E_KEY_TYPE = TOKEN_CODE(0x11);
// The identity's PKCS#12 file doesn't exist.
const HRESULT TOKEN_E_P12_MISSING = TOKEN_CODE(0x12);
// The identity's PKCS#12 file can't be read or decoded.
const HRESULT TOKEN_E_P12_CORRUPT = TOKEN_CODE(0x13);
// The identity's password doesn't open its PKCS#12 file.
const HRESULT TOKEN_E_P12_PASSWORD = TOKEN_CODE(0x14);
// The configuration gives no password for the identity.
const HRESULT TOKEN_E_NO_PASSWORD = TOKEN_CODE(0x15);
// The PKCS#12 file's key isn't named as the container (friendlyName).
const HRESULT TOKEN_E_P12_CONTAINER = TOKEN_CODE(0x16);
// SignData or VerifySign without an open container.
const HRESULT TOKEN_E_NO_CONTAINER = TOKEN_CODE(0x17);
// VerifySign got a container handle that isn't the open container's.
const HRESULT TOKEN_E_BAD_HANDLE = TOKEN_CODE(0x18);
// The algorithm number is neither 1 (SHA-1) nor 2 (SHA-256).
const HRESULT TOKEN_E_ALGORITHM = TOKEN_CODE(0x19);
// The signature text isn't one line of standard base64.
const HRESULT TOKEN_E_SIGNATURE_MALFORMED = TOKEN_CODE(0x1A);
// The signature doesn't verify with the container's certificate.
const HRESULT TOKEN_E_SIGNATURE_MISMATCH = TOKEN_CODE(0x1B);
// The token failed a session, search or signing call.
const HRESULT TOKEN_E_TOKEN_FAILED = TOKEN_CODE(0x1C);
// A required pointer is null or a text isn't valid UTF-16.
const HRESULT TOKEN_E_ARGUMENT = TOKEN_CODE(0x1D);
// Memory or a cryptographic primitive ran out or failed.
const HRESULT TOKEN_E_INTERNAL = TOKEN_CODE(0x1E);

// The one-line English description of code (one of the above), for the
// control's diagnostics; "unknown error" for any other.  The text is static.
const char* TokenErrorText(HRESULT code);

// Writes one diagnostic line for code to standard error, "signctl token
// control: TEXT[: detail] (hr = 0x...)", since the client shows no more than
// the code; returns code.  Nothing secret may go into detail.
HRESULT Fail(HRESULT code, const std::string& detail = std::string());

#endif
