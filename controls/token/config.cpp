#include "config.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <openssl/crypto.h>

#include "error_codes.h"

namespace {

const off_t kMaxConfigSize = 1 << 20;

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Wipes a text that may have held a secret before it goes.
void Wipe(std::string& text) {
    if (!text.empty())
        OPENSSL_cleanse(&text[0], text.size());
    text.clear();
}

std::string Resolve(const Config& config, const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    return config.folder + "/" + path;
}

UriPtr ParseTokenUri(const std::string& text) {
    UriPtr uri(p11_kit_uri_new());
    if (uri == nullptr ||
        p11_kit_uri_parse(text.c_str(), P11_KIT_URI_FOR_TOKEN, uri.get()) != P11_KIT_URI_OK)
        return UriPtr();
    return uri;
}

// The user's configuration folder for signctl, or an empty text when the
// environment names none.
std::string UserFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/signctl";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.config/signctl";
    return std::string();
}

// Reads the file at path whole into text.  Returns 0, ENOENT when there is
// no such file, or another errno value.
int ReadWhole(const std::string& path, struct stat& info, std::string& text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode) || info.st_size > kMaxConfigSize) {
        error = EINVAL;
    } else {
        // Sized once, so that a secret in it is never copied by growth.
        text.assign(static_cast<size_t>(info.st_size), '\0');
        size_t total = 0;
        while (total < text.size()) {
            ssize_t got = read(fd, &text[total], text.size() - total);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                error = errno;
            if (got <= 0)
                break;
            total += static_cast<size_t>(got);
        }
        text.resize(total);
    }
    close(fd);
    return error;
}

// A stretch [begin, end) of the configuration text.
struct Span {
    size_t begin;
    size_t end;
};

Span TrimSpan(const char* text, size_t begin, size_t end) {
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return Span{begin, end};
}

// Sets key to the n bytes at value in the section open (token, identity or
// neither).  Returns false for a key the section doesn't have or a value
// that isn't valid.
bool SetKey(Config& config, TokenSection* token, IdentitySection* identity, const std::string& key,
            const char* value, size_t n) {
    SecretSetting* secret = token != nullptr      ? &token->pin
                            : identity != nullptr ? &identity->password
                                                  : nullptr;
    if (secret != nullptr) {
        const std::string prefix = token != nullptr ? "pin-" : "password-";
        if (key == prefix + "value") {
            secret->value.Assign(value, n);
            secret->hasValue = true;
        } else if (key == prefix + "source" && n > 0) {
            secret->source.assign(value, n);
        } else {
            return false;
        }
        return true;
    }
    if (key == "identity-folder" && n > 0) {
        config.identityFolder = Resolve(config, std::string(value, n));
    } else if (key == "module" && n > 0) {
        config.module.assign(value, n);
    } else if (key == "token") {
        config.token = ParseTokenUri(std::string(value, n));
        return config.token != nullptr;
    } else {
        return false;
    }
    return true;
}

} // namespace

HRESULT ParseConfig(const char* text, size_t size, Config& config) {
    TokenSection* token = nullptr;
    IdentitySection* identity = nullptr;
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos < size) {
        const char* end = static_cast<const char*>(std::memchr(text + pos, '\n', size - pos));
        size_t lineEnd = end != nullptr ? static_cast<size_t>(end - text) : size;
        // The line is handled in place: a secret on it is copied only into
        // its Secret.
        Span line = TrimSpan(text, pos, lineEnd);
        pos = lineEnd + 1;
        ++lineNumber;
        if (line.begin == line.end || text[line.begin] == '#')
            continue;
        bool known = true;
        if (text[line.begin] == '[') {
            std::string header = text[line.end - 1] == ']'
                                     ? std::string(text + line.begin + 1, line.end - line.begin - 2)
                                     : std::string();
            token = nullptr;
            identity = nullptr;
            if (header.compare(0, 6, "token ") == 0) {
                config.tokens.emplace_back(new TokenSection);
                token = config.tokens.back().get();
                token->uri = ParseTokenUri(Trim(header.substr(6)));
                known = token->uri != nullptr;
            } else if (header.compare(0, 9, "identity ") == 0) {
                config.identities.emplace_back(new IdentitySection);
                identity = config.identities.back().get();
                identity->name = Trim(header.substr(9));
                known = !identity->name.empty();
            } else {
                known = false;
            }
        } else {
            const char* equals = static_cast<const char*>(
                std::memchr(text + line.begin, '=', line.end - line.begin));
            if (equals == nullptr) {
                known = false;
            } else {
                size_t at = static_cast<size_t>(equals - text);
                Span keySpan = TrimSpan(text, line.begin, at);
                Span valueSpan = TrimSpan(text, at + 1, line.end);
                known = SetKey(config, token, identity,
                               std::string(text + keySpan.begin, keySpan.end - keySpan.begin),
                               text + valueSpan.begin, valueSpan.end - valueSpan.begin);
            }
        }
        if (!known)
            return Fail(TOKEN_E_CONFIG_SYNTAX,
                        config.path + ": line " + std::to_string(lineNumber));
    }
    return S_OK;
}

HRESULT LoadConfig(const std::string& sysconfdir, Config& config) {
    std::string user = UserFolder();
    std::string text;
    int error = ENOENT;
    if (!user.empty()) {
        config.path = user + "/token.conf";
        error = ReadWhole(config.path, config.fileInfo, text);
    }
    if (error == ENOENT) {
        config.path = sysconfdir + "/signctl/token.conf";
        error = ReadWhole(config.path, config.fileInfo, text);
    }
    HRESULT hr = S_OK;
    if (error == ENOENT) {
        config.path.clear();
        config.folder = user.empty() ? sysconfdir + "/signctl" : user;
    } else if (error != 0) {
        hr = Fail(TOKEN_E_CONFIG_UNREADABLE, config.path + ": " + std::strerror(error));
    } else {
        config.folder = config.path.substr(0, config.path.rfind('/'));
        hr = ParseConfig(text.data(), text.size(), config);
    }
    Wipe(text);
    if (config.identityFolder.empty())
        config.identityFolder = config.folder + "/identities";
    return hr;
}

HRESULT TakeSecret(const Config& config, const SecretSetting& setting, HRESULT missing,
                   Secret& secret) {
    if (setting.hasValue) {
        if (!IsPrivateFile(config.fileInfo))
            return Fail(TOKEN_E_SECRET_UNSAFE, config.path + " holds a secret");
        secret.Assign(setting.value.Data(), setting.value.Size());
        return S_OK;
    }
    if (!setting.source.empty())
        return ReadSecretFile(setting.source, config.folder, secret);
    return Fail(missing, config.path.empty() ? std::string("no configuration file") : config.path);
}
