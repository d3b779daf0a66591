#include <io.h>

#include <cstdio>

#include "platform/terminal.h"

namespace platform {

// A console, not a file or a pipe.
bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace platform
