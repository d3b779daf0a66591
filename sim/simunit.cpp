// SPDX-License-Identifier: MIT
#include "sim/simunit.h"

#include <algorithm>
#include <sstream>

#include "platform/smallfiles_linux.h"

namespace sim {
namespace {

constexpr const char* kAccepted = "OK";
constexpr const char* kRejected = "NG";
// Like the unit's own input buffer: a line never grows without bound; the excess is dropped.
constexpr size_t kLongestLine = 1024;
constexpr size_t kLongestLineBytes = 4096;
// Two lines of six small codes; anything longer is not a state file.
constexpr size_t kLongestState = 256;

// Every code one the unit takes, the baud code one its firmware offers.
bool ValidCodes(const unit::PortParameters& p, const std::string& firmware) {
    const int number = unit::FirmwareNumber(firmware);
    return std::all_of(
        unit::kParameterFields.begin(), unit::kParameterFields.end(),
        [&](const unit::ParameterField& field) { return unit::IsOffered(field, p.*field.member, number); });
}

}  // namespace

std::vector<ReceivedLine> LineAssembler::Feed(const char* bytes, size_t count) {
    std::vector<ReceivedLine> lines;
    for (size_t i = 0; i < count; ++i) {
        if (m_pending.bytes.size() < kLongestLineBytes) m_pending.bytes.push_back(bytes[i]);
        if (bytes[i] == '\n') {
            lines.push_back(std::move(m_pending));
            m_pending = {};
        } else if (bytes[i] != '\r' && m_pending.text.size() < kLongestLine) {
            m_pending.text.push_back(bytes[i]);
        }
    }
    return lines;
}

SimUnit::SimUnit(UnitOptions options) : m_options(std::move(options)), m_a(m_options.a), m_b(m_options.b) {
    if (!m_options.stateFile.empty()) LoadState(m_options.stateFile, m_a, m_b);
}

std::optional<std::string> SimUnit::Answer(const std::string& line) {
    if (m_options.silent || m_normalMode) return std::nullopt;
    for (const std::string& prefix : m_options.rejects) {
        if (line.starts_with(prefix)) return kRejected;
    }
    return Reply(line);
}

std::string SimUnit::Reply(const std::string& line) {
    if (line == "I") return std::string(kAccepted) + "," + m_options.identity;
    if (line == "V") return std::string(kAccepted) + "," + m_options.firmware;
    if (line == "AG A") return std::string(kAccepted) + "," + unit::JoinCodes(m_a);
    if (line == "AG B") return std::string(kAccepted) + "," + unit::JoinCodes(m_b);
    if (line.starts_with("AS ")) return SetParameters(line);
    if (line.starts_with("W ")) return Store(line);
    if (line == "E") {
        m_normalMode = true;
        return kAccepted;
    }
    return kRejected;
}

// "AS A 1,2,0,21,0,2": the codes become the port's current ones when all six are valid.
std::string SimUnit::SetParameters(const std::string& line) {
    unit::PortParameters codes;
    const bool portA = line.starts_with("AS A ");
    if ((!portA && !line.starts_with("AS B ")) || !unit::ParseCodeList(line.substr(5), codes) ||
        !ValidCodes(codes, m_options.firmware)) {
        return kRejected;
    }
    (portA ? m_a : m_b) = codes;
    return kAccepted;
}

std::string SimUnit::Store(const std::string& line) {
    if (line != std::string("W ") + unit::kAccessCode) return kRejected;
    if (!m_options.stateFile.empty() && !SaveState(m_options.stateFile, m_a, m_b)) return kRejected;
    return kAccepted;
}

// Read without blocking on a FIFO or device in its place, and never more than a state file holds.
bool LoadState(const std::string& path, unit::PortParameters& a, unit::PortParameters& b) {
    const auto text = platform::ReadSmallFile(path, kLongestState + 1);
    if (!text || text->size() > kLongestState) return false;
    std::istringstream in(*text);
    std::string lineA, lineB;
    unit::PortParameters readA, readB;
    if (!std::getline(in, lineA) || !std::getline(in, lineB) || !lineA.starts_with("A=") ||
        !lineB.starts_with("B=") || !unit::ParseCodeList(lineA.substr(2), readA) ||
        !unit::ParseCodeList(lineB.substr(2), readB)) {
        return false;
    }
    a = readA;
    b = readB;
    return true;
}

// Written to a new file beside it and renamed over it, so a crash never leaves half a state. The
// rename replaces whatever stands at the path (a planted link too) without following it.
bool SaveState(const std::string& path, const unit::PortParameters& a, const unit::PortParameters& b) {
    const std::string text = "A=" + unit::JoinCodes(a) + "\nB=" + unit::JoinCodes(b) + "\n";
    platform::CFileBeside file(path, 0600);
    return file.Fd() >= 0 && platform::WriteWhole(file.Fd(), text) && file.PutInPlace();
}

}  // namespace sim
