#include "text_convert.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

OLECHAR* AnsiToWide(const char* text) {
    OLECHAR* wide = nullptr;
    const size_t n = std::strlen(text);
    // 2n+2 code units; n bytes never give more than n, and a count the
    // platform call can't take fails here instead of coming out short.
    if (n > (static_cast<size_t>(INT_MAX) - 2) / 2)
        goto fail;
    {
        const int capacity = static_cast<int>(2 * n + 2);
        wide = static_cast<OLECHAR*>(std::malloc(static_cast<size_t>(capacity) * sizeof *wide));
        if (wide == nullptr)
            goto fail;
        if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity) == 0)
            goto fail;
    }
    return wide;
fail:
    std::free(wide);
    return nullptr;
}

char* WideToAnsi(const OLECHAR* text) {
    char* narrow = nullptr;
    const int needed =
        WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        goto fail;
    narrow = static_cast<char*>(std::malloc(static_cast<size_t>(needed)));
    if (narrow == nullptr)
        goto fail;
    if (WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, text, -1, narrow, needed, nullptr,
                            nullptr) != needed)
        goto fail;
    return narrow;
fail:
    std::free(narrow);
    return nullptr;
}
