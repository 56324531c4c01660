// The scripted control's registration as an in-process COM server on
// Windows: regsvr32 calls DllRegisterServer and DllUnregisterServer.
#include <olectl.h>
#include <wchar.h>

#include "control/sign_control.h"

namespace {

// The class's key under HKEY_CLASSES_ROOT, "CLSID\{...}", in buffer.
// Returns false when the identifier can't be put in text.
bool ClassKeyName(wchar_t* buffer, size_t cap) {
    static const wchar_t kPrefix[] = L"CLSID\\";
    const size_t prefix = sizeof kPrefix / sizeof kPrefix[0] - 1;
    if (cap <= prefix + 39)
        return false;
    for (size_t i = 0; i <= prefix; ++i)
        buffer[i] = kPrefix[i];
    return StringFromGUID2(CLSID_SignControl, buffer + prefix, static_cast<int>(cap - prefix)) > 0;
}

// Stores text as the value named name (null: the key's default value) of
// the key path under root, creating the key.  Returns the system's code.
LONG SetText(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                  nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD bytes = 0;
    while (text[bytes / sizeof(wchar_t)] != 0)
        bytes += sizeof(wchar_t);
    bytes += sizeof(wchar_t);
    status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    RegCloseKey(key);
    return status;
}

// The full path of this DLL in path (cap characters).  Returns false when
// the system can't say or the path doesn't fit.
bool ModulePath(wchar_t* path, DWORD cap) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModulePath), &module))
        return false;
    const DWORD n = GetModuleFileNameW(module, path, cap);
    return n > 0 && n < cap;
}

} // namespace

// The registration entry points (olectl.h declares only the first).
// DllRegisterServer: writes the class's registration, naming this DLL as its
// in-process server (apartment threaded); S_OK, or SELFREG_E_CLASS with
// nothing left behind.  DllUnregisterServer: removes the class's key with
// everything under it; S_OK also when there was none, else SELFREG_E_CLASS.
STDAPI DllRegisterServer(void);
STDAPI DllUnregisterServer(void);

STDAPI DllRegisterServer(void) {
    wchar_t classKey[64];
    wchar_t serverKey[96];
    wchar_t path[MAX_PATH * 2];
    if (!ClassKeyName(classKey, sizeof classKey / sizeof classKey[0]) ||
        !ModulePath(path, sizeof path / sizeof path[0]))
        return SELFREG_E_CLASS;
    wcscpy(serverKey, classKey);
    wcscat(serverKey, L"\\InprocServer32");
    if (SetText(HKEY_CLASSES_ROOT, classKey, nullptr, L"Scripted signing control (tests)") !=
            ERROR_SUCCESS ||
        SetText(HKEY_CLASSES_ROOT, serverKey, nullptr, path) != ERROR_SUCCESS ||
        SetText(HKEY_CLASSES_ROOT, serverKey, L"ThreadingModel", L"Apartment") != ERROR_SUCCESS) {
        DllUnregisterServer();
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

STDAPI DllUnregisterServer(void) {
    wchar_t classKey[64];
    if (!ClassKeyName(classKey, sizeof classKey / sizeof classKey[0]))
        return SELFREG_E_CLASS;
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return SELFREG_E_CLASS;
    return S_OK;
}

// The module doesn't count the objects it hands out, so it never tells COM
// that it may be unloaded: it stays loaded until the process ends.
STDAPI DllCanUnloadNow(void) {
    return S_FALSE;
}
