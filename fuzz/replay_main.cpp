// The fuzz targets without libFuzzer: each input file of the directories
// (or files) named on the command line goes once through the target, so
// that the seeds and every saved finding are replayed by the test suite.
// A directory that does not exist holds no input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

struct input {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

void
add_file(const std::filesystem::path& path, std::vector<input>& inputs)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(1);
    }
    inputs.push_back({path.string(), std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                                               std::istreambuf_iterator<char>())});
}

}  // namespace

int
main(int argc, char** argv)
{
    // Read before the target moves into its scratch directory.
    std::vector<input> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        std::error_code e;
        if (std::filesystem::is_directory(path, e)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& f : files)
                add_file(f, inputs);
        } else if (std::filesystem::exists(path, e)) {
            add_file(path, inputs);
        }
    }
    int no_arguments = 1;
    char* program = argv[0];
    char** arguments = &program;
    LLVMFuzzerInitialize(&no_arguments, &arguments);
    for (const input& in : inputs) {
        std::fprintf(stderr, "replaying %s\n", in.name.c_str());
        // A copy of exactly the input's size, as libFuzzer hands it over.
        const auto copy =
            std::make_unique<std::uint8_t[]>(std::max<std::size_t>(in.bytes.size(), 1));
        std::copy(in.bytes.begin(), in.bytes.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), in.bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
