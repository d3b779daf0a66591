// SPDX-License-Identifier: MIT
// The single-instance guard against real lock files in temporary folders, within one process and
// across processes.
#include "platform/instancelock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "testenv.h"

namespace {

using platform::InstanceLock;
using platform::InstanceLockState;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// The lock lives in the runtime folder only when no one else may enter it, else in a folder of the
// user's own under the cache folder, made closed to everyone else.
TEST(InstanceLock, LivesOnlyInAFolderClosedToOtherUsers) {
    testenv::TempDir runtime, openRuntime, foreignRuntime, cache, home;
    chmod(openRuntime.Path().c_str(), 0755);
    const bool otherUsers = testenv::NoOtherUsers().empty();
    if (otherUsers) chown(foreignRuntime.Path().c_str(), testenv::kSecondUser, testenv::kSecondUser);
    const std::string inCache = cache.File("Kestrelan-QLX-DUO/qlxduo.lock");
    struct Case {
        const char* name;
        std::optional<std::string> runtimeDir, cacheHome, homeDir;
        std::string expected;
    } cases[] = {
        {"runtime folder", runtime.Path(), cache.Path(), home.Path(), runtime.File("qlxduo.lock")},
        {"no runtime folder", std::nullopt, cache.Path(), home.Path(), inCache},
        {"relative runtime folder", "relative/dir", cache.Path(), home.Path(), inCache},
        {"missing runtime folder", runtime.File("missing"), cache.Path(), home.Path(), inCache},
        {"runtime folder open to others", openRuntime.Path(), cache.Path(), home.Path(), inCache},
        {"runtime folder of another user", foreignRuntime.Path(), cache.Path(), home.Path(),
         otherUsers ? inCache : foreignRuntime.File("qlxduo.lock")},
        {"no cache folder set", std::nullopt, std::nullopt, home.Path(),
         home.File(".cache/Kestrelan-QLX-DUO/qlxduo.lock")},
        {"no folder at all", std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", c.runtimeDir);
        testenv::ScopedEnv cacheEnv("XDG_CACHE_HOME", c.cacheHome);
        testenv::ScopedEnv homeEnv("HOME", c.homeDir);
        EXPECT_EQ(InstanceLock::PathFor("qlxduo"), c.expected);
        InstanceLock lock("qlxduo");
        EXPECT_EQ(lock.State(),
                  c.expected.empty() ? InstanceLockState::Unavailable : InstanceLockState::Acquired);
    }
    for (const std::string& made :
         {cache.File("Kestrelan-QLX-DUO"), home.File(".cache"), home.File(".cache/Kestrelan-QLX-DUO")}) {
        EXPECT_EQ(ModeOf(made), 0700u) << made;
    }
    // A folder of that name that others may enter is not used.
    chmod(cache.File("Kestrelan-QLX-DUO").c_str(), 0755);
    testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", std::nullopt);
    testenv::ScopedEnv cacheEnv("XDG_CACHE_HOME", cache.Path());
    EXPECT_EQ(InstanceLock::PathFor("qlxduo"), "");
    if (!otherUsers) GTEST_SKIP() << "runtime folder of another user: " << testenv::NoOtherUsers();
}

TEST(InstanceLock, OneHolderPerNameWithinAProcess) {
    testenv::TempDir runtime;
    testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime.Path());
    std::optional<InstanceLock> first(std::in_place, "qlxduo");
    struct Case {
        const char* name;
        InstanceLockState expected;
    } whileHeld[] = {
        {"qlxduo", InstanceLockState::AlreadyRunning},
        {"qlxduo2", InstanceLockState::Acquired},  // a copy under another name runs beside it
    };
    EXPECT_EQ(first->State(), InstanceLockState::Acquired);
    for (const Case& c : whileHeld) {
        InstanceLock other(c.name);
        EXPECT_EQ(other.State(), c.expected) << c.name;
    }
    first.reset();
    InstanceLock again("qlxduo");
    EXPECT_EQ(again.State(), InstanceLockState::Acquired);
}

TEST(InstanceLock, UnavailableWhenTheFileCannotBeMadeOrIsNotOurs) {
    testenv::TempDir runtime;
    testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime.Path());
    std::filesystem::create_symlink(runtime.File("elsewhere"), runtime.File("planted.lock"));
    std::filesystem::create_directory(runtime.File("folder.lock"));
    mkfifo(runtime.File("fifo.lock").c_str(), 0600);  // must not block the start
    const bool otherUsers = testenv::NoOtherUsers().empty();
    testenv::WriteFile(runtime.File("foreign.lock"), "");
    if (otherUsers) chown(runtime.File("foreign.lock").c_str(), testenv::kSecondUser, testenv::kSecondUser);
    for (const char* name : {"planted", "folder", "fifo", "foreign"}) {
        if (std::string(name) == "foreign" && !otherUsers) continue;
        InstanceLock lock(name);
        EXPECT_EQ(lock.State(), InstanceLockState::Unavailable) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(runtime.File("elsewhere")));
    if (!otherUsers) GTEST_SKIP() << "a lock file of another user: " << testenv::NoOtherUsers();
}

