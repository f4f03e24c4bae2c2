// SPDX-License-Identifier: MIT
// Runs a fuzz target over files and folders of inputs, without libFuzzer:
// the kept corpus and every crash ever found replay in the normal test suite.
// "--random N" adds N inputs of random bytes (a fixed seed, so a failure
// repeats).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    int count = 0;
    auto run = [&](const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++count;
    };
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--random" && i + 1 < argc) {
            std::mt19937 gen(20261207);
            for (int n = std::stoi(argv[++i]); n > 0; --n) {
                std::vector<uint8_t> bytes(gen() % 400);
                for (uint8_t& b : bytes) b = static_cast<uint8_t>(gen());
                LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
                ++count;
            }
            continue;
        }
        const std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& entry : std::filesystem::directory_iterator(p))
                if (entry.is_regular_file() && entry.path().filename() != "README") run(entry.path());
        } else if (std::filesystem::exists(p)) {
            run(p);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
