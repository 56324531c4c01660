// Narrow text in the system code page and UTF-16: AnsiToWide and WideToAnsi.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "data/text_convert.h"
#include "support/expected.h"

namespace {

// The converted text, or "<null>"; the result is freed.
std::u16string Widened(const char* text) {
    OLECHAR* wide = AnsiToWide(text);
    if (wide == nullptr)
        return u"<null>";
    std::u16string result(wide);
    std::free(wide);
    return result;
}

std::string Narrowed(const OLECHAR* text) {
    char* narrow = WideToAnsi(text);
    if (narrow == nullptr)
        return "<null>";
    std::string result(narrow);
    std::free(narrow);
    return result;
}

std::u16string Units(std::initializer_list<char16_t> units) {
    return std::u16string(units);
}

} // namespace

TEST(TextConvert, AnsiToWide) {
    const std::string allBytes = EveryByteButZero();
    const std::u16string allUnits = Latin1(allBytes);
    struct Case {
        const char* name;
        std::string narrow; // passed as a zero-terminated text
        std::u16string wide;
    };
    const Case cases[] = {
        {"empty", "", u""},
        {"ASCII", "Sign 1.0", u"Sign 1.0"},
        {"Latin-1 bytes", "caf\xE9 \x80\xFF", u"caf\u00E9 \u0080\u00FF"},
        {"first zero byte ends the text", std::string("ab\0cd", 5), u"ab"},
        {"zero byte first", std::string("\0cd", 3), u""},
        {"every byte but zero", allBytes, allUnits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The result's length is taken up to its terminator.
        EXPECT_EQ(Widened(c.narrow.c_str()), c.wide);
    }
}

TEST(TextConvert, WideToAnsi) {
    std::u16string longText;
    std::string longNarrow;
    // Long enough that a result sized by anything but the conversion shows.
    for (int i = 0; i < 5000; ++i) {
        longText += u"e\u0301\u20AC\U0001F600x";
        longNarrow += "\xE9???x";
    }
    struct Case {
        const char* name;
        std::u16string wide; // passed as a zero-terminated text
        std::string narrow;
    };
    const Case cases[] = {
        {"empty", u"", ""},
        {"ASCII", u"Sign 1.0\r\n", "Sign 1.0\r\n"},
        {"Latin-1", u"caf\u00E9 \u0080\u00FF", "caf\xE9 \x80\xFF"},
        {"precomposition", u"cafe\u0301 A\u030A", "caf\xE9 \xC5"},
        {"mark with no Latin-1 composition", u"q\u0301", "q?"},
        {"beyond U+00FF", u"\u0100\u20AC\u4E2D\uFFFD", "????"},
        {"surrogate pair", u"\U0001F600", "??"},
        {"lone surrogates", Units({0xD800, u'a', 0xDC80}), "?a?"},
        {"first zero unit ends the text", std::u16string(u"ab\0cd", 5), "ab"},
        {"long mixed text", longText, longNarrow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char* narrow = WideToAnsi(c.wide.c_str());
        ASSERT_NE(narrow, nullptr);
        // strlen finds the terminator inside the allocation (the sanitizer
        // build checks that it is inside).
        EXPECT_EQ(std::string(narrow, std::strlen(narrow)), c.narrow);
        std::free(narrow);
    }
}

TEST(TextConvert, EveryByteRoundTrips) {
    const std::string allBytes = EveryByteButZero();
    // No byte widens to a combining mark, so nothing composes on the way back.
    OLECHAR* wide = AnsiToWide(allBytes.c_str());
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(Narrowed(wide), allBytes);
    std::free(wide);
    EXPECT_EQ(Widened(Narrowed(u"ASCII only, 0-9 ~").c_str()), u"ASCII only, 0-9 ~");
}

// One code unit per byte and the terminator: more would double the memory a
// large signature file takes, and put texts of 1 GiB or more out of reach
// although the file itself can be read.
TEST(TextConvert, AnsiToWideAllocatesWhatTheTextNeeds) {
    const size_t n = size_t(1) << 20;
    const std::string narrow(n, 'a');
    OLECHAR* wide = AnsiToWide(narrow.c_str());
    ASSERT_NE(wide, nullptr);
    const size_t needed = (n + 1) * sizeof(OLECHAR);
    const size_t allocated = malloc_usable_size(wide);
    std::free(wide);
    EXPECT_GE(allocated, needed);
    // Room for the allocator's rounding, far short of twice the need.
    EXPECT_LT(allocated, needed + 64 * 1024);
}
