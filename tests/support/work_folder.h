// A fresh temporary folder for one test, removed with everything in it.
#ifndef SIGNCTL_TESTS_SUPPORT_WORK_FOLDER_H
#define SIGNCTL_TESTS_SUPPORT_WORK_FOLDER_H

#include <set>
#include <string>

class WorkFolder {
  public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Writes bytes as the whole content of the file at path.
void WriteBytes(const std::string& path, const std::string& bytes);
// The whole content of the file at path; sets *exists (when given) to
// whether there is a regular file there.
std::string ReadBytes(const std::string& path, bool* exists = nullptr);
// The names a run left in folder (none if it can't be listed), hidden ones
// aside but for a leftover temporary file of the program, ".signctl-*".
std::set<std::string> Entries(const std::string& folder);

#endif
