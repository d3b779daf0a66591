// SPDX-License-Identifier: MIT
#include "tools/output.h"

namespace cli {

COutput& COutput::operator<<(std::string_view text) {
    std::lock_guard hold(m_mutex);
    if (!m_failed && !text.empty()) m_failed = !Put(text);
    return *this;
}

bool COutput::Flush() {
    std::lock_guard hold(m_mutex);
    if (!m_failed) m_failed = !Sync();
    return !m_failed;
}

bool COutput::Failed() {
    std::lock_guard hold(m_mutex);
    return m_failed;
}

bool CFileOutput::Put(std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
}

bool CFileOutput::Sync() {
    return std::fflush(m_file) == 0;
}

}  // namespace cli
