// SPDX-License-Identifier: MIT
#include "app/session.h"

#include "app/files.h"
#include "gfx/canvas.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

#ifdef TAMBREL_HAVE_ZLIB
#include <zlib.h>
#endif

namespace tambrel {

namespace {

constexpr uint8_t kMagic[8] = {0x89, 'T', 'A', 'M', 'B', 'R', 'E', 'L'};
constexpr uint8_t kHoldsScreenPictures = 1;

// The header's check: CRC-32 as zlib and PNG compute it (reflected
// polynomial 0xEDB88320). Here, not from zlib: the page's core has none.
uint32_t headerCheck(std::span<const uint8_t> bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void putVarint(std::vector<uint8_t>& out, uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<uint8_t>(v));
}

// Signed changes as unsigned: 0, -1, 1, -2, ... as 0, 1, 2, 3, ...
uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

bool getVarint(std::span<const uint8_t> in, size_t& pos, uint64_t& v)
{
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (pos >= in.size()) return false;
        const uint8_t b = in[pos++];
        if (shift == 63 && b > 1) return false; // more than 64 bits
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

bool isControlThatChangesState(int id)
{
    return id == 1001 || (id >= 1002 && id <= 1015) || id == 1017;
}

} // namespace

void RecordWriter::time(uint32_t timeMs)
{
    // Times never go back; a clock that did (it cannot) would count as no time.
    putVarint(m_out, timeMs >= m_lastTime ? timeMs - m_lastTime : 0);
    m_lastTime = std::max(m_lastTime, timeMs);
}

void RecordWriter::pass(uint32_t timeMs)
{
    ++m_records;
    m_out.push_back(static_cast<uint8_t>(RecordTag::Pass));
    time(timeMs);
}

void RecordWriter::command(int controlId, int notifyCode, uint32_t timeMs)
{
    ++m_records;
    m_out.push_back(static_cast<uint8_t>(RecordTag::Command));
    putVarint(m_out, static_cast<uint64_t>(controlId));
    putVarint(m_out, static_cast<uint64_t>(notifyCode));
    time(timeMs);
}

void RecordWriter::pointer(int x, int y)
{
    ++m_records;
    m_out.push_back(static_cast<uint8_t>(RecordTag::Pointer));
    putVarint(m_out, zigzag(int64_t{x} - m_lastX));
    putVarint(m_out, zigzag(int64_t{y} - m_lastY));
    m_lastX = x, m_lastY = y;
}

void RecordWriter::picture(int width, int height, const uint8_t* rgb)
{
    ++m_records;
    m_out.push_back(static_cast<uint8_t>(RecordTag::Picture));
    putVarint(m_out, static_cast<uint64_t>(width));
    putVarint(m_out, static_cast<uint64_t>(height));
    m_out.insert(m_out.end(), rgb, rgb + static_cast<size_t>(width) * height * 3);
}

void RecordWriter::noPicture()
{
    ++m_records;
    m_out.push_back(static_cast<uint8_t>(RecordTag::NoPicture));
}

void RecordWriter::end(uint32_t timeMs)
{
    ++m_records;
    m_out.push_back(static_cast<uint8_t>(RecordTag::End));
    time(timeMs);
}

std::vector<uint8_t> RecordWriter::endRecord(uint32_t timeMs) const
{
    std::vector<uint8_t> out;
    RecordWriter w(out);
    w.m_lastTime = m_lastTime;
    w.end(timeMs);
    return out;
}

bool RecordCursor::fail(std::string& error, const std::string& why) const
{
    error = "record " + std::to_string(m_index + 1) + " (byte " + std::to_string(m_pos) + " of the records): " + why;
    return false;
}

bool RecordCursor::next(Record& r, std::string& error)
{
    if (m_pos >= m_in.size()) return fail(error, "the records end before their end mark (the file is cut short)");
    const size_t start = m_pos;
    const uint8_t tag = m_in[m_pos++];
    r = Record{};
    uint64_t a = 0, b = 0;
    auto varint = [&](uint64_t& v) { return getVarint(m_in, m_pos, v); };
    auto time = [&]() {
        uint64_t dt = 0;
        if (!varint(dt)) return false;
        if (dt > UINT32_MAX - m_time) return false; // past 49 days of run
        m_time += static_cast<uint32_t>(dt);
        r.timeMs = m_time;
        return true;
    };
    switch (static_cast<RecordTag>(tag)) {
    case RecordTag::NoPicture:
        break;
    case RecordTag::End:
        if (!time()) return m_pos = start, fail(error, "an end mark with a broken time");
        break;
    case RecordTag::Pass:
        if (!time()) return m_pos = start, fail(error, "a pass with a broken time");
        break;
    case RecordTag::Command:
        if (!varint(a) || !varint(b) || !time()) return m_pos = start, fail(error, "a command cut short");
        if (a > INT_MAX || !isControlThatChangesState(static_cast<int>(a)) || b > 1)
            return m_pos = start, fail(error, "a command for control " + std::to_string(a) + " with notification " +
                                                  std::to_string(b) + ", which no session holds");
        r.controlId = static_cast<int>(a), r.notifyCode = static_cast<int>(b);
        break;
    case RecordTag::Pointer: {
        if (!varint(a) || !varint(b)) return m_pos = start, fail(error, "a pointer reading cut short");
        // A change larger than any two positions are apart is refused before
        // it is added, so that the sum cannot overflow.
        const int64_t dx = unzigzag(a), dy = unzigzag(b);
        constexpr int64_t kWidest = int64_t{INT_MAX} - INT_MIN;
        const int64_t x = dx < -kWidest || dx > kWidest ? INT64_MAX : m_x + dx;
        const int64_t y = dy < -kWidest || dy > kWidest ? INT64_MAX : m_y + dy;
        if (x < INT_MIN || x > INT_MAX || y < INT_MIN || y > INT_MAX)
            return m_pos = start, fail(error, "a pointer reading beyond the range of positions");
        m_x = r.x = static_cast<int>(x), m_y = r.y = static_cast<int>(y);
        break;
    }
    case RecordTag::Picture: {
        if (!varint(a) || !varint(b)) return m_pos = start, fail(error, "a screen picture cut short");
        if (a < 1 || a > kMaxPictureWidth || b < 1 || b > kMaxPictureHeight)
            return m_pos = start, fail(error, "a screen picture of " + std::to_string(a) + " x " + std::to_string(b) +
                                                  " pixels (at most " + std::to_string(kMaxPictureWidth) + " x " +
                                                  std::to_string(kMaxPictureHeight) + ")");
        const size_t bytes = static_cast<size_t>(a) * b * 3;
        if (m_in.size() - m_pos < bytes) return m_pos = start, fail(error, "a screen picture cut short");
        r.width = static_cast<int>(a), r.height = static_cast<int>(b), r.rgb = m_in.data() + m_pos;
        m_pos += bytes;
        break;
    }
    default:
        return m_pos = start, fail(error, "an unknown kind of record (" + std::to_string(tag) + ")");
    }
    r.tag = static_cast<RecordTag>(tag);
    ++m_index;
    return true;
}

std::vector<uint8_t> encodeHeader(const SessionHeader& h)
{
    std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
    auto u16 = [&](uint16_t v) { out.push_back(static_cast<uint8_t>(v)), out.push_back(static_cast<uint8_t>(v >> 8)); };
    u16(h.formatVersion);
    const std::string version = h.programVersion.substr(0, kMaxProgramVersionBytes);
    out.push_back(static_cast<uint8_t>(version.size()));
    out.insert(out.end(), version.begin(), version.end());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(h.seed >> shift));
    u16(h.surfaceWidth);
    u16(h.surfaceHeight);
    out.push_back(h.holdsScreenPictures ? kHoldsScreenPictures : 0);
    if (h.formatVersion >= 2) {
        const uint32_t check = headerCheck(out);
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(check >> shift));
    }
    return out;
}

