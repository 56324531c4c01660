// The token control, loaded into the test program as the client loads it.
#ifndef SIGNCTL_TESTS_TOKEN_SUPPORT_LOADED_CONTROL_H
#define SIGNCTL_TESTS_TOKEN_SUPPORT_LOADED_CONTROL_H

#include <memory>
#include <string>

#include "control/sign_control.h"

struct ControlRelease {
    void operator()(ISignControl* control) const { control->Release(); }
};
typedef std::unique_ptr<ISignControl, ControlRelease> ControlPtr;

// Loads the module under test (once; it stays loaded) and makes a control
// through its class factory.  Returns null, with the test failed, when that
// doesn't work.
ControlPtr LoadControl();

// The code units of text up to its terminating zero, each as its low byte
// (the texts compared are ASCII); "(null)" for null.
std::string Narrow(const OLECHAR* text);

#endif
