#include "token_control.h"

#include <dlfcn.h>

#include <list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base64.h"
#include "common/control_module.h"
#include "config.h"
#include "crypto.h"
#include "error_codes.h"
#include "modules.h"
#include "p12_container.h"
#include "text.h"
#include "token_container.h"

// The machine's configuration folder as seen from the module's own folder,
// so that an install under any prefix finds the token.conf installed with
// it.  An absolute path is taken as it is.
#ifndef SIGNCTL_MODULEDIR_TO_SYSCONFDIR
#define SIGNCTL_MODULEDIR_TO_SYSCONFDIR "../../../etc"
#endif

namespace {

const HRESULT E_NOTIMPL_CODE = static_cast<HRESULT>(0x80004001);

// A slot the client never calls.
#define UNUSED_SLOT(n)                                                                             \
    HRESULT STDMETHODCALLTYPE Unused##n() override {                                               \
        return E_NOTIMPL_CODE;                                                                     \
    }

// <sysconfdir> of the install the module belongs to.
std::string MachineFolder() {
    const std::string relative = SIGNCTL_MODULEDIR_TO_SYSCONFDIR;
    if (!relative.empty() && relative[0] == '/')
        return relative;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&NewTokenControl), &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] != '/')
        return "/etc";
    const std::string module = info.dli_fname;
    return module.substr(0, module.rfind('/') + 1) + relative;
}

bool IsTokenUri(const std::string& identity) {
    return identity.size() >= 7 && (identity.compare(0, 7, "pkcs11:") == 0);
}

class TokenControl final : public ControlUnknown<TokenControl> {
  public:
    HRESULT STDMETHODCALLTYPE CheckInstalled() override;
    HRESULT STDMETHODCALLTYPE CheckUkeyConnected(OLECHAR** identity) override;
    HRESULT STDMETHODCALLTYPE InitContainer(const OLECHAR* identity, const OLECHAR* container,
                                            int32_t* containerHandle) override;
    HRESULT STDMETHODCALLTYPE SignData(const OLECHAR* text, int32_t algorithm,
                                       OLECHAR** signature) override;
    HRESULT STDMETHODCALLTYPE VerifySign(const OLECHAR* text, const OLECHAR* signature,
                                         int32_t algorithm, int32_t* containerHandle) override;

    SIGNCTL_FOR_EACH_UNUSED_SLOT(UNUSED_SLOT)

  private:
    HRESULT EnsureConfig();
    HRESULT EnsureModules();
    HRESULT OpenOnToken(const std::string& uriText, const std::string& name,
                        std::unique_ptr<Container>& out);
    // Keeps text until the control goes and returns its address.
    OLECHAR* Keep(const std::string& ascii);

    bool configLoaded_ = false;
    HRESULT configResult_ = S_OK;
    // Declared in the order they depend on each other: the container may
    // hold the modules and refers to the configuration, so it goes first.
    Config config_;
    std::shared_ptr<ModuleSet> modules_;
    // The tokens the last CheckUkeyConnected found, on modules_.
    std::vector<TokenRef> seen_;
    std::unique_ptr<Container> container_;
    bool containerOnToken_ = false;
    int32_t handle_ = 0;
    int32_t lastHandle_ = 0;
    // Every text handed out, kept until the control goes.
    std::list<std::u16string> texts_;
};

HRESULT TokenControl::EnsureConfig() {
    if (!configLoaded_) {
        configResult_ = LoadConfig(MachineFolder(), config_);
        configLoaded_ = true;
    }
    return configResult_;
}

HRESULT TokenControl::EnsureModules() {
    if (modules_ != nullptr)
        return S_OK;
    std::shared_ptr<ModuleSet> modules = std::make_shared<ModuleSet>();
    HRESULT hr = modules->Load(config_.module);
    if (hr == S_OK)
        modules_ = modules;
    return hr;
}

OLECHAR* TokenControl::Keep(const std::string& ascii) {
    texts_.push_back(Utf16FromAscii(ascii));
    return &texts_.back()[0];
}

HRESULT STDMETHODCALLTYPE TokenControl::CheckInstalled() {
    // Loading the modules costs more than the check is worth; a module that
    // won't load shows up when a key is looked for.
    return EnsureConfig();
}

HRESULT STDMETHODCALLTYPE TokenControl::CheckUkeyConnected(OLECHAR** identity) {
    if (identity == nullptr)
        return Fail(TOKEN_E_ARGUMENT, "CheckUkeyConnected");
    *identity = nullptr;
    HRESULT hr = EnsureConfig();
    if (hr != S_OK)
        return hr;
    // Afresh, so that a key plugged in since the last look is seen: a
    // session on the old modules goes with them.
    if (containerOnToken_) {
        container_.reset();
        handle_ = 0;
    }
    seen_.clear();
    modules_.reset();
    hr = EnsureModules();
    if (hr != S_OK)
        return hr;
    seen_ = UserTokens(*modules_, config_.token.get());
    if (seen_.empty())
        return Fail(TOKEN_E_NO_TOKEN);
    std::string uri = TokenUri(seen_[0].info);
    if (uri.empty())
        return Fail(TOKEN_E_INTERNAL, "p11_kit_uri_format");
    *identity = Keep(uri);
    return S_OK;
}

