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

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control/sign_control.h"
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

class FaultyControl final : public ISignControl {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ISignControl))
            return E_NOINTERFACE;
        AddRef();
        *object = static_cast<ISignControl*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --references_;
        LogCall("Release " + std::to_string(count));
        if (count == 0)
            delete this;
        return count;
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
    std::atomic<ULONG> references_{1};
    std::u16string plainIdentity_ = u"faulty-identity";
    std::u16string signature_ = u"faulty-signature";
    OLECHAR* identity_ = nullptr;
};

class Factory final : public IClassFactory {
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
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        if (!IsEqualIID(riid, IID_ISignControl) && !IsEqualIID(riid, IID_IUnknown))
            return E_NOINTERFACE;
        LogCall("Create 0");
        *object = static_cast<ISignControl*>(new FaultyControl);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    std::atomic<ULONG> references_{1};
};

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (Fault("abort-in-factory"))
        std::abort();
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_SignControl))
        return CLASS_E_CLASSNOTAVAILABLE;
    Factory* factory = new Factory;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}
