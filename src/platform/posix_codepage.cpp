#include "posix_codepage.h"

#include <cstddef>

namespace {

struct Composition {
    char16_t base;
    char16_t mark;
    unsigned char composed;
};

// The canonical decompositions of U+00C0..U+00FF: a letter and one mark.
const Composition kCompositions[] = {
    {0x0041, 0x0300, 0xC0}, {0x0041, 0x0301, 0xC1}, {0x0041, 0x0302, 0xC2}, {0x0041, 0x0303, 0xC3},
    {0x0041, 0x0308, 0xC4}, {0x0041, 0x030A, 0xC5}, {0x0043, 0x0327, 0xC7}, {0x0045, 0x0300, 0xC8},
    {0x0045, 0x0301, 0xC9}, {0x0045, 0x0302, 0xCA}, {0x0045, 0x0308, 0xCB}, {0x0049, 0x0300, 0xCC},
    {0x0049, 0x0301, 0xCD}, {0x0049, 0x0302, 0xCE}, {0x0049, 0x0308, 0xCF}, {0x004E, 0x0303, 0xD1},
    {0x004F, 0x0300, 0xD2}, {0x004F, 0x0301, 0xD3}, {0x004F, 0x0302, 0xD4}, {0x004F, 0x0303, 0xD5},
    {0x004F, 0x0308, 0xD6}, {0x0055, 0x0300, 0xD9}, {0x0055, 0x0301, 0xDA}, {0x0055, 0x0302, 0xDB},
    {0x0055, 0x0308, 0xDC}, {0x0059, 0x0301, 0xDD}, {0x0061, 0x0300, 0xE0}, {0x0061, 0x0301, 0xE1},
    {0x0061, 0x0302, 0xE2}, {0x0061, 0x0303, 0xE3}, {0x0061, 0x0308, 0xE4}, {0x0061, 0x030A, 0xE5},
    {0x0063, 0x0327, 0xE7}, {0x0065, 0x0300, 0xE8}, {0x0065, 0x0301, 0xE9}, {0x0065, 0x0302, 0xEA},
    {0x0065, 0x0308, 0xEB}, {0x0069, 0x0300, 0xEC}, {0x0069, 0x0301, 0xED}, {0x0069, 0x0302, 0xEE},
    {0x0069, 0x0308, 0xEF}, {0x006E, 0x0303, 0xF1}, {0x006F, 0x0300, 0xF2}, {0x006F, 0x0301, 0xF3},
    {0x006F, 0x0302, 0xF4}, {0x006F, 0x0303, 0xF5}, {0x006F, 0x0308, 0xF6}, {0x0075, 0x0300, 0xF9},
    {0x0075, 0x0301, 0xFA}, {0x0075, 0x0302, 0xFB}, {0x0075, 0x0308, 0xFC}, {0x0079, 0x0301, 0xFD},
    {0x0079, 0x0308, 0xFF}};

// The ISO-8859-1 character that base followed by mark composes to, or 0.
unsigned char Compose(char16_t base, char16_t mark) {
    for (const Composition& c : kCompositions) {
        if (c.base == base && c.mark == mark)
            return c.composed;
    }
    return 0;
}

size_t SourceLength(const WCHAR* source, int sourceLength) {
    if (sourceLength >= 0)
        return static_cast<size_t>(sourceLength);
    size_t n = 0;
    while (source[n] != 0)
        ++n;
    return n + 1;
}

} // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        WCHAR* dest, int destCapacity) {
    if (codePage != CP_ACP || flags != 0 || source == nullptr || sourceLength == 0 ||
        sourceLength < -1 || destCapacity < 0 || (destCapacity > 0 && dest == nullptr))
        return 0;
    size_t n = sourceLength >= 0 ? static_cast<size_t>(sourceLength) : 0;
    if (sourceLength < 0) {
        while (source[n] != '\0')
            ++n;
        ++n;
    }
    if (n > static_cast<size_t>(INT32_MAX))
        return 0;
    if (destCapacity == 0)
        return static_cast<int>(n);
    if (n > static_cast<size_t>(destCapacity))
        return 0;
    for (size_t i = 0; i < n; ++i)
        dest[i] = static_cast<unsigned char>(source[i]);
    return static_cast<int>(n);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* source, int sourceLength,
                        char* dest, int destCapacity, const char* defaultChar, BOOL* usedDefault) {
    if (codePage != CP_ACP || (flags & ~WC_COMPOSITECHECK) != 0 || source == nullptr ||
        sourceLength == 0 || sourceLength < -1 || destCapacity < 0 ||
        (destCapacity > 0 && dest == nullptr))
        return 0;
    const size_t n = SourceLength(source, sourceLength);
    const char replacement = defaultChar != nullptr ? defaultChar[0] : '?';
    bool replaced = false;
    size_t written = 0;
    for (size_t i = 0; i < n; ++i) {
        char16_t u = source[i];
        char byte;
        unsigned char composed = 0;
        if ((flags & WC_COMPOSITECHECK) != 0 && i + 1 < n)
            composed = Compose(u, source[i + 1]);
        if (composed != 0) {
            byte = static_cast<char>(composed);
            ++i;
        } else if (u <= 0xFF) {
            byte = static_cast<char>(u);
        } else {
            byte = replacement;
            replaced = true;
        }
        if (destCapacity != 0) {
            if (written == static_cast<size_t>(destCapacity))
                return 0;
            dest[written] = byte;
        }
        ++written;
        if (written > static_cast<size_t>(INT32_MAX))
            return 0;
    }
    if (usedDefault != nullptr)
        *usedDefault = replaced ? 1 : 0;
    return static_cast<int>(written);
}
