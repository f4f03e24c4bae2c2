// SPDX-License-Identifier: MIT
#pragma once
// The files a user keeps, written and read the same way by every desktop
// edition and the renderer. A file is written whole or not at all: into a
// short hidden name beside it, flushed to the disk, then renamed over the
// chosen name, so that a full disk or a pulled drive leaves an earlier file
// as it was and no broken one. A file is read only when it is a regular
// file: a named pipe, a device or a folder is refused before anything waits
// on it. Paths are UTF-8 on every system; errors are the system's own words
// ("No space left on device"), for the caller to put after the file's name.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tambrel {

bool writeWholeFile(const std::string& path, std::span<const uint8_t> bytes, std::string& error);
// A new short hidden name in the folder of `path`, for what is written
// aside before it takes that name (short, so that a name as long as the
// folder allows still has one beside it, unlike "NAME.part").
std::string asidePath(const std::string& path);

// A regular file opened for reading, without blocking on what is not one.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False with the reason: the system's, or what the path is instead of a
    // regular file ("a named pipe, not a file").
    bool open(const std::string& path, std::string& error);
    uint64_t size() const { return m_size; }
    // Up to into.size() bytes at the current place; `got` 0 at the end.
    bool read(std::span<uint8_t> into, size_t& got, std::string& error);
    bool seek(uint64_t offset, std::string& error);

private:
    void close();
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
    uint64_t m_size = 0;
};

#ifdef _WIN32
// UTF-8 to and from the system's wide strings, and the system's words for
// an error code (without the full stop it ends them with).
std::wstring wide(const std::string& s);
std::string narrow(const std::wstring& s);
std::string systemReason(unsigned long code);
#endif

} // namespace tambrel