HRESULT TokenControl::OpenOnToken(const std::string& uriText, const std::string& name,
                                  std::unique_ptr<Container>& out) {
    UriPtr uri(p11_kit_uri_new());
    if (uri == nullptr)
        return Fail(TOKEN_E_INTERNAL);
    if (p11_kit_uri_parse(uriText.c_str(), P11_KIT_URI_FOR_OBJECT_ON_TOKEN, uri.get()) !=
        P11_KIT_URI_OK)
        return Fail(TOKEN_E_BAD_IDENTITY, uriText);
    // The tokens seen by the last look serve first: the identity is
    // usually one of them, and looking again costs a round on every module.
    for (const TokenRef& token : seen_) {
        if (p11_kit_uri_match_token_info(uri.get(), &token.info))
            return OpenTokenContainer(modules_, token, name, config_, out);
    }
    HRESULT hr = EnsureModules();
    if (hr != S_OK)
        return hr;
    std::vector<TokenRef> tokens = UserTokens(*modules_, uri.get());
    if (tokens.empty())
        return Fail(TOKEN_E_TOKEN_NOT_FOUND, uriText);
    return OpenTokenContainer(modules_, tokens[0], name, config_, out);
}

HRESULT STDMETHODCALLTYPE TokenControl::InitContainer(const OLECHAR* identity,
                                                      const OLECHAR* container,
                                                      int32_t* containerHandle) {
    std::string identityText;
    std::string name;
    if (identity == nullptr || container == nullptr || containerHandle == nullptr ||
        !Utf8FromUtf16(identity, identityText) || !Utf8FromUtf16(container, name))
        return Fail(TOKEN_E_ARGUMENT, "InitContainer");
    HRESULT hr = EnsureConfig();
    if (hr != S_OK)
        return hr;
    // The container opened before is closed whatever becomes of this one.
    container_.reset();
    handle_ = 0;
    std::unique_ptr<Container> opened;
    const bool onToken = IsTokenUri(identityText);
    if (onToken)
        hr = OpenOnToken(identityText, name, opened);
    else if (IsIdentityName(identityText))
        hr = OpenP12Container(config_, identityText, name, opened);
    else
        hr = Fail(TOKEN_E_BAD_IDENTITY, identityText);
    if (hr != S_OK)
        return hr;
    container_ = std::move(opened);
    containerOnToken_ = onToken;
    // Never 0, and never a handle given out before by this control.
    handle_ = ++lastHandle_;
    *containerHandle = handle_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TokenControl::SignData(const OLECHAR* text, int32_t algorithm,
                                                 OLECHAR** signature) {
    std::string data;
    if (signature == nullptr || text == nullptr || !Utf8FromUtf16(text, data))
        return Fail(TOKEN_E_ARGUMENT, "SignData");
    *signature = nullptr;
    if (container_ == nullptr)
        return Fail(TOKEN_E_NO_CONTAINER);
    if (DigestFor(algorithm) == nullptr)
        return Fail(TOKEN_E_ALGORITHM, std::to_string(algorithm));
    std::vector<unsigned char> bytes;
    HRESULT hr = container_->Sign(data, algorithm, bytes);
    if (hr != S_OK)
        return hr;
    *signature = Keep(Base64Encode(bytes));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TokenControl::VerifySign(const OLECHAR* text, const OLECHAR* signature,
                                                   int32_t algorithm, int32_t* containerHandle) {
    std::string data;
    std::string signatureText;
    if (text == nullptr || signature == nullptr || containerHandle == nullptr ||
        !Utf8FromUtf16(text, data))
        return Fail(TOKEN_E_ARGUMENT, "VerifySign");
    if (container_ == nullptr)
        return Fail(TOKEN_E_NO_CONTAINER);
    if (*containerHandle != handle_)
        return Fail(TOKEN_E_BAD_HANDLE, std::to_string(*containerHandle));
    if (DigestFor(algorithm) == nullptr)
        return Fail(TOKEN_E_ALGORITHM, std::to_string(algorithm));
    std::vector<unsigned char> bytes;
    if (!Utf8FromUtf16(signature, signatureText) || !Base64Decode(signatureText, bytes))
        return Fail(TOKEN_E_SIGNATURE_MALFORMED);
    X509* certificate = nullptr;
    HRESULT hr = container_->Certificate(certificate);
    if (hr != S_OK)
        return hr;
    return VerifyWithCertificate(certificate, data, algorithm, bytes);
}

} // namespace

ISignControl* NewTokenControl() {
    return new (std::nothrow) TokenControl;
}
