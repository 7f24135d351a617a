#include "core/file_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdint>

#include "core/text_strings.h"

bool syncFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

void syncFolderOf(const char* path) {
    const sjisString full(path);
    sjisString folder;
    const uint32_t folderLength = full.length() - full.fileName().length();
    for (uint32_t k = 0; k < folderLength; ++k) folder.append(full.c_str()[k]);
    if (folder.empty()) folder = ".";
    syncFile(folder.c_str());
}

bool renameSynced(const char* from, const char* to) {
    if (!syncFile(from) || std::rename(from, to) != 0) return false;
    syncFolderOf(to);
    return true;
}
