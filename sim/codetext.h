#pragma once
// The six codes of one unit port as text: "1,2,0,21,0,2", as the unit's "AS" and "AG" lines and the
// command-line tool's options carry them.

#include <string>

#include "link/protocol.h"

namespace sim {

// False unless the text is exactly six comma-separated decimal integers (a minus sign allowed).
bool ParseSixCodes(const std::string& text, unit::PortParameters& out);
std::string JoinCodes(const unit::PortParameters& p);

}  // namespace sim
