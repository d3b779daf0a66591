// SPDX-License-Identifier: MIT
#include "testenv.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testsystem.h"

namespace testenv {

std::string& RootForMain() {
    static std::string root;
    return root;
}

const std::string& Root() {
    return RootForMain();
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    system::SetVariable(name, value);
}

ScopedEnv::~ScopedEnv() {
    system::SetVariable(m_name, m_old);
}

bool RootSkips::Skip(bool needsNonRoot, const char* name) {
    if (!needsNonRoot || !system::IgnoresPermissionBits()) return false;
    m_names += std::string(" ") + name + ";";
    return true;
}

std::string RootSkips::Note() const {
    if (m_names.empty()) return {};
    return system::PermissionBitsNote() + ", so these cases did not run:" + m_names +
           " the other cases ran; atomicfile_test refuses writes to root with a file size limit";
}

TempDir::TempDir() : TempDir(Root().empty() ? system::TemporaryFolder() : Root()) {}

TempDir::TempDir(const std::string& parent) : m_path(system::MakeUniqueFolder(parent)) {}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

namespace {

std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace testenv
