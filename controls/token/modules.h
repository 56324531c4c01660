// The PKCS#11 modules the control works with, and the tokens they hold.
#ifndef SIGNCTL_CONTROLS_TOKEN_MODULES_H
#define SIGNCTL_CONTROLS_TOKEN_MODULES_H

#include <string>
#include <vector>

#include <p11-kit/p11-kit.h>
#include <p11-kit/uri.h>

#include "platform/platform.h"

// A set of PKCS#11 modules, loaded and initialised through p11-kit by Load
// and finalised and released when the set goes (never from a static
// destructor: the control owns the set).  Not copyable.
class ModuleSet {
  public:
    ModuleSet() = default;
    ~ModuleSet();
    ModuleSet(const ModuleSet&) = delete;
    ModuleSet& operator=(const ModuleSet&) = delete;

    // Loads and initialises the module at path (an absolute path, or a file
    // name in p11-kit's module folder), or p11-kit's registered modules when
    // path is empty.  Returns S_OK (an empty registry gives an empty set) or
    // TOKEN_E_MODULES, reported.  Call once.
    HRESULT Load(const std::string& path);

    // The modules, initialised; they stay the set's.
    const std::vector<CK_FUNCTION_LIST*>& Modules() const { return modules_; }

  private:
    CK_FUNCTION_LIST** registered_ = nullptr; // from p11-kit's registry
    CK_FUNCTION_LIST* single_ = nullptr;      // the module named by path
    std::vector<CK_FUNCTION_LIST*> modules_;
};

// A token present in a slot of a module of a ModuleSet.
struct TokenRef {
    CK_FUNCTION_LIST* module;
    CK_SLOT_ID slot;
    CK_TOKEN_INFO info;
};

// The tokens of modules, in module and slot order, that are present,
// initialised and made to hold a user's keys (a user PIN set, or a protected
// authentication path) and that filter matches (any, when null).  A module
// or slot that fails to answer is passed over.
std::vector<TokenRef> UserTokens(const ModuleSet& modules, P11KitUri* filter);

// The RFC 7512 URI of the token: model, manufacturer, serial and label.
// Returns an empty text when p11-kit can't format it.
std::string TokenUri(const CK_TOKEN_INFO& info);

#endif
