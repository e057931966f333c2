// Plain driver for the fuzz entry, so it runs in every build (with the
// sanitizers when the build has them), not only under libFuzzer with clang.
//
//   fuzz_announcement_smoke              20000 generated inputs
//   fuzz_announcement_smoke N            N generated inputs
//   fuzz_announcement_smoke FILE|DIR...  each file (or each file of a directory) as one input

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

// Runs one input from a heap block of exactly its size, so a read past the
// end is a sanitizer report rather than a read of slack.
void runExact(const std::vector<std::uint8_t> &input)
{
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[input.size()]);
    if (!input.empty())
        std::memcpy(block.get(), input.data(), input.size());
    LLVMFuzzerTestOneInput(block.get(), input.size());
}

// A plausible announcement: text fields, a valid clock, a boot loader text.
std::vector<std::uint8_t> plausible()
{
    std::vector<std::uint8_t> a(130, 0);
    const char *desc = "Line 4 West";
    std::memcpy(a.data(), desc, std::strlen(desc));
    const std::uint8_t ver[8] = {5, 0, 1, 7, 3, 20, 19, 2};
    std::memcpy(a.data() + 64, ver, 8);
    std::memcpy(a.data() + 72, "127.0.0.2", 9);
    std::memcpy(a.data() + 87, "0050C2ABCDEF", 12);
    const std::uint8_t dt[8] = {31, 2, 10, 14, 3, 5, 24, 20};
    std::memcpy(a.data() + 101, dt, 8);
    const std::uint8_t rt[4] = {0x80, 0x51, 0x01, 0x00};
    std::memcpy(a.data() + 111, rt, 4);
    std::memcpy(a.data() + 115, "2.14", 4);
    return a;
}

std::vector<std::uint8_t> generate(std::mt19937 &rng)
{
    static const std::size_t edges[] = {0, 1, 2, 5, 107, 108, 109, 110, 118, 119, 129, 130, 131, 1001, 1200};
    std::vector<std::uint8_t> body;
    const unsigned kind = rng() % 3;
    if (kind == 0) {
        body = plausible();
        for (unsigned flips = rng() % 6; flips > 0; --flips)
            body[rng() % body.size()] = static_cast<std::uint8_t>(rng());
        body.resize(edges[rng() % std::size(edges)], static_cast<std::uint8_t>(rng()));
    } else {
        const std::size_t n = kind == 1 ? edges[rng() % std::size(edges)] : rng() % 1300;
        body.resize(n);
        for (auto &b : body)
            b = static_cast<std::uint8_t>(rng());
    }

    // Header: how the count is made, then its bytes (see the entry).
    std::vector<std::uint8_t> input;
    const std::uint8_t mode = static_cast<std::uint8_t>(rng() % 3);
    input.push_back(mode);
    if (mode == 1) {
        static const std::int16_t counts[] = {-1, 0, 1, 108, 109, 130, 1001, 1200, -32768};
        std::int16_t c = rng() % 2 ? counts[rng() % std::size(counts)] : static_cast<std::int16_t>(rng());
        input.insert(input.end(), reinterpret_cast<std::uint8_t *>(&c), reinterpret_cast<std::uint8_t *>(&c) + 2);
    } else if (mode == 2) {
        std::int32_t c = static_cast<std::int32_t>(rng());
        input.insert(input.end(), reinterpret_cast<std::uint8_t *>(&c), reinterpret_cast<std::uint8_t *>(&c) + 4);
    }
    input.insert(input.end(), body.begin(), body.end());
    // Now and then cut the header itself short.
    if (rng() % 50 == 0)
        input.resize(rng() % 4);
    return input;
}

std::vector<std::uint8_t> readFile(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char **argv)
{
    long runs = 20000;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        char *end = nullptr;
        const long n = std::strtol(argv[i], &end, 10);
        if (end && *end == '\0' && n >= 0) {
            runs = n;
            continue;
        }
        const std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto &e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file())
                    files.push_back(e.path());
        } else {
            files.push_back(p);
        }
    }

    if (!files.empty()) {
        for (const auto &f : files)
            runExact(readFile(f));
        std::printf("%zu file(s) decoded\n", files.size());
        return 0;
    }

    std::mt19937 rng(20240514u); // fixed: every run tries the same inputs
    for (long i = 0; i < runs; ++i)
        runExact(generate(rng));
    std::printf("%ld generated input(s) decoded\n", runs);
    return 0;
}
