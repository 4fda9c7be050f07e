#include "support/paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

std::string TempDir(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("quillmere-test-" + name);
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
