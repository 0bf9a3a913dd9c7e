// Runs a Windows program under Wine and exits with its exit code.
//
// Wine gives a process about a second to leave after its last thread has
// ended and then kills it. A program that used the software renderer can
// need longer on an emulated CPU (the renderer's own exit work), and the
// kill would replace its exit code. This launcher starts the program as a
// child with the same standard handles, waits for it and exits with the code
// the child ended with; the launcher itself leaves at once.
//
// Usage: tobrel-launch PROGRAM [ARGS...]; a program path that starts with
// '/' is a Unix path and is reached through drive Z:.
#include <windows.h>

#include <string>

namespace {

// The rest of the command line after the launcher's own name.
const wchar_t* SkipFirstArgument(const wchar_t* line)
{
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

// "/a/b c.exe rest" -> "\"Z:\\a\\b c.exe\" rest" is not possible without
// knowing where the path ends, so only the first word is converted: the
// program path must not contain spaces.
std::wstring WindowsCommandLine(const wchar_t* rest)
{
    std::wstring line(rest);
    if (line.empty() || line[0] != L'/')
        return line;
    size_t end = line.find_first_of(L" \t");
    if (end == std::wstring::npos)
        end = line.size();
    std::wstring program = L"Z:" + line.substr(0, end);
    for (wchar_t& c : program)
        if (c == L'/')
            c = L'\\';
    return program + line.substr(end);
}

}  // namespace

int wmain()
{
    std::wstring command = WindowsCommandLine(SkipFirstArgument(GetCommandLineW()));
    if (command.empty())
        return 2;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 126;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
