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
