#include "signature_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "data_error.h"
#include "text_convert.h"

int WriteSignatureFile(const OLECHAR* signature) {
    char* narrow = nullptr;
    char temporaryName[64];
    FILE* file = nullptr;
    bool created = false;
    size_t length;
    int result;

    narrow = WideToAnsi(signature);
    if (narrow == nullptr) {
        result = ENOMEM;
        goto out;
    }
    length = std::strlen(narrow);
    file = OpenTemporaryBeside(temporaryName, sizeof temporaryName);
    if (file == nullptr) {
        result = errno;
        goto out;
    }
    created = true;
    errno = 0;
    if (length > 0 && std::fwrite(narrow, length, 1, file) != 1) {
        result = errno != 0 ? errno : EIO;
        goto out;
    }
    result = FlushToDisk(file);
    if (result != 0)
        goto out;
    {
        FILE* closing = file;
        file = nullptr;
        if (std::fclose(closing) != 0) {
            result = errno != 0 ? errno : EIO;
            goto out;
        }
    }
    result = ReplaceFileWhole(temporaryName, SIGNATURE_FILE_NAME);
    if (result == 0)
        created = false;
out:
    if (file != nullptr)
        std::fclose(file);
    if (created)
        std::remove(temporaryName);
    std::free(narrow);
    return result;
}

int ReadFileAsWide(const OLECHAR* name, OLECHAR** text) {
    FILE* file = nullptr;
    char* bytes = nullptr;
    long size;
    size_t got;
    int result;

    *text = nullptr;
    file = _wfopen(name, OLESTR("rb"));
    if (file == nullptr) {
        result = errno;
        goto out;
    }
    errno = 0;
    if (std::fseek(file, 0, SEEK_END) != 0 || (size = std::ftell(file)) < 0) {
        result = errno == EOVERFLOW ? DATA_E_TOO_LARGE : errno != 0 ? errno : EIO;
        goto out;
    }
    if (size > INT32_MAX) {
        result = DATA_E_TOO_LARGE;
        goto out;
    }
    bytes = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
    if (bytes == nullptr) {
        result = ENOMEM;
        goto out;
    }
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        result = errno != 0 ? errno : EIO;
        goto out;
    }
    got = std::fread(bytes, 1, static_cast<size_t>(size), file);
    if (std::ferror(file)) {
        result = errno != 0 ? errno : EIO;
        goto out;
    }
    // Only what was read counts, should the file have shrunk meanwhile.
    bytes[got] = '\0';
    *text = AnsiToWide(bytes);
    result = *text != nullptr ? 0 : ENOMEM;
out:
    if (file != nullptr)
        std::fclose(file);
    std::free(bytes);
    return result;
}
