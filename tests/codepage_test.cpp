// The system code page on POSIX: ISO-8859-1 both ways, letters with a
// combining mark precomposed, and everything else "?".
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <initializer_list>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

// Converts all of text's units (no terminator) with the length query first,
// into a buffer with a guard after the capacity; checks that the guard holds.
std::string ToAnsi(const std::u16string& text, DWORD flags, BOOL* usedDefault = nullptr,
                   const char* defaultChar = nullptr) {
    const int n = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, flags, text.data(), n, nullptr, 0, defaultChar, nullptr);
    EXPECT_GT(needed, 0);
    if (needed <= 0)
        return "<failed length query>";
    std::string out(static_cast<size_t>(needed) + 4, '#');
    const int written = WideCharToMultiByte(CP_ACP, flags, text.data(), n, &out[0], needed,
                                            defaultChar, usedDefault);
    EXPECT_EQ(written, needed);
    EXPECT_EQ(out.substr(static_cast<size_t>(needed)), "####") << "written past the capacity";
    out.resize(static_cast<size_t>(needed));
    return out;
}

std::u16string Units(std::initializer_list<char16_t> units) {
    return std::u16string(units);
}

} // namespace

TEST(CodePage, EveryByteIsItsLatin1Character) {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    // A UTF-8 locale must change nothing.
    const char* locales[] = {"C", "C.UTF-8"};
    for (const char* locale : locales) {
        SCOPED_TRACE(locale);
        std::string saved = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, locale) == nullptr)
            continue;
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), 256, nullptr, 0), 256);
        std::u16string wide(260, u'#');
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), 256, &wide[0], 256), 256);
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(wide[static_cast<size_t>(b)], static_cast<char16_t>(b)) << "byte " << b;
        EXPECT_EQ(wide.substr(256), u"####");
        // And back, byte for byte.
        EXPECT_EQ(ToAnsi(wide.substr(0, 256), WC_COMPOSITECHECK), bytes);
        EXPECT_EQ(ToAnsi(wide.substr(0, 256), 0), bytes);
        std::setlocale(LC_ALL, saved.c_str());
    }
}

TEST(CodePage, MultiByteLengthsAndBuffers) {
    char16_t wide[8];
    // -1 counts the terminator and stops at the first zero byte.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab\0cd", -1, nullptr, 0), 3);
    std::fill(std::begin(wide), std::end(wide), u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab\0cd", -1, wide, 3), 3);
    EXPECT_EQ(std::u16string(wide, 4), std::u16string(u"ab\0#", 4));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "", -1, wide, 1), 1);
    EXPECT_EQ(wide[0], 0);
    // An explicit length includes zero bytes.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab\0cd", 5, wide, 5), 5);
    EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"ab\0cd", 5));
    // Too small: nothing counts as written.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 2), 0);

    struct Bad {
        const char* name;
        UINT codePage;
        DWORD flags;
        const char* source;
        int length;
        char16_t* dest;
        int capacity;
    };
    const Bad bad[] = {
        {"another code page", 65001, 0, "abc", 3, wide, 8},
        {"unknown flag", CP_ACP, 0x1, "abc", 3, wide, 8},
        {"null source", CP_ACP, 0, nullptr, 3, wide, 8},
        {"empty source", CP_ACP, 0, "abc", 0, wide, 8},
        {"length below -1", CP_ACP, 0, "abc", -2, wide, 8},
        {"negative capacity", CP_ACP, 0, "abc", 3, wide, -1},
        {"capacity without buffer", CP_ACP, 0, "abc", 3, nullptr, 8},
    };
    for (const Bad& c : bad) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.source, c.length, c.dest, c.capacity),
                  0);
    }
}

