// SPDX-License-Identifier: MIT
#include "app/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tambrel {

namespace {

constexpr size_t kMostPerCall = size_t{1} << 30; // what one read or write asks of the system
std::atomic<unsigned> asideCount{0};

// The folder a path names its file in, for the name written aside.
std::string folderOf(const std::string& path)
{
#ifdef _WIN32
    const size_t slash = path.find_last_of("\\/");
#else
    const size_t slash = path.rfind('/');
#endif
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

} // namespace

std::string asidePath(const std::string& path)
{
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const unsigned long process = static_cast<unsigned long>(getpid());
#endif
    return folderOf(path) + "/.tambrel-" + std::to_string(process) + "-" + std::to_string(asideCount++) + ".part";
}

#ifdef _WIN32

std::wstring wide(const std::string& s)
{
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
    return out;
}

std::string narrow(const std::wstring& s)
{
    std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

std::string systemReason(unsigned long code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text ? narrow(text) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' ')) out.pop_back();
    return out;
}

bool writeWholeFile(const std::string& path, std::span<const uint8_t> bytes, std::string& error)
{
    std::wstring aside;
    HANDLE f = INVALID_HANDLE_VALUE;
    for (int attempt = 0; f == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        aside = wide(asidePath(path));
        f = CreateFileW(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (f == INVALID_HANDLE_VALUE) {
        error = systemReason(GetLastError());
        return false;
    }
    DWORD problem = 0;
    for (size_t done = 0; done < bytes.size() && !problem;) {
        DWORD wrote = 0;
        if (!WriteFile(f, bytes.data() + done, static_cast<DWORD>(std::min(bytes.size() - done, kMostPerCall)), &wrote, nullptr))
            problem = GetLastError();
        done += wrote;
    }
    if (!problem && !FlushFileBuffers(f)) problem = GetLastError();
    if (!CloseHandle(f) && !problem) problem = GetLastError();
    if (!problem && !MoveFileExW(aside.c_str(), wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        problem = GetLastError();
    if (problem) {
        DeleteFileW(aside.c_str());
        error = systemReason(problem);
        return false;
    }
    return true;
}

bool InputFile::open(const std::string& path, std::string& error)
{
    close();
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "it is a folder, not a file";
        return false;
    }
    HANDLE f = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        error = systemReason(GetLastError());
        return false;
    }
    m_handle = f;
    LARGE_INTEGER size{};
    if (GetFileType(f) != FILE_TYPE_DISK) {
        error = "it is a device or a pipe, not a file";
    } else if (!GetFileSizeEx(f, &size)) {
        error = systemReason(GetLastError());
    } else {
        m_size = static_cast<uint64_t>(size.QuadPart);
        return true;
    }
    close();
    return false;
}

bool InputFile::read(std::span<uint8_t> into, size_t& got, std::string& error)
{
    DWORD n = 0;
    if (!ReadFile(m_handle, into.data(), static_cast<DWORD>(std::min(into.size(), kMostPerCall)), &n, nullptr)) {
        error = systemReason(GetLastError());
        return false;
    }
    got = n;
    return true;
}

bool InputFile::seek(uint64_t offset, std::string& error)
{
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN)) return true;
    error = systemReason(GetLastError());
    return false;
}

void InputFile::close()
{
    if (m_handle) CloseHandle(m_handle);
    m_handle = nullptr;
    m_size = 0;
}

#else

bool writeWholeFile(const std::string& path, std::span<const uint8_t> bytes, std::string& error)
{
    std::string aside;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        aside = asidePath(path);
        fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int problem = 0;
    for (size_t done = 0; done < bytes.size() && !problem;) {
        const ssize_t n = ::write(fd, bytes.data() + done, std::min(bytes.size() - done, kMostPerCall));
        if (n >= 0) done += static_cast<size_t>(n);
        else if (errno != EINTR) problem = errno;
    }
    // Flushed before the rename: a disk that fills while the system writes
    // back says so here, not after the name already shows the new file.
    if (!problem && ::fsync(fd) != 0) problem = errno;
    if (::close(fd) != 0 && !problem) problem = errno;
    if (!problem && ::rename(aside.c_str(), path.c_str()) != 0) problem = errno;
    if (problem) {
        ::unlink(aside.c_str());
        error = std::strerror(problem);
        return false;
    }
    return true;
}

bool InputFile::open(const std::string& path, std::string& error)
{
    close();
    // Without blocking: a named pipe with no writer would wait for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat about{};
    if (::fstat(fd, &about) != 0) {
        error = std::strerror(errno);
    } else if (!S_ISREG(about.st_mode)) {
        const char* what = S_ISDIR(about.st_mode) ? "a folder" : S_ISFIFO(about.st_mode) ? "a named pipe"
                         : S_ISSOCK(about.st_mode) ? "a socket" : "a device";
        error = std::string("it is ") + what + ", not a file";
    } else {
        m_fd = fd;
        m_size = static_cast<uint64_t>(about.st_size);
        return true;
    }
    ::close(fd);
    return false;
}

bool InputFile::read(std::span<uint8_t> into, size_t& got, std::string& error)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, into.data(), std::min(into.size(), kMostPerCall));
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return true;
        }
        if (errno != EINTR) {
            error = std::strerror(errno);
            return false;
        }
    }
}

bool InputFile::seek(uint64_t offset, std::string& error)
{
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) >= 0) return true;
    error = std::strerror(errno);
    return false;
}

void InputFile::close()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

#endif

InputFile::~InputFile() { close(); }

} // namespace tambrel
