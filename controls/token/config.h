// The control's configuration file, token.conf.
//
// The file read is $XDG_CONFIG_HOME/signctl/token.conf (XDG_CONFIG_HOME
// taken only when absolute, else $HOME/.config/signctl/token.conf); when that
// doesn't exist, <sysconfdir>/signctl/token.conf; when neither exists, the
// defaults.  One file is read, never a merge of both.  Lines:
//
//   # a comment, as is an empty line
//   identity-folder = PATH      where NAME.p12 identities live (default: the
//                               folder "identities" beside the file)
//   module = PATH               the one PKCS#11 module to use instead of
//                               p11-kit's registered list
//   token = pkcs11:URI          use only tokens that this token URI matches
//   [token pkcs11:URI]          settings for the tokens the URI matches (the
//                               first matching section applies):
//   pin-value = PIN               the user PIN itself
//   pin-source = PATH|file:URI    a file holding the user PIN
//   [identity NAME]             settings for the PKCS#12 identity NAME:
//   password-value = PASSWORD     the file's password itself
//   password-source = PATH|file:URI
//
// Keys and values are trimmed of spaces and tabs; a relative PATH is taken
// from the file's folder.  A file that holds a *-value is used for that
// secret only while it is the user's own and private (see IsPrivateFile).
#ifndef SIGNCTL_CONTROLS_TOKEN_CONFIG_H
#define SIGNCTL_CONTROLS_TOKEN_CONFIG_H

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include <p11-kit/uri.h>

#include "secret.h"

// Frees a p11-kit URI.
struct UriFree {
    void operator()(P11KitUri* uri) const { p11_kit_uri_free(uri); }
};
typedef std::unique_ptr<P11KitUri, UriFree> UriPtr;

// Where a secret comes from: a file, or the configuration itself.
struct SecretSetting {
    std::string source; // a PIN or password file; empty when none
    Secret value;       // the secret itself, when hasValue
    bool hasValue = false;
};

struct TokenSection {
    UriPtr uri;
    SecretSetting pin;
};

struct IdentitySection {
    std::string name;
    SecretSetting password;
};

struct Config {
    std::string path;          // the file read; empty when none was
    std::string folder;        // its folder, which relative paths start from
    struct stat fileInfo = {}; // the file as it was read
    std::string identityFolder;
    std::string module; // empty: p11-kit's registered modules
    UriPtr token;       // null: any token
    std::vector<std::unique_ptr<TokenSection>> tokens;
    std::vector<std::unique_ptr<IdentitySection>> identities;
};

// Finds and reads the configuration into config (which must be fresh).
// Returns S_OK, with the defaults when no file exists;
// TOKEN_E_CONFIG_UNREADABLE when the file exists but can't be read;
// TOKEN_E_CONFIG_SYNTAX for a line it doesn't understand (reported with the
// file's name and the line's number, never its text).  sysconfdir is the
// machine's configuration folder.
HRESULT LoadConfig(const std::string& sysconfdir, Config& config);

// Parses the configuration text held in the size bytes at text, as read from
// the file path in folder, into config.  Returns S_OK or
// TOKEN_E_CONFIG_SYNTAX (reported).
HRESULT ParseConfig(const char* text, size_t size, Config& config);

// Stores in secret the secret that setting gives, read from the file it
// names or taken from the configuration.  Returns S_OK; missing (which the
// caller chooses) when setting gives none; TOKEN_E_SECRET_UNSAFE when the
// value sits in a configuration that isn't private; ReadSecretFile's codes.
// Every failure is reported (see Fail).
HRESULT TakeSecret(const Config& config, const SecretSetting& setting, HRESULT missing,
                   Secret& secret);

#endif
