#include "digest_text.h"

#include <cstring>

#include "console_print.h"
#include "data/file_digest.h"
#include "data/text_convert.h"
#include "messages.h"

int TakeDigest(const OLECHAR* dataFile, unsigned char* digestBuffer) {
    std::memset(digestBuffer, 0, DIGEST_BUFFER_SIZE);
    int error = DigestFile(dataFile, digestBuffer);
    if (error != 0)
        PrintFileError(WMSG_DATA_FILE, dataFile, error);
    return error;
}

OLECHAR* MakeDigestText(const unsigned char* digestBuffer) {
    OLECHAR* text = AnsiToWide(reinterpret_cast<const char*>(digestBuffer));
    if (text == nullptr)
        PrintNarrow(MSG_OUT_OF_MEMORY);
    return text;
}
