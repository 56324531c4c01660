#include "loaded_control.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

ControlPtr LoadControl() {
    static void* module = dlopen(SIGNCTL_TOKEN_MODULE, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(module, nullptr) << dlerror();
    if (module == nullptr)
        return ControlPtr();
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    EXPECT_NE(getClassObject, nullptr);
    if (getClassObject == nullptr)
        return ControlPtr();
    IClassFactory* factory = nullptr;
    HRESULT hr =
        getClassObject(CLSID_SignControl, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    EXPECT_EQ(hr, S_OK);
    if (hr != S_OK)
        return ControlPtr();
    void* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_ISignControl, &object);
    factory->Release();
    EXPECT_EQ(hr, S_OK);
    return ControlPtr(hr == S_OK ? static_cast<ISignControl*>(object) : nullptr);
}

std::string Narrow(const OLECHAR* text) {
    if (text == nullptr)
        return "(null)";
    std::string narrow;
    for (const OLECHAR* p = text; *p != 0; ++p)
        narrow.push_back(static_cast<char>(*p));
    return narrow;
}
