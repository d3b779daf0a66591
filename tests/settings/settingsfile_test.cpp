// SPDX-License-Identifier: MIT
// Settings paths that are not a plain file of a sensible size: a FIFO, a socket, devices, a folder,
// links to them, and files over the size limit. Every reader and writer of the settings file must
// refuse them at once: no blocking, no reading past the limit, nothing replaced or changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <new>

#include "hostilefiles.h"
#include "platform/atomicfile.h"
#include "platform/profile.h"
#include "settings/iniacs.h"
#include "testenv.h"

namespace {

// The largest single allocation since the last reset. A reader that runs away ends its process at
// once, rather than eating the machine's memory until it fails.
size_t g_largestAllocation = 0;
constexpr size_t kRunaway = 64u << 20;
constexpr int kRanAway = 3;

}  // namespace

// The replaced operator new takes its memory from malloc, so free is the matching release.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    if (size > g_largestAllocation) g_largestAllocation = size;
    if (size > kRunaway) _exit(kRanAway);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

namespace fs = std::filesystem;

// A readable settings file that, read whole, would give Left=5: a refusal shows as the default.
const std::string kSettings = "[System]\r\nLeft=5\r\n";

std::string PaddedTo(size_t size) {
    return kSettings + std::string(size - kSettings.size() - 2, ';') + "\r\n";
}

// How every entry of the folder stands: kind, inode, size and modification time, which change
// when an entry is replaced, written or grown.
std::map<std::string, std::string> Standing(const std::string& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::directory_iterator(folder)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        entries[e.path()] = std::to_string(st.st_mode) + ":" + std::to_string(st.st_ino) + ":" +
                            std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                            std::to_string(st.st_mtim.tv_nsec);
    }
    return entries;
}

// Each reader and writer, true when it refused as it should.
struct Access {
    const char* name;
    std::function<bool(const std::string& path)> refuses;
};

const std::vector<Access>& Accesses() {
    static const std::vector<Access> accesses = {
        {"whole-file read",
         [](const std::string& p) {
             std::string contents;
             return platform::ReadWholeFile(p, contents) == platform::FileRead::Refused && contents.empty();
         }},
        {"whole-file read for update",
         [](const std::string& p) {
             std::string contents;
             return !platform::ReadWholeFileForUpdate(p, contents) && contents.empty();
         }},
        {"whole-file replace",
         [](const std::string& p) { return !platform::ReplaceWholeFile(p, kSettings); }},
        {"private-profile read",
         [](const std::string& p) {
             return platform::GetPrivateProfileInt("System", "Left", 7, p.c_str()) == 7;
         }},
        {"private-profile write",
         [](const std::string& p) {
             return !platform::WritePrivateProfileString("System", "Left", "9", p.c_str());
         }},
        {"accessor read",
         [](const std::string& p) {
             iniacs ini;
             ini.SetFile(p, 0);
             return ini.ReadInt("System", "Left") == -1;
         }},
        {"accessor line editor",
         [](const std::string& p) {
             iniacs ini;
             ini.SetFile(p, 1);
             return ini.WriteInt("System", "Left", 9) == 0;
         }},
    };
    return accesses;
}

// Runs access in a child process with a deadline that only a hang reaches.
std::string Outcome(const Access& access, const std::string& path) {
    testenv::ChildProcess child([&] {
        alarm(20);
        g_largestAllocation = 0;
        const bool refused = access.refuses(path);
        if (g_largestAllocation > platform::kMaxFileSize + 64 * 1024) return kRanAway;
        return refused ? 0 : 1;
    });
    switch (child.Wait()) {
        case 0:
            return "refused";
        case 1:
            return "accepted";
        case kRanAway:
            return "allocated past the size limit";
        default:
            return "hung or crashed";
    }
}

TEST(SettingsFile, AnythingButARegularFileWithinTheLimitIsRefusedAtOnce) {
    const auto hostiles = testenv::HostileFiles(PaddedTo(platform::kMaxFileSize + 1), kSettings);
    const std::string notMade =
        testenv::ForEachHostileFile(hostiles, [](const std::string& folder, const std::string& path) {
            const auto before = Standing(folder);
            for (const Access& access : Accesses()) {
                EXPECT_EQ(Outcome(access, path), "refused") << access.name;
                EXPECT_EQ(Standing(folder), before) << access.name << ": nothing replaced, written or left";
            }
        });
    if (!notMade.empty()) GTEST_SKIP() << notMade;
}

// The limit itself is still a settings file.
TEST(SettingsFile, AFileAtTheLimitIsReadAndWritten) {
    testenv::TempDir dir;
    const std::string path = dir.File("qlxduo.ini");
    testenv::WriteFile(path, PaddedTo(platform::kMaxFileSize));
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", -1, path.c_str()), 5u);
    EXPECT_TRUE(platform::WritePrivateProfileString("System", "Left", "6", path.c_str()));
    EXPECT_EQ(platform::GetPrivateProfileInt("System", "Left", -1, path.c_str()), 6u);
    EXPECT_EQ(fs::file_size(path), platform::kMaxFileSize);
}

}  // namespace
