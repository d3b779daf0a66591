// SPDX-License-Identifier: MIT
#pragma once
// Where the exchange benchmark's two units come from, per operating system: one that answers at
// once and one that is silent, each reachable as a COM port for as long as the object lives. On
// Linux the benchmark starts two simulated units and maps them itself; on Windows (under Wine) the
// Linux side has mapped them and passes their COM numbers.

#include <memory>
#include <string>

class CBenchUnits {
public:
    // Linux: [path-to-qlxduo-sim]. Windows: ANSWERING-COM SILENT-COM, either 0 to leave its part out.
    CBenchUnits(int argc, char** argv);
    ~CBenchUnits();
    CBenchUnits(const CBenchUnits&) = delete;
    CBenchUnits& operator=(const CBenchUnits&) = delete;

    // Why no unit could be had; empty when both parts that were asked for are ready.
    const std::string& Error() const { return m_error; }
    int AnsweringPort() const { return m_answeringPort; }  // 0: not measured
    int SilentPort() const { return m_silentPort; }        // 0: not measured

    static const char* Usage();

private:
    struct Processes;
    std::unique_ptr<Processes> m_processes;
    std::string m_error;
    int m_answeringPort = 0;
    int m_silentPort = 0;
};

// Processor time this process has used so far, in milliseconds.
double ProcessorTimeMs();
