// The program's frame: COM, the control, the installed check, the mode.
#include <cstdio>

#include "console_print.h"
#include "control/create_control.h"
#include "messages.h"
#include "modes.h"

extern "C" int wmain(int argc, OLECHAR** argv, OLECHAR** envp) {
    ISignControl* control = nullptr;
    int status;
    HRESULT hr;

    (void)envp;
    ConsoleStart();
    // The run goes on whatever COM says here; creation reports what matters.
    CoInitialize(nullptr);
    // A module that gives up while it is being made is a control that
    // can't be created.
    BeginAbortGuard(MSG_CONTROL_NOT_CREATED, -1);
    hr = CreateSignControl(&control);
    EndAbortGuard();
    if (FAILED(hr)) {
        PrintNarrow(MSG_CONTROL_NOT_CREATED);
        return -1;
    }
    PrintNarrow(MSG_CONTROL_CREATED);
    hr = control->CheckInstalled();
    if (hr != 0) {
        PrintNarrow(MSG_NOT_INSTALLED, static_cast<unsigned>(hr));
        status = hr;
    } else if (argc == 3) {
        status = RunSignMode(control, argv[2]);
    } else if (argc == 4) {
        status = RunVerifyMode(control, argv[2], argv[3]);
    } else {
        status = 0;
    }
    // Released once, after the run's last message.
    control->Release();
    // Output that couldn't be written makes a successful run a failed one.
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == 0)
        status = -1;
    return status;
}
