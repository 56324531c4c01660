// Secrets (PINs and passwords): held in memory that is wiped when they go,
// and read from files that only their owner can read.
#ifndef SIGNCTL_CONTROLS_TOKEN_SECRET_H
#define SIGNCTL_CONTROLS_TOKEN_SECRET_H

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "platform/platform.h"

// A secret's bytes.  The buffer never grows in place, so no copy of the
// secret is left behind in freed memory; it is wiped when replaced and when
// the object goes.  Not copyable.
class Secret {
  public:
    Secret() = default;
    ~Secret();
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // Replaces the secret with the n bytes at bytes.
    void Assign(const char* bytes, size_t n);
    // Wipes and empties the secret.
    void Clear();

    bool Empty() const { return size_ == 0; }
    size_t Size() const { return size_; }
    // The bytes, followed by a zero byte (for APIs that take a C string).
    const char* Data() const { return data_ != nullptr ? data_ : ""; }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
};

// Whether the file described by info may hold a secret: it belongs to the
// effective user and neither its group nor others may read it.
bool IsPrivateFile(const struct stat& info);

// Reads the secret held in the file that source names: a plain path (a
// relative one is taken from baseFolder) or a file: URI (file:///path or
// file://localhost/path, %-escapes decoded).  One trailing line feed is
// dropped.  Returns S_OK with the secret in secret; TOKEN_E_SECRET_UNSAFE
// when the file isn't private (see IsPrivateFile); TOKEN_E_SECRET_UNREADABLE
// when it can't be opened or read, isn't a regular file or is larger than
// 4 KiB.  Failures are reported (see Fail) with the file's name.
HRESULT ReadSecretFile(const std::string& source, const std::string& baseFolder, Secret& secret);

#endif
