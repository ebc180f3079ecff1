#include "platform/terminal.h"

#include <windows.h>

namespace qv::platform {

// A console answers GetConsoleMode; a pipe or a file does not.
bool standard_error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace qv::platform
