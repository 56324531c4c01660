#include "base64.h"

#include <openssl/evp.h>

namespace {

bool InAlphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

} // namespace

std::string Base64Encode(const std::vector<unsigned char>& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), bytes.data(),
                            static_cast<int>(bytes.size()));
    text.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return text;
}

bool Base64Decode(const std::string& text, std::vector<unsigned char>& out) {
    const size_t n = text.size();
    if (n == 0 || n % 4 != 0 || n > 0x10000000)
        return false;
    size_t padding = 0;
    if (text[n - 1] == '=')
        padding = text[n - 2] == '=' ? 2 : 1;
    for (size_t i = 0; i < n - padding; ++i) {
        if (!InAlphabet(text[i]))
            return false;
    }
    // EVP_DecodeBlock counts the padding as zero bytes; they are dropped below.
    out.assign(n / 4 * 3, 0);
    int decoded = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(n));
    if (decoded < 0 || static_cast<size_t>(decoded) != out.size())
        return false;
    out.resize(out.size() - padding);
    return true;
}