bool decodeHeader(std::span<const uint8_t> in, SessionHeader& h, size_t& used, std::string& error)
{
    auto fail = [&](size_t at, const std::string& why) {
        error = why + " (byte " + std::to_string(at) + " of the file)";
        return false;
    };
    if (in.size() < sizeof kMagic || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0)
        return fail(0, "not a Tambrel session file: it does not begin as one does");
    size_t pos = sizeof kMagic;
    auto need = [&](size_t n) { return in.size() - pos >= n; };
    auto u16 = [&]() {
        const uint16_t v = static_cast<uint16_t>(in[pos] | in[pos + 1] << 8);
        pos += 2;
        return v;
    };
    if (!need(3)) return fail(pos, "the header is cut short");
    h.formatVersion = u16();
    if (h.formatVersion < kOldestSessionFormatVersion || h.formatVersion > kSessionFormatVersion)
        return fail(8, "format version " + std::to_string(h.formatVersion) + ", which this program (format version " +
                           std::to_string(kSessionFormatVersion) + ") cannot replay");
    const size_t length = in[pos++];
    const size_t checkBytes = h.formatVersion >= 2 ? 4 : 0;
    if (length > kMaxProgramVersionBytes || !need(length + 9 + checkBytes)) return fail(pos - 1, "the header is cut short or broken");
    if (checkBytes) {
        // A flipped bit in the seed would replay another run: checked first.
        const size_t end = pos + length + 9;
        const uint32_t check = headerCheck(in.first(end));
        const uint32_t stored = static_cast<uint32_t>(in[end] | in[end + 1] << 8 | in[end + 2] << 16) | uint32_t{in[end + 3]} << 24;
        if (check != stored) return fail(end, "the header is damaged: its check does not match");
    }
    h.programVersion.assign(reinterpret_cast<const char*>(in.data() + pos), length);
    for (char c : h.programVersion)
        if (c < 0x20 || c > 0x7E) return fail(pos, "the program version is not plain text");
    pos += length;
    h.seed = 0;
    for (int shift = 0; shift < 32; shift += 8) h.seed |= static_cast<uint32_t>(in[pos++]) << shift;
    h.surfaceWidth = u16();
    h.surfaceHeight = u16();
    if (h.surfaceWidth != Canvas::kWidth || h.surfaceHeight != Canvas::kHeight)
        return fail(pos - 4, "made on a " + std::to_string(h.surfaceWidth) + " x " + std::to_string(h.surfaceHeight) +
                                 " surface; this program's is " + std::to_string(Canvas::kWidth) + " x " +
                                 std::to_string(Canvas::kHeight));
    const uint8_t flags = in[pos++];
    if (flags & ~kHoldsScreenPictures) return fail(pos - 1, "unknown flags in the header");
    h.holdsScreenPictures = flags & kHoldsScreenPictures;
    used = pos + checkBytes;
    return true;
}

