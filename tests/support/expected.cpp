#include "support/expected.h"

#include <openssl/sha.h>

#include <cstdio>

const std::string kCreated =
    "\xbb\xf1\xc8\xa1\xbf\xd8\xbc\xfe\xbd\xd3\xbf\xda\xbf\xe2\xb3\xc9\xb9\xa6\r\n";
const std::string kNotCreated =
    "\xbb\xf1\xc8\xa1\xbf\xd8\xbc\xfe\xbd\xd3\xbf\xda\xbf\xe2\xca\xa7\xb0\xdc\r\n";
const std::string kNotInstalled =
    "\xc5\xd0\xb6\xcf\xbf\xd8\xbc\xfe\xca\xc7\xb7\xf1\xb0\xb2\xd7\xb0";
const std::string kNoUkey = "\xbc\xec\xb2\xe9Ukey\xca\xc7\xb7\xf1\xc1\xac\xbd\xd3";
const std::string kInitFailed = "\xb3\xf5\xca\xbc\xbb\xaf\xca\xa7\xb0\xdc\r\n";

const char kSignatureFile[] = "TCERT_RSA.tmp";

std::string Units(const std::u16string& text, bool brackets) {
    std::string out;
    for (char16_t unit : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, out.empty() ? "%04x" : " %04x", static_cast<unsigned>(unit));
        out += hex;
    }
    return brackets ? "[" + out + "]" : out;
}

std::u16string Latin1(const std::string& bytes) {
    std::u16string text;
    for (unsigned char b : bytes)
        text.push_back(b);
    return text;
}

std::string EveryByteButZero() {
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    return bytes;
}

std::string DigestBytes(const std::string& content) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(content.data()), content.size(), digest);
    std::string narrow;
    for (unsigned char b : digest) {
        if (b == 0)
            break;
        narrow.push_back(static_cast<char>(b));
    }
    return narrow;
}
