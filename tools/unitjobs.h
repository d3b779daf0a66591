// SPDX-License-Identifier: MIT
#pragma once
// What the tool does to one unit, through the unit session the window uses: read it, write it, compare it
// with a configuration, switch it to normal mode. Each job opens its own port, runs to the end
// and reports an outcome; jobs for different ports may run on different threads at once.

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "ports/portlist.h"
#include "tools/fields.h"
#include "tools/portspec.h"
#include "tools/unitconfig.h"

class CLineObserver;

namespace cli {

struct UnitReading {
    std::string identity;  // raw bytes from the unit
    std::string firmware;  // raw bytes from the unit
    unit::PortParameters a;
    unit::PortParameters b;
};

// The codes of both unit ports.
struct PortPair {
    unit::PortParameters a;
    unit::PortParameters b;
    bool operator==(const PortPair&) const = default;
};

struct PortOutcome {
    PortSpec port;
    std::string device;                  // find: the device the port stands for
    platform::SerialAdapter adapter{};   // find: the adapter behind it
    int status = 0;                      // the exit status of a command for this port alone
    std::string error;                   // what failed, as a short code ("no-reply"); empty on success
    std::string message;                 // in English, the window's status text in parentheses
    std::optional<UnitReading> reading;  // what the unit holds, once read (after a write: read back)
    std::vector<Difference> differences;
    std::string time;  // when the work ended, ISO 8601 with the zone
    // The failure in a few words for a line of its own: "write rejected at \"AS B\"", "device gone".
    std::string reason;
    bool silent = false;  // the failure was a reply that did not come in time
    // A write's steps: what the unit held before, the codes sent once its firmware took them, and
    // what it read back after storing them.
    std::optional<PortPair> before;
    std::optional<PortPair> written;
    std::optional<PortPair> readBack;
};

// Codes to write, each with where it came from ("A." for a file's, "--a " for an option's), so a
// code the unit's firmware lacks is named as the user gave it.
struct PortChange {
    std::optional<unit::PortParameters> codes;
    std::string origin;
};
struct UnitChange {
    PortChange a;
    PortChange b;
};

// A stop asked for while units are worked on (the first Ctrl+C or SIGTERM of a batch): a job looks
// at it before each step that would start on a unit or change it, and once it has begun changing a
// unit goes on to a clean point.
class CStopRequest {
public:
    void Ask() { m_asked = true; }
    bool Asked() const { return m_asked; }

private:
    std::atomic<bool> m_asked{false};
};

// The outcome of a port whose job did not begin because a stop was asked for: nothing was sent.
PortOutcome NotStarted(const PortSpec& port);

PortOutcome ReadUnit(const PortSpec& port, CLineObserver* observer);
// Reads the unit, checks the baud codes against its firmware (nothing is sent when one is not
// offered), sends "AS A", "AS B" and "W", each only after the one before was accepted, and reads
// both ports back to check them. A port without codes keeps those just read. A stop asked for
// before "AS A" leaves the unit as it was; after it, the write, the store and the read-back go on.
PortOutcome WriteUnit(const PortSpec& port, const UnitChange& change, CLineObserver* observer,
                      const CStopRequest& stop);
// WriteUnit without a stop, then, with toNormal and once the codes read back right, the return to
// normal mode on the same link: a unit of the production line.
PortOutcome ConfigureUnit(const PortSpec& port, const UnitChange& change, bool toNormal,
                          CLineObserver* observer);
// Reads the unit and lists the codes in which it differs from the configuration's ports.
PortOutcome CompareUnit(const PortSpec& port, const UnitConfig& config, CLineObserver* observer);
// Opens the port as a connect does and sends "I" only, then "V" when a unit answered: succeeds with
// the identity and firmware of a unit in setting mode. A port that another program holds is left
// alone, with the error "held"; every other outcome is a port with no unit on it.
// listed: the ports present, which give a COM number's device and adapter.
PortOutcome FindUnit(const PortSpec& port, const std::vector<platform::SerialPortEntry>& listed,
                     CLineObserver* observer);
PortOutcome SwitchUnitToNormal(const PortSpec& port, CLineObserver* observer);

}  // namespace cli
