// SPDX-License-Identifier: MIT
// The unit model in-process: its answers, line assembly, code text, options and state file.
#include "sim/simunit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "hostilefiles.h"
#include "qlxduo_version.h"
#include "sim/simrun.h"
#include "testenv.h"

namespace {

using Reply = std::optional<std::string>;

struct Dialogue {
    std::string title;
    std::vector<std::string> options;
    std::vector<std::pair<std::string, Reply>> steps;  // line sent, reply expected
};

sim::UnitOptions OptionsFrom(const std::vector<std::string>& args) {
    sim::SimOptions options;
    std::string text;
    EXPECT_EQ(sim::ParseSimOptions(args, options, text), sim::SimArguments::Run) << text;
    return options.unit;
}

TEST(SimUnitTest, AnswersTheCommandLanguage) {
    const std::vector<Dialogue> cases = {
        {"defaults",
         {},
         {{"I", "OK,QLX-11D"},
          {"V", "OK,1.03"},
          {"AG A", "OK,1,2,0,21,0,2"},
          {"AG B", "OK,0,0,0,33,0,0"},
          {"AS A 2,1,1,44,1,1", "OK"},
          {"AG A", "OK,2,1,1,44,1,1"},
          {"AS B 0,0,0,8,0,0", "OK"},
          {"AG B", "OK,0,0,0,8,0,0"},
          {"W 4172093615", "OK"},
          {"W 4172093616", "NG"},
          {"W", "NG"},
          {"i", "NG"},
          {"", "NG"},
          {"AG C", "NG"}}},
        {"AS validation",
         {"--firmware", "1.01"},
         {{"AS A 3,0,0,21,0,0", "NG"},
          {"AS A 0,3,0,21,0,0", "NG"},
          {"AS A 0,0,2,21,0,0", "NG"},
          {"AS A 0,0,0,44,0,0", "NG"},
          {"AS A 0,0,0,43,0,0", "NG"},
          {"AS A 0,0,0,7,0,0", "NG"},
          {"AS A 0,0,0,21,2,0", "NG"},
          {"AS A 0,0,0,21,0,3", "NG"},
          {"AS A -1,0,0,21,0,0", "NG"},
          {"AS A 0,0,0,21,0", "NG"},
          {"AS A 0,0,0,21,0,0,0", "NG"},
          {"AS A 0, 0,0,21,0,0", "NG"},
          {"AS C 0,0,0,21,0,0", "NG"},
          {"AS A 1,1,1,33,1,1", "OK"},
          {"AG A", "OK,1,1,1,33,1,1"}}},
        {"firmware 1.02 offers 200 bps but not 10400 bps",
         {"--firmware", "1.02"},
         {{"AS B 0,0,0,43,0,0", "OK"}, {"AS B 0,0,0,44,0,0", "NG"}}},
        {"identity, codes and rejects from options",
         {"--identity", "QLX-12X", "--a", "0,1,0,24,1,0", "--reject", "AS B", "--reject", "W"},
         {{"I", "OK,QLX-12X"},
          {"AG A", "OK,0,1,0,24,1,0"},
          {"AS A 0,0,0,21,0,0", "OK"},
          {"AS B 0,0,0,21,0,0", "NG"},
          {"W 4172093615", "NG"}}},
        {"normal mode answers nothing", {}, {{"E", "OK"}, {"I", std::nullopt}, {"E", std::nullopt}}},
        {"silent", {"--silent"}, {{"I", std::nullopt}, {"E", std::nullopt}}},
    };
    for (const Dialogue& c : cases) {
        SCOPED_TRACE(c.title);
        sim::SimUnit unit(OptionsFrom(c.options));
        for (const auto& [line, expected] : c.steps) EXPECT_EQ(unit.Answer(line), expected) << line;
    }
}

TEST(SimUnitTest, ModeSwitchReturnsToSettingMode) {
    sim::SimUnit unit(sim::UnitOptions{});
    EXPECT_EQ(unit.Answer("E"), Reply("OK"));
    EXPECT_TRUE(unit.InNormalMode());
    unit.ReturnToSettingMode();
    EXPECT_EQ(unit.Answer("V"), Reply("OK,1.03"));
}

TEST(SimUnitTest, StoredCodesSurviveInTheStateFile) {
    testenv::TempDir dir;
    sim::UnitOptions options;
    options.stateFile = dir.File("unit.state");
    {
        sim::SimUnit unit(options);
        EXPECT_EQ(unit.Answer("AS A 2,2,1,30,1,2"), Reply("OK"));
        EXPECT_EQ(unit.Answer("AS B 1,1,0,43,0,1"), Reply("OK"));
        EXPECT_EQ(unit.Answer("W 4172093615"), Reply("OK"));
        EXPECT_EQ(unit.Answer("AS A 0,0,0,21,0,0"), Reply("OK"));  // set but never stored
    }
    EXPECT_EQ(testenv::ReadFile(options.stateFile), "A=2,2,1,30,1,2\nB=1,1,0,43,0,1\n");
    sim::SimUnit restarted(options);
    EXPECT_EQ(restarted.Answer("AG A"), Reply("OK,2,2,1,30,1,2"));
    EXPECT_EQ(restarted.Answer("AG B"), Reply("OK,1,1,0,43,0,1"));

    const std::vector<std::string> broken = {"", "A=1,2,3\nB=0,0,0,21,0,0\n",
                                             "B=0,0,0,21,0,0\nA=0,0,0,21,0,0\n"};
    for (const std::string& text : broken) {
        testenv::WriteFile(options.stateFile, text);
        sim::SimUnit unit(options);
        EXPECT_EQ(unit.Answer("AG A"), Reply("OK,1,2,0,21,0,2")) << text;
    }
    options.stateFile = dir.File("missing-folder/unit.state");
    sim::SimUnit unwritable(options);
    EXPECT_EQ(unwritable.Answer("W 4172093615"), Reply("NG"));
}

// Someone who may write the state file's folder plants links where the state file is written; the
// unit replaces the state file itself and writes through no link.
TEST(SimUnitTest, StoringWritesThroughNoPlantedLink) {
    testenv::TempDir dir;
    sim::UnitOptions options;
    options.stateFile = dir.File("unit.state");
    const std::string victim = dir.File("victim");
    testenv::WriteFile(victim, "keep me\n");
    for (const char* suffix : {"", ".new", ".tmp", "~", ".swp"}) {
        std::filesystem::create_symlink(victim, options.stateFile + suffix);
    }
    sim::SimUnit unit(options);
    EXPECT_EQ(unit.Answer("AS A 0,0,0,33,0,0"), Reply("OK"));
    EXPECT_EQ(unit.Answer("W 4172093615"), Reply("OK"));
    EXPECT_EQ(testenv::ReadFile(victim), "keep me\n");
    struct stat st {};
    ASSERT_EQ(lstat(options.stateFile.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(testenv::ReadFile(options.stateFile), "A=0,0,0,33,0,0\nB=0,0,0,33,0,0\n");
    // Nothing left beside it but what was planted.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 6);
}

// A state path that is no state file reads as none, at once: the unit starts with its defaults.
TEST(SimUnitTest, StatePathThatIsNoStateFileReadsAsNone) {
    const std::string stored = "A=0,0,0,8,0,0\nB=0,0,0,8,0,0\n";
    const auto hostiles = testenv::HostileFiles(stored + std::string(1 << 20, '#'), stored);
    const std::string notMade = testenv::ForEachHostileFile(hostiles, [](const std::string&,
                                                                         const std::string& path) {
        sim::UnitOptions options;
        options.stateFile = path;
        auto started = std::async(std::launch::async, [&] { return sim::SimUnit(options).Answer("AG A"); });
        if (started.wait_for(std::chrono::milliseconds(testenv::kHangGuardMs)) != std::future_status::ready) {
            // A reader stuck in opening the FIFO: a writer lets it go on, so the test can end.
            close(open(options.stateFile.c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "reading the state blocked";
        }
        EXPECT_EQ(started.get(), Reply("OK,1,2,0,21,0,2"));
    });
    if (!notMade.empty()) GTEST_SKIP() << notMade;
}

TEST(SimUnitTest, LineAssemblerDropsCarriageReturnsAndSplitsOnLineFeeds) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> texts;
        std::vector<std::string> bytes;  // each line as it came, for the log
    };
    const std::vector<Case> cases = {
        {{"I\r\n"}, {"I"}, {"I\r\n"}},
        {{"A", "G A", "\r", "\n"}, {"AG A"}, {"AG A\r\n"}},
        {{"A\rG\r B\r\n", "V\n"}, {"AG B", "V"}, {"A\rG\r B\r\n", "V\n"}},
        {{"\n\r\n"}, {"", ""}, {"\n", "\r\n"}},
        {{"I\r\nV\r\nE"}, {"I", "V"}, {"I\r\n", "V\r\n"}},
        {{std::string(1000, 'x'), std::string(100, 'y') + "\n"},
         {std::string(1000, 'x') + std::string(24, 'y')},
         {std::string(1000, 'x') + std::string(100, 'y') + "\n"}},
        {{std::string(5000, 'z') + "\n"}, {std::string(1024, 'z')}, {std::string(4096, 'z')}},
    };
    for (const Case& c : cases) {
        sim::LineAssembler assembler;
        std::vector<std::string> texts, bytes;
        for (const std::string& chunk : c.chunks) {
            for (const sim::ReceivedLine& line : assembler.Feed(chunk.data(), chunk.size())) {
                texts.push_back(line.text);
                bytes.push_back(line.bytes);
            }
        }
        EXPECT_EQ(texts, c.texts) << c.chunks.front();
        EXPECT_EQ(bytes, c.bytes) << c.chunks.front();
    }
}

TEST(SimUnitTest, CodeTextIsExactlySixIntegers) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"1,2,0,21,0,2", true},  {"-1,0,0,0,0,0", true},   {"1,2,0,21,0", false},  {"1,2,0,21,0,2,", false},
        {"1,2,0,21,0,x", false}, {" 1,2,0,21,0,2", false}, {"1,,0,21,0,2", false}, {"", false},
    };
    for (const auto& [text, valid] : cases) {
        unit::PortParameters codes{9, 9, 9, 9, 9, 9};
        EXPECT_EQ(unit::ParseCodeList(text, codes), valid) << text;
        // A refused text leaves the codes as they were.
        const std::string expected = valid ? text : "9,9,9,9,9,9";
        EXPECT_EQ(unit::JoinCodes(codes), expected);
    }
}

