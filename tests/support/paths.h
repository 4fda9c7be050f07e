// Where tests find the repository's files and the shared corpus of real
// files from outside the project.
#pragma once

#include <string>

std::string SourcePath(const std::string& relative);
// ../shared/corpus/<relative> next to the repository, or "" when absent.
std::string CorpusPath(const std::string& relative);
// A fresh empty folder for one test's output files, inside a folder of this
// process's own (removed when it exits), so that no other process shares it.
std::string TempDir(const std::string& name);
bool FileExists(const std::string& path);
std::string ReadWholeFile(const std::string& path);
bool RunningInCi();

// Skips the test with the reason when the corpus is absent (a newcomer's
// clone); in CI (CI=true) nothing may be skipped, so it fails instead.
#define REQUIRE_CORPUS(path)                                                       \
    do {                                                                           \
        if ((path).empty()) {                                                      \
            if (RunningInCi()) FAIL() << "corpus missing in CI: ../shared/corpus"; \
            GTEST_SKIP() << "../shared/corpus is not next to this clone";          \
        }                                                                          \
    } while (0)
