// What every control module repeats: the IUnknown part of the control, the
// slots of ISignControl that the client never calls, and the class factory
// behind DllGetClassObject.
#ifndef SIGNCTL_CONTROLS_COMMON_CONTROL_MODULE_H
#define SIGNCTL_CONTROLS_COMMON_CONTROL_MODULE_H

#include <atomic>
#include <new>

#include "control/sign_control.h"

// Expands X(n) for each slot n of ISignControl that the client never calls.
// clang-format off
#define SIGNCTL_FOR_EACH_UNUSED_SLOT(X) \
    X(3) X(4) X(5) X(6) X(7) X(8) X(10) X(11) X(12) X(13) X(14) X(15) \
    X(16) X(17) X(18) X(19) X(20) X(21) X(22) X(23) X(24) X(25) X(26) X(27) \
    X(28) X(29) X(30) X(31) X(32) X(33) X(34) X(35) X(36) X(39) X(40) X(41) \
    X(42) X(43) X(44) X(45) X(46) X(47) X(49) X(50) X(51) X(52) X(53) X(54)
// clang-format on

// The IUnknown part of the control class Derived (which is final): hands out
// ISignControl and IUnknown, each as the same pointer with one more
// reference (E_NOINTERFACE with *object null for anything else, E_POINTER
// for a null object), starts with one reference and deletes the control at
// the last Release.  Derived may hide the two hooks below to watch these
// calls (the test controls log them); they must not fail.
template <class Derived> class ControlUnknown : public ISignControl {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        Self()->OnQueryInterface();
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ISignControl))
            return E_NOINTERFACE;
        AddRef();
        *object = static_cast<ISignControl*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ULONG count = ++references_;
        Self()->OnCount("AddRef", count);
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --references_;
        Self()->OnCount("Release", count);
        if (count == 0)
            delete Self();
        return count;
    }

    // Called on entry to QueryInterface.
    void OnQueryInterface() {}
    // Called after AddRef or Release ("AddRef", "Release") with the count
    // it returns; after Release with 0 the control is deleted.
    void OnCount(const char* /*call*/, ULONG /*count*/) {}

  private:
    Derived* Self() { return static_cast<Derived*>(this); }

    std::atomic<ULONG> references_{1};
};

// Makes a new control for the factory.  Returns 0 or a positive code with
// *control holding one reference, or a failing code with *control untouched.
typedef HRESULT (*MakeControlFn)(ISignControl** control);

// The class factory of a module whose control Make makes.  CreateInstance
// hands out ISignControl or IUnknown (E_NOINTERFACE for anything else, asked
// before anything is made) and passes Make's code on, a positive one too.
template <MakeControlFn Make> class ControlFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --references_;
        if (count == 0)
            delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        if (!IsEqualIID(riid, IID_ISignControl) && !IsEqualIID(riid, IID_IUnknown))
            return E_NOINTERFACE;
        ISignControl* control = nullptr;
        HRESULT hr = Make(&control);
        if (SUCCEEDED(hr))
            *object = control;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::atomic<ULONG> references_{1};
};

// The body of a module's DllGetClassObject: a ControlFactory<Make> for the
// control's class, CLASS_E_CLASSNOTAVAILABLE for any other.
template <MakeControlFn Make>
HRESULT GetControlClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_SignControl))
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ControlFactory<Make>;
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

#endif
