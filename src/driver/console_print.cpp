#include "console_print.h"

#include <cstdarg>
#include <cstdlib>

#include "data/data_error.h"

int PrintNarrow(const char* format, ...) {
    char small[256];
    char* text = small;
    int status = -1;
    int n;
    va_list args;

    va_start(args, format);
    n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        goto out;
    if (static_cast<size_t>(n) >= sizeof small) {
        text = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
        if (text == nullptr)
            goto out;
        va_start(args, format);
        std::vsnprintf(text, static_cast<size_t>(n) + 1, format, args);
        va_end(args);
    }
    status = ConsoleWrite(text, static_cast<size_t>(n));
out:
    if (text != small)
        std::free(text);
    return status;
}

namespace {

// Appends the console bytes of units [begin, end) to out, if out is given;
// returns how many bytes they take.
size_t NarrowUnits(const OLECHAR* begin, const OLECHAR* end, char* out) {
    if (out != nullptr) {
        for (const OLECHAR* p = begin; p != end; ++p)
            *out++ = *p <= 0xFF ? static_cast<char>(*p) : '?';
    }
    return static_cast<size_t>(end - begin);
}

size_t UnitLength(const OLECHAR* text) {
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// Expands format into out (when given) and returns the byte count.
size_t ExpandWide(const OLECHAR* format, const OLECHAR* text, char* out) {
    size_t n = 0;
    for (const OLECHAR* p = format; *p != 0; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (text != nullptr)
                n += NarrowUnits(text, text + UnitLength(text), out ? out + n : nullptr);
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            n += NarrowUnits(p, p + 1, out ? out + n : nullptr);
            ++p;
        } else {
            n += NarrowUnits(p, p + 1, out ? out + n : nullptr);
        }
    }
    return n;
}

} // namespace

int PrintWide(const OLECHAR* format, const OLECHAR* text) {
    int status = -1;
    size_t n = ExpandWide(format, text, nullptr);
    char* bytes = static_cast<char*>(std::malloc(n + 1));
    if (bytes == nullptr)
        goto out;
    ExpandWide(format, text, bytes);
    status = ConsoleWrite(bytes, n);
out:
    std::free(bytes);
    return status;
}

void PrintFileError(const OLECHAR* wideFormat, const OLECHAR* name, int error) {
    PrintWide(wideFormat, name);
    PrintNarrow("%s\n", DataErrorText(error));
}
