// The SHA-1 digest of a data file, read in pieces of DIGEST_READ_SIZE bytes.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/file_digest.h"
#include "data/text_convert.h"
#include "platform/platform.h"
#include "support/work_folder.h"

namespace {

// Inputs whose SHA-1 has its first zero byte at position 0 and at position 3,
// found by trying the decimal strings "0", "1", ... in turn:
//   SHA-1("127") = 008451a05e1e7aa32c75119df950d405265e0904
//   SHA-1("438") = 06cb3f00aa09252fffcbe8ea8d165a338f803a7e
const char kZeroAtByte0[] = "127";
const char kZeroAtByte3[] = "438";

const unsigned char kUntouched = 0xA5;

std::u16string WideName(const std::string& path) {
    char16_t* wide = Utf16FromBytes(path.c_str());
    std::u16string name = wide != nullptr ? wide : u"";
    std::free(wide);
    return name;
}

std::string Hex(const unsigned char* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < n; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0xF];
    }
    return hex;
}

std::string OneShotSha1(const std::string& data) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    return Hex(digest, sizeof digest);
}

// Digests the file at path into a DIGEST_BUFFER_SIZE buffer filled with
// kUntouched; returns the result code and the buffer.
int Digest(const std::string& path, std::vector<unsigned char>* buffer) {
    buffer->assign(DIGEST_BUFFER_SIZE, kUntouched);
    return DigestFile(WideName(path).c_str(), buffer->data());
}

} // namespace

TEST(FileDigest, KnownVectorsAndPieceBoundaries) {
    WorkFolder work;
    auto bytes = [](size_t n) {
        std::string data(n, '\0');
        // Not periodic in the piece size, and with zero bytes in it.
        for (size_t i = 0; i < n; ++i)
            data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        return data;
    };
    struct Case {
        const char* name;
        std::string data;
        const char* expected; // null: the one-shot digest of data
    };
    const Case cases[] = {
        {"empty file", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"448-bit message", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"one byte short of a piece", bytes(DIGEST_READ_SIZE - 1), nullptr},
        {"exactly one piece", bytes(DIGEST_READ_SIZE), nullptr},
        {"one byte over a piece", bytes(DIGEST_READ_SIZE + 1), nullptr},
        {"three pieces and seven bytes", bytes(3 * DIGEST_READ_SIZE + 7), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = work / "data file.bin";
        WriteBytes(path, c.data);
        std::vector<unsigned char> buffer;
        ASSERT_EQ(Digest(path, &buffer), 0);
        const std::string expected = c.expected != nullptr ? c.expected : OneShotSha1(c.data);
        EXPECT_EQ(Hex(buffer.data(), SHA_DIGEST_LENGTH), expected);
        // Nothing after the 20 digest bytes is written.
        EXPECT_EQ(std::vector<unsigned char>(buffer.begin() + SHA_DIGEST_LENGTH, buffer.end()),
                  std::vector<unsigned char>(DIGEST_BUFFER_SIZE - SHA_DIGEST_LENGTH, kUntouched));
    }
}

TEST(FileDigest, FailuresLeaveTheBufferUntouched) {
    WorkFolder work;
    ASSERT_EQ(mkdir((work / "folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0600), 0);
    // Held open for writing here, so that an open that waits for a writer
    // (see the file name tests) can't hang this test.
    const int fifoWriter = open((work / "fifo").c_str(), O_RDWR);
    ASSERT_GE(fifoWriter, 0);
    struct Case {
        const char* name;
        std::string path;
        int error;
    };
    const Case cases[] = {
        {"missing file", work / "missing", ENOENT},
        {"directory", work / "folder", EISDIR},
        {"FIFO", work / "fifo", SIGNCTL_ENOTREG},
        // A regular file whose first read fails: address 0 isn't mapped.
        {"read error", "/proc/self/mem", EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> buffer;
        EXPECT_EQ(Digest(c.path, &buffer), c.error);
        EXPECT_EQ(buffer, std::vector<unsigned char>(DIGEST_BUFFER_SIZE, kUntouched));
    }
    std::vector<unsigned char> buffer(DIGEST_BUFFER_SIZE, kUntouched);
    EXPECT_EQ(DigestFile(nullptr, buffer.data()), EINVAL);
    EXPECT_EQ(buffer, std::vector<unsigned char>(DIGEST_BUFFER_SIZE, kUntouched));
    EXPECT_EQ(DigestFile(u"x", nullptr), EINVAL);
    close(fifoWriter);
}

// The digest text is the zeroed buffer read as a narrow text, so it ends at
// the digest's first zero byte.
TEST(FileDigest, DigestTextEndsAtTheFirstZeroByte) {
    WorkFolder work;
    struct Case {
        const char* name;
        const char* data;
        size_t units;
    };
    const Case cases[] = {
        {"zero first", kZeroAtByte0, 0},
        {"zero at byte 3", kZeroAtByte3, 3},
        {"abc: no zero byte", "abc", SHA_DIGEST_LENGTH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = work / "data";
        WriteBytes(path, c.data);
        unsigned char buffer[DIGEST_BUFFER_SIZE];
        std::memset(buffer, 0, sizeof buffer);
        ASSERT_EQ(DigestFile(WideName(path).c_str(), buffer), 0);
        ASSERT_EQ(Hex(buffer, SHA_DIGEST_LENGTH), OneShotSha1(c.data));
        OLECHAR* text = AnsiToWide(reinterpret_cast<const char*>(buffer));
        ASSERT_NE(text, nullptr);
        const std::u16string digestText(text);
        std::free(text);
        ASSERT_EQ(digestText.size(), c.units);
        for (size_t i = 0; i < c.units; ++i)
            EXPECT_EQ(digestText[i], buffer[i]) << "unit " << i;
    }
}
