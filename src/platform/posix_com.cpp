// COM activation on POSIX: a registration file names the module, dlopen
// loads it, its class factory makes the object.
#include "posix_com.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef SIGNCTL_SYSCONFDIR
#define SIGNCTL_SYSCONFDIR "/etc"
#endif

const char* SystemConfigurationFolder = SIGNCTL_SYSCONFDIR;

HRESULT CoInitialize(void*) {
    return S_OK;
}

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string RegistrationName(const CLSID& c) {
    char name[40];
    std::snprintf(name, sizeof name, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(c.Data1), c.Data2, c.Data3, c.Data4[0], c.Data4[1],
                  c.Data4[2], c.Data4[3], c.Data4[4], c.Data4[5], c.Data4[6], c.Data4[7]);
    return name;
}

// The folders searched for registrations, the user's before the machine's.
std::string UserRegistrationFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/signctl/inproc/";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.config/signctl/inproc/";
    return std::string();
}

// Reads the module path from the first line of the registration file at
// path.  Returns false when the file can't be opened (no registration).
bool ReadRegistration(const std::string& path, std::string& module) {
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (f == nullptr)
        return false;
    module.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n')
        module.push_back(static_cast<char>(c));
    std::fclose(f);
    if (!module.empty() && module.back() == '\r')
        module.pop_back();
    if (!module.empty() && module[0] != '/')
        module = path.substr(0, path.rfind('/') + 1) + module;
    return true;
}

bool FindModule(const CLSID& clsid, std::string& module) {
    const std::string name = RegistrationName(clsid);
    const std::string user = UserRegistrationFolder();
    if (!user.empty() && ReadRegistration(user + name, module))
        return true;
    return ReadRegistration(std::string(SystemConfigurationFolder) + "/signctl/inproc/" + name, module);
}

} // namespace

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& riid,
                         void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (context != CLSCTX_INPROC_SERVER)
        return E_INVALIDARG;

    std::string module;
    if (!FindModule(clsid, module))
        return REGDB_E_CLASSNOTREG;
    // Modules stay loaded for the rest of the process, as the objects they
    // made may outlive any handle we could close.
    void* handle = module.empty() ? nullptr : dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return CO_E_ERRORINDLL;
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr)
        return CO_E_ERRORINDLL;

    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || factory == nullptr)
        return FAILED(hr) ? hr : E_POINTER;
    hr = factory->CreateInstance(outer, riid, object);
    factory->Release();
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}
