#include "cli/windows_console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace quorvel::cli {

namespace {

bool isConsole(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

Utf8Console::Utf8Console() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (isConsole(STD_OUTPUT_HANDLE) || isConsole(STD_ERROR_HANDLE)) {
        const UINT current = GetConsoleOutputCP();
        if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
            savedCodePage_ = current;
        }
    }
}

Utf8Console::~Utf8Console() {
    std::fflush(stdout);
    std::fflush(stderr);
    if (savedCodePage_ != 0) {
        SetConsoleOutputCP(savedCodePage_);
    }
}

}  // namespace quorvel::cli