bool checkRecords(std::vector<uint8_t> stream, Session& session, std::string& error)
{
    RecordCursor cursor(stream);
    Record r;
    // Where a record may stand: readings and pictures belong to the pass or
    // command before them, pictures to a command only.
    enum class In { Nothing, Pass, Command } group = In::Nothing;
    int readings = 0, pictures = 0;
    session.passes = session.commands = session.pictures = 0;
    for (;;) {
        const uint64_t index = cursor.index();
        const size_t at = cursor.offset();
        if (!cursor.next(r, error)) return false;
        auto misplaced = [&](const std::string& what) {
            error = "record " + std::to_string(index + 1) + " (byte " + std::to_string(at) + " of the records): " + what;
            return false;
        };
        switch (r.tag) {
        case RecordTag::Pass:
        case RecordTag::Command:
            group = r.tag == RecordTag::Pass ? In::Pass : In::Command;
            readings = pictures = 0;
            ++(r.tag == RecordTag::Pass ? session.passes : session.commands);
            session.durationMs = r.timeMs;
            break;
        case RecordTag::Pointer:
            if (group == In::Nothing) return misplaced("a pointer reading before any pass or command");
            if (++readings > kMaxReadingsPerRecord) return misplaced("more pointer readings than a pass or command makes");
            break;
        case RecordTag::Picture:
        case RecordTag::NoPicture:
            if (group != In::Command) return misplaced("a screen picture outside a command");
            if (++pictures > 1) return misplaced("a second screen picture for one command");
            if (r.tag == RecordTag::Picture) ++session.pictures;
            break;
        case RecordTag::End:
            if (cursor.offset() != stream.size()) return misplaced("more records after the end mark");
            session.durationMs = r.timeMs;
            session.records = std::move(stream);
            return true;
        }
    }
}