// Another local user, who may write the shared temporary folder, plants lock files where the guard
// once fell back to without a runtime folder: one mode 666 that they hold locked, which kept the
// program from ever starting, and one mode 644, which switched the guard off. Neither may matter.
TEST(InstanceLock, AnotherUserCanNeitherBlockNorDisableTheGuard) {
    if (!testenv::NoOtherUsers().empty()) GTEST_SKIP() << testenv::NoOtherUsers();
    const uid_t user = testenv::kNobody;
    testenv::TempDir shared("/tmp");
    chmod(shared.Path().c_str(), 01777);
    const std::string home = shared.File("home");
    std::filesystem::create_directory(home);
    chown(home.c_str(), user, user);
    chmod(home.c_str(), 0700);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    testenv::ChildProcess planter(
        [&] {
            const std::string suffix = "-" + std::to_string(user) + ".lock";
            const int held = open(shared.File("qlxduo" + suffix).c_str(), O_RDWR | O_CREAT, 0666);
            const int open644 = open(shared.File("qlxduo2" + suffix).c_str(), O_RDWR | O_CREAT, 0644);
            if (held < 0 || open644 < 0 || fchmod(held, 0666) != 0 || flock(held, LOCK_EX) != 0) return 1;
            if (write(ready[1], "r", 1) != 1) return 1;
            pause();
            return 0;
        },
        testenv::kSecondUser);
    close(ready[1]);
    char planted = 0;
    ASSERT_EQ(read(ready[0], &planted, 1), 1) << "the second user could not plant the files";
    close(ready[0]);

    testenv::ChildProcess starter(
        [&] {
            unsetenv("XDG_RUNTIME_DIR");
            unsetenv("XDG_CACHE_HOME");
            setenv("TMPDIR", shared.Path().c_str(), 1);
            setenv("HOME", home.c_str(), 1);
            int faults = 0;
            for (const char* name : {"qlxduo", "qlxduo2"}) {
                InstanceLock first(name);
                InstanceLock second(name);
                faults += first.State() != InstanceLockState::Acquired;
                faults += second.State() != InstanceLockState::AlreadyRunning;
                faults += !first.Path().starts_with(home + "/");
            }
            return faults;
        },
        user);
    EXPECT_EQ(starter.Wait(), 0) << "faults of the guard of a user with another user's planted files";
}

TEST(InstanceLock, HeldUntilTheHoldingProcessEnds) {
    testenv::TempDir runtime;
    testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime.Path());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock("qlxduo");
        char state = lock.State() == InstanceLockState::Acquired ? 'A' : 'x';
        if (write(ready[1], &state, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    close(ready[0]);
    EXPECT_EQ(state, 'A');
    EXPECT_EQ(InstanceLock("qlxduo").State(), InstanceLockState::AlreadyRunning);

    kill(child, SIGKILL);  // an abrupt end must free the name as well
    waitpid(child, nullptr, 0);
    EXPECT_EQ(InstanceLock("qlxduo").State(), InstanceLockState::Acquired);
}

}  // namespace
