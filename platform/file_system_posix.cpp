#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

// A target that is a symbolic link is replaced where the link points, so the
// link itself stays as the user made it.
std::string resolvedTarget(const char* target) {
    struct stat status {};
    if (lstat(target, &status) != 0 || !S_ISLNK(status.st_mode))
        return target;
    char real[PATH_MAX];
    return realpath(target, real) != nullptr ? std::string(real) : std::string(target);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}

// The rename is durable only once the folder's entry is; a failure here leaves
// the whole recording in place, so it is not reported.
void syncFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

bool isRegularFile(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

bool namesNonRegularFile(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && !S_ISREG(status.st_mode);
}

bool mayReplace(const char* target) {
    const std::string real = resolvedTarget(target);
    return access(real.c_str(), F_OK) != 0 || access(real.c_str(), W_OK) == 0;
}

bool createFileBeside(const char* target, std::string& tempPath) {
    const std::string folder = folderOf(resolvedTarget(target));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, ".tandemwav-%ld-%d.tmp", static_cast<long>(getpid()),
                      attempt);
        tempPath = folder + name;
        // Permissions as any new file of the user gets them.
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool moveOverTarget(const std::string& tempPath, const char* target) {
    const int fd = open(tempPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    const std::string real = resolvedTarget(target);
    if (!synced || std::rename(tempPath.c_str(), real.c_str()) != 0)
        return false;
    syncFolder(folderOf(real));
    return true;
}

void removeFile(const std::string& path) {
    unlink(path.c_str());
}

bool makeFolder(const char* path) {
    struct stat status {};
    if (stat(path, &status) == 0)
        return S_ISDIR(status.st_mode);
    return mkdir(path, 0777) == 0;
}
