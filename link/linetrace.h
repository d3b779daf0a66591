// SPDX-License-Identifier: MIT
#pragma once
// The trace of a serial line: one text line per command line sent, per reply line received and per
// remark, in one format for the tool and the simulated unit, so that their two traces can be laid
// side by side (or merged with `sort -n`: both take their time stamps from the same monotonic clock).
//
//     <milliseconds> <port> <direction> <bytes>
//     52341.207 COM7 -> I\r\n
//     52341.388 COM7 <- OK,QLX-11D\r\n
//
// The direction is "->" for bytes the writer of the trace sent, "<-" for bytes it received and "--"
// for a remark. The bytes are escaped: \r, \n, \\ and \xNN for every other byte outside printable
// ASCII, so a trace line is one line of plain ASCII whatever went over the wire.

#include <string>
#include <string_view>

namespace linetrace {

enum class Direction { Sent, Received, Remark };

// Milliseconds on the monotonic clock that every process of this machine shares.
double NowMs();

// The bytes as a trace shows them.
std::string EscapeBytes(std::string_view bytes);

// One trace line, its line feed included.
std::string FormatLine(double ms, std::string_view port, Direction direction, std::string_view bytes);
// The same with a stamp of another clock ("2026-12-09T13:05:42.317+01:00" for the wall clock).
std::string FormatLine(std::string_view stamp, std::string_view port, Direction direction,
                       std::string_view bytes);

}  // namespace linetrace

// Watches the exchanges of one CSerialPort. CommandExchange calls it, only from the thread that
// uses that port; it is never called while no observer is set.
class CLineObserver {
public:
    virtual ~CLineObserver() = default;
    // One command line, just before it is written.
    virtual void Sent(std::string_view bytes) = 0;
    // One reply line as it arrived, carriage returns and line feed included; or the bytes that
    // came before the deadline ran out.
    virtual void Received(std::string_view bytes) = 0;
    // What happened besides: a reply that did not come in time, bytes thrown away.
    virtual void Remark(std::string_view text) = 0;
};
