// COM as the client and its in-process servers see it on POSIX.
//
// The binary contract between the client and a control module:
// - HRESULT is int32_t, ULONG uint32_t, a 32-bit LONG int32_t, OLECHAR
//   char16_t; GUID has the Windows layout.
// - An interface is an abstract struct whose virtual functions are its
//   slots, in declared order, with no virtual destructor.
// - A module is a shared object exporting DllGetClassObject, which hands out
//   an IClassFactory for the class asked for.
// - CoCreateInstance finds the module through a registration file named
//   after the class identifier (see docs/control-modules.md).
#ifndef SIGNCTL_PLATFORM_POSIX_COM_H
#define SIGNCTL_PLATFORM_POSIX_COM_H

#include <cstdint>

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef char16_t OLECHAR;
typedef char16_t WCHAR;

#define OLESTR(text) u##text
#define STDMETHODCALLTYPE
// An exported function of a module, as DllGetClassObject is.
#define STDAPI extern "C" __attribute__((visibility("default"))) HRESULT

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define CLSCTX_INPROC_SERVER 0x1

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

// True when both identifiers hold the same 16 bytes.
bool IsEqualGUID(const GUID& a, const GUID& b);
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

struct IUnknown {
    virtual HRESULT QueryInterface(const IID& riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& riid, void** object) = 0;
    virtual HRESULT LockServer(int32_t lock) = 0;
};

extern const IID IID_IUnknown;      // {00000000-0000-0000-C000-000000000046}
extern const IID IID_IClassFactory; // {00000001-0000-0000-C000-000000000046}

// The one export of a control module.  Stores an IClassFactory for clsid in
// *object (with a reference the caller releases) and returns S_OK, or returns
// a failing code such as CLASS_E_CLASSNOTAVAILABLE with *object null.
typedef HRESULT (*DllGetClassObjectFn)(const CLSID& clsid, const IID& riid, void** object);

// The machine's configuration folder, <sysconfdir> of the install: its
// signctl/inproc/ holds the machine's registrations, searched after the
// user's.  Null (the default) finds it from the program's own folder, as
// installed (bin/../etc for a prefix whose sysconfdir is etc); tests point it
// elsewhere.
extern const char* SystemConfigurationFolder;

// Prepares the calling thread for COM.  There is nothing to prepare on POSIX;
// returns S_OK.
HRESULT CoInitialize(void* reserved);

// Creates an object of class clsid from its registered in-process module
// (context must be CLSCTX_INPROC_SERVER; outer is passed to the factory) and
// stores the interface riid in *object.  Returns what the factory's
// CreateInstance returned, a positive code too; REGDB_E_CLASSNOTREG when the
// class has no registration file; CO_E_ERRORINDLL when the module can't be
// loaded or has no DllGetClassObject; DllGetClassObject's own failure when it
// fails; E_INVALIDARG for another context, E_POINTER for a null object.
// Modules stay loaded until the process ends.  *object is null on failure.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& riid,
                         void** object);

#endif
