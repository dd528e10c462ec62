// rcprog-close-window: starts a window program, waits for its main window, closes it the way
// the window's close button does (WM_CLOSE) and measures how long the program takes to end. The
// Windows test runs the window programs under Wine through it.
//
//   rcprog-close-window.exe --title TITLE [--close-when FILE] [--timeout SECONDS]
//                           -- PROGRAM [ARGUMENT]...
//
// PROGRAM gets this program's standard handles, so its own output goes where this program's
// goes. The window is a visible top-level window of PROGRAM's process titled exactly TITLE.
// With --close-when it is closed once FILE exists (a script takes its screenshot first), else
// as soon as it is shown. Lines on stdout:
//
//   window: shown after N ms
//   close: WM_CLOSE sent
//   exit: status N after M ms          (M: from WM_CLOSE to the end of the process)
//
// or a line that says what did not happen ("window: not shown within S s", "exit: status N
// before the window was shown", "exit: still running S s after WM_CLOSE"; the program is then
// terminated). Every wait is bounded by --timeout (default 120 s).
//
// Exit status: 0 when the window was shown, closed and the program ended; 1 otherwise; 2 for
// bad arguments.

#include "WindowsApi.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

long long millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a
// space, a tab or a quote or is empty; a quote escaped with a backslash, and the backslashes
// before a quote (or before the closing quote) doubled.
std::wstring quoted(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

struct Search
{
    DWORD processId;
    const std::wstring *title;
    HWND found;
};

BOOL CALLBACK visitWindow(HWND window, LPARAM parameter)
{
    Search &search = *reinterpret_cast<Search *>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search.processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t text[512];
    const int length = GetWindowTextW(window, text, int(sizeof text / sizeof text[0]));
    if (std::wstring(text, std::size_t(length > 0 ? length : 0)) != *search.title)
        return TRUE;
    search.found = window;
    return FALSE;
}

HWND findWindow(DWORD processId, const std::wstring &title)
{
    Search search{processId, &title, nullptr};
    EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int usage()
{
    std::fprintf(stderr, "usage: rcprog-close-window.exe --title TITLE [--close-when FILE] "
                         "[--timeout SECONDS] -- PROGRAM [ARGUMENT]...\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t *argv[])
{
    std::wstring title;
    std::wstring closeWhen;
    double timeoutSeconds = 120;
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--") {
            ++i;
            break;
        }
        if (i + 1 >= argc)
            return usage();
        if (option == L"--title")
            title = argv[++i];
        else if (option == L"--close-when")
            closeWhen = argv[++i];
        else if (option == L"--timeout")
            timeoutSeconds = std::wcstod(argv[++i], nullptr);
        else
            return usage();
    }
    if (title.empty() || i >= argc || timeoutSeconds <= 0)
        return usage();

    std::wstring commandLine;
    for (int k = i; k < argc; ++k)
        commandLine += (k > i ? L" " : L"") + quoted(argv[k]);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        say("start: failed (error %lu)", GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    const auto timeout = std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000));
    const auto started = Clock::now();
    const auto endProcess = [&process](int status) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        return status;
    };
    const auto hasEnded
            = [&process]() { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; };
    const auto exitStatus = [&process]() {
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        return status;
    };

    // The window.
    HWND window = nullptr;
    while (!(window = findWindow(process.dwProcessId, title))) {
        if (hasEnded()) {
            say("exit: status %lu before the window was shown", exitStatus());
            return endProcess(1);
        }
        if (Clock::now() - started > timeout) {
            say("window: not shown within %g s", timeoutSeconds);
            return endProcess(1);
        }
        Sleep(20);
    }
    say("window: shown after %lld ms", millisecondsSince(started));

    // The moment to close it.
    const auto shown = Clock::now();
    while (!closeWhen.empty() && !exists(closeWhen)) {
        if (hasEnded()) {
            say("exit: status %lu before the window was closed", exitStatus());
            return endProcess(1);
        }
        if (Clock::now() - shown > timeout) {
            say("close: no %ls within %g s", closeWhen.c_str(), timeoutSeconds);
            return endProcess(1);
        }
        Sleep(50);
    }
    const auto closed = Clock::now();
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) {
        say("close: WM_CLOSE not sent (error %lu)", GetLastError());
        return endProcess(1);
    }
    say("close: WM_CLOSE sent");
    if (WaitForSingleObject(process.hProcess, DWORD(timeout.count())) != WAIT_OBJECT_0) {
        say("exit: still running %g s after WM_CLOSE", timeoutSeconds);
        return endProcess(1);
    }
    say("exit: status %lu after %lld ms", exitStatus(), millisecondsSince(closed));
    CloseHandle(process.hProcess);
    return 0;
}
