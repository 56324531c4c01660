#include "text_convert.h"

#include <cstdlib>

OLECHAR* AnsiToWide(const char* text) {
    OLECHAR* wide = nullptr;
    // Sized by the conversion itself: one code unit per byte and the
    // terminator, for every text whose length the platform call can count.
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 0)
        goto fail;
    wide = static_cast<OLECHAR*>(std::malloc(static_cast<size_t>(needed) * sizeof *wide));
    if (wide == nullptr)
        goto fail;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, needed) != needed)
        goto fail;
    return wide;
fail:
    std::free(wide);
    return nullptr;
}

char* WideToAnsi(const OLECHAR* text) {
    char* narrow = nullptr;
    DWORD flags = WC_COMPOSITECHECK;
    int needed = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        // Windows refuses the composite check when the ANSI code page is
        // UTF-8, which holds a combining mark as it stands: convert as is.
        flags = 0;
        needed = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, nullptr);
    }
    if (needed <= 0)
        goto fail;
    narrow = static_cast<char*>(std::malloc(static_cast<size_t>(needed)));
    if (narrow == nullptr)
        goto fail;
    if (WideCharToMultiByte(CP_ACP, flags, text, -1, narrow, needed, nullptr, nullptr) != needed)
        goto fail;
    return narrow;
fail:
    std::free(narrow);
    return nullptr;
}
