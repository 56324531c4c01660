#include "modules.h"

#include <cstdlib>
#include <cstring>

#include "config.h"
#include "error_codes.h"

ModuleSet::~ModuleSet() {
    if (registered_ != nullptr)
        p11_kit_modules_finalize_and_release(registered_);
    if (single_ != nullptr) {
        p11_kit_module_finalize(single_);
        p11_kit_module_release(single_);
    }
}

HRESULT ModuleSet::Load(const std::string& path) {
    // Unmanaged: the control is the modules' only user in the process, and
    // p11-kit's managing layer costs start-up time on every run.
    if (path.empty()) {
        registered_ = p11_kit_modules_load_and_initialize(P11_KIT_MODULE_UNMANAGED);
        if (registered_ == nullptr)
            return Fail(TOKEN_E_MODULES, p11_kit_message() != nullptr ? p11_kit_message() : "");
        for (CK_FUNCTION_LIST** m = registered_; *m != nullptr; ++m)
            modules_.push_back(*m);
        return S_OK;
    }
    CK_FUNCTION_LIST* module = p11_kit_module_load(path.c_str(), P11_KIT_MODULE_UNMANAGED);
    if (module == nullptr)
        return Fail(TOKEN_E_MODULES, path);
    CK_RV rv = p11_kit_module_initialize(module);
    if (rv != CKR_OK) {
        p11_kit_module_release(module);
        return Fail(TOKEN_E_MODULES, path + ": " + p11_kit_strerror(rv));
    }
    single_ = module;
    modules_.push_back(module);
    return S_OK;
}

std::vector<TokenRef> UserTokens(const ModuleSet& modules, P11KitUri* filter) {
    std::vector<TokenRef> tokens;
    for (CK_FUNCTION_LIST* module : modules.Modules()) {
        CK_INFO moduleInfo;
        if (filter != nullptr && (module->C_GetInfo(&moduleInfo) != CKR_OK ||
                                  !p11_kit_uri_match_module_info(filter, &moduleInfo)))
            continue;
        CK_ULONG count = 0;
        if (module->C_GetSlotList(CK_TRUE, nullptr, &count) != CKR_OK || count == 0)
            continue;
        std::vector<CK_SLOT_ID> slots(count);
        if (module->C_GetSlotList(CK_TRUE, slots.data(), &count) != CKR_OK)
            continue;
        slots.resize(count);
        for (CK_SLOT_ID slot : slots) {
            TokenRef token{module, slot, {}};
            if (module->C_GetTokenInfo(slot, &token.info) != CKR_OK)
                continue;
            const CK_FLAGS flags = token.info.flags;
            // The trust module's read-only tokens and SoftHSM's spare slot
            // fail this: neither is made to hold a user's keys.
            if ((flags & CKF_TOKEN_INITIALIZED) == 0 ||
                (flags & (CKF_USER_PIN_INITIALIZED | CKF_PROTECTED_AUTHENTICATION_PATH)) == 0)
                continue;
            if (filter != nullptr && !p11_kit_uri_match_token_info(filter, &token.info))
                continue;
            tokens.push_back(token);
        }
    }
    return tokens;
}

std::string TokenUri(const CK_TOKEN_INFO& info) {
    UriPtr uri(p11_kit_uri_new());
    if (uri == nullptr)
        return std::string();
    std::memcpy(p11_kit_uri_get_token_info(uri.get()), &info, sizeof info);
    char* text = nullptr;
    if (p11_kit_uri_format(uri.get(), P11_KIT_URI_FOR_TOKEN, &text) != P11_KIT_URI_OK)
        return std::string();
    std::string result(text);
    std::free(text);
    return result;
}
