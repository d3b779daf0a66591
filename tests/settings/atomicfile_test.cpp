// SPDX-License-Identifier: MIT
// Whole-file replacement under the settings file's two write paths: links and permission bits
// kept, every failure leaving the old bytes and no stray file, and a kill at any moment leaving
// the old file or the new one.
#include "platform/atomicfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "platform/profile.h"
#include "settings/iniacs.h"
#include "testenv.h"

namespace {

namespace fs = std::filesystem;

// Every entry below folder with its contents (files) or kind (folders, links).
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const auto& p = e.path();
        entries[p] = fs::is_symlink(fs::symlink_status(p)) ? "link:" + fs::read_symlink(p).string()
                     : e.is_directory()                    ? "folder"
                                                           : testenv::ReadFile(p);
    }
    return entries;
}

// Runs write in a child process, optionally with files limited to maxFileSize bytes (a limit that
// binds root too) and as another user; true when the write reported success.
bool WriteInChild(const std::function<bool()>& write, rlim_t maxFileSize = RLIM_INFINITY,
                  std::optional<uid_t> user = std::nullopt) {
    testenv::ChildProcess child(
        [&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{maxFileSize, maxFileSize};
            setrlimit(RLIMIT_FSIZE, &limit);
            return write() ? 0 : 1;
        },
        user);
    return child.Wait() == 0;
}

mode_t CurrentUmask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

