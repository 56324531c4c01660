// signctl-launch.exe STATUSFILE PROGRAM [ARG...]: runs PROGRAM with the
// arguments and this process's standard handles, and writes its exit code,
// all 32 bits of it, to STATUSFILE as a decimal number and a line feed.
// Under Wine a Linux parent sees only the low byte of a Windows exit code;
// this is how the tests see the rest.  Exits 0 once the status is written;
// 2 when the program can't be started, 3 when it doesn't end within the
// time allowed (it is then ended), 4 when the status can't be written.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// How long a run may take before it counts as hung.
const DWORD kRunTimeoutMs = 120000;

// Appends arg to line so that the C runtime's argument parsing gives it
// back unchanged: quoted when empty or holding a blank or a quote, with the
// backslashes before a quote (or the closing quote) doubled.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(2 * backslashes + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

} // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: signctl-launch STATUSFILE PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        if (i > 2)
            line += L' ';
        AppendQuoted(line, argv[i]);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[2], &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 2;
    CloseHandle(process.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, kRunTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return 3;
    }
    BOOL known = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    if (!known)
        return 2;
    FILE* status = _wfopen(argv[1], L"wb");
    if (status == nullptr)
        return 4;
    bool written = std::fprintf(status, "%lu\n", static_cast<unsigned long>(code)) > 0;
    if (std::fclose(status) != 0 || !written)
        return 4;
    return 0;
}
