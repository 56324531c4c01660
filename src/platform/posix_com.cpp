// COM activation on POSIX: a registration file names the module, dlopen
// loads it, its class factory makes the object.
#include "posix_com.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <climits>
#include <unistd.h>

// The configuration folder as seen from the program's own folder, so that an
// install moved to another prefix still finds the registrations installed
// with it.  An absolute path is taken as it is.
#ifndef SIGNCTL_BINDIR_TO_SYSCONFDIR
#define SIGNCTL_BINDIR_TO_SYSCONFDIR "../etc"
#endif

const char* SystemConfigurationFolder = nullptr;

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

std::string SystemFolder() {
    if (SystemConfigurationFolder != nullptr)
        return SystemConfigurationFolder;
    const std::string relative = SIGNCTL_BINDIR_TO_SYSCONFDIR;
    if (!relative.empty() && relative[0] == '/')
        return relative;
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return std::string();
    std::string program(self, static_cast<size_t>(n));
    return program.substr(0, program.rfind('/') + 1) + relative;
}

bool FindModule(const CLSID& clsid, std::string& module) {
    const std::string name = RegistrationName(clsid);
    const std::string user = UserRegistrationFolder();
    if (!user.empty() && ReadRegistration(user + name, module))
        return true;
    const std::string system = SystemFolder();
    return !system.empty() && ReadRegistration(system + "/signctl/inproc/" + name, module);
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