TEST(CodePage, WideToLatin1) {
    struct Case {
        const char* name;
        std::u16string wide;
        DWORD flags;
        std::string expected;
        bool usedDefault;
    };
    const char16_t high = 0xD800, low = 0xDC80;
    const Case cases[] = {
        {"ASCII", u"Sign 1.0\t\r\n\x7f", WC_COMPOSITECHECK, "Sign 1.0\t\r\n\x7f", false},
        {"C1 controls and Latin-1", u"\x80\x9f\u00a0\u00e9\u00ff", WC_COMPOSITECHECK,
         "\x80\x9f\xa0\xe9\xff", false},
        {"zero unit inside an explicit length", std::u16string(u"a\0b", 3), WC_COMPOSITECHECK,
         std::string("a\0b", 3), false},
        {"letter and acute compose", u"cafe\u0301", WC_COMPOSITECHECK, "caf\xe9", false},
        {"compositions side by side", u"Ae\u0301A\u030Ac\u0327z", WC_COMPOSITECHECK,
         "A\xe9\xc5\xe7z", false},
        {"without the flag the mark stays a mark", u"e\u0301", 0, "e?", true},
        {"no Latin-1 composition", u"q\u0301", WC_COMPOSITECHECK, "q?", true},
        {"composition only beyond Latin-1", u"e\u0304", WC_COMPOSITECHECK, "e?", true},
        {"mark with nothing before it", u"\u0301x", WC_COMPOSITECHECK, "?x", true},
        {"second mark stays", u"e\u0301\u0301", WC_COMPOSITECHECK, "\xe9?", true},
        {"mark after a precomposed letter", u"\u00e9\u0301", WC_COMPOSITECHECK, "\xe9?", true},
        {"mark after a letter beyond Latin-1", u"\u0101\u0301", WC_COMPOSITECHECK, "??", true},
        {"Latin Extended-A", u"\u0100\u0153", WC_COMPOSITECHECK, "??", true},
        {"euro, CJK, replacement character", u"\u20ac\u4e2d\ufffd", WC_COMPOSITECHECK, "???", true},
        {"surrogate pair gives one ? per half", u"a\U0001F600b", WC_COMPOSITECHECK, "a??b", true},
        {"lone high surrogate", Units({u'a', high, u'b'}), WC_COMPOSITECHECK, "a?b", true},
        {"lone low surrogate", Units({low, u'e'}), WC_COMPOSITECHECK, "?e", true},
        {"letter before a surrogate", Units({u'e', low}), WC_COMPOSITECHECK, "e?", true},
        {"pair in reverse order", Units({0xDE00, 0xD83D}), WC_COMPOSITECHECK, "??", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BOOL used = 7;
        EXPECT_EQ(ToAnsi(c.wide, c.flags, &used), c.expected);
        EXPECT_EQ(used, c.usedDefault ? 1 : 0);
    }
}

// Each of U+00C0..U+00FF, in its canonical decomposition where it has one,
// converts to its one ISO-8859-1 byte.  Rows generated once with python3:
//   unicodedata.decomposition(chr(c)) for c in range(0xC0, 0x100)
// The rows with one unit are the characters without a decomposition.
TEST(CodePage, CanonicalDecompositionsOfLatin1Compose) {
    struct Row {
        const char* name;
        const char16_t* decomposed;
        unsigned char byte;
    };
    const Row rows[] = {
        {"latin capital letter a with grave", u"A\u0300", 0xC0},
        {"latin capital letter a with acute", u"A\u0301", 0xC1},
        {"latin capital letter a with circumflex", u"A\u0302", 0xC2},
        {"latin capital letter a with tilde", u"A\u0303", 0xC3},
        {"latin capital letter a with diaeresis", u"A\u0308", 0xC4},
        {"latin capital letter a with ring above", u"A\u030A", 0xC5},
        {"latin capital letter ae", u"\u00C6", 0xC6},
        {"latin capital letter c with cedilla", u"C\u0327", 0xC7},
        {"latin capital letter e with grave", u"E\u0300", 0xC8},
        {"latin capital letter e with acute", u"E\u0301", 0xC9},
        {"latin capital letter e with circumflex", u"E\u0302", 0xCA},
        {"latin capital letter e with diaeresis", u"E\u0308", 0xCB},
        {"latin capital letter i with grave", u"I\u0300", 0xCC},
        {"latin capital letter i with acute", u"I\u0301", 0xCD},
        {"latin capital letter i with circumflex", u"I\u0302", 0xCE},
        {"latin capital letter i with diaeresis", u"I\u0308", 0xCF},
        {"latin capital letter eth", u"\u00D0", 0xD0},
        {"latin capital letter n with tilde", u"N\u0303", 0xD1},
        {"latin capital letter o with grave", u"O\u0300", 0xD2},
        {"latin capital letter o with acute", u"O\u0301", 0xD3},
        {"latin capital letter o with circumflex", u"O\u0302", 0xD4},
        {"latin capital letter o with tilde", u"O\u0303", 0xD5},
        {"latin capital letter o with diaeresis", u"O\u0308", 0xD6},
        {"multiplication sign", u"\u00D7", 0xD7},
        {"latin capital letter o with stroke", u"\u00D8", 0xD8},
        {"latin capital letter u with grave", u"U\u0300", 0xD9},
        {"latin capital letter u with acute", u"U\u0301", 0xDA},
        {"latin capital letter u with circumflex", u"U\u0302", 0xDB},
        {"latin capital letter u with diaeresis", u"U\u0308", 0xDC},
        {"latin capital letter y with acute", u"Y\u0301", 0xDD},
        {"latin capital letter thorn", u"\u00DE", 0xDE},
        {"latin small letter sharp s", u"\u00DF", 0xDF},
        {"latin small letter a with grave", u"a\u0300", 0xE0},
        {"latin small letter a with acute", u"a\u0301", 0xE1},
        {"latin small letter a with circumflex", u"a\u0302", 0xE2},
        {"latin small letter a with tilde", u"a\u0303", 0xE3},
        {"latin small letter a with diaeresis", u"a\u0308", 0xE4},
        {"latin small letter a with ring above", u"a\u030A", 0xE5},
        {"latin small letter ae", u"\u00E6", 0xE6},
        {"latin small letter c with cedilla", u"c\u0327", 0xE7},
        {"latin small letter e with grave", u"e\u0300", 0xE8},
        {"latin small letter e with acute", u"e\u0301", 0xE9},
        {"latin small letter e with circumflex", u"e\u0302", 0xEA},
        {"latin small letter e with diaeresis", u"e\u0308", 0xEB},
        {"latin small letter i with grave", u"i\u0300", 0xEC},
        {"latin small letter i with acute", u"i\u0301", 0xED},
        {"latin small letter i with circumflex", u"i\u0302", 0xEE},
        {"latin small letter i with diaeresis", u"i\u0308", 0xEF},
        {"latin small letter eth", u"\u00F0", 0xF0},
        {"latin small letter n with tilde", u"n\u0303", 0xF1},
        {"latin small letter o with grave", u"o\u0300", 0xF2},
        {"latin small letter o with acute", u"o\u0301", 0xF3},
        {"latin small letter o with circumflex", u"o\u0302", 0xF4},
        {"latin small letter o with tilde", u"o\u0303", 0xF5},
        {"latin small letter o with diaeresis", u"o\u0308", 0xF6},
        {"division sign", u"\u00F7", 0xF7},
        {"latin small letter o with stroke", u"\u00F8", 0xF8},
        {"latin small letter u with grave", u"u\u0300", 0xF9},
        {"latin small letter u with acute", u"u\u0301", 0xFA},
        {"latin small letter u with circumflex", u"u\u0302", 0xFB},
        {"latin small letter u with diaeresis", u"u\u0308", 0xFC},
        {"latin small letter y with acute", u"y\u0301", 0xFD},
        {"latin small letter thorn", u"\u00FE", 0xFE},
        {"latin small letter y with diaeresis", u"y\u0308", 0xFF},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::u16string decomposed = r.decomposed;
        const std::string byte(1, static_cast<char>(r.byte));
        EXPECT_EQ(ToAnsi(decomposed, WC_COMPOSITECHECK), byte);
        // Amid other text, and as the precomposed character itself.
        EXPECT_EQ(ToAnsi(u"<" + decomposed + u">", WC_COMPOSITECHECK), "<" + byte + ">");
        EXPECT_EQ(ToAnsi(std::u16string(1, static_cast<char16_t>(r.byte)), WC_COMPOSITECHECK),
                  byte);
        // Without WC_COMPOSITECHECK the letter stays and the mark is lost.
        if (decomposed.size() == 2) {
            EXPECT_EQ(ToAnsi(decomposed, 0),
                      std::string(1, static_cast<char>(decomposed[0])) + "?");
        }
        char16_t back = 0;
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, byte.data(), 1, &back, 1), 1);
        EXPECT_EQ(back, static_cast<char16_t>(r.byte));
    }
}

