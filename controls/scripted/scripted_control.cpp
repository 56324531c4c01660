// The scripted signing control: a control module for tests that does what
// its script says and records every call (see script.h and log.h).
#include <atomic>
#include <string>

#include "control/sign_control.h"
#include "log.h"
#include "script.h"

namespace {

std::string Code(HRESULT hr) {
    return std::to_string(static_cast<uint32_t>(hr));
}

// A slot the client never calls: recorded, and refused.
#define UNUSED_SLOT(n)                                                                             \
    HRESULT STDMETHODCALLTYPE Unused##n() override {                                               \
        LogCall("Unused" #n);                                                                      \
        return static_cast<HRESULT>(0x80004001);                                                   \
    }

class ScriptedControl final : public ISignControl {
  public:
    explicit ScriptedControl(const Script& script) : script_(script) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        LogCall("QueryInterface");
        if (object == nullptr)
            return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ISignControl)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<ISignControl*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ULONG count = ++references_;
        LogCall("AddRef " + std::to_string(count));
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --references_;
        LogCall("Release " + std::to_string(count));
        if (count == 0)
            delete this;
        return count;
    }

    HRESULT STDMETHODCALLTYPE InitContainer(const OLECHAR* identity, const OLECHAR* container,
                                            int32_t* containerHandle) override {
        LogCall("InitContainer " + UnitsForLog(identity) + " " + UnitsForLog(container));
        if (script_.initContainer == 0 && containerHandle != nullptr)
            *containerHandle = script_.handle;
        return script_.initContainer;
    }
    HRESULT STDMETHODCALLTYPE SignData(const OLECHAR* text, int32_t algorithm,
                                       OLECHAR** signature) override {
        LogCall("SignData " + UnitsForLog(text) + " " + std::to_string(algorithm));
        if (signature != nullptr)
            *signature = script_.signatureNull ? nullptr : &script_.signature[0];
        return script_.signData;
    }
    HRESULT STDMETHODCALLTYPE VerifySign(const OLECHAR* text, const OLECHAR* signature,
                                         int32_t algorithm, int32_t* containerHandle) override {
        LogCall("VerifySign " + UnitsForLog(text) + " " + UnitsForLog(signature) + " " +
                std::to_string(algorithm) + " " +
                (containerHandle != nullptr ? std::to_string(*containerHandle) : "null"));
        return script_.verifySign;
    }
    HRESULT STDMETHODCALLTYPE CheckInstalled() override {
        LogCall("CheckInstalled");
        return script_.checkInstalled;
    }
    HRESULT STDMETHODCALLTYPE CheckUkeyConnected(OLECHAR** identity) override {
        LogCall("CheckUkeyConnected");
        if (identity != nullptr)
            *identity = script_.identityNull ? nullptr : &script_.identity[0];
        return script_.checkUkeyConnected;
    }

    UNUSED_SLOT(3)
    UNUSED_SLOT(4)
    UNUSED_SLOT(5)
    UNUSED_SLOT(6)
    UNUSED_SLOT(7)
    UNUSED_SLOT(8)
    UNUSED_SLOT(10)
    UNUSED_SLOT(11)
    UNUSED_SLOT(12)
    UNUSED_SLOT(13)
    UNUSED_SLOT(14)
    UNUSED_SLOT(15)
    UNUSED_SLOT(16)
    UNUSED_SLOT(17)
    UNUSED_SLOT(18)
    UNUSED_SLOT(19)
    UNUSED_SLOT(20)
    UNUSED_SLOT(21)
    UNUSED_SLOT(22)
    UNUSED_SLOT(23)
    UNUSED_SLOT(24)
    UNUSED_SLOT(25)
    UNUSED_SLOT(26)
    UNUSED_SLOT(27)
    UNUSED_SLOT(28)
    UNUSED_SLOT(29)
    UNUSED_SLOT(30)
    UNUSED_SLOT(31)
    UNUSED_SLOT(32)
    UNUSED_SLOT(33)
    UNUSED_SLOT(34)
    UNUSED_SLOT(35)
    UNUSED_SLOT(36)
    UNUSED_SLOT(39)
    UNUSED_SLOT(40)
    UNUSED_SLOT(41)
    UNUSED_SLOT(42)
    UNUSED_SLOT(43)
    UNUSED_SLOT(44)
    UNUSED_SLOT(45)
    UNUSED_SLOT(46)
    UNUSED_SLOT(47)
    UNUSED_SLOT(49)
    UNUSED_SLOT(50)
    UNUSED_SLOT(51)
    UNUSED_SLOT(52)
    UNUSED_SLOT(53)
    UNUSED_SLOT(54)

  private:
    // Texts handed out point into the script, which lives as long as this.
    Script script_;
    std::atomic<ULONG> references_{1};
};

class Factory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
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
        Script script = LoadScript();
        LogCall("Create " + Code(script.create));
        if (FAILED(script.create))
            return script.create;
        if (!IsEqualIID(riid, IID_ISignControl) && !IsEqualIID(riid, IID_IUnknown))
            return E_NOINTERFACE;
        *object = static_cast<ISignControl*>(new ScriptedControl(script));
        return script.create;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::atomic<ULONG> references_{1};
};

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_SignControl))
        return CLASS_E_CLASSNOTAVAILABLE;
    Factory* factory = new Factory;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}
