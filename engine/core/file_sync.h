// Flushing files and folders to the disk, so that an output survives a crash whole or not at all.
#pragma once

// Flushes the file at path to the disk; false when it cannot be opened or synced.
bool syncFile(const char* path);

// Flushes the folder that holds path, so that a file renamed into it stays renamed after a crash.
void syncFolderOf(const char* path);

// Flushes the file at from, renames it to to and flushes to's folder: to then holds either what
// it held before or the whole new file, even across a crash. False when the flush or the rename
// fails (from is then left for the caller to remove).
bool renameSynced(const char* from, const char* to);
