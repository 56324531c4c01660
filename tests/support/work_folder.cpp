#include "support/work_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

WorkFolder::WorkFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/signctl-test-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    // Folders a test made unreadable must be opened up to be removed.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("can't write " + path);
}

std::string ReadBytes(const std::string& path, bool* exists) {
    struct stat st;
    bool regular = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (exists != nullptr)
        *exists = regular;
    if (!regular)
        return std::string();
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name[0] != '.' || name.rfind(".signctl-", 0) == 0)
                names.insert(name);
        }
        closedir(dir);
    }
    return names;
}