TEST(ReplaceWholeFile, ReplacesContentsKeepingLinksAndPermissionBits) {
    struct Case {
        const char* name;
        std::function<void(const testenv::TempDir&)> prepare;
        const char* written;  // the file whose contents change
        mode_t mode;
    };
    const mode_t fresh = 0666 & ~CurrentUmask();
    const auto old = [](const testenv::TempDir& d, const char* name, mode_t mode) {
        testenv::WriteFile(d.File(name), "old\r\n");
        chmod(d.File(name).c_str(), mode);
    };
    const std::vector<Case> cases = {
        {"new file", [](const testenv::TempDir&) {}, "t.ini", fresh},
        {"owner only", [&](const testenv::TempDir& d) { old(d, "t.ini", 0600); }, "t.ini", 0600},
        {"group read", [&](const testenv::TempDir& d) { old(d, "t.ini", 0640); }, "t.ini", 0640},
        {"relative link",
         [&](const testenv::TempDir& d) {
             old(d, "real.ini", 0604);
             fs::create_symlink("real.ini", d.File("t.ini"));
         },
         "real.ini", 0604},
        {"chain of links into another folder",
         [&](const testenv::TempDir& d) {
             fs::create_directory(d.File("sub"));
             old(d, "sub/real.ini", 0644);
             fs::create_symlink(d.File("sub/real.ini"), d.File("sub/abs.ini"));
             fs::create_symlink("sub/abs.ini", d.File("t.ini"));
         },
         "sub/real.ini", 0644},
        {"dangling link", [](const testenv::TempDir& d) { fs::create_symlink("real.ini", d.File("t.ini")); },
         "real.ini", fresh},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::TempDir dir;
        c.prepare(dir);
        auto expected = Snapshot(dir.Path());
        expected[dir.File(c.written)] = "new\r\n";
        ASSERT_TRUE(platform::ReplaceWholeFile(dir.File("t.ini"), "new\r\n"));
        EXPECT_EQ(Snapshot(dir.Path()), expected) << "links kept, no temporary file left";
        struct stat st;
        ASSERT_EQ(stat(dir.File(c.written).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
}

TEST(ReplaceWholeFile, EveryFailureLeavesTheOldBytesAndNoStrayFile) {
    struct Case {
        const char* name;
        bool needsNonRoot;  // permission bits do not stop root
        std::function<std::string(const testenv::TempDir&)> prepare;
        rlim_t maxFileSize;
    };
    const std::string old = "[System]\nLeft=5\n";
    const auto existing = [&](const testenv::TempDir& d) {
        testenv::WriteFile(d.File("t.ini"), old);
        return d.File("t.ini");
    };
    const std::vector<Case> cases = {
        {"empty path", false, [](const testenv::TempDir&) { return std::string(); }, RLIM_INFINITY},
        {"absent folder", false, [](const testenv::TempDir& d) { return d.File("none/t.ini"); },
         RLIM_INFINITY},
        {"rename over a non-empty folder", false,
         [&](const testenv::TempDir& d) {
             fs::create_directory(d.File("t.ini"));
             testenv::WriteFile(d.File("t.ini/inner"), old);
             return d.File("t.ini");
         },
         RLIM_INFINITY},
        {"rename over an empty folder", false,
         [](const testenv::TempDir& d) {
             fs::create_directory(d.File("t.ini"));
             return d.File("t.ini");
         },
         RLIM_INFINITY},
        {"link loop", false,
         [](const testenv::TempDir& d) {
             fs::create_symlink("b.ini", d.File("t.ini"));
             fs::create_symlink("t.ini", d.File("b.ini"));
             return d.File("t.ini");
         },
         RLIM_INFINITY},
        {"disk refuses the write part-way", false, existing, 100},
        {"read-only file", true,
         [&](const testenv::TempDir& d) {
             chmod(existing(d).c_str(), 0444);
             return d.File("t.ini");
         },
         RLIM_INFINITY},
        {"read-only folder and file", true,  // a writable file would be written in place
         [&](const testenv::TempDir& d) {
             chmod(existing(d).c_str(), 0444);
             chmod(d.Path().c_str(), 0555);
             return d.File("t.ini");
         },
         RLIM_INFINITY},
    };
    const std::string replacement(4096, 'x');
    testenv::RootSkips rootSkips;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (rootSkips.Skip(c.needsNonRoot, c.name)) continue;
        testenv::TempDir dir;
        const std::string path = c.prepare(dir);
        const auto before = Snapshot(dir.Path());
        EXPECT_FALSE(
            WriteInChild([&] { return platform::ReplaceWholeFile(path, replacement); }, c.maxFileSize));
        EXPECT_EQ(Snapshot(dir.Path()), before);
    }
    if (!rootSkips.Note().empty()) GTEST_SKIP() << rootSkips.Note();
}

// The settings file's writers, each turning the file with Left=from into the file with Left=to.
struct Writer {
    const char* name;
    std::function<bool(const std::string& path, int from, int to)> write;
};

std::string SettingsWithPadding(int left, int paddingLines) {
    std::string text;
    for (int i = 0; i < paddingLines; ++i) text += "; padding line " + std::to_string(i) + "\r\n";
    return text + "[System]\r\nLeft=" + std::to_string(left) + "\r\nTop=0\r\n";
}

const std::vector<Writer>& Writers() {
    static const std::vector<Writer> writers = {
        {"whole-file replace",
         [](const std::string& path, int, int to) {
             return platform::ReplaceWholeFile(path, SettingsWithPadding(to, 20000));
         }},
        {"private-profile write",
         [](const std::string& path, int, int to) {
             return platform::WritePrivateProfileString("System", "Left", std::to_string(to).c_str(),
                                                        path.c_str());
         }},
        {"line editor",
         [](const std::string& path, int, int to) {
             iniacs ini;
             ini.SetFile(path, 1);
             return ini.WriteInt("System", "Left", to) == 1;
         }},
    };
    return writers;
}

TEST(ReplaceWholeFile, WritersThatCannotFinishLeaveTheOldFile) {
    for (const Writer& w : Writers()) {
        SCOPED_TRACE(w.name);
        testenv::TempDir dir;
        const std::string path = dir.File("t.ini");
        testenv::WriteFile(path, SettingsWithPadding(1, 100));
        const auto before = Snapshot(dir.Path());
        WriteInChild([&] { return w.write(path, 1, 2); }, 1000);
        EXPECT_EQ(Snapshot(dir.Path()), before);
    }
}

// Kills a writer that keeps switching the file between two versions at many different moments;
// the file must always be exactly one of the two.
TEST(ReplaceWholeFile, KillAtAnyMomentLeavesOldOrNewFile) {
    constexpr int kKills = 30;
    for (const Writer& w : Writers()) {
        SCOPED_TRACE(w.name);
        testenv::TempDir dir;
        const std::string path = dir.File("t.ini");
        const std::string one = SettingsWithPadding(1, 20000), two = SettingsWithPadding(2, 20000);
        testenv::WriteFile(path, one);
        for (int kill = 0; kill < kKills; ++kill) {
            pid_t pid = fork();
            if (pid == 0) {
                for (int i = 0; i < 100000; ++i) w.write(path, 1 + i % 2, 2 - i % 2);
                _exit(0);
            }
            usleep(static_cast<useconds_t>((kill * 7919) % 40000));
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            const std::string now = testenv::ReadFile(path);
            ASSERT_TRUE(now == one || now == two) << "kill " << kill << " left " << now.size() << " bytes";
        }
    }
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st;
}

int LeftOf(const std::string& path) {
    return static_cast<int>(platform::GetPrivateProfileInt("System", "Left", -1, path.c_str()));
}

// A settings file that may be written in a folder that refuses new files (the user's own file in
// a shared, read-only folder): the edit is written into the file itself rather than lost.
TEST(ReplaceWholeFile, WritesInPlaceWhenOnlyTheFolderRefusesANewFile) {
    const uid_t user = testenv::OrdinaryUser();
    for (const Writer& w : Writers()) {
        SCOPED_TRACE(w.name);
        testenv::TempDir dir("/tmp");  // reachable by nobody, when the test runs as root
        const std::string path = dir.File("t.ini");
        const std::string small = SettingsWithPadding(1, 0);
        testenv::WriteFile(path, small);
        ASSERT_EQ(chown(path.c_str(), user, static_cast<gid_t>(-1)), 0);
        chmod(path.c_str(), 0644);
        chmod(dir.Path().c_str(), 0555);
        const ino_t inode = StatOf(path).st_ino;

        // A file size limit stops the write part-way: the old contents are put back.
        WriteInChild([&] { return w.write(path, 1, INT_MIN); }, small.size() + 3, user);
        EXPECT_EQ(testenv::ReadFile(path), small);
        // A file that may not be written is not written in place either.
        chmod(path.c_str(), 0444);
        EXPECT_FALSE(
            WriteInChild([&] { return w.write(path, 1, 2) && LeftOf(path) == 2; }, RLIM_INFINITY, user));
        EXPECT_EQ(testenv::ReadFile(path), small);
        chmod(path.c_str(), 0644);

        EXPECT_TRUE(WriteInChild([&] { return w.write(path, 1, 2); }, RLIM_INFINITY, user));
        EXPECT_EQ(LeftOf(path), 2);
        EXPECT_EQ(StatOf(path).st_ino, inode);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1) << "no temporary file left";
    }
}

// Replacing the file must not hand it to whoever saved it: root saving a user's file (sudo -E)
// keeps it the user's; a user who may write another user's file (but not make it theirs) writes
// it in place.
TEST(ReplaceWholeFile, KeepsTheOwnerAndGroupOfTheFile) {
    if (!testenv::NoOtherUsers().empty()) GTEST_SKIP() << testenv::NoOtherUsers();
    struct Case {
        const char* name;
        std::optional<uid_t> writer;  // nullopt: root
        uid_t folderOwner, fileOwner;
        mode_t folderMode, fileMode;
        bool inPlace;
    };
    const Case cases[] = {
        {"root saves a user's file", std::nullopt, testenv::kNobody, testenv::kNobody, 0700, 0600, false},
        {"a user saves another user's file", testenv::kNobody, 0, testenv::kSecondUser, 0777, 0666, true},
    };
    for (const Case& c : cases) {
        for (const Writer& w : Writers()) {
            SCOPED_TRACE(std::string(c.name) + ", " + w.name);
            testenv::TempDir dir("/tmp");
            const std::string path = dir.File("t.ini");
            testenv::WriteFile(path, SettingsWithPadding(1, 10));
            chown(path.c_str(), c.fileOwner, c.fileOwner);
            chmod(path.c_str(), c.fileMode);
            chown(dir.Path().c_str(), c.folderOwner, c.folderOwner);
            chmod(dir.Path().c_str(), c.folderMode);
            const struct stat before = StatOf(path);

            EXPECT_TRUE(WriteInChild([&] { return w.write(path, 1, 2); }, RLIM_INFINITY, c.writer));
            const struct stat after = StatOf(path);
            EXPECT_EQ(LeftOf(path), 2);
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_gid, before.st_gid);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace);
        }
    }
}

