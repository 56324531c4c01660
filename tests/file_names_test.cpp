// File names on POSIX: bytes to UTF-16 and back without loss, and opening
// files by those names.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "support/work_folder.h"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Wide = std::unique_ptr<char16_t, FreeDeleter>;
using Narrow = std::unique_ptr<char, FreeDeleter>;

std::u16string ToUtf16(const std::string& bytes) {
    Wide wide(Utf16FromBytes(bytes.c_str()));
    EXPECT_NE(wide, nullptr);
    return wide ? std::u16string(wide.get()) : u"<null>";
}

std::string ToBytes(const std::u16string& wide) {
    Narrow bytes(BytesFromUtf16(wide.c_str()));
    EXPECT_NE(bytes, nullptr) << "errno " << errno;
    return bytes ? std::string(bytes.get()) : "<null>";
}

std::u16string Units(std::initializer_list<char16_t> units) {
    return std::u16string(units);
}

// Reads what stream holds and closes it.
std::string ReadAndClose(FILE* stream) {
    std::string content;
    char piece[256];
    size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, stream)) > 0)
        content.append(piece, got);
    std::fclose(stream);
    return content;
}

} // namespace

TEST(FileNames, EverySingleByteRoundTrips) {
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        const std::string name(1, static_cast<char>(b));
        // A byte on its own is UTF-8 only when it is ASCII.
        const char16_t expected = static_cast<char16_t>(b < 0x80 ? b : 0xDC00 + b);
        EXPECT_EQ(ToUtf16(name), std::u16string(1, expected));
        EXPECT_EQ(ToBytes(std::u16string(1, expected)), name);
    }
}

