#include "secret.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <openssl/crypto.h>

#include "error_codes.h"

namespace {

const size_t kMaxSecretFile = 4096;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The path a file: URI names, or an empty text when it names none here.
std::string PathOfFileUri(const std::string& uri) {
    std::string rest = uri.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
        rest.erase(0, 2);
        if (rest.compare(0, 9, "localhost") == 0)
            rest.erase(0, 9);
        if (rest.empty() || rest[0] != '/')
            return std::string();
    }
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        int high = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
        int low = i + 2 < rest.size() ? HexValue(rest[i + 2]) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::string();
        path.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return path.empty() || path[0] != '/' ? std::string() : path;
}

} // namespace

Secret::~Secret() {
    Clear();
}

void Secret::Assign(const char* bytes, size_t n) {
    Clear();
    data_ = new char[n + 1];
    std::memcpy(data_, bytes, n);
    data_[n] = '\0';
    size_ = n;
}

void Secret::Clear() {
    if (data_ != nullptr) {
        OPENSSL_cleanse(data_, size_ + 1);
        delete[] data_;
    }
    data_ = nullptr;
    size_ = 0;
}

bool IsPrivateFile(const struct stat& info) {
    return info.st_uid == geteuid() && (info.st_mode & (S_IRGRP | S_IROTH)) == 0;
}

HRESULT ReadSecretFile(const std::string& source, const std::string& baseFolder, Secret& secret) {
    std::string path;
    if (source.compare(0, 5, "file:") == 0) {
        path = PathOfFileUri(source);
        if (path.empty())
            return Fail(TOKEN_E_SECRET_UNREADABLE, "not a local file: URI: " + source);
    } else if (!source.empty() && source[0] == '/') {
        path = source;
    } else {
        path = baseFolder + "/" + source;
    }

    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Fail(TOKEN_E_SECRET_UNREADABLE, path + ": " + std::strerror(errno));
    struct stat info;
    HRESULT hr = S_OK;
    char buffer[kMaxSecretFile + 1];
    ssize_t got = 0;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<size_t>(info.st_size) > kMaxSecretFile) {
        hr = Fail(TOKEN_E_SECRET_UNREADABLE, path + ": not a regular file of at most 4 KiB");
    } else if (!IsPrivateFile(info)) {
        hr = Fail(TOKEN_E_SECRET_UNSAFE, path);
    } else {
        // A file that grew since fstat shows up as a read of more than 4 KiB.
        size_t total = 0;
        while (total <= kMaxSecretFile) {
            got = read(fd, buffer + total, sizeof buffer - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += static_cast<size_t>(got);
        }
        if (got < 0 || total > kMaxSecretFile) {
            hr = Fail(TOKEN_E_SECRET_UNREADABLE, path);
        } else {
            if (total > 0 && buffer[total - 1] == '\n')
                --total;
            secret.Assign(buffer, total);
        }
    }
    OPENSSL_cleanse(buffer, sizeof buffer);
    close(fd);
    return hr;
}
