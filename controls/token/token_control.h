// The token signing control: ISignControl over PKCS#11 tokens (reached
// through p11-kit) and PKCS#12 client identities.
#ifndef SIGNCTL_CONTROLS_TOKEN_TOKEN_CONTROL_H
#define SIGNCTL_CONTROLS_TOKEN_TOKEN_CONTROL_H

#include "control/sign_control.h"

// Makes a new control with one reference, which the caller owns.  The
// control reads its configuration when first asked for anything.  Returns
// null when memory runs out.
ISignControl* NewTokenControl();

#endif
