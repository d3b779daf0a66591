// SPDX-License-Identifier: MIT
#include "tools/cli.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "platform/records.h"
#include "platform/terminal.h"
#include "ports/portlist.h"
#include "ports/portname.h"
#include "tools/batch.h"
#include "tools/cliargs.h"
#include "tools/report.h"
#include "tools/unitconfig.h"
#include "tools/watch.h"

namespace cli {
namespace {

int PortNumber(const platform::SerialPortEntry& entry) {
    return platform::PortOfListedName(entry.name);
}

// In port order, whatever order the system lists them in.
std::vector<platform::SerialPortEntry> SortedPorts(
    bool withAbsent, platform::PortListing listing = platform::PortListing::NumberNewDevices) {
    std::vector<platform::SerialPortEntry> ports;
    for (platform::SerialPortEntry& entry : withAbsent ? platform::EnumerateSerialPortsWithAbsent(listing)
                                                       : platform::EnumerateSerialPorts(listing)) {
        if (platform::IsComPortNumber(PortNumber(entry))) ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(),
              [](const auto& a, const auto& b) { return PortNumber(a) < PortNumber(b); });
    return ports;
}

// find leaves the network ports of the port map alone unless they are named: connecting to a server
// takes longer than the local ports' probe, which find promises to keep to.
std::vector<PortSpec> EveryPortPresent(Command command) {
    std::vector<PortSpec> ports;
    for (const platform::SerialPortEntry& entry : SortedPorts(false)) {
        if (command != Command::Find || !platform::IsNetworkPortPath(entry.device))
            ports.push_back({PortNumber(entry), ""});
    }
    return ports;
}

// The configuration file of write --from and diff, its codes checked; empty, or why it is refused.
std::string LoadCheckedConfig(const std::string& path, UnitConfig& config) {
    std::string error;
    if (!LoadConfig(path, config, error)) return error;
    const std::string source = path == "-" ? "standard input" : path;
    for (const auto& [codes, name] : {std::pair{&config.a, "A."}, std::pair{&config.b, "B."}}) {
        const std::string problem = *codes ? CheckCodes(name, **codes) : "";
        if (!problem.empty()) return source + ": " + problem;
    }
    return {};
}

// What to write: an option's codes before the file's.
UnitChange ChangeOf(const Request& request, const UnitConfig& config) {
    auto port = [](const std::optional<unit::PortParameters>& option, const char* optionName,
                   const std::optional<unit::PortParameters>& file, const char* fileName) {
        return option ? PortChange{option, optionName} : PortChange{file, fileName};
    };
    return {port(request.a, "--a ", config.a, "A."), port(request.b, "--b ", config.b, "B.")};
}

PortJob JobFor(const Request& request, const UnitConfig& config) {
    switch (request.command) {
        case Command::Find:
            return [listed = platform::EnumerateSerialPorts(platform::PortListing::ReadOnly)](
                       const PortSpec& port, CLineObserver* observer, const CStopRequest&) {
                return FindUnit(port, listed, observer);
            };
        case Command::Read:
            return [](const PortSpec& port, CLineObserver* observer, const CStopRequest&) {
                return ReadUnit(port, observer);
            };
        case Command::Write:
            return [change = ChangeOf(request, config)](const PortSpec& port, CLineObserver* observer,
                                                        const CStopRequest& stop) {
                return WriteUnit(port, change, observer, stop);
            };
        case Command::Diff:
            return [config](const PortSpec& port, CLineObserver* observer, const CStopRequest&) {
                return CompareUnit(port, config, observer);
            };
        default:
            return [](const PortSpec& port, CLineObserver* observer, const CStopRequest&) {
                return SwitchUnitToNormal(port, observer);
            };
    }
}

// The trace's stream: err for "-", else the file, appended to; nothing when none is asked for.
// Empty, or why the file cannot be used.
std::string OpenTrace(const std::string& path, TraceClock clock, COutput& err,
                      std::unique_ptr<CFileOutput>& file, std::unique_ptr<CTraceStream>& trace) {
    if (path.empty()) return {};
    if (path != "-") {
        // The C library's buffered file: the C++ file streams would add their own file and path
        // machinery to the Windows tool.
        std::FILE* opened = platform::OpenForAppending(path);
        if (opened == nullptr) return "--trace " + path + ": cannot be opened for writing";
        file = std::make_unique<CFileOutput>(opened);
    }
    trace = std::make_unique<CTraceStream>(path == "-" ? err : *file, clock);
    return {};
}

// After a stop: "stopped by a signal: 2 done, 1 failed, 3 left unchanged" (not started, or stopped
// before their write).
std::string StoppedCount(const std::vector<PortOutcome>& outcomes) {
    const auto count = [&](auto&& which) { return std::count_if(outcomes.begin(), outcomes.end(), which); };
    const auto done = count([](const PortOutcome& o) { return o.error.empty(); });
    const auto unchanged = count([](const PortOutcome& o) { return o.error == "interrupted"; });
    const auto failed = static_cast<long>(outcomes.size()) - done - unchanged;
    return "stopped by a signal: " + std::to_string(done) + " done, " + std::to_string(failed) + " failed, " +
           std::to_string(unchanged) + " left unchanged";
}

int ExitStatus(Command command, const std::vector<PortOutcome>& outcomes, bool oneOfMany) {
    // find succeeds when it found a unit anywhere.
    if (command == Command::Find) {
        const bool found = std::any_of(outcomes.begin(), outcomes.end(),
                                       [](const PortOutcome& o) { return o.error.empty(); });
        return found ? kExitSuccess : kExitUnitFailed;
    }
    if (!oneOfMany) return outcomes.front().status;
    const bool all =
        std::all_of(outcomes.begin(), outcomes.end(), [](const PortOutcome& o) { return o.status == 0; });
    return all ? kExitSuccess : kExitUnitFailed;
}

// A trace or standard output that could not be written (a full disk, a closed pipe) leaves its
// reader with less than happened: reported, and the run fails, though the units' work is done.
int OutputFailure(const std::string& what, bool json, COutput& err) {
    PrintFailure("output-failed", what + ": writing failed (a full disk or a closed pipe?); it is incomplete",
                 json, err);
    return kExitOutputFailed;
}

// A record file of watch that cannot be written is found before any unit is worked on.
std::string CheckRecordFiles(const Request& request) {
    for (const auto& [path, option] :
         {std::pair{&request.logFile, "--log "}, std::pair{&request.csvFile, "--csv "}}) {
        if (path->empty()) continue;
        const std::string error = platform::AppendRecord(*path, "");
        if (!error.empty()) return option + *path + ": cannot be written: " + error;
    }
    return {};
}

// A batch of ports as it is run and shown.
struct Batch {
    const Request& request;
    bool oneOfMany;
    COutput& out;
    COutput& err;
    COutput* progress;  // the progress line's stream; null: none
    COutput* terminal;  // a stream on the terminal, which shows a ^C typed there; null: none
};

// Works on every port, printing each outcome, flushed, as soon as it and those before it are in:
// each port's lines go out before the next port's, whichever stream carries them. The first signal
// stops the commands that change units (find, which changes none, it ends at once); the lines
// after it begin a line of their own, past the ^C a terminal showed. stopped says whether one came.
std::vector<PortOutcome> WorkOnPorts(const Batch& batch, const UnitConfig& config, CTraceStream* trace,
                                     bool& stopped) {
    const Request& request = batch.request;
    CStopRequest stop;
    std::optional<CStopOnSignal> stopOnSignal;
    if (request.command != Command::Find) stopOnSignal.emplace([&stop] { stop.Ask(); });
    std::vector<PortOutcome> outcomes;
    bool pastCtrlC = false;
    auto lineAfterCtrlC = [&] {
        if (stop.Asked() && batch.terminal != nullptr && !std::exchange(pastCtrlC, true))
            *batch.terminal << "\n";
    };
    RunOnEveryPort(
        request.ports, JobFor(request, config), trace, batch.progress, stop, [&](const PortOutcome& outcome) {
            lineAfterCtrlC();
            PrintOutcome(request.command, outcome, request.json, batch.oneOfMany, batch.out, batch.err);
            batch.out.Flush();
            batch.err.Flush();
            outcomes.push_back(outcome);
        });
    lineAfterCtrlC();
    stopped = stop.Asked();
    return outcomes;
}

// The exit status of the outcomes, with the line that sums them up where one is due.
int Conclude(const Batch& batch, const std::vector<PortOutcome>& outcomes, bool stopped) {
    const Request& request = batch.request;
    if (stopped) {
        PrintFailure("interrupted", StoppedCount(outcomes), request.json, batch.err);
        return kExitUnitFailed;
    }
    const int status = ExitStatus(request.command, outcomes, batch.oneOfMany);
    if (request.command == Command::Find && status != kExitSuccess) {
        const std::string count = std::to_string(outcomes.size());
        PrintFailure("no-unit",
                     "no unit in setting mode answered on the " + count +
                         (outcomes.size() == 1 ? " port" : " ports") + " probed",
                     request.json, batch.err);
    }
    return status;
}

int RunOnUnits(Request request, COutput& out, COutput& err, Progress progress, Bell bell) {
    UnitConfig config;
    std::unique_ptr<CFileOutput> traceFile;
    std::unique_ptr<CTraceStream> trace;
    std::string refused = request.configFile.empty() ? "" : LoadCheckedConfig(request.configFile, config);
    if (refused.empty()) refused = OpenTrace(request.traceFile, request.traceClock, err, traceFile, trace);
    if (refused.empty()) refused = CheckRecordFiles(request);
    if (!refused.empty()) return UsageError(refused, request.json, err);
    int status = kExitSuccess;
    if (request.everyPort) request.ports = EveryPortPresent(request.command);
    if (request.command == Command::Watch) {
        status = RunWatch(request, ChangeOf(request, config), trace.get(), out, err, bell);
    } else if (request.ports.empty()) {
        PrintFailure("no-port",
                     std::string(request.command == Command::Find ? "no COM port to probe"
                                                                  : "all: no COM port is present") +
                         ": " + platform::WhyNoSerialPorts() +
                         " (qlxduo-cli ports --all lists the absent ones)",
                     request.json, err);
        return kExitUnitFailed;
    } else {
        const bool oneOfMany = request.everyPort || request.ports.size() > 1;
        // The progress line stays off a standard error that carries the trace.
        const bool showProgress = progress == Progress::Shown && oneOfMany && request.traceFile != "-";
        COutput* terminal = bell == Bell::Rung ? &out : progress == Progress::Shown ? &err : nullptr;
        const Batch batch{request, oneOfMany, out, err, showProgress ? &err : nullptr, terminal};
        bool stopped = false;
        const std::vector<PortOutcome> outcomes = WorkOnPorts(batch, config, trace.get(), stopped);
        status = Conclude(batch, outcomes, stopped);
    }
    if (trace && trace->Failed()) return OutputFailure("--trace " + request.traceFile, request.json, err);
    return status;
}

// An empty list is said, with its reason, like "all" finding no port: a script or a person reading
// nothing would not know whether the tool looked.
int ListPorts(const Request& request, COutput& out, COutput& err) {
    const auto listing =
        request.readOnly ? platform::PortListing::ReadOnly : platform::PortListing::NumberNewDevices;
    const std::vector<platform::SerialPortEntry> ports = SortedPorts(request.withAbsent, listing);
    PrintPortList(ports, request.json, out);
    if (!ports.empty()) return kExitSuccess;
    PrintFailure("no-port", "no COM port: " + platform::WhyNoSerialPorts(), request.json, err);
    return kExitUnitFailed;
}

int RunCommand(const std::vector<std::string>& args, Request& request, COutput& out, COutput& err,
               Progress progress, Bell bell) {
    if (const auto exit = ParseArguments(args, request, out, err)) return *exit;
    if (request.command != Command::Ports) return RunOnUnits(request, out, err, progress, bell);
    return ListPorts(request, out, err);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, COutput& out, COutput& err, Progress progress, Bell bell) {
    Request request;
    const int status = RunCommand(args, request, out, err, progress, bell);
    if (!out.Flush()) return OutputFailure("standard output", request.json, err);
    return status;
}

}  // namespace cli
