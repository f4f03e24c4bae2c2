// SPDX-License-Identifier: MIT
#include "app/session_log.h"

#include <climits>

#ifdef TAMBREL_HAVE_ZLIB
#include <zlib.h>
#endif

namespace tambrel {

#ifdef TAMBREL_HAVE_ZLIB
// Appended records are compressed a few kilobytes at a time: about once in
// ten seconds of play, a tenth of a millisecond each time.
constexpr size_t kCompressEvery = 4096;

struct SessionLog::Deflater {
    z_stream z{};
    std::vector<uint8_t> out; // the compressed stream so far

    Deflater() { deflateInit(&z, Z_DEFAULT_COMPRESSION); }
    ~Deflater() { deflateEnd(&z); }

    // Feeds `in` to the stream `s`, its output appended to `to`.
    static void feed(z_stream& s, std::span<const uint8_t> in, int flush, std::vector<uint8_t>& to)
    {
        s.next_in = const_cast<Bytef*>(in.data());
        s.avail_in = static_cast<uInt>(in.size());
        do {
            const size_t before = to.size();
            to.resize(before + deflateBound(&s, s.avail_in) + 64);
            s.next_out = to.data() + before;
            s.avail_out = static_cast<uInt>(to.size() - before);
            deflate(&s, flush);
            to.resize(to.size() - s.avail_out);
        } while (s.avail_in > 0 || (flush == Z_FINISH && s.avail_out == 0));
    }
};
#else
struct SessionLog::Deflater {};
#endif

SessionLog::SessionLog() { clear(); }
SessionLog::~SessionLog() = default;

void SessionLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_pending.clear();
    m_appended = 0;
#ifdef TAMBREL_HAVE_ZLIB
    m_deflater = std::make_unique<Deflater>();
#endif
}

void SessionLog::append(std::span<const uint8_t> bytes)
{
    std::lock_guard lock(m_mutex);
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    m_appended += bytes.size();
#ifdef TAMBREL_HAVE_ZLIB
    if (m_pending.size() >= kCompressEvery) {
        Deflater::feed(m_deflater->z, m_pending, Z_NO_FLUSH, m_deflater->out);
        m_pending.clear();
    }
#endif
}

#ifdef TAMBREL_HAVE_ZLIB
std::vector<uint8_t> SessionLog::file(const SessionHeader& header, std::span<const uint8_t> ending) const
{
    std::vector<uint8_t> file = encodeHeader(header);
    std::lock_guard lock(m_mutex);
    // The open stream stays open: a copy of it takes the rest and is ended.
    z_stream copy{};
    deflateCopy(&copy, &m_deflater->z);
    file.insert(file.end(), m_deflater->out.begin(), m_deflater->out.end());
    std::vector<uint8_t> rest = m_pending;
    rest.insert(rest.end(), ending.begin(), ending.end());
    Deflater::feed(copy, rest, Z_FINISH, file);
    deflateEnd(&copy);
    return file;
}
#endif

std::vector<uint8_t> SessionLog::records(std::span<const uint8_t> ending) const
{
#ifdef TAMBREL_HAVE_ZLIB
    const std::vector<uint8_t> whole = file(SessionHeader{}, ending);
    const size_t header = encodeHeader(SessionHeader{}).size();
    std::string error;
    bool ok = false;
    return inflateRecords(std::span(whole).subspan(header), SIZE_MAX, error, ok);
#else
    std::lock_guard lock(m_mutex);
    std::vector<uint8_t> all = m_pending;
    all.insert(all.end(), ending.begin(), ending.end());
    return all;
#endif
}

size_t SessionLog::memoryBytes() const
{
    std::lock_guard lock(m_mutex);
    size_t bytes = m_pending.capacity();
#ifdef TAMBREL_HAVE_ZLIB
    // The compressed stream, and deflate's own tables at its default
    // settings (zlib's documented 2^(windowBits+2) + 2^(memLevel+9)).
    bytes += m_deflater->out.capacity() + (size_t{1} << 17) + (size_t{1} << 17);
#endif
    return bytes;
}

uint64_t SessionLog::appendedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_appended;
}

} // namespace tambrel
