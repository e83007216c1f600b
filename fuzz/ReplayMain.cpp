// Without libFuzzer (a GCC build, the normal test build), each fuzz target is
// this small program: it feeds every file named on its command line, or found
// in a folder named there, to the target once. CTest runs it over the seed
// corpus, so every input that once broke something keeps being tried.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::filesystem::path& path) {
    // Named first, so that a crash says which input it was.
    std::cerr << path.string() << '\n';
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    // An empty vector's data may be null; the target always gets a pointer.
    static const uint8_t empty = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &empty : reinterpret_cast<const uint8_t*>(bytes.data()),
                           bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            // Sorted, so that a failure names the same file every time.
            std::set<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file()) files.insert(entry.path());
            }
            for (const auto& path : files) {
                RunFile(path);
                ++count;
            }
        } else {
            RunFile(arg);
            ++count;
        }
    }
    std::cout << "ran " << count << " inputs\n";
    return count > 0 ? 0 : 1;
}
