#include "support/paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

std::string SourcePath(const std::string& relative) { return std::string(QUILLMERE_SOURCE_DIR) + "/" + relative; }

std::string CorpusPath(const std::string& relative) {
    // Beside the clone; a git worktree one level further down finds it too.
    std::string root = std::string(QUILLMERE_SOURCE_DIR) + "/../shared/corpus";
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        root = std::string(QUILLMERE_SOURCE_DIR) + "/../../shared/corpus";
        if (!std::filesystem::is_directory(root, error)) return "";
    }
    return relative.empty() ? root : root + "/" + relative;
}

namespace {

// This process's own folder under the system's temporary folder, made on first
// use and removed at exit: checkouts and parallel test processes that run the
// same test at once each write into their own.
struct ProcessTempRoot {
    std::filesystem::path path;
    long owner = 0;

    ProcessTempRoot() {
        std::random_device random;
        owner = ProcessId();
        const std::string name =
            "quillmere-test-" + std::to_string(owner) + "-" + std::to_string(random()) + std::to_string(random());
        path = std::filesystem::temp_directory_path() / name;
        std::error_code error;
        std::filesystem::create_directories(path, error);
    }
    // A child forked by a test leaves the folder to its parent.
    ~ProcessTempRoot() {
        std::error_code error;
        if (ProcessId() == owner) std::filesystem::remove_all(path, error);
    }

    static long ProcessId() {
#ifdef _WIN32
        return static_cast<long>(_getpid());
#else
        return static_cast<long>(getpid());
#endif
    }
};

}  // namespace

std::string TempDir(const std::string& name) {
    static ProcessTempRoot root;
    const std::filesystem::path dir = root.path / name;
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    std::filesystem::create_directories(dir, error);
    return dir.string();
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool RunningInCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}
