#include <cstdlib>

#include "console_print.h"
#include "data/file_digest.h"
#include "data/signature_file.h"
#include "digest_text.h"
#include "messages.h"
#include "modes.h"

int RunSignMode(ISignControl* control, const OLECHAR* dataFile) {
    // The identity and the signature stay the control's.
    OLECHAR* identity = nullptr;
    OLECHAR* signature = nullptr;
    int32_t container = 0;
    unsigned char digestBuffer[DIGEST_BUFFER_SIZE];
    OLECHAR* digestText = nullptr;
    int status = -1;
    int error;
    HRESULT hr;

    hr = control->CheckUkeyConnected(&identity);
    if (hr != 0) {
        PrintNarrow(MSG_NO_UKEY, static_cast<unsigned>(hr));
        status = hr;
        goto out;
    }
    hr = control->InitContainer(identity, CONTAINER_NAME, &container);
    if (hr != 0) {
        PrintNarrow(MSG_INIT_FAILED);
        status = hr;
        goto out;
    }
    if (TakeDigest(dataFile, digestBuffer) != 0)
        goto out;
    digestText = MakeDigestText(digestBuffer);
    if (digestText == nullptr)
        goto out;
    hr = control->SignData(digestText, SIGN_ALGORITHM, &signature);
    if (hr != 0) {
        PrintNarrow(MSG_SIGN_FAILED, static_cast<unsigned>(hr));
        goto out;
    }
    if (signature == nullptr) {
        PrintNarrow(MSG_NO_SIGNATURE);
        goto out;
    }
    error = WriteSignatureFile(signature);
    if (error != 0) {
        PrintFileError(WMSG_WRITE_SIGNATURE, SIGNATURE_FILE_WIDE_NAME, error);
        goto out;
    }
    PrintWide(WMSG_SIGNED, signature);
    status = 0;
out:
    std::free(digestText);
    return status;
}
