// What the scripted control is told to do in one run, and where it records
// what it was asked.
//
// The script is the file named by SIGNCTL_SCRIPT, a line per setting:
//   create|CheckInstalled|CheckUkeyConnected|InitContainer|SignData|VerifySign CODE
//       the result code of that step (decimal, or hex with 0x; 32 bits);
//   identity|signature [UNIT ...]
//       the text handed out, as UTF-16 code units in hex ("" for empty);
//   identity-null|signature-null 1
//       hand out a null pointer instead, with the step's code;
//   handle VALUE
//       the value InitContainer stores in its 32-bit variable.
// Unset steps succeed; the identity and signature default to short ASCII
// texts.  Every call is appended to the file named by SIGNCTL_LOG, one line
// each, texts as code units in hex inside brackets (see log.h).
#ifndef SIGNCTL_CONTROLS_SCRIPTED_SCRIPT_H
#define SIGNCTL_CONTROLS_SCRIPTED_SCRIPT_H

#include <cstdint>
#include <string>

#include "platform/platform.h"

typedef std::basic_string<OLECHAR> UnitString;

struct Script {
    HRESULT create = 0;
    HRESULT checkInstalled = 0;
    HRESULT checkUkeyConnected = 0;
    HRESULT initContainer = 0;
    HRESULT signData = 0;
    HRESULT verifySign = 0;
    UnitString identity;
    UnitString signature;
    bool identityNull = false;
    bool signatureNull = false;
    int32_t handle = 0x5A5A;
};

// Reads the script named by SIGNCTL_SCRIPT; with no such variable, the
// defaults.  An unreadable or malformed script makes every step fail with
// E_FAIL, so that a broken test can't pass.
Script LoadScript();

#endif
