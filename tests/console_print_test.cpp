// The console stream on POSIX and the program's prints, with standard output
// sent to a file for the length of each call.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "data/data_error.h"
#include "driver/console_print.h"

namespace {

// Sends standard output to a file until Take() returns what was written
// there (or the capture ends).
class StdoutCapture {
  public:
    // Into target when given (it is opened for writing), else a new file.
    explicit StdoutCapture(const char* target = nullptr) {
        std::fflush(stdout);
        file_ = target != nullptr ? std::fopen(target, "w") : std::tmpfile();
        saved_ = dup(STDOUT_FILENO);
        if (file_ != nullptr && saved_ >= 0)
            active_ = dup2(fileno(file_), STDOUT_FILENO) >= 0;
    }
    ~StdoutCapture() {
        Restore();
        if (file_ != nullptr)
            std::fclose(file_);
    }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    bool active() const { return active_; }

    std::string Take() {
        Restore();
        std::string bytes;
        std::rewind(file_);
        char piece[512];
        size_t got;
        while ((got = std::fread(piece, 1, sizeof piece, file_)) > 0)
            bytes.append(piece, got);
        return bytes;
    }

  private:
    void Restore() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
            saved_ = -1;
        }
        active_ = false;
    }

    FILE* file_ = nullptr;
    int saved_ = -1;
    bool active_ = false;
};

} // namespace

TEST(ConsolePrint, ConsoleWriteTurnsLineFeedsIntoCrLf) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"nothing", "", ""},
        {"no line feed", "abc", "abc"},
        {"line feed alone", "\n", "\r\n"},
        {"line feeds in a row", "a\n\nb\n", "a\r\n\r\nb\r\n"},
        {"carriage return is not doubled up", "x\r\n", "x\r\r\n"},
        {"zero bytes and high bytes pass", std::string("a\0\xE9\n", 4),
         std::string("a\0\xE9\r\n", 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        ASSERT_TRUE(capture.active());
        const int status = ConsoleWrite(c.bytes.data(), c.bytes.size());
        const std::string out = capture.Take();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(ConsolePrint, PrintWideMapsUnitsToBytes) {
    struct Case {
        const char* name;
        const OLECHAR* format;
        const OLECHAR* text;
        std::string expected;
    };
    const Case cases[] = {
        {"name in the line", u"Data file %s: ", u"caf\u00E9.bin", "Data file caf\xE9.bin: "},
        {"units beyond U+00FF", u"%s", u"\u20AC\U0001F600e\u0301", "???e?"},
        {"percent sign doubled", u"100%% %s", u"x", "100% x"},
        {"null text without %s", u"plain\n", nullptr, "plain\r\n"},
        {"%s twice", u"%s and %s", u"x", "x and x"},
        {"other conversions stay", u"%d%", u"x", "%d%"},
        {"empty text", u"[%s]", u"", "[]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        ASSERT_TRUE(capture.active());
        const int status = PrintWide(c.format, c.text);
        const std::string out = capture.Take();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(ConsolePrint, PrintNarrowAndFileError) {
    // Longer than PrintNarrow's own buffer, with GBK bytes that stay as they are.
    const std::string gbk = "\xC7\xA9\xC3\xFB";
    const std::string longText(300, 'a');
    StdoutCapture capture;
    ASSERT_TRUE(capture.active());
    const int status = PrintNarrow("%s %s %d\n", gbk.c_str(), longText.c_str(), 42);
    PrintFileError(u"Can't read %s: ", u"d\u00E9.bin", ENOENT);
    PrintFileError(u"Can't read %s: ", u"fifo", SIGNCTL_ENOTREG);
    const std::string out = capture.Take();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, gbk + " " + longText + " 42\r\n" + "Can't read d\xE9.bin: " +
                       DataErrorText(ENOENT) + "\r\n" + "Can't read fifo: not a regular file\r\n");
}

TEST(ConsolePrint, StreamErrorsAreReported) {
    // More than the stream buffers, so that the write reaches the full device.
    const std::string big(4 * BUFSIZ, 'x');
    int writeStatus, narrowStatus, wideStatus;
    {
        StdoutCapture capture("/dev/full");
        ASSERT_TRUE(capture.active());
        writeStatus = ConsoleWrite(big.data(), big.size());
        std::clearerr(stdout);
        narrowStatus = PrintNarrow("%s\n", big.c_str());
        std::clearerr(stdout);
        const std::u16string wide(big.begin(), big.end());
        wideStatus = PrintWide(u"%s", wide.c_str());
    }
    std::clearerr(stdout);
    EXPECT_EQ(writeStatus, -1);
    EXPECT_EQ(narrowStatus, -1);
    EXPECT_EQ(wideStatus, -1);
}