#ifdef TAMBREL_HAVE_ZLIB
namespace {

// Where compressed records come from: the bytes in memory, or a file.
// They are read twice, once to measure what they inflate to and once to
// fill one buffer of exactly that size, so that the largest session takes
// its own size in memory and no more (a growing buffer would take half as
// much again while it moves).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual bool read(std::span<uint8_t> into, size_t& got, std::string& error) = 0;
    virtual bool rewind(std::string& error) = 0;
    virtual uint64_t remaining() const = 0; // not read yet
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    bool read(std::span<uint8_t> into, size_t& got, std::string&) override
    {
        got = std::min(into.size(), m_bytes.size() - m_pos);
        std::copy_n(m_bytes.data() + m_pos, got, into.data());
        m_pos += got;
        return true;
    }
    bool rewind(std::string&) override { return m_pos = 0, true; }
    uint64_t remaining() const override { return m_bytes.size() - m_pos; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
};

class FileSource final : public ByteSource {
public:
    FileSource(InputFile& file, uint64_t from) : m_file(file), m_from(from), m_pos(from) {}
    bool read(std::span<uint8_t> into, size_t& got, std::string& error) override
    {
        into = into.first(static_cast<size_t>(std::min<uint64_t>(into.size(), remaining())));
        if (!m_file.read(into, got, error)) return false;
        m_pos += got;
        return true;
    }
    bool rewind(std::string& error) override { return m_pos = m_from, m_file.seek(m_from, error); }
    uint64_t remaining() const override { return m_file.size() > m_pos ? m_file.size() - m_pos : 0; }

private:
    InputFile& m_file;
    uint64_t m_from, m_pos;
};

constexpr size_t kChunk = size_t{1} << 16;

// One pass over the compressed records: into `out` (`size` bytes, what the
// first pass measured), or, without `out`, only counting up to `limit`.
bool inflatePass(ByteSource& in, uint8_t* out, size_t limit, size_t& produced, std::string& error)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return error = "cannot start decompressing", false;
    std::vector<uint8_t> input(kChunk), scratch(out ? 0 : kChunk);
    bool inputEnded = false;
    produced = 0;
    int result = Z_OK;
    for (;;) {
        if (z.avail_in == 0 && !inputEnded) {
            size_t got = 0;
            if (!in.read(input, got, error)) break;
            inputEnded = got == 0;
            z.next_in = input.data();
            z.avail_in = static_cast<uInt>(got);
        }
        uint8_t* to = out ? out + produced : scratch.data();
        const size_t room = out ? std::min<size_t>(limit - produced, kChunk) : kChunk;
        z.next_out = to;
        z.avail_out = static_cast<uInt>(room);
        result = inflate(&z, Z_NO_FLUSH);
        produced += room - z.avail_out;
        if (result == Z_STREAM_END) break;
        if (produced > limit) {
            error = "the records take more than " + std::to_string(limit >> 20) + " MiB (the most a session may hold)";
            break;
        }
        if (result == Z_DATA_ERROR || result == Z_NEED_DICT || result == Z_MEM_ERROR || result == Z_STREAM_ERROR) {
            error = std::string("the compressed records are corrupt") + (z.msg ? std::string(" (") + z.msg + ")" : "");
            break;
        }
        if (result == Z_BUF_ERROR && (z.avail_in > 0 || inputEnded)) {
            // No way on: the output is full (the second pass found more than
            // the first), or the input has ended.
            error = z.avail_out == 0 ? "the file changed while it was read" : "the compressed records are cut short";
            break;
        }
    }
    const uint64_t after = z.avail_in + in.remaining();
    inflateEnd(&z);
    if (result != Z_STREAM_END) return false;
    if (after) return error = std::to_string(after) + " bytes after the compressed records", false;
    return true;
}

bool inflateFrom(ByteSource& in, size_t limit, std::vector<uint8_t>& records, std::string& error)
{
    size_t size = 0, filled = 0;
    if (!inflatePass(in, nullptr, limit, size, error) || !in.rewind(error)) return false;
    records.assign(size, 0);
    if (!inflatePass(in, records.data(), size, filled, error)) return false;
    if (filled != size) return error = "the file changed while it was read", false;
    return true;
}

// The longest header: magic, version, program version, seed, size, flags, check.
constexpr size_t kLongestHeader = 8 + 2 + 1 + kMaxProgramVersionBytes + 4 + 4 + 1 + 4;

// The records after a header of `headerBytes`, inflated and checked.
bool readRecords(ByteSource& in, size_t headerBytes, Session& session, std::string& error)
{
    std::vector<uint8_t> records;
    if (!inflateFrom(in, kMaxSessionRecordBytes, records, error)) {
        error = error + " (from byte " + std::to_string(headerBytes) + ")";
        return false;
    }
    return checkRecords(std::move(records), session, error);
}

} // namespace

std::vector<uint8_t> inflateRecords(std::span<const uint8_t> compressed, size_t limit, std::string& error, bool& ok)
{
    MemorySource in(compressed);
    std::vector<uint8_t> out;
    ok = inflateFrom(in, limit, out, error);
    if (!ok) out.clear();
    return out;
}

bool readSession(std::span<const uint8_t> file, Session& session, std::string& error)
{
    size_t used = 0;
    if (!decodeHeader(file, session.header, used, error)) return false;
    MemorySource in(file.subspan(used));
    return readRecords(in, used, session, error);
}

bool readSessionFile(const std::string& path, Session& session, std::string& error)
{
    InputFile file;
    if (!file.open(path, error)) return false;
    // The compressed records can be no larger than their limit, with room
    // for the deflate format's own worst case.
    constexpr uint64_t kMaxFileBytes = kMaxSessionRecordBytes + (kMaxSessionRecordBytes >> 8) + 4096;
    if (file.size() > kMaxFileBytes) return error = "it is larger than any session can be", false;
    uint8_t head[kLongestHeader];
    size_t got = 0, used = 0;
    FileSource all(file, 0);
    if (!all.read(head, got, error)) return false;
    if (!decodeHeader(std::span(head, got), session.header, used, error)) return false;
    FileSource in(file, used);
    return in.rewind(error) && readRecords(in, used, session, error);
}
#endif

} // namespace tambrel
