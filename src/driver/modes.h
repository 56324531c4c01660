// The program's two modes.  Each takes the open control (installed, as
// CheckInstalled said) and the file arguments, prints its outcome and gives
// back the run's exit status; the caller releases the control afterwards.
#ifndef SIGNCTL_DRIVER_MODES_H
#define SIGNCTL_DRIVER_MODES_H

#include "control/sign_control.h"

// The container both modes open, and the identity verify mode opens it for.
#define CONTAINER_NAME OLESTR("BRIVCont1")
#define CLIENT_IDENTITY OLESTR("briv_tav_client_p12")
// The algorithm constant both modes pass to the control.
#define SIGN_ALGORITHM 2

// Signs the digest text of dataFile with the connected key's container,
// stores the signature in the signature file and prints it.  Returns 0; a
// code of CheckUkeyConnected or InitContainer; or -1 when signing fails or
// the data file can't be read or the signature can't be stored.
int RunSignMode(ISignControl* control, const OLECHAR* dataFile);

// Verifies the signature held in signatureFile against the digest text of
// dataFile with the client identity's container and prints the verdict.
// Returns 0 whatever the verdict; InitContainer's code; or -1 when a file
// can't be read.
int RunVerifyMode(ISignControl* control, const OLECHAR* dataFile, const OLECHAR* signatureFile);

#endif
