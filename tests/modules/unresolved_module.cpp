// A module that can't be loaded: it needs a function that no library
// provides, and signctl loads modules with every symbol bound at once.
#include "platform/platform.h"

extern "C" HRESULT SignctlTestFunctionThatNothingDefines(void);

STDAPI DllGetClassObject(REFCLSID, REFIID, void** object) {
    *object = nullptr;
    return SignctlTestFunctionThatNothingDefines();
}
