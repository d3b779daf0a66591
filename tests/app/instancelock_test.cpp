// The single-instance guard against real lock files in temporary folders, within one process and
// across processes.
#include "platform/instancelock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "testenv.h"

namespace {

using platform::InstanceLock;
using platform::InstanceLockState;

TEST(InstanceLock, PathFollowsTheRuntimeFolderOrFallsBackPerUser) {
    testenv::TempDir runtime;
    testenv::TempDir temp;
    const std::string uid = std::to_string(getuid());
    struct Case {
        std::optional<std::string> runtimeDir, tmpDir;
        std::string expected;
    } cases[] = {
        {runtime.Path(), temp.Path(), runtime.File("qlxduo.lock")},
        {std::nullopt, temp.Path(), temp.File("qlxduo-" + uid + ".lock")},
        {std::nullopt, std::nullopt, "/tmp/qlxduo-" + uid + ".lock"},
        {"relative/dir", std::nullopt, "/tmp/qlxduo-" + uid + ".lock"},
    };
    for (const Case& c : cases) {
        testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", c.runtimeDir);
        testenv::ScopedEnv tmpEnv("TMPDIR", c.tmpDir);
        EXPECT_EQ(InstanceLock::PathFor("qlxduo"), c.expected);
    }
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

TEST(InstanceLock, UnavailableWhenTheFileCannotBeMade) {
    testenv::TempDir runtime;
    std::filesystem::create_symlink(runtime.File("elsewhere"), runtime.File("planted.lock"));
    struct Case {
        std::string runtimeDir;
        const char* name;
    } cases[] = {
        {runtime.File("missing-folder"), "qlxduo"},
        {runtime.Path(), "planted"},  // a link in place of the lock file is not followed
    };
    for (const Case& c : cases) {
        testenv::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", c.runtimeDir);
        InstanceLock lock(c.name);
        EXPECT_EQ(lock.State(), InstanceLockState::Unavailable) << c.runtimeDir << " " << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists(runtime.File("elsewhere")));
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
