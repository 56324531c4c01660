// signctl-probe.exe: answers the tests' questions about the Windows system
// the program runs on, one per run, on standard output:
//   acp          the ANSI code page's number;
//   a2w xHEX     the bytes HEX (two digits each) converted from the ANSI code
//                page to UTF-16, as code units of four hex digits;
//   w2a xHEX     the code units HEX (four digits each) converted to the ANSI
//                code page, as bytes of two hex digits;
//   strerror N   the C runtime's text for errno value N.
// The conversions are made with the flags the program uses.  Exits 0, or 2
// for a question it doesn't understand or a conversion that fails.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads "x" followed by groups of width hex digits.  Returns false for any
// other text.
bool ParseHex(const wchar_t* text, size_t width, std::vector<unsigned>& out) {
    if (text[0] != L'x')
        return false;
    std::wstring digits(text + 1);
    if (digits.size() % width != 0)
        return false;
    for (size_t i = 0; i < digits.size(); i += width) {
        wchar_t* end = nullptr;
        std::wstring group = digits.substr(i, width);
        unsigned long value = std::wcstoul(group.c_str(), &end, 16);
        if (*end != 0)
            return false;
        out.push_back(static_cast<unsigned>(value));
    }
    return true;
}

int AnsiToWide(const wchar_t* hex) {
    std::vector<unsigned> bytes;
    if (!ParseHex(hex, 2, bytes))
        return 2;
    std::string narrow(bytes.begin(), bytes.end());
    int n = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return 2;
    std::vector<wchar_t> wide(static_cast<size_t>(n));
    if (MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, wide.data(), n) != n)
        return 2;
    for (int i = 0; i + 1 < n; ++i)
        std::printf("%04x", static_cast<unsigned>(wide[static_cast<size_t>(i)]));
    std::printf("\n");
    return 0;
}

int WideToAnsi(const wchar_t* hex) {
    std::vector<unsigned> units;
    if (!ParseHex(hex, 4, units))
        return 2;
    std::wstring wide(units.begin(), units.end());
    int n = WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide.c_str(), -1, nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0)
        return 2;
    std::vector<char> narrow(static_cast<size_t>(n));
    if (WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide.c_str(), -1, narrow.data(), n, nullptr,
                            nullptr) != n)
        return 2;
    for (int i = 0; i + 1 < n; ++i)
        std::printf("%02x", static_cast<unsigned char>(narrow[static_cast<size_t>(i)]));
    std::printf("\n");
    return 0;
}

} // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"acp") == 0) {
        std::printf("%u\n", GetACP());
        return 0;
    }
    if (argc == 3 && std::wcscmp(argv[1], L"a2w") == 0)
        return AnsiToWide(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"w2a") == 0)
        return WideToAnsi(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"strerror") == 0) {
        std::printf("%s\n", std::strerror(static_cast<int>(std::wcstol(argv[2], nullptr, 10))));
        return 0;
    }
    std::fputs("usage: signctl-probe acp | a2w xHEX | w2a xHEX | strerror N\n", stderr);
    return 2;
}
