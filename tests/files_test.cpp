// SPDX-License-Identifier: MIT
// Kept files: written whole or not at all, with the system's reason; read
// only when they are files, and a session never takes more memory than
// its own size.

#include "app/files.h"
#include "app/session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <zlib.h>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tambrel {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path = fs::temp_directory_path() / ("tambrel-files-" + std::to_string(std::random_device{}()));
    Folder() { fs::create_directories(path); }
    ~Folder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    // What the folder holds, by name: nothing written aside stays behind.
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

std::vector<uint8_t> contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Files, AWriteIsWholeOrLeavesTheEarlierFileAsItWas)
{
    Folder folder;
    const std::string kept = folder / "kept.tambrel";
    const std::vector<uint8_t> first(100000, 7), second(3, 9);
    std::string error;
    ASSERT_TRUE(writeWholeFile(kept, first, error)) << error;
    ASSERT_TRUE(writeWholeFile(kept, second, error)) << error; // replaced whole
    EXPECT_EQ(contents(kept), second);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"kept.tambrel"});

    // Where it cannot be written: the system's reason, nothing left behind.
    fs::create_directory(folder.path / "a folder");
    for (const std::string& path : {folder / "missing/x.tambrel", folder / "a folder"}) {
        error.clear();
        EXPECT_FALSE(writeWholeFile(path, first, error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"a folder", "kept.tambrel"}));
    EXPECT_EQ(contents(kept), second);

    // A name as long as a folder allows still has room for the one aside.
    const std::string longest = folder / (std::string(251, 'n') + ".png");
    EXPECT_TRUE(writeWholeFile(longest, first, error)) << error;
}

#ifndef _WIN32
TEST(Files, AFullDiskIsSaidAndLeavesNoBrokenFile)
{
    Folder folder;
    const std::string disk = folder / "disk";
    fs::create_directory(disk);
    if (mount("tambrel-test", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small disk needs the right to mount one";
    const std::string kept = disk + "/kept.tambrel";
    std::string error;
    ASSERT_TRUE(writeWholeFile(kept, std::vector<uint8_t>(8000, 1), error)) << error;
    for (size_t bytes : {size_t{60000}, size_t{200000}}) { // fails in the write, or at once
        error.clear();
        EXPECT_FALSE(writeWholeFile(disk + "/new.tambrel", std::vector<uint8_t>(bytes, 2), error));
        EXPECT_EQ(error, "No space left on device");
        EXPECT_FALSE(writeWholeFile(kept, std::vector<uint8_t>(bytes, 2), error));
    }
    EXPECT_EQ(contents(kept), std::vector<uint8_t>(8000, 1));
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(disk)) ++files;
    EXPECT_EQ(files, 1u);
    umount(disk.c_str());
}

TEST(Files, OnlyRegularFilesAreReadAndNothingWaits)
{
    Folder folder;
    const std::string pipe = folder / "pipe", loop = folder / "loop";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    fs::create_symlink(loop, loop);
    const struct {
        std::string path, why;
    } refused[] = {
        {pipe, "it is a named pipe, not a file"},
        {"/dev/zero", "it is a device, not a file"},
        {folder.path.string(), "it is a folder, not a file"},
        {folder / "missing", "No such file or directory"},
        {loop, "Too many levels of symbolic links"},
    };
    for (const auto& r : refused) {
        std::string error;
        Session session;
        EXPECT_FALSE(readSessionFile(r.path, session, error));
        EXPECT_EQ(error, r.why);
    }
}

// A file of `mib` MiB of zeros compressed behind a good header: a few
// hundred kilobytes that inflate to a session's limit, or past it.
std::string bomb(const Folder& folder, int mib)
{
    SessionHeader header;
    header.surfaceWidth = 596, header.surfaceHeight = 508;
    std::vector<uint8_t> file = encodeHeader(header);
    z_stream z{};
    deflateInit(&z, 9);
    const std::vector<uint8_t> zeros(1 << 20, 0);
    std::vector<uint8_t> out(1 << 16);
    for (int i = 0; i <= mib; ++i) {
        z.next_in = const_cast<Bytef*>(zeros.data());
        z.avail_in = i < mib ? static_cast<uInt>(zeros.size()) : 0;
        int r = Z_OK;
        do {
            z.next_out = out.data(), z.avail_out = static_cast<uInt>(out.size());
            r = deflate(&z, i < mib ? Z_NO_FLUSH : Z_FINISH);
            file.insert(file.end(), out.data(), out.data() + (out.size() - z.avail_out));
        } while (z.avail_out == 0 || (i == mib && r != Z_STREAM_END));
    }
    deflateEnd(&z);
    const std::string path = folder / ("bomb" + std::to_string(mib));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return path;
}

// The most memory a child reading `path` took beyond what it began with, in MiB.
long readersPeakMiB(const std::string& path)
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    const long beforeKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
    const pid_t child = fork();
    if (child == 0) {
        Session session;
        std::string error;
        readSessionFile(path, session, error);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return (usage.ru_maxrss - beforeKiB) / 1024;
}

TEST(Files, ASessionTakesNoMoreMemoryThanItsLimit)
{
    Folder folder;
    const size_t limitMiB = kMaxSessionRecordBytes >> 20;
    // Just within the limit: its records once, and little else.
    EXPECT_LE(readersPeakMiB(bomb(folder, static_cast<int>(limitMiB) - 1)), static_cast<long>(limitMiB) + 32);
    // Past it: refused while counting, before anything is kept.
    Session session;
    std::string error;
    const std::string over = bomb(folder, static_cast<int>(limitMiB) + 44);
    EXPECT_FALSE(readSessionFile(over, session, error));
    EXPECT_NE(error.find("more than 256 MiB"), std::string::npos) << error;
    EXPECT_LE(readersPeakMiB(over), 32);
}
#endif

} // namespace
} // namespace tambrel
