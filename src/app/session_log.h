// SPDX-License-Identifier: MIT
#pragma once
// The record stream of the run under way, kept in memory. Where the core
// has zlib it is compressed as it grows, by one deflate stream that stays
// open, so that a saved file is the stream so far plus a short ending and
// an hour of play takes a few hundred kilobytes (screen pictures included);
// elsewhere (the web page) the records stay as they are and the page
// compresses them when it saves. Its own lock: a save on the window thread
// never waits for the state lock.

#include "app/session.h"

#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace tambrel {

class SessionLog {
public:
    SessionLog();
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Empties the log.
    void clear();
    void append(std::span<const uint8_t> bytes);
    // Everything so far, uncompressed, with `ending` (the end record) after
    // it; the log goes on.
    std::vector<uint8_t> records(std::span<const uint8_t> ending) const;
#ifdef TAMBREL_HAVE_ZLIB
    // A whole session file: the header, then everything so far and `ending`
    // compressed; the log goes on.
    std::vector<uint8_t> file(const SessionHeader& header, std::span<const uint8_t> ending) const;
#endif
    // What the log takes in memory now.
    size_t memoryBytes() const;
    // Bytes appended since the log began (uncompressed).
    uint64_t appendedBytes() const;

private:
    struct Deflater;
    mutable std::mutex m_mutex; // guards everything below
    std::vector<uint8_t> m_pending; // appended, not compressed yet (all of it without zlib)
    std::unique_ptr<Deflater> m_deflater;
    uint64_t m_appended = 0;
};

} // namespace tambrel
