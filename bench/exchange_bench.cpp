// SPDX-License-Identifier: MIT
// Times the unit link with the simulated unit: one exchange (and its processor time) and a whole
// connect-and-read with a unit answering at once, and the processor time one exchange costs when
// the unit is silent.
// Prints each figure beside the time the same bytes need on a 115200 baud line.
//
// Usage on Linux: qlxduo-bench-exchange [path-to-qlxduo-sim]
// Under Wine: bench/wine_exchange.sh (it maps two simulated units into a private prefix).
// A unit behind a network server: qlxduo-bench-exchange --url rfc2217://HOST:PORT (or socket://);
// bench/network_exchange.sh sets one up with ser2net and compares with pyserial.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/benchunits.h"
#include "link/protocol.h"
#include "link/serialport.h"

namespace {

constexpr int kExchangeRounds = 2000;
constexpr int kConnectRounds = 300;
constexpr int kSilentRounds = 20;
constexpr double kBitsPerByte = 10.0;
constexpr double kLineBaud = 115200.0;

double ElapsedMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double WireMs(size_t bytes) {
    return static_cast<double>(bytes) * kBitsPerByte * 1e3 / kLineBaud;
}

struct Sample {
    std::vector<double> ms;
    double Percentile(double p) {
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size())))];
    }
};

size_t ReplyBytes(const char* data) {
    return std::strlen("OK,") + std::strlen(data) + std::strlen("\r\n");
}

bool Connect(CSerialPort& port, int number) {
    return OpenUnitLink(port, number) == 1;
}

bool Connect(CSerialPort& port, const std::string& url) {
    return OpenUnitLink(port, url) == 1;
}

// I, V, AG A, AG B; returns the bytes both ways, 0 when an exchange failed.
size_t ReadUnit(CSerialPort& port) {
    size_t bytes = 0;
    for (const char* command :
         {unit::kIdentifyCommand, unit::kVersionCommand, unit::kGetACommand, unit::kGetBCommand}) {
        char data[unit::kReplyDataSize] = {};
        if (CommandExchange(port, command, data) != 1) return 0;
        bytes += std::strlen(command) + ReplyBytes(data);
    }
    return bytes;
}

void Report(const char* what, Sample& sample, size_t bytes) {
    std::printf("%-28s median %8.3f ms   p99 %8.3f ms   wire limit at 115200 baud %6.3f ms (%zu bytes)\n",
                what, sample.Percentile(0.5), sample.Percentile(0.99), WireMs(bytes), bytes);
}

// The answering unit at a COM number or a network URL.
template <class Port>
bool BenchAnswering(const Port& number) {
    CSerialPort port;
    if (!Connect(port, number)) {
        std::fprintf(stderr, "the answering unit's port did not open\n");
        return false;
    }
    Sample exchange;
    char data[unit::kReplyDataSize] = {};
    const double cpuBefore = ProcessorTimeMs();
    for (int i = 0; i < kExchangeRounds; ++i) {
        double start = ElapsedMs();
        if (CommandExchange(port, unit::kVersionCommand, data) != 1) return false;
        exchange.ms.push_back(ElapsedMs() - start);
    }
    const double cpuMs = ProcessorTimeMs() - cpuBefore;
    Report("one exchange (V)", exchange, std::strlen(unit::kVersionCommand) + ReplyBytes(data));
    std::printf("%-28s mean   %8.3f ms   processor time per exchange over %d exchanges\n", "",
                cpuMs / kExchangeRounds, kExchangeRounds);
    port.Close();

    Sample connect;
    size_t bytes = 0;
    for (int i = 0; i < kConnectRounds; ++i) {
        double start = ElapsedMs();
        bytes = Connect(port, number) ? ReadUnit(port) : 0;
        connect.ms.push_back(ElapsedMs() - start);
        port.Close();
        if (bytes == 0) return false;
    }
    Report("connect and read (I,V,AG A/B)", connect, bytes);
    return true;
}

bool BenchSilent(int number) {
    CSerialPort port;
    if (!Connect(port, number)) {
        std::fprintf(stderr, "the silent unit's port COM%d did not open\n", number);
        return false;
    }
    Sample cpu;
    Sample wall;
    const double cpuBefore = ProcessorTimeMs();
    for (int i = 0; i < kSilentRounds; ++i) {
        char data[unit::kReplyDataSize] = {};
        double cpuStart = ProcessorTimeMs();
        double wallStart = ElapsedMs();
        if (CommandExchange(port, unit::kIdentifyCommand, data) != 0) return false;
        wall.ms.push_back(ElapsedMs() - wallStart);
        cpu.ms.push_back(ProcessorTimeMs() - cpuStart);
    }
    std::printf("%-28s median %8.3f ms   p99 %8.3f ms   processor time per exchange\n", "silent unit (I)",
                cpu.Percentile(0.5), cpu.Percentile(0.99));
    std::printf("%-28s median %8.3f ms   p99 %8.3f ms   elapsed per exchange\n", "", wall.Percentile(0.5),
                wall.Percentile(0.99));
    // The system's processor clock may tick coarser than one exchange: the mean over all of them.
    std::printf("%-28s mean   %8.3f ms   processor time per exchange over %d exchanges\n", "",
                (ProcessorTimeMs() - cpuBefore) / kSilentRounds, kSilentRounds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--url") == 0) return BenchAnswering(std::string(argv[2])) ? 0 : 1;
    CBenchUnits units(argc, argv);
    if (!units.Error().empty()) {
        std::fprintf(stderr, "%s\n%s", units.Error().c_str(), CBenchUnits::Usage());
        return 2;
    }
    const bool ok = (units.AnsweringPort() == 0 || BenchAnswering(units.AnsweringPort())) &&
                    (units.SilentPort() == 0 || BenchSilent(units.SilentPort()));
    return ok ? 0 : 1;
}
