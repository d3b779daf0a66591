#pragma once
// Whether the programs' standard error is a terminal someone watches, so that lines meant for a
// person only (a progress line rewritten in place) stay out of files and pipes.

namespace platform {

bool StandardErrorIsTerminal();

}  // namespace platform
