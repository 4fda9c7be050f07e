// Closing and discarding the files the writers make.
#pragma once

#include <cstdio>

// Flushes, checks and closes a file that was written; false when any write,
// the final flush or the close failed. The flush is checked on its own
// because one C runtime's fclose forgets that its final flush failed, and a
// file smaller than that runtime's buffer is written by the flush alone (onto
// a full disk it read as saved). The file is closed in every case.
bool CloseWrittenFile(std::FILE* file);

// True when PATH names something other than an ordinary file (a device, a
// pipe): such an output is written in place, never replaced or removed.
bool NamesNonFile(const char* path);

// Removes a failed output, but only an ordinary file: a device the user named
// as the output stays.
void RemoveWrittenFile(const char* path);
