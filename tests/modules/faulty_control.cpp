// A control module that misbehaves as the test asks, for the tests of how
// signctl bears a faulty control.  SIGNCTL_FAULT names the fault:
//   abort-on-load          abort() while the module is being loaded
//   abort-in-factory       abort() in DllGetClassObject
//   abort-in-sign          abort() in SignData
//   unterminated-identity  CheckUkeyConnected hands out an identity whose
//                          units run, with no terminator, into a page that
//                          can't be read
//   unterminated-signature SignData does the same with the signature
//   long-signature         SignData hands out SIGNCTL_FAULT_UNITS units of
//                          "ABC...Z" repeated, terminated
// Every other step succeeds.  Calls are logged as the scripted control logs
// them (see controls/scripted/log.h), except that InitContainer logs
// "handed-out" for the identity when it is the very pointer that
// CheckUkeyConnected handed out, without reading it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/control_module.h"
#include "log.h"

namespace {

bool Fault(const char* name) {
    const char* fault = std::getenv("SIGNCTL_FAULT");
    return fault != nullptr && std::strcmp(fault, name) == 0;
}

struct AbortOnLoad {
    AbortOnLoad() {
        if (Fault("abort-on-load"))
            std::abort();
    }
} abortOnLoad;

// A text of non-zero units that fills a page and runs into one that can't
// be read: whoever looks for its end faults.  Never freed: it stays valid
// until the process ends, as a control's texts stay until Release.
OLECHAR* UnterminatedText() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        std::abort();
    char* bytes = static_cast<char*>(pages);
    if (mprotect(bytes + page, page, PROT_NONE) != 0)
        std::abort();
    OLECHAR* text = reinterpret_cast<OLECHAR*>(bytes);
    for (size_t i = 0; i < page / sizeof(OLECHAR); ++i)
        text[i] = u'k';
    return text;
}

#define UNUSED_SLOT(n)                                                                             \
    HRESULT STDMETHODCALLTYPE Unused##n() override {                                               \
        return static_cast<HRESULT>(0x80004001);                                                   \
    }

class FaultyControl final : public ControlUnknown<FaultyControl> {
  public:
    void OnCount(const char* call, ULONG count) {
        if (std::strcmp(call, "Release") == 0)
            LogCall("Release " + std::to_string(count));
    }

    HRESULT STDMETHODCALLTYPE CheckInstalled() override {
        LogCall("CheckInstalled");
        return 0;
    }
    HRESULT STDMETHODCALLTYPE CheckUkeyConnected(OLECHAR** identity) override {
        LogCall("CheckUkeyConnected");
        if (Fault("unterminated-identity"))
            identity_ = UnterminatedText();
        *identity = identity_ != nullptr ? identity_ : &plainIdentity_[0];
        return 0;
    }
    HRESULT STDMETHODCALLTYPE InitContainer(const OLECHAR* identity, const OLECHAR* container,
                                            int32_t* containerHandle) override {
        const bool handedOut = identity_ != nullptr && identity == identity_;
        LogCall("InitContainer " + (handedOut ? std::string("handed-out") : UnitsForLog(identity)) +
                " " + UnitsForLog(container));
        *containerHandle = 1;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE SignData(const OLECHAR* text, int32_t algorithm,
                                       OLECHAR** signature) override {
        LogCall("SignData " + UnitsForLog(text) + " " + std::to_string(algorithm));
        if (Fault("abort-in-sign"))
            std::abort();
        if (Fault("unterminated-signature")) {
            *signature = UnterminatedText();
            return 0;
        }
        if (Fault("long-signature")) {
            const char* units = std::getenv("SIGNCTL_FAULT_UNITS");
            const size_t n = units != nullptr ? std::strtoul(units, nullptr, 10) : 0;
            signature_.clear();
            for (size_t i = 0; i < n; ++i)
                signature_.push_back(static_cast<OLECHAR>(u'A' + i % 26));
        }
        *signature = &signature_[0];
        return 0;
    }
    HRESULT STDMETHODCALLTYPE VerifySign(const OLECHAR* text, const OLECHAR* signature,
                                         int32_t algorithm, int32_t*) override {
        LogCall("VerifySign " + UnitsForLog(text) + " " + UnitsForLog(signature) + " " +
                std::to_string(algorithm));
        return 0;
    }

    SIGNCTL_FOR_EACH_UNUSED_SLOT(UNUSED_SLOT)

  private:
    std::u16string plainIdentity_ = u"faulty-identity";
    std::u16string signature_ = u"faulty-signature";
    OLECHAR* identity_ = nullptr;
};

HRESULT MakeFaultyControl(ISignControl** control) {
    LogCall("Create 0");
    *control = new FaultyControl;
    return S_OK;
}

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (Fault("abort-in-factory"))
        std::abort();
    return GetControlClassObject<MakeFaultyControl>(clsid, riid, object);
}
