// What every fuzz target shares: a scratch directory of its own under /tmp
// (or under $PARVA_FUZZ_SCRATCH), entered once per process, so that the
// files the analyzer writes into its working directory never land in the
// repository; and the input written whole into a file of that directory.
//
// Entering the directory changes the working directory under libFuzzer's
// feet: the corpus, dictionary and artifact paths of the command line are
// made absolute first (LLVMFuzzerInitialize runs before libFuzzer reads its
// arguments), and crashes go where they would have gone without the change.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fuzz {

inline std::string&
scratch_path()
{
    static std::string path;
    return path;
}

inline void
remove_scratch()
{
    std::error_code ignored;
    if (!scratch_path().empty())
        std::filesystem::remove_all(scratch_path(), ignored);
}

/// Makes libFuzzer's path arguments absolute against the starting directory
/// and sends artifacts there unless the command line says where.
inline void
absolute_arguments(int* argc, char*** argv)
{
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    const std::string start = std::filesystem::current_path().string();
    const auto absolute = [&](std::string_view path) {
        return path.empty() || path.front() == '/' ? std::string(path)
                                                   : start + "/" + std::string(path);
    };
    static constexpr std::string_view path_flags[] = {
        "-artifact_prefix=",    "-exact_artifact_path=", "-dict=",
        "-merge_control_file=", "-features_dir=",        "-mutation_graph_file=",
    };
    bool has_artifact_place = false;
    texts.clear();
    for (int i = 0; i < *argc; ++i) {
        const std::string_view arg = (*argv)[i];
        std::string text(arg);
        if (i > 0 && !arg.empty() && arg.front() != '-') {
            text = absolute(arg);
        } else {
            for (const std::string_view flag : path_flags) {
                if (arg.substr(0, flag.size()) == flag) {
                    text = std::string(flag) + absolute(arg.substr(flag.size()));
                    has_artifact_place = has_artifact_place || flag == "-artifact_prefix=" ||
                                         flag == "-exact_artifact_path=";
                }
            }
        }
        texts.push_back(text);
    }
    if (!has_artifact_place)
        texts.push_back("-artifact_prefix=" + start + "/");
    pointers.clear();
    for (std::string& t : texts)
        pointers.push_back(t.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(texts.size());
    *argv = pointers.data();
}

/// Creates the process's scratch directory and makes it the working
/// directory; it is removed when the process exits normally.
inline void
enter_scratch()
{
    const char* base = std::getenv("PARVA_FUZZ_SCRATCH");
    std::string templ =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/parva-fuzz-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr || chdir(templ.c_str()) != 0) {
        std::perror("fuzz scratch directory");
        std::abort();
    }
    scratch_path() = templ;
    std::atexit(remove_scratch);
}

/// Both steps, for LLVMFuzzerInitialize.
inline void
begin(int* argc, char*** argv)
{
    absolute_arguments(argc, argv);
    enter_scratch();
}

/// Writes the bytes as the whole content of the file; false when it cannot.
inline bool
write_file(const char* name, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(name, "wb");
    if (f == nullptr)
        return false;
    const bool written = (size == 0 || std::fwrite(data, 1, size, f) == size);
    return std::fclose(f) == 0 && written;
}

/// Empties the scratch directory: what one input wrote is not read by the next.
inline void
empty_scratch()
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(".", ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

}  // namespace fuzz

/// The libFuzzer initialisation of a target that needs its scratch directory
/// and nothing more.
#define PARVA_FUZZ_INITIALIZE_SCRATCH                                                              \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)                                   \
    {                                                                                              \
        fuzz::begin(argc, argv);                                                                   \
        return 0;                                                                                  \
    }
