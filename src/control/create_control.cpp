#include "create_control.h"

HRESULT CreateSignControl(ISignControl** control) {
    void* object = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SignControl, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ISignControl, &object);
    if (SUCCEEDED(hr) && object == nullptr)
        hr = E_POINTER;
    *control = SUCCEEDED(hr) ? static_cast<ISignControl*>(object) : nullptr;
    return hr;
}
