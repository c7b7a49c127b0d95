// Replays a fuzz corpus without libFuzzer: every file in the folders (or the
// files) named on the command line goes once through LLVMFuzzerTestOneInput.
// A crash or trap fails the run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    bool ok = argc > 1;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (!entry.is_regular_file()) continue;
                ok = replay(entry.path()) && ok;
                ++count;
            }
        } else {
            ok = replay(path) && ok;
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return ok && count > 0 ? 0 : 1;
}
