#include "script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The words of one line of the script, split at blanks.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::strchr(" \t\r", line[i]) != nullptr)
            ++i;
        size_t start = i;
        while (i < line.size() && std::strchr(" \t\r", line[i]) == nullptr)
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseCode(const std::string& word, HRESULT& code) {
    if (word.empty())
        return false;
    char* end = nullptr;
    long long value = std::strtoll(word.c_str(), &end, 0);
    if (*end != '\0' || value < INT32_MIN || value > UINT32_MAX)
        return false;
    code = static_cast<HRESULT>(static_cast<uint32_t>(value));
    return true;
}

// The code units named by words[1..], in hex.
bool ParseUnits(const std::vector<std::string>& words, UnitString& text) {
    text.clear();
    for (size_t i = 1; i < words.size(); ++i) {
        char* end = nullptr;
        unsigned long unit = std::strtoul(words[i].c_str(), &end, 16);
        if (*end != '\0' || unit > 0xFFFF || unit == 0)
            return false;
        text.push_back(static_cast<OLECHAR>(unit));
    }
    return true;
}

UnitString Ascii(const char* text) {
    UnitString units;
    for (; *text != '\0'; ++text)
        units.push_back(static_cast<OLECHAR>(*text));
    return units;
}

Script Broken() {
    Script s;
    s.create = s.checkInstalled = s.checkUkeyConnected = E_FAIL;
    s.initContainer = s.signData = s.verifySign = E_FAIL;
    return s;
}

// Applies one line's words to script; false for a line it doesn't know.
bool Apply(const std::vector<std::string>& words, Script& script) {
    const std::string& key = words[0];
    if (key == "identity")
        return ParseUnits(words, script.identity);
    if (key == "signature")
        return ParseUnits(words, script.signature);
    HRESULT code = 0;
    if (words.size() != 2 || !ParseCode(words[1], code))
        return false;
    if (key == "create")
        script.create = code;
    else if (key == "CheckInstalled")
        script.checkInstalled = code;
    else if (key == "CheckUkeyConnected")
        script.checkUkeyConnected = code;
    else if (key == "InitContainer")
        script.initContainer = code;
    else if (key == "SignData")
        script.signData = code;
    else if (key == "VerifySign")
        script.verifySign = code;
    else if (key == "identity-null")
        script.identityNull = code != 0;
    else if (key == "signature-null")
        script.signatureNull = code != 0;
    else if (key == "handle")
        script.handle = code;
    else
        return false;
    return true;
}

} // namespace

Script LoadScript() {
    Script script;
    script.identity = Ascii("scripted-identity");
    script.signature = Ascii("scripted-signature");
    const char* path = std::getenv("SIGNCTL_SCRIPT");
    if (path == nullptr)
        return script;
    FILE* in = std::fopen(path, "rb");
    if (in == nullptr)
        return Broken();
    bool ok = true;
    std::string line;
    for (int c = 0; ok && c != EOF;) {
        c = std::fgetc(in);
        if (c != '\n' && c != EOF) {
            line.push_back(static_cast<char>(c));
            continue;
        }
        std::vector<std::string> words = Words(line);
        ok = words.empty() || Apply(words, script);
        line.clear();
    }
    std::fclose(in);
    return ok ? script : Broken();
}
