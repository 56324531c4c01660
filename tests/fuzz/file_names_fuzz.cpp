// The conversion of arguments and file names between bytes and UTF-16 on
// arbitrary input.
//
// Holds: every byte string (up to its first zero byte, as the system hands
// names over) comes back exactly, never taking more units than bytes; any
// UTF-16 text either is refused with EILSEQ or gives bytes that come back
// the same through another round.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

size_t Units(const char16_t* text) {
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

void BytesRoundTrip(const std::string& bytes) {
    char16_t* wide = Utf16FromBytes(bytes.c_str());
    Check(wide != nullptr, "every byte string converts");
    Check(Units(wide) <= bytes.size(), "never more units than bytes");
    char* back = BytesFromUtf16(wide);
    Check(back != nullptr && bytes == back, "every byte string comes back exactly");
    std::free(back);
    std::free(wide);
}

void UnitsToBytes(const uint8_t* data, size_t n) {
    std::vector<char16_t> units;
    for (size_t i = 0; i + 1 < n; i += 2) {
        char16_t u = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (u == 0)
            break;
        units.push_back(u);
    }
    units.push_back(0);
    errno = 0;
    char* bytes = BytesFromUtf16(units.data());
    if (bytes == nullptr) {
        Check(errno == EILSEQ, "a text is refused only for a surrogate no byte gives");
        return;
    }
    Check(std::strlen(bytes) <= 3 * (units.size() - 1), "at most three bytes per unit");
    char16_t* again = Utf16FromBytes(bytes);
    Check(again != nullptr, "the bytes convert back");
    char* bytesAgain = BytesFromUtf16(again);
    Check(bytesAgain != nullptr && std::strcmp(bytes, bytesAgain) == 0,
          "the bytes are stable through another round");
    std::free(bytesAgain);
    std::free(again);
    std::free(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    BytesRoundTrip(std::string(bytes, strnlen(bytes, size)));
    UnitsToBytes(data, size);
    return 0;
}
