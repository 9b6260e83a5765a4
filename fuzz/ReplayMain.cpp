// The replay program of a fuzz target: the target's own source with this main instead of
// libFuzzer's, built by the ordinary native presets and run by CTest over the target's seed
// and regression files. An input that breaks an invariant aborts the replay, naming it.
//
//   fuzz-<target>-replay <path>...
//
// A path is one of:
//  - a target's data folder (tests/data/fuzz/<target>): its seeds/ folder, which must hold
//    files, then regressions/ when there is one; the inputs of pending/ (faults known and not
//    yet mended) are counted and skipped; anything else in the folder is an error;
//  - another folder: every file in it, of which there must be at least one;
//  - a file: that file.
// A replay that finds nothing to replay fails: a test over a missing or emptied folder would
// otherwise pass having checked nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

struct TCounts {
    std::size_t Replayed = 0;
    std::size_t Pending = 0;
};

std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& item : fs::directory_iterator(folder)) {
        if (item.is_regular_file()) {
            files.push_back(item.path());
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        throw std::runtime_error(folder.string() + " holds no input files");
    }
    return files;
}

void ReplayFile(const fs::path& path, TCounts& counts) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // Named before it runs: a replay that hangs or aborts shows which input did it.
    std::printf("replaying %s (%zu bytes)\n", path.string().c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++counts.Replayed;
}

void ReplayTargetFolder(const fs::path& folder, TCounts& counts) {
    for (const auto& item : fs::directory_iterator(folder)) {
        const std::string name = item.path().filename().string();
        if (name != "seeds" && name != "regressions" && name != "pending") {
            throw std::runtime_error("unexpected " + item.path().string() +
                                     " (a target's folder holds seeds/, regressions/, pending/)");
        }
    }
    for (const fs::path& file : FilesIn(folder / "seeds")) {
        ReplayFile(file, counts);
    }
    if (fs::exists(folder / "regressions")) {
        for (const fs::path& file : FilesIn(folder / "regressions")) {
            ReplayFile(file, counts);
        }
    }
    if (fs::exists(folder / "pending")) {
        counts.Pending += FilesIn(folder / "pending").size();
    }
}

void Replay(const fs::path& path, TCounts& counts) {
    if (fs::is_directory(path / "seeds")) {
        ReplayTargetFolder(path, counts);
    } else if (fs::is_directory(path)) {
        for (const fs::path& file : FilesIn(path)) {
            ReplayFile(file, counts);
        }
    } else {
        ReplayFile(path, counts);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <target data folder, folder or file>...\n", argv[0]);
        return 2;
    }
    TCounts counts;
    try {
        for (int i = 1; i < argc; ++i) {
            Replay(argv[i], counts);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    std::printf("%zu inputs replayed, every invariant held", counts.Replayed);
    if (counts.Pending > 0) {
        std::printf("; %zu pending inputs (known faults) skipped", counts.Pending);
    }
    std::printf("\n");
    return 0;
}
