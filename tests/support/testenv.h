// SPDX-License-Identifier: MIT
#pragma once
// Test support: every test program runs in its own temporary folders (on Linux its own
// XDG_CONFIG_HOME, XDG_CACHE_HOME, HOME and XDG_RUNTIME_DIR, set up by the shared main before any
// test), and can make temporary folders of its own. What only one system has (on Linux other
// users, child processes, pseudo-terminal pairs and simulated units) comes from that system's
// testenv_os.h, included at the end.

#include <functional>
#include <optional>
#include <string>

namespace testenv {

// The bound of every wait for something that must come (a reply, a window, a process's end): only
// a hang runs into it, never a slow step on a busy machine. Waits that show that something does
// NOT come are short instead, and can only pass too easily under load, never fail.
inline constexpr int kHangGuardMs = 300000;

// Polls condition every few milliseconds until it holds or timeoutMs passed; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = kHangGuardMs);

// The temporary root made for this test program; removed at exit.
const std::string& Root();

// Sets (or, with nullopt, unsets) an environment variable for one scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Cases whose failure depends on permission bits cannot run as root, who ignores them (CI runs as
// root). Skip(...) tells whether to pass a case over and remembers its name; Note() is the text for
// GTEST_SKIP at the end of the test, empty when every case ran.
class RootSkips {
public:
    bool Skip(bool needsNonRoot, const char* name);
    std::string Note() const;

private:
    std::string m_names;
};

// A fresh temporary folder (mode 0700) under Root(), or under parent, removed with the object.
// Root() is closed to other users; a folder that another user must reach is made under "/tmp".
class TempDir {
public:
    TempDir();
    explicit TempDir(const std::string& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Whole-file helpers for tests; paths are UTF-8 on every system.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace testenv

#include "testenv_os.h"
