// What a path names, and putting a new file in a path's place in one step. The
// recording is written beside its target and only moved over it once it is
// complete and on stable storage, so a crash, a kill or a full disk never
// leaves a partial recording where the user's file was.
#pragma once

#include <string>

// An existing regular file, links followed. Pipes, devices, sockets and
// folders are not, and the answer never waits on any of them; on Windows
// neither are reserved device names such as NUL or CON, nor pipe paths.
bool isRegularFile(const char* path);

// Something exists at the path that is not a regular file.
bool namesNonRegularFile(const char* path);

// True when nothing is there yet, or when the file there may be written.
bool mayReplace(const char* target);

// A new, empty file of our own in the target's folder; its name in tempPath.
bool createFileBeside(const char* target, std::string& tempPath);

// Puts the written file on stable storage, then in the target's place in one
// step: the target is the old file or the whole new one at every instant.
bool moveOverTarget(const std::string& tempPath, const char* target);

void removeFile(const std::string& path);

// The folder exists afterwards (made if it was not there; its parent must be).
bool makeFolder(const char* path);