TEST(SimUnitTest, OptionsAreCheckedBeforeTheUnitStarts) {
    using sim::SimArguments;
    struct Case {
        std::vector<std::string> args;
        SimArguments result;
        std::string text;  // what the text holds: the error names the option and what is wrong
    };
    const std::vector<Case> cases = {
        {{}, SimArguments::Run, ""},
        {{"--com", "7", "--reply-delay", "250", "--silent", "--log", "x", "--wire", "y", "--state", "z"},
         SimArguments::Run,
         ""},
        {{"--help"}, SimArguments::Answered, "Usage: qlxduo-sim [OPTIONS]"},
        {{"-h"}, SimArguments::Answered, "\n  --reply-delay MS      Wait this long before each reply\n"},
        {{"--com", "0", "--help"},
         SimArguments::Answered,
         "  -V, --version         Print the version and exit\n"},
        {{"--version"}, SimArguments::Answered, "qlxduo-sim " QLXDUO_VERSION "\n"},
        {{"-V"}, SimArguments::Answered, "qlxduo-sim " QLXDUO_VERSION "\n"},
        // In the tool's words, with its hint.
        {{"--com", "0"},
         SimArguments::Invalid,
         "qlxduo-sim: --com 0: give a whole number from 1 to 255\n(qlxduo-sim --help shows the usage)\n"},
        {{"--com=256"}, SimArguments::Invalid, "--com 256: give a whole number from 1 to 255"},
        {{"--com"}, SimArguments::Invalid, "--com needs N"},
        {{"--com", "7", "--com", "8"}, SimArguments::Invalid, "--com is given twice"},
        {{"--silent=yes"}, SimArguments::Invalid, "--silent takes no value"},
        {{"--a", "1,2,3"}, SimArguments::Invalid, "--a 1,2,3: six comma-separated whole numbers are needed"},
        {{"--reply-delay", "-5"},
         SimArguments::Invalid,
         "--reply-delay -5: give a whole number from 0 to 60000"},
        {{"--reply-delay", "60001"},
         SimArguments::Invalid,
         "--reply-delay 60001: give a whole number from 0 to 60000"},
        {{"--reject", ""}, SimArguments::Invalid, "--reject needs PREFIX"},
        {{"--hold", ""}, SimArguments::Invalid, "--hold needs PREFIX"},
        {{"--bogus", "1"}, SimArguments::Invalid, "the following arguments were not expected: --bogus 1"},
        {{"stray"}, SimArguments::Invalid, "the following argument was not expected: stray"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.front());
        sim::SimOptions options;
        options.com = -1;
        std::string text;
        EXPECT_EQ(sim::ParseSimOptions(c.args, options, text), c.result);
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_EQ(options.com, c.result == SimArguments::Run ? (c.args.empty() ? 0 : 7) : -1)
            << "options change only when the unit is to run";
    }
    sim::SimOptions options;
    std::string text;
    ASSERT_EQ(sim::ParseSimOptions({"--com", "9", "--reply-delay", "250", "--silent", "--wire", "w",
                                    "--reject", "AG", "--reject", "W", "--hold", "AS", "--b", "2,2,1,8,1,2"},
                                   options, text),
              SimArguments::Run)
        << text;
    EXPECT_EQ(options.com, 9);
    EXPECT_EQ(options.unit.replyDelayMs, 250);
    EXPECT_TRUE(options.unit.silent);
    EXPECT_EQ(options.wireFile, "w");
    EXPECT_EQ(options.unit.rejects, (std::vector<std::string>{"AG", "W"}));
    EXPECT_EQ(options.unit.hold, "AS");
    EXPECT_EQ(unit::JoinCodes(options.unit.b), "2,2,1,8,1,2");
}

}  // namespace
