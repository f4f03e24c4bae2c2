// SPDX-License-Identifier: MIT
#include "app/record_file.h"

#include "app/files.h"
#include "app/program.h"

namespace tambrel {

bool RecordFile::start(const std::string& path, std::string& error)
{
    m_path = path;
    if (update(true, error) == Write::Done) return true;
    m_path.clear(); // nothing is recorded: the caller refuses to start
    m_failing = false;
    return false;
}

RecordFile::Write RecordFile::update(bool always, std::string& error)
{
    if (m_path.empty()) return Write::Nothing;
    const uint64_t appended = m_program.recorder().log().appendedBytes();
    if (appended == m_written && !always && !m_failing) return Write::Nothing;
    if (writeWholeFile(m_path, m_program.sessionFile(), error)) {
        m_written = appended;
        m_failing = false;
        return Write::Done;
    }
    const bool told = m_failing;
    m_failing = true;
    m_problem = error;
    return told ? Write::FailedAgain : Write::Failed;
}

} // namespace tambrel
