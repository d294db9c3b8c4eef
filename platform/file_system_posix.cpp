#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The bits a new file of the user gets, learnt when the file is made; the
// recording takes them when it replaces nothing.
mode_t newFileMode = 0644;

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}

const char* folderOrCurrent(const std::string& folder) {
    return folder.empty() ? "." : folder.c_str();
}

// A target that is a symbolic link is replaced where the link points, so the
// link itself stays as the user made it; so is one that points at nothing yet.
// Beyond the system's depth of links the chain is endless, and the name is
// refused before this is asked.
std::string resolvedTarget(const char* target) {
    std::string path = target;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        char link[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
        if (length <= 0)
            return path;
        link[length] = '\0';
        path = link[0] == '/' ? std::string(link) : folderOf(path) + link;
    }
    return path;
}

// In a folder with the sticky bit (such as /tmp) only the file's owner, the
// folder's owner or root may replace a file, however others may write to it.
bool stickyFolderForbids(const std::string& real) {
    struct stat file {};
    struct stat folder {};
    if (stat(real.c_str(), &file) != 0 || stat(folderOrCurrent(folderOf(real)), &folder) != 0)
        return false;
    const uid_t user = geteuid();
    return (folder.st_mode & S_ISVTX) != 0 && user != 0 && file.st_uid != user &&
           folder.st_uid != user;
}

mode_t groupNoMoreThanOthers(mode_t mode) {
    return (mode & ~mode_t{070}) | (mode & ((mode & 07) << 3));
}

// The target's bits, owner and group where we may give them (the owner as
// root, the group where we belong to it). A group we cannot give gets no more
// than others have, so that nobody reads the recording who could not read the
// file it replaces. Set-user and set-group bits are not carried over to a file
// of recorded data.
void takeTargetPermissions(int fd, const std::string& real) {
    struct stat target {};
    if (stat(real.c_str(), &target) != 0) {
        fchmod(fd, newFileMode);
        return;
    }
    mode_t mode = target.st_mode & 0777;
    if (fchown(fd, target.st_uid, target.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), target.st_gid) != 0)
        mode = groupNoMoreThanOthers(mode);
    fchmod(fd, mode);
}

// The rename is durable only once the folder's entry is; a failure here leaves
// the whole recording in place, so it is not reported.
void syncFolder(const std::string& folder) {
    const int fd = open(folderOrCurrent(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

bool isUsableFileName(const char* path) {
    struct stat status {};
    if (*path == '\0' || (stat(path, &status) != 0 && (errno == ENAMETOOLONG || errno == ELOOP)))
        return false;
    const std::string real = resolvedTarget(path);
    const std::string folder = folderOf(real);
    const long longestName = pathconf(folderOrCurrent(folder), _PC_NAME_MAX);
    return longestName <= 0 || real.size() - folder.size() <= static_cast<size_t>(longestName);
}

bool mayReplace(const char* target) {
    const std::string real = resolvedTarget(target);
    if (access(real.c_str(), F_OK) != 0)
        return true;
    return access(real.c_str(), W_OK) == 0 && !stickyFolderForbids(real);
}

uint64_t fileSizeLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    return limit.rlim_cur;
}

void reportOversizeWritesAsErrors() {
    std::signal(SIGXFSZ, SIG_IGN);
}

bool createFileBeside(const char* target, std::string& tempPath) {
    // The mask is read by setting it; nothing else in the process makes a file
    // at this point.
    const mode_t mask = umask(0);
    umask(mask);
    newFileMode = 0666 & ~mask;
    const std::string folder = folderOf(resolvedTarget(target));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, ".tandemwav-%ld-%d.tmp", static_cast<long>(getpid()),
                      attempt);
        tempPath = folder + name;
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
    const std::string real = resolvedTarget(target);
    takeTargetPermissions(fd, real);
    const bool synced = fsync(fd) == 0;
    close(fd);
    if (!synced || std::rename(tempPath.c_str(), real.c_str()) != 0)
        return false;
    syncFolder(folderOf(real));
    return true;
}

std::string fullPathName(const char* path) {
    const std::string text(path);
    const std::string folder = folderOf(text);
    const std::string name = text.substr(folder.size());
    if (char* real = realpath(folderOrCurrent(folder), nullptr)) {
        std::string full(real);
        std::free(real);
        return full == "/" ? "/" + name : full + "/" + name;
    }
    // A folder that is not there is taken apart by its words.
    std::string joined = text;
    if (text.empty() || text[0] != '/') {
        char* here = getcwd(nullptr, 0);
        joined = std::string(here != nullptr ? here : "") + "/" + text;
        std::free(here);
    }
    std::vector<std::string> parts;
    std::istringstream words(joined);
    for (std::string part; std::getline(words, part, '/');) {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
    }
    std::string clean;
    for (const std::string& part : parts)
        clean += "/" + part;
    return clean.empty() ? "/" : clean;
}

void removeFile(const std::string& path) {
    unlink(path.c_str());
}

bool makeFolder(const char* path) {
    return isFolder(path) || mkdir(path, 0777) == 0;
}

bool isFolder(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

char preferredSeparator() {
    return '/';
}

std::FILE* openFileForReading(const char* path) {
    return std::fopen(path, "rb");
}

bool seekFileTo(std::FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int64_t lengthOfFile(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    const off_t length = ftello(file);
    return fseeko(file, 0, SEEK_SET) == 0 ? static_cast<int64_t>(length) : -1;
}