TEST(CodePage, WideLengthsAndBuffers) {
    char out[8];
    // -1 counts the terminator: e + acute, x, terminator.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"e\u0301x", -1, nullptr, 0, nullptr,
                                  nullptr),
              3);
    std::fill(std::begin(out), std::end(out), '#');
    EXPECT_EQ(
        WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"e\u0301x", -1, out, 3, nullptr, nullptr),
        3);
    EXPECT_EQ(std::string(out, 4), std::string("\xe9x\0#", 4));
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"", -1, out, 1, nullptr, nullptr), 1);
    EXPECT_EQ(out[0], '\0');
    // The text ends at the first zero unit.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab\0cd", -1, nullptr, 0, nullptr, nullptr), 3);
    // Composition never looks past the length given.
    std::fill(std::begin(out), std::end(out), '#');
    EXPECT_EQ(
        WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"e\u0301", 1, out, 8, nullptr, nullptr), 1);
    EXPECT_EQ(out[0], 'e');
    // Every capacity short of the need fails.
    for (int cap = 1; cap < 3; ++cap) {
        SCOPED_TRACE(cap);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"e\u0301x", -1, out, cap, nullptr,
                                      nullptr),
                  0);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"\u20acyz", 3, out, cap, nullptr,
                                      nullptr),
                  0);
    }
    // The caller's default character replaces "?".
    BOOL used = 0;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u20ac", 2, out, 8, "*", &used), 2);
    EXPECT_EQ(std::string(out, 2), "a*");
    EXPECT_EQ(used, 1);

    struct Bad {
        const char* name;
        UINT codePage;
        DWORD flags;
        const char16_t* source;
        int length;
        char* dest;
        int capacity;
    };
    const Bad bad[] = {
        {"another code page", 65001, 0, u"abc", 3, out, 8},
        {"unknown flag", CP_ACP, 0x400, u"abc", 3, out, 8},
        {"null source", CP_ACP, 0, nullptr, 3, out, 8},
        {"empty source", CP_ACP, 0, u"abc", 0, out, 8},
        {"length below -1", CP_ACP, 0, u"abc", -2, out, 8},
        {"negative capacity", CP_ACP, 0, u"abc", 3, out, -1},
        {"capacity without buffer", CP_ACP, 0, u"abc", 3, nullptr, 8},
    };
    for (const Bad& c : bad) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WideCharToMultiByte(c.codePage, c.flags, c.source, c.length, c.dest, c.capacity,
                                      nullptr, nullptr),
                  0);
    }
}
