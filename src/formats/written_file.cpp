#include "formats/written_file.h"

#include <sys/stat.h>

bool CloseWrittenFile(std::FILE* file) {
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    if (std::fclose(file) != 0) ok = false;
    return ok;
}

bool NamesNonFile(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && !S_ISREG(status.st_mode);
}

void RemoveWrittenFile(const char* path) {
    if (!NamesNonFile(path)) std::remove(path);
}
