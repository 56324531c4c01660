// The scripted signing control: a control module for tests that does what
// its script says and records every call (see script.h and log.h).
#include <string>

#include "common/control_module.h"
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

class ScriptedControl final : public ControlUnknown<ScriptedControl> {
  public:
    explicit ScriptedControl(const Script& script) : script_(script) {}

    void OnQueryInterface() { LogCall("QueryInterface"); }
    void OnCount(const char* call, ULONG count) {
        LogCall(std::string(call) + " " + std::to_string(count));
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

    SIGNCTL_FOR_EACH_UNUSED_SLOT(UNUSED_SLOT)

  private:
    // Texts handed out point into the script, which lives as long as this.
    Script script_;
};

// Creation does what the script says: a failing code makes nothing, and a
// positive one comes with the control.
HRESULT MakeScriptedControl(ISignControl** control) {
    Script script = LoadScript();
    LogCall("Create " + Code(script.create));
    if (FAILED(script.create))
        return script.create;
    *control = new ScriptedControl(script);
    return script.create;
}

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    return GetControlClassObject<MakeScriptedControl>(clsid, riid, object);
}
