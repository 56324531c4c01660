// Creating the signing control.
#ifndef SIGNCTL_CONTROL_CREATE_CONTROL_H
#define SIGNCTL_CONTROL_CREATE_CONTROL_H

#include "sign_control.h"

// Creates the signing control in process (COM must be prepared) and stores
// its ISignControl pointer in *control, holding the one reference that the
// caller releases.  Returns the creation's result: 0 or positive with
// *control set; negative with *control null.  A creation that reports
// success but gives no pointer is reported as E_POINTER.
HRESULT CreateSignControl(ISignControl** control);

#endif
