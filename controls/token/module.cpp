// The module's entry point: the class factory for the token control.
#include "common/control_module.h"
#include "token_control.h"

namespace {

HRESULT MakeTokenControl(ISignControl** control) {
    ISignControl* made = NewTokenControl();
    if (made == nullptr)
        return E_OUTOFMEMORY;
    *control = made;
    return S_OK;
}

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    return GetControlClassObject<MakeTokenControl>(clsid, riid, object);
}