// A writer killed part-way leaves its temporary file; the next save removes it, and only files of
// that exact kind whose writer is gone.
TEST(ReplaceWholeFile, RemovesTemporaryFilesOfWritersThatAreGone) {
    testenv::TempDir dir;
    const std::string path = dir.File("t.ini");
    testenv::WriteFile(path, SettingsWithPadding(1, 0));
    testenv::ChildProcess killed([&] {
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        rlimit limit{1000, 1000};  // SIGXFSZ ends it in the middle of its temporary file
        setrlimit(RLIMIT_FSIZE, &limit);
        return platform::ReplaceWholeFile(path, SettingsWithPadding(2, 20000)) ? 0 : 1;
    });
    const std::string gone = std::to_string(killed.Pid());
    ASSERT_EQ(killed.Wait(), -1);
    const auto before = Snapshot(dir.Path());
    ASSERT_EQ(before.size(), 2u) << "the killed writer left its temporary file";

    const std::vector<std::string> kept = {
        ".qlxduo-" + std::to_string(getpid()) + "-1-1.tmp",  // a writer that runs
        ".qlxduo-1-1-1.tmp",                                 // a running process of another user
        ".qlxduo-" + gone + "-1-1.tmp.bak",
        "qlxduo-" + gone + "-1-1.tmp",
        ".qlxduo-" + gone + "-x-1.tmp",
        ".qlxduo-" + gone + "-1.tmp",
        ".qlxduo--" + gone + "-1-1.tmp",
        ".qlxduo-notes.tmp",
    };
    for (const std::string& name : kept) testenv::WriteFile(dir.File(name), "x");
    testenv::WriteFile(dir.File(".qlxduo-" + gone + "-7-123456789.tmp"), "x");

    ASSERT_TRUE(platform::ReplaceWholeFile(path, "new\r\n"));
    std::map<std::string, std::string> expected = {{path, "new\r\n"}};
    for (const std::string& name : kept) expected[dir.File(name)] = "x";
    EXPECT_EQ(Snapshot(dir.Path()), expected);
}

}  // namespace