TEST(FileNames, MixedNamesRoundTrip) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string wide;
    };
    const Case cases[] = {
        {"empty", "", u""},
        {"ASCII", "data-1.bin", u"data-1.bin"},
        {"two-byte UTF-8", "caf\xC3\xA9", u"caf\u00E9"},
        {"three-byte UTF-8", "\xE2\x82\xAC\xE4\xB8\xAD", u"\u20AC\u4E2D"},
        {"last BMP character", "\xEF\xBF\xBF", u"\uFFFF"},
        {"four-byte UTF-8 is a surrogate pair", "a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
        {"first beyond the BMP", "\xF0\x90\x80\x80", u"\U00010000"},
        {"last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"Latin-1 byte", "caf\xE9", Units({u'c', u'a', u'f', 0xDCE9})},
        {"lone continuation byte",
         "\x80"
         "a",
         Units({0xDC80, u'a'})},
        {"bytes that never start UTF-8", "\xC0\xC1\xF5\xFF",
         Units({0xDCC0, 0xDCC1, 0xDCF5, 0xDCFF})},
        {"overlong slash, two bytes", "\xC0\xAF", Units({0xDCC0, 0xDCAF})},
        {"overlong slash, three bytes", "\xE0\x80\xAF", Units({0xDCE0, 0xDC80, 0xDCAF})},
        {"overlong slash, four bytes", "\xF0\x80\x80\xAF", Units({0xDCF0, 0xDC80, 0xDC80, 0xDCAF})},
        {"encoded high surrogate", "\xED\xA0\x80", Units({0xDCED, 0xDCA0, 0xDC80})},
        {"encoded low surrogate U+DC80", "\xED\xB2\x80", Units({0xDCED, 0xDCB2, 0xDC80})},
        {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80",
         Units({0xDCED, 0xDCA0, 0xDCBD, 0xDCED, 0xDCB8, 0xDC80})},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", Units({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
        {"truncated at the end", "a\xE2\x82", Units({u'a', 0xDCE2, 0xDC82})},
        {"truncated four-byte at the end", "\xF0\x9F\x98", Units({0xDCF0, 0xDC9F, 0xDC98})},
        {"truncated before ASCII",
         "\xE2\x82"
         "b",
         Units({0xDCE2, 0xDC82, u'b'})},
        {"truncated before a valid character", "\xE2\xC3\xA9", Units({0xDCE2, 0x00E9})},
        {"valid, invalid and a pair together", "\xC3\xA9\xFF\xF0\x9F\x98\x80\xE9",
         Units({0x00E9, 0xDCFF, 0xD83D, 0xDE00, 0xDCE9})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ToUtf16(c.bytes), c.wide);
        EXPECT_EQ(ToBytes(c.wide), c.bytes);
    }
}

TEST(FileNames, SurrogatesNoByteGivesAreRefused) {
    struct Case {
        const char* name;
        std::u16string wide;
    };
    const Case cases[] = {
        {"lone high surrogate", Units({0xD800})},
        {"high surrogate at the end", Units({u'a', 0xDBFF})},
        {"high surrogate before a letter", Units({0xD83D, u'a'})},
        {"two high surrogates", Units({0xD83D, 0xD83D})},
        {"low surrogate for a zero byte", Units({0xDC00})},
        {"low surrogate below DC80", Units({u'a', 0xDC7F})},
        {"low surrogate above DCFF", Units({0xDD00})},
        {"last low surrogate", Units({0xDFFF})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        errno = 0;
        Narrow bytes(BytesFromUtf16(c.wide.c_str()));
        EXPECT_EQ(bytes, nullptr);
        EXPECT_EQ(errno, EILSEQ);
        // _wfopen passes the refusal on.
        errno = 0;
        EXPECT_EQ(_wfopen(c.wide.c_str(), u"rb"), nullptr);
        EXPECT_EQ(errno, EILSEQ);
    }
}

TEST(FileNames, OpensFilesByAnyName) {
    WorkFolder work;
    const char* names[] = {
        "plain.txt",   "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80.txt",
        "caf\xE9.txt", "\xED\xA0\x80\xC0\xAF\xFF",
        "\xE2\x82",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string path = work / name;
        const std::string content = std::string("content of ") + name;
        WriteBytes(path, content);
        const std::u16string wide = ToUtf16(path);
        FILE* in = _wfopen(wide.c_str(), u"rb");
        ASSERT_NE(in, nullptr) << std::strerror(errno);
        EXPECT_EQ(ReadAndClose(in), content);

        // Writing by the same name reaches the same file.
        FILE* out = _wfopen(wide.c_str(), u"wb");
        ASSERT_NE(out, nullptr) << std::strerror(errno);
        EXPECT_EQ(std::fputs("new", out), 1);
        EXPECT_EQ(std::fclose(out), 0);
        EXPECT_EQ(ReadBytes(path), "new");
    }
}

TEST(FileNames, ReadingOnlyOpensRegularFiles) {
    WorkFolder work;
    ASSERT_EQ(mkdir((work / "folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        int error;
    };
    const Case cases[] = {
        {"missing file", work / "missing", ENOENT},
        {"directory", work / "folder", EISDIR},
        {"FIFO without a writer", work / "fifo", SIGNCTL_ENOTREG},
        {"character device", "/dev/null", SIGNCTL_ENOTREG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string wide = ToUtf16(c.path);
        // The open runs aside, so that one that blocks fails the test
        // instead of hanging it.
        auto open = std::async(std::launch::async, [&wide] {
            errno = 0;
            FILE* stream = _wfopen(wide.c_str(), u"rb");
            return std::make_pair(stream, errno);
        });
        if (open.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let the blocked open go by becoming its writer.
            int writer = ::open(c.path.c_str(), O_WRONLY | O_NONBLOCK);
            open.wait();
            if (writer >= 0)
                close(writer);
            ADD_FAILURE() << "the open blocked";
        }
        const auto result = open.get();
        EXPECT_EQ(result.first, nullptr);
        EXPECT_EQ(result.second, c.error);
        if (result.first != nullptr)
            std::fclose(result.first);
    }
}
