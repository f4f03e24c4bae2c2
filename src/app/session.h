// SPDX-License-Identifier: MIT
#pragma once
// The session: everything a run needs to be replayed bit for bit, and
// nothing more. A header (format version, program version, seed, surface
// size) and a stream of records: every pass with the pointer readings it
// made, every command that changes the state in its place between the
// passes, and the screen pictures the capture obtained. The program is
// deterministic, so these inputs are the whole run. The file holds the
// record stream compressed (zlib's format, which browsers inflate too);
// docs/session-format.md describes it byte by byte.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tambrel {

// Version 2 adds a check (CRC-32) of the header; version 1 files are still read.
constexpr uint16_t kSessionFormatVersion = 2;
constexpr uint16_t kOldestSessionFormatVersion = 1;
constexpr size_t kSessionHeaderMinBytes = 20;
// Limits a reader holds every file to, so that no file makes it allocate
// without bound.
constexpr size_t kMaxSessionRecordBytes = size_t{256} << 20; // decompressed
constexpr int kMaxPictureWidth = 600, kMaxPictureHeight = 512; // what the capture copies of a screen
constexpr int kMaxReadingsPerRecord = 64;
constexpr size_t kMaxProgramVersionBytes = 32;

enum class RecordTag : uint8_t {
    End = 0,       // the last record, at the session's end time: nothing follows
    Pass = 1,      // a pass begins: its time step
    Command = 2,   // a command begins: control id, notify code, time step
    Pointer = 3,   // a pointer reading of the pass or command: the change from the previous reading
    Picture = 4,   // the screen picture the capture obtained: width, height, RGB rows
    NoPicture = 5, // the capture obtained none
};

struct SessionHeader {
    uint16_t formatVersion = kSessionFormatVersion;
    std::string programVersion;
    uint32_t seed = 0;
    uint16_t surfaceWidth = 0, surfaceHeight = 0;
    bool holdsScreenPictures = false;
};

// One record as read from the stream. Times are whole milliseconds since
// the run began; pointer readings are client positions, as the platform
// gives them.
struct Record {
    RecordTag tag = RecordTag::End;
    uint32_t timeMs = 0;          // Pass, Command, End
    int controlId = 0, notifyCode = 0; // Command
    int x = 0, y = 0;             // Pointer
    int width = 0, height = 0;    // Picture
    const uint8_t* rgb = nullptr; // Picture: width * height * 3 bytes, row by row
};

// A place in a record stream, with what the changes there are counted
// from: where a replay can begin that starts from a checkpoint.
struct RecordMark {
    size_t offset = 0;   // in the uncompressed stream
    uint64_t index = 0;  // records before it
    uint32_t timeMs = 0; // of the last pass or command before it
    int x = 0, y = 0;    // the last pointer reading before it
};

// Appends records to a stream, coding times and pointers as changes from
// the previous ones.
class RecordWriter {
public:
    explicit RecordWriter(std::vector<uint8_t>& out) : m_out(out) {}
    // Changes from the start again, as for a new stream.
    void restart() { m_lastTime = 0, m_lastX = 0, m_lastY = 0, m_records = 0; }
    // Goes on after a stream's first records, up to `mark`.
    void resumeAt(const RecordMark& mark) { m_lastTime = mark.timeMs, m_lastX = mark.x, m_lastY = mark.y, m_records = mark.index; }
    // The mark of the next record, `offset` bytes into the whole stream.
    RecordMark mark(size_t offset) const { return {offset, m_records, m_lastTime, m_lastX, m_lastY}; }
    void pass(uint32_t timeMs);
    void command(int controlId, int notifyCode, uint32_t timeMs);
    void pointer(int x, int y);
    // rgb: width * height * 3 bytes; width and height within the limits.
    void picture(int width, int height, const uint8_t* rgb);
    void noPicture();
    void end(uint32_t timeMs);
    // The end record for `timeMs`, without writing it (the log goes on).
    std::vector<uint8_t> endRecord(uint32_t timeMs) const;

private:
    void time(uint32_t timeMs);
    std::vector<uint8_t>& m_out;
    uint32_t m_lastTime = 0;
    int m_lastX = 0, m_lastY = 0;
    uint64_t m_records = 0;
};

// Walks a record stream in order; every record is checked as it is read.
class RecordCursor {
public:
    explicit RecordCursor(std::span<const uint8_t> stream) : m_in(stream) {}
    // From a mark inside the stream.
    RecordCursor(std::span<const uint8_t> stream, const RecordMark& from)
        : m_in(stream), m_pos(from.offset), m_index(from.index), m_time(from.timeMs), m_x(from.x), m_y(from.y) {}
    // The next record, or false with a one-line error saying where and why.
    bool next(Record& record, std::string& error);
    size_t offset() const { return m_pos; }
    uint64_t index() const { return m_index; } // of the next record, from 0
    // Where the cursor stands, as a mark a cursor or a writer can go on from.
    RecordMark mark() const { return {m_pos, m_index, m_time, m_x, m_y}; }

private:
    bool fail(std::string& error, const std::string& why) const;
    std::span<const uint8_t> m_in;
    size_t m_pos = 0;
    uint64_t m_index = 0;
    uint32_t m_time = 0;
    int m_x = 0, m_y = 0;
};

// A session read and checked: its header and its record stream (End last).
struct Session {
    SessionHeader header;
    std::vector<uint8_t> records;
    uint64_t passes = 0, commands = 0, pictures = 0;
    uint32_t durationMs = 0; // the end record's time
};

// The header as it starts a file.
std::vector<uint8_t> encodeHeader(const SessionHeader& header);
// Reads a header from the start of a file; `used` is its length in bytes.
bool decodeHeader(std::span<const uint8_t> file, SessionHeader& header, size_t& used, std::string& error);
// Checks a whole record stream: every record well-formed and in its place,
// End last and nothing after it, everything within the limits. Fills the
// session's counts and takes the stream.
bool checkRecords(std::vector<uint8_t> stream, Session& session, std::string& error);

// Files: header, then the record stream compressed. Where the core has no
// zlib (the web page, which uses the browser's own), these are absent.
#ifdef TAMBREL_HAVE_ZLIB
bool readSession(std::span<const uint8_t> file, Session& session, std::string& error);
bool readSessionFile(const std::string& path, Session& session, std::string& error);
std::vector<uint8_t> inflateRecords(std::span<const uint8_t> compressed, size_t limit, std::string& error, bool& ok);
#endif

} // namespace tambrel
