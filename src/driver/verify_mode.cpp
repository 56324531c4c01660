#include <cstdlib>

#include "console_print.h"
#include "data/file_digest.h"
#include "data/signature_file.h"
#include "digest_text.h"
#include "messages.h"
#include "modes.h"

int RunVerifyMode(ISignControl* control, const OLECHAR* dataFile, const OLECHAR* signatureFile) {
    int32_t container = 0;
    unsigned char digestBuffer[DIGEST_BUFFER_SIZE];
    OLECHAR* signature = nullptr;
    OLECHAR* digestText = nullptr;
    int status = -1;
    int error;
    HRESULT hr;

    hr = control->InitContainer(CLIENT_IDENTITY, CONTAINER_NAME, &container);
    if (hr != 0) {
        PrintNarrow(MSG_INIT_FAILED);
        status = hr;
        goto out;
    }
    if (TakeDigest(dataFile, digestBuffer) != 0)
        goto out;
    error = ReadFileAsWide(signatureFile, &signature);
    if (error != 0) {
        PrintFileError(WMSG_SIGNATURE_FILE, signatureFile, error);
        goto out;
    }
    digestText = MakeDigestText(digestBuffer);
    if (digestText == nullptr)
        goto out;
    // A signature that doesn't match and a call that fails read the same.
    hr = control->VerifySign(digestText, signature, SIGN_ALGORITHM, &container);
    PrintWide(hr == 0 ? WMSG_VERIFY_OK : WMSG_VERIFY_ERROR, nullptr);
    status = 0;
out:
    std::free(digestText);
    std::free(signature);
    return status;
}
