// SPDX-License-Identifier: MIT
// qlxduo-cli: the command-line driver of the QLX-DUO unit.
#include "platform/terminal.h"
#include "serial/processend.h"
#include "tools/cli.h"

int main(int argc, char** argv) {
    // A closed pipe or the file size limit must not kill the tool while it holds ports: it reports
    // the failed write.
    platform::ReportFailedWrites();
    // Before any thread exists: every thread started later releases its ports on a kill too.
    platform::ReleaseDevicesOnTermination();
    platform::UseUtf8Console();
    const cli::Progress progress =
        platform::StandardErrorIsTerminal() ? cli::Progress::Shown : cli::Progress::Hidden;
    const cli::Bell bell = platform::StandardOutputIsTerminal() ? cli::Bell::Rung : cli::Bell::Silent;
    cli::CStandardOutput out(platform::StandardStream::Output);
    cli::CStandardOutput err(platform::StandardStream::Error);
    return cli::RunCli(platform::CommandLineArguments(argc, argv), out, err, progress, bell);
}
