// SPDX-License-Identifier: MIT
#pragma once
// A network port's connection to its server, made within a deadline: the host's name looked up (on a
// thread of its own, as the system's resolver has no time limit), then each of its addresses tried
// in turn.

#include <string>

#include "net/netsocket.h"
#include "ports/portname.h"

namespace platform {

// The connected socket, or null with the reason in words, and the system's error number when one
// says it.
NetSocket* ConnectWithin(const NetworkPortUrl& url, int timeoutMs, std::string& reason, int& osError);

}  // namespace platform
