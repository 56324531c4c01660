#include "log.h"

#include <cstdio>
#include <cstdlib>

std::string UnitsForLog(const OLECHAR* text) {
    if (text == nullptr)
        return "null";
    std::string out = "[";
    for (const OLECHAR* p = text; *p != 0; ++p) {
        char unit[8];
        std::snprintf(unit, sizeof unit, p == text ? "%04x" : " %04x", static_cast<unsigned>(*p));
        out += unit;
    }
    return out + "]";
}

void LogCall(const std::string& line) {
    const char* path = std::getenv("SIGNCTL_LOG");
    if (path == nullptr)
        return;
    FILE* log = std::fopen(path, "ab");
    if (log == nullptr)
        return;
    std::fputs(line.c_str(), log);
    std::fputc('\n', log);
    std::fclose(log);
}
