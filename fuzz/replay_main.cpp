// Runs a fuzz target once over every file of the folders (or files) given, without libFuzzer:
// the corpus and the inputs of past findings stay tried in every build. A missing folder is an
// empty corpus. Exits non-zero only through the target itself (abort or a sanitizer report).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // A buffer of exactly the input's size, so that a read past its end is caught.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) {
            replay(path);
            ++count;
            continue;
        }
        if (!fs::is_directory(path, ec)) continue;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(path, ec))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            replay(file);
            ++count;
        }
    }
    std::printf("%zu inputs replayed\n", count);
    return 0;
}
