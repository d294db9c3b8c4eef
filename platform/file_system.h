// What a path names, and putting a new file in a path's place in one step. The
// recording is written beside its target and only moved over it once it is
// complete and on stable storage, so a crash, a kill or a full disk never
// leaves a partial recording where the user's file was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// An existing regular file, links followed. Pipes, devices, sockets and
// folders are not, and the answer never waits on any of them; on Windows
// neither are reserved device names such as NUL or CON, nor pipe paths.
bool isRegularFile(const char* path);

// Something exists at the path that is not a regular file.
bool namesNonRegularFile(const char* path);

// A path the system can take as a file's name: not empty, no component longer
// than its file system allows, not longer than the system's limit, and no
// endless chain of links. Such names fail only when the file is finally put in
// place, so they are refused before anything else is done.
bool isUsableFileName(const char* path);

// True when nothing is there yet, or when the file there may be written and
// replaced by us.
bool mayReplace(const char* target);

// The size the process may give a file, in bytes (the largest value when
// there is no limit).
uint64_t fileSizeLimit();

// A write past the file size limit fails as any failed write does, rather than
// ending the process.
void reportOversizeWritesAsErrors();

// A new, empty file of our own in the target's folder, readable by us alone
// while the recording is written into it; its name in tempPath.
bool createFileBeside(const char* target, std::string& tempPath);

// Gives the written file the target's permissions (or those of any new file of
// the user), puts it on stable storage, then in the target's place in one
// step: the target is the old file or the whole new one at every instant.
bool moveOverTarget(const std::string& tempPath, const char* target);

// The path as people read it: absolute, without "." or ".." steps or doubled
// separators, worked out from the working folder. Folders are taken as the
// system takes them (on Windows by the text, elsewhere through their links);
// the file's own name is kept. The path itself when the system cannot tell.
std::string fullPathName(const char* path);

void removeFile(const std::string& path);

// The folder exists afterwards (made if it was not there; its parent must be).
bool makeFolder(const char* path);

// An existing folder, links followed.
bool isFolder(const char* path);

// The separator the system writes between a path's components.
char preferredSeparator();

// A file opened to be read in binary, its name taken as the program's other
// names are (any script on Windows); null when it cannot be opened.
std::FILE* openFileForReading(const char* path);

// Moves to a byte offset from the start of the file. Offsets past 2 GiB work
// on every system, although long, which fseek takes, is 32 bits on Windows.
bool seekFileTo(std::FILE* file, uint64_t offset);

// The file's length in bytes, -1 when it cannot be told; the position is
// left at the start.
int64_t lengthOfFile(std::FILE* file);
