// SPDX-License-Identifier: MIT
#pragma once
// --record's file, kept up to date while the run goes on: written whole
// whenever the session has grown (the front end asks once a second) and
// once more at the end. A write that fails leaves the last whole file in
// place and the session in memory; the front end tells the user once, at
// the time, so that they can save it elsewhere, and the next second tries
// again (a disk with room again catches up).

#include <cstdint>
#include <string>

namespace tambrel {

class Program;

class RecordFile {
public:
    explicit RecordFile(Program& program) : m_program(program) {}

    // The first write, before the window shows; false with the reason.
    bool start(const std::string& path, std::string& error);
    bool active() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }

    enum class Write {
        Nothing,     // not recording, or nothing new
        Done,        // the file holds the session so far
        Failed,      // the first failure after a write that worked: tell the user
        FailedAgain, // still failing: told already
    };
    // Writes the file if the session grew since the last write, or `always`.
    Write update(bool always, std::string& error);
    // Why the newest write failed, while the file lacks the end of the run.
    const std::string& problem() const { return m_problem; }

private:
    Program& m_program;
    std::string m_path;
    uint64_t m_written = 0; // the log's length at the last write that worked
    bool m_failing = false;
    std::string m_problem;
};

} // namespace tambrel
