// SPDX-License-Identifier: MIT
#include "scriptedpeer.h"

namespace testenv {
namespace {

// How long the peer waits for each command line before it gives up its script.
constexpr int kLineWaitMs = 5000;

}  // namespace

ScriptedPeer::ScriptedPeer(std::vector<std::string> replies)
    : m_replies(std::move(replies)), m_thread([this] { Run(); }) {}

ScriptedPeer::~ScriptedPeer() {
    Finish();
}

std::string ScriptedPeer::ReceivedBytes() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

void ScriptedPeer::HangUp() {
    Finish();
    m_pty.HangUp();
}

void ScriptedPeer::Run() {
    for (const std::string& reply : m_replies) {
        const std::string line = m_pty.Receive(kLineWaitMs, "\n");
        {
            std::lock_guard lock(m_mutex);
            m_received += line;
        }
        if (line.empty()) return;
        if (reply.empty()) return m_pty.HangUp();
        m_pty.Send(reply);
    }
}

void ScriptedPeer::Finish() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace testenv
