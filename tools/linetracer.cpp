// SPDX-License-Identifier: MIT
#include "tools/linetracer.h"

#include "platform/records.h"

namespace cli {

void CTraceStream::Write(const std::string& line) {
    std::lock_guard hold(m_mutex);
    if (m_failed) return;
    m_stream << line;
    m_failed = !m_stream.Flush();
}

bool CTraceStream::Failed() {
    std::lock_guard hold(m_mutex);
    return m_failed;
}

void CPortTracer::Write(linetrace::Direction direction, std::string_view bytes) {
    m_stream.Write(m_stream.Clock() == TraceClock::Wall
                       ? linetrace::FormatLine(platform::WallClockTime(), m_port, direction, bytes)
                       : linetrace::FormatLine(linetrace::NowMs(), m_port, direction, bytes));
}

}  // namespace cli
