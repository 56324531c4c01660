#include "data_error.h"

#include <cstring>

const char* DataErrorText(int code) {
    switch (code) {
    case SIGNCTL_ENOTREG:
        return "not a regular file";
    case DATA_E_TOO_LARGE:
        return "file is 2 GiB or larger";
    default:
        return std::strerror(code);
    }
}
