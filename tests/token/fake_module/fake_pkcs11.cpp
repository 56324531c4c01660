// A PKCS#11 module for the token control's tests of what SoftHSM2 can't be
// made to do: a token whose flags the test sets (a locked PIN, a final try,
// a protected authentication path) and that records every login.
//
// FAKE_P11_FLAGS: the token's flags (decimal, or hex with 0x).
// FAKE_P11_LOG: a file each C_Login call appends a line to, "C_Login USER
//   PIN" with PIN "-" for none.
// The user PIN is 1234.  The token holds no objects.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <p11-kit/pkcs11.h>

namespace {

const CK_SLOT_ID kSlot = 7;
const CK_SESSION_HANDLE kSession = 1;

void Pad(CK_UTF8CHAR* field, size_t size, const char* text) {
    std::memset(field, ' ', size);
    std::memcpy(field, text, std::strlen(text));
}

CK_FLAGS TokenFlags() {
    const char* flags = std::getenv("FAKE_P11_FLAGS");
    return flags != nullptr ? std::strtoul(flags, nullptr, 0) : 0;
}

CK_RV Initialize(CK_VOID_PTR) {
    return CKR_OK;
}
CK_RV Finalize(CK_VOID_PTR) {
    return CKR_OK;
}

CK_RV GetInfo(CK_INFO_PTR info) {
    std::memset(info, 0, sizeof *info);
    info->cryptokiVersion = {2, 40};
    Pad(info->manufacturerID, sizeof info->manufacturerID, "signctl tests");
    Pad(info->libraryDescription, sizeof info->libraryDescription, "fake token");
    return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    if (list != nullptr) {
        if (*count < 1) {
            *count = 1;
            return CKR_BUFFER_TOO_SMALL;
        }
        list[0] = kSlot;
    }
    *count = 1;
    return CKR_OK;
}

CK_RV GetSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    std::memset(info, 0, sizeof *info);
    Pad(info->slotDescription, sizeof info->slotDescription, "fake slot");
    Pad(info->manufacturerID, sizeof info->manufacturerID, "signctl tests");
    info->flags = CKF_TOKEN_PRESENT;
    return CKR_OK;
}

CK_RV GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    std::memset(info, 0, sizeof *info);
    Pad(info->label, sizeof info->label, "fake token");
    Pad(info->manufacturerID, sizeof info->manufacturerID, "signctl tests");
    Pad(info->model, sizeof info->model, "fake");
    Pad(info->serialNumber, sizeof info->serialNumber, "0001");
    info->flags = TokenFlags();
    info->ulMaxPinLen = 64;
    info->ulMinPinLen = 4;
    return CKR_OK;
}

CK_RV GetMechanismInfo(CK_SLOT_ID, CK_MECHANISM_TYPE, CK_MECHANISM_INFO_PTR) {
    return CKR_MECHANISM_INVALID;
}

CK_RV OpenSession(CK_SLOT_ID slot, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR out) {
    if (slot != kSlot)
        return CKR_SLOT_ID_INVALID;
    *out = kSession;
    return CKR_OK;
}

CK_RV CloseSession(CK_SESSION_HANDLE) {
    return CKR_OK;
}

CK_RV Login(CK_SESSION_HANDLE, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG length) {
    std::string given = pin != nullptr ? std::string(reinterpret_cast<char*>(pin), length) : "-";
    if (const char* log = std::getenv("FAKE_P11_LOG")) {
        if (FILE* f = std::fopen(log, "a")) {
            std::fprintf(f, "C_Login %lu %s\n", static_cast<unsigned long>(user), given.c_str());
            std::fclose(f);
        }
    }
    if (pin == nullptr)
        return (TokenFlags() & CKF_PROTECTED_AUTHENTICATION_PATH) != 0 ? CKR_OK : CKR_ARGUMENTS_BAD;
    return given == "1234" ? CKR_OK : CKR_PIN_INCORRECT;
}

CK_RV Logout(CK_SESSION_HANDLE) {
    return CKR_OK;
}

CK_RV FindObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG) {
    return CKR_OK;
}
CK_RV FindObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR, CK_ULONG, CK_ULONG_PTR count) {
    *count = 0;
    return CKR_OK;
}
CK_RV FindObjectsFinal(CK_SESSION_HANDLE) {
    return CKR_OK;
}

CK_FUNCTION_LIST MakeFunctions() {
    CK_FUNCTION_LIST f;
    std::memset(&f, 0, sizeof f);
    f.version = {2, 40};
    f.C_Initialize = Initialize;
    f.C_Finalize = Finalize;
    f.C_GetInfo = GetInfo;
    f.C_GetSlotList = GetSlotList;
    f.C_GetSlotInfo = GetSlotInfo;
    f.C_GetTokenInfo = GetTokenInfo;
    f.C_GetMechanismInfo = GetMechanismInfo;
    f.C_OpenSession = OpenSession;
    f.C_CloseSession = CloseSession;
    f.C_Login = Login;
    f.C_Logout = Logout;
    f.C_FindObjectsInit = FindObjectsInit;
    f.C_FindObjects = FindObjects;
    f.C_FindObjectsFinal = FindObjectsFinal;
    return f;
}

CK_FUNCTION_LIST functions = MakeFunctions();

} // namespace

extern "C" __attribute__((visibility("default"))) CK_RV
C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    *list = &functions;
    return CKR_OK;
}
