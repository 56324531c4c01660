// The signature file: written whole in the current folder, read back as a
// narrow text up to its first zero byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "data/data_error.h"
#include "data/signature_file.h"
#include "support/expected.h"
#include "support/work_folder.h"

namespace {

// Runs each test in a fresh folder of its own as the current folder.
class SignatureFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        ASSERT_EQ(chdir(work_.path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(saved_), 0); }

    // The names in the current folder.
    static std::set<std::string> Listing() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            names.insert(entry.path().filename().string());
        return names;
    }

    // Reads the file named name; *text is set to a marker first, so a
    // failure that leaves it as it was shows.
    static int Read(const OLECHAR* name, std::u16string* content) {
        static OLECHAR marker[] = u"marker";
        OLECHAR* text = marker;
        const int result = ReadFileAsWide(name, &text);
        if (result != 0) {
            EXPECT_EQ(text, nullptr) << "failure left *text set";
            return result;
        }
        EXPECT_NE(text, nullptr);
        if (text != nullptr && text != marker) {
            *content = text;
            std::free(text);
        }
        return result;
    }

  private:
    WorkFolder work_;
    char saved_[PATH_MAX];
};

} // namespace

TEST_F(SignatureFile, WritesTheNarrowFormExactly) {
    const std::string allBytes = EveryByteButZero();
    const std::u16string allUnits = Latin1(allBytes);
    struct Case {
        const char* name;
        std::u16string signature;
        std::string bytes;
    };
    const Case cases[] = {
        {"ASCII, no terminator or line end added", u"MIIB sig==", "MIIB sig=="},
        {"line ends kept as they are", u"a\nb\r\n", "a\nb\r\n"},
        {"precomposed", u"cafe\u0301", "caf\xE9"},
        {"beyond Latin-1", u"\u20AC\U0001F600", "???"},
        {"every byte but zero", allUnits, allBytes},
        {"empty signature leaves an empty file", u"", ""},
    };
    const mode_t mask = umask(0);
    umask(mask);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(WriteSignatureFile(c.signature.c_str()), 0);
        bool exists = false;
        EXPECT_EQ(ReadBytes(SIGNATURE_FILE_NAME, &exists), c.bytes);
        EXPECT_TRUE(exists);
        // No temporary file is left, and the file has a new file's mode.
        EXPECT_EQ(Listing(), std::set<std::string>{SIGNATURE_FILE_NAME});
        struct stat st;
        ASSERT_EQ(stat(SIGNATURE_FILE_NAME, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    }
}

TEST_F(SignatureFile, ReplacesALongerFile) {
    WriteBytes(SIGNATURE_FILE_NAME, std::string(5000, 'x'));
    ASSERT_EQ(WriteSignatureFile(u"short"), 0);
    EXPECT_EQ(ReadBytes(SIGNATURE_FILE_NAME), "short");
    ASSERT_EQ(WriteSignatureFile(u""), 0);
    EXPECT_EQ(ReadBytes(SIGNATURE_FILE_NAME), "");
    EXPECT_EQ(Listing(), std::set<std::string>{SIGNATURE_FILE_NAME});
}

TEST_F(SignatureFile, DirectoryInTheWayFailsAndLeavesNothing) {
    ASSERT_EQ(mkdir(SIGNATURE_FILE_NAME, 0700), 0);
    const int result = WriteSignatureFile(u"signature");
    EXPECT_NE(result, 0);
    EXPECT_TRUE(result == EISDIR || result == ENOTEMPTY || result == EEXIST) << result;
    EXPECT_EQ(Listing(), std::set<std::string>{SIGNATURE_FILE_NAME});
    EXPECT_TRUE(std::filesystem::is_directory(SIGNATURE_FILE_NAME));
    EXPECT_TRUE(std::filesystem::is_empty(SIGNATURE_FILE_NAME));
}

// The current folder no longer exists: nothing can be created in it, even by
// root.
TEST_F(SignatureFile, RemovedFolderFails) {
    ASSERT_EQ(mkdir("gone", 0700), 0);
    ASSERT_EQ(chdir("gone"), 0);
    ASSERT_EQ(rmdir("../gone"), 0);
    EXPECT_EQ(WriteSignatureFile(u"signature"), ENOENT);
    ASSERT_EQ(chdir(".."), 0);
    EXPECT_TRUE(Listing().empty());
}

TEST_F(SignatureFile, ReadOnlyFolderFailsAndKeepsTheOldFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    WriteBytes(SIGNATURE_FILE_NAME, "old");
    ASSERT_EQ(chmod(".", 0500), 0);
    EXPECT_EQ(WriteSignatureFile(u"new"), EACCES);
    ASSERT_EQ(chmod(".", 0700), 0);
    EXPECT_EQ(ReadBytes(SIGNATURE_FILE_NAME), "old");
    EXPECT_EQ(Listing(), std::set<std::string>{SIGNATURE_FILE_NAME});
}

TEST_F(SignatureFile, ReadsBytesUpToTheFirstZero) {
    const std::string allBytes = EveryByteButZero();
    const std::u16string allUnits = Latin1(allBytes);
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"empty file", "", u""},
        {"ASCII", "MIIB sig==", u"MIIB sig=="},
        {"zero byte cuts the text", std::string("ab\0cd", 5), u"ab"},
        {"zero byte first", std::string("\0cd", 3), u""},
        {"BOM and CRLF stay bytes", "\xEF\xBB\xBFsig\r\n", u"\u00EF\u00BB\u00BFsig\r\n"},
        {"every byte but zero", allBytes, allUnits},
        {"larger than a stream buffer", std::string(70000, 'z') + "!",
         std::u16string(70000, u'z') + u"!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes("signature.txt", c.bytes);
        std::u16string text = u"unset";
        ASSERT_EQ(Read(u"signature.txt", &text), 0);
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(SignatureFile, WrittenFileReadsBack) {
    ASSERT_EQ(WriteSignatureFile(u"sig \u00E9e\u0301 \u20AC"), 0);
    std::u16string text;
    ASSERT_EQ(Read(SIGNATURE_FILE_WIDE_NAME, &text), 0);
    EXPECT_EQ(text, u"sig \u00E9\u00E9 ?");
}

TEST_F(SignatureFile, ReadFailures) {
    ASSERT_EQ(mkdir("folder", 0700), 0);
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    // Held open for writing here, so that an open that waits for a writer
    // (see the file name tests) can't hang this test.
    const int fifoWriter = open("fifo", O_RDWR);
    ASSERT_GE(fifoWriter, 0);
    struct Case {
        const char* name;
        const OLECHAR* file;
        int error;
    };
    const Case cases[] = {
        {"missing file", u"missing", ENOENT},
        {"directory", u"folder", EISDIR},
        {"FIFO", u"fifo", SIGNCTL_ENOTREG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string text;
        EXPECT_EQ(Read(c.file, &text), c.error);
    }
    close(fifoWriter);
}

// Sizes are sparse: the files take no disk.  A file of 2 GiB - 1 bytes is the
// largest that reads, but would need 2 GiB of memory, so it isn't tried.
TEST_F(SignatureFile, FilesOf2GiBOrMoreAreTooLarge) {
    const off_t sizes[] = {off_t(1) << 31, (off_t(1) << 32) + 1};
    for (off_t size : sizes) {
        SCOPED_TRACE(size);
        int fd = open("large", O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
        std::u16string text;
        EXPECT_EQ(Read(u"large", &text), DATA_E_TOO_LARGE);
    }
}
