// The code-page conversions on arbitrary input.  The first two bytes choose
// the flags, whether the text is terminated and the output buffer's size; the rest is the text,
// read as bytes for the narrow-to-UTF-16 direction and as little-endian code units for the other.
// Every output buffer is allocated at exactly its stated size, so a write beyond it is an
// AddressSanitizer report.
//
// Holds: bytes become the units of the same value, one each, and back
// exactly (ISO-8859-1 loses nothing); a conversion writes either all of its
// result or nothing and returns the size it reported when asked; the
// default character is used exactly when a unit can't be held.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/text_convert.h"

namespace {

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// The output buffer's size: exactly what is needed when fit says so (the
// seed being too small to reach it for long texts), else from the seed, one
// past what is needed at most.
size_t Capacity(size_t needed, bool fit, size_t capacitySeed) {
    return fit ? needed : 1 + capacitySeed % (needed + 1);
}

void NarrowToWide(const char* bytes, size_t n, bool fit, size_t capacitySeed) {
    const int length = static_cast<int>(n);
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    Check(needed == length, "the size asked for is one unit per byte");
    if (n == 0)
        return;
    const size_t capacity = Capacity(n, fit, capacitySeed);
    WCHAR* wide = static_cast<WCHAR*>(std::malloc(capacity * sizeof(WCHAR)));
    const int written =
        MultiByteToWideChar(CP_ACP, 0, bytes, length, wide, static_cast<int>(capacity));
    if (capacity < n) {
        Check(written == 0, "a buffer too small gets nothing");
    } else {
        Check(written == length, "a buffer large enough gets every unit");
        for (size_t i = 0; i < n; ++i)
            Check(wide[i] == static_cast<unsigned char>(bytes[i]), "byte b is unit b");
    }
    std::free(wide);
}

void RoundTrip(const char* bytes, size_t n) {
    // The text up to its first zero byte, as AnsiToWide reads it.
    const std::string text(bytes, strnlen(bytes, n));
    OLECHAR* wide = AnsiToWide(text.c_str());
    Check(wide != nullptr, "AnsiToWide converts every text");
    for (size_t i = 0; i <= text.size(); ++i)
        Check(wide[i] == static_cast<unsigned char>(text.c_str()[i]), "AnsiToWide maps b to b");
    char* back = WideToAnsi(wide);
    Check(back != nullptr && text == back, "ISO-8859-1 comes back exactly");
    std::free(back);
    std::free(wide);
}

void WideToNarrow(const uint8_t* data, size_t n, bool composite, bool terminated, bool fit,
                  size_t capacitySeed) {
    std::vector<WCHAR> units;
    for (size_t i = 0; i + 1 < n; i += 2) {
        WCHAR u = static_cast<WCHAR>(data[i] | data[i + 1] << 8);
        // A terminated text ends at its first zero unit.
        if (terminated && u == 0)
            break;
        units.push_back(u);
    }
    if (terminated)
        units.push_back(0);
    if (units.empty())
        return;
    const DWORD flags = composite ? WC_COMPOSITECHECK : 0;
    const int length = terminated ? -1 : static_cast<int>(units.size());
    BOOL usedDefault = 7;
    const int needed =
        WideCharToMultiByte(CP_ACP, flags, units.data(), length, nullptr, 0, nullptr, &usedDefault);
    Check(needed > 0 && static_cast<size_t>(needed) <= units.size(), "never more bytes than units");
    bool unheld = false;
    for (WCHAR u : units)
        unheld = unheld || u > 0xFF;
    if (!composite) {
        Check(static_cast<size_t>(needed) == units.size(), "one byte per unit");
        Check(usedDefault == (unheld ? 1 : 0), "the default is used exactly for unheld units");
    } else if (!unheld) {
        Check(static_cast<size_t>(needed) == units.size(), "nothing composes below U+0100");
    }

    const size_t capacity = Capacity(static_cast<size_t>(needed), fit, capacitySeed);
    char* narrow = static_cast<char*>(std::malloc(capacity));
    const char fallback[] = "#";
    const int written = WideCharToMultiByte(CP_ACP, flags, units.data(), length, narrow,
                                            static_cast<int>(capacity), fallback, nullptr);
    if (capacity < static_cast<size_t>(needed)) {
        Check(written == 0, "a buffer too small is refused");
    } else {
        Check(written == needed, "a buffer large enough gets the size reported");
        if (!composite) {
            for (size_t i = 0; i < units.size(); ++i) {
                const char expected = units[i] <= 0xFF ? static_cast<char>(units[i]) : '#';
                Check(narrow[i] == expected, "a unit is its byte or the default");
            }
        }
    }
    std::free(narrow);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t mode = data[0];
    const size_t capacitySeed = data[1];
    const char* bytes = reinterpret_cast<const char*>(data + 2);
    const size_t n = size - 2;
    const bool fit = (mode & 4) != 0;
    NarrowToWide(bytes, n, fit, capacitySeed);
    RoundTrip(bytes, n);
    WideToNarrow(data + 2, n, (mode & 1) != 0, (mode & 2) != 0, fit, capacitySeed);
    return 0;
}
