#include "script.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

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

bool ParseUnits(std::istringstream& rest, UnitString& text) {
    text.clear();
    std::string word;
    while (rest >> word) {
        char* end = nullptr;
        unsigned long unit = std::strtoul(word.c_str(), &end, 16);
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

} // namespace

Script LoadScript() {
    Script script;
    script.identity = Ascii("scripted-identity");
    script.signature = Ascii("scripted-signature");
    const char* path = std::getenv("SIGNCTL_SCRIPT");
    if (path == nullptr)
        return script;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Broken();
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key, value;
        if (!(words >> key))
            continue;
        bool ok;
        if (key == "identity") {
            ok = ParseUnits(words, script.identity);
        } else if (key == "signature") {
            ok = ParseUnits(words, script.signature);
        } else {
            HRESULT code = 0;
            ok = static_cast<bool>(words >> value) && ParseCode(value, code);
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
                ok = false;
        }
        if (!ok)
            return Broken();
    }
    return script;
}
