#include "platform/file_system.h"

#include <cstdio>

#include "platform/win32api.h"

namespace {

// Names arrive in the active code page, UTF-8 through the program's manifest;
// the wide calls then take any name and, where allowed, any length.
std::wstring widePath(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether something is at the path and is (or is not) a regular file. Opened
// only to be asked what it is: a pipe client is not left waiting and a folder
// opens too (backup semantics).
bool existsAs(const char* path, bool regular) {
    const HANDLE file = CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool isRegular = GetFileType(file) == FILE_TYPE_DISK &&
                           GetFileInformationByHandle(file, &info) &&
                           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    return isRegular == regular;
}

std::string folderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

} // namespace

bool isRegularFile(const char* path) {
    return existsAs(path, true);
}

bool namesNonRegularFile(const char* path) {
    return existsAs(path, false);
}

// Longer names fail on every file system Windows mounts (NTFS, FAT, exFAT,
// ReFS), counted in UTF-16 units.
constexpr size_t kLongestName = 255;

// Other names the system cannot take fail already when they are looked up
// (see mayReplace).
bool isUsableFileName(const char* path) {
    const std::wstring wide = widePath(path);
    const size_t separator = wide.find_last_of(L"\\/:");
    const size_t nameLength =
        separator == std::wstring::npos ? wide.size() : wide.size() - separator - 1;
    return !wide.empty() && nameLength <= kLongestName;
}

// Replacing needs the right to write and delete it, which a read-only file or
// one held open without sharing does not give.
bool mayReplace(const char* target) {
    const std::wstring wide = widePath(target);
    if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, kShareAll, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Windows sets no file size limit on a process.
uint64_t fileSizeLimit() {
    return UINT64_MAX;
}

void reportOversizeWritesAsErrors() {}

bool createFileBeside(const char* target, std::string& tempPath) {
    const std::string folder = folderOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, ".tandemwav-%lu-%d.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        tempPath = folder + name;
        const HANDLE file = CreateFileW(widePath(tempPath.c_str()).c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

bool moveOverTarget(const std::string& tempPath, const char* target) {
    const std::wstring wideTemp = widePath(tempPath.c_str());
    const HANDLE file =
        CreateFileW(wideTemp.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return flushed && MoveFileExW(wideTemp.c_str(), widePath(target).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string fullPathName(const char* path) {
    const std::wstring wide = widePath(path);
    const DWORD capacity = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (capacity == 0)
        return path;
    std::wstring full(capacity, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), capacity, &full[0], nullptr);
    const int bytes = length == 0 || length >= capacity
                          ? 0
                          : WideCharToMultiByte(CP_ACP, 0, full.c_str(), static_cast<int>(length),
                                                nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return path;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, full.c_str(), static_cast<int>(length), &narrow[0], bytes,
                        nullptr, nullptr);
    return narrow;
}

void removeFile(const std::string& path) {
    DeleteFileW(widePath(path.c_str()).c_str());
}

bool makeFolder(const char* path) {
    return isFolder(path) || CreateDirectoryW(widePath(path).c_str(), nullptr) != 0;
}

bool isFolder(const char* path) {
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

char preferredSeparator() {
    return '\\';
}

std::FILE* openFileForReading(const char* path) {
    return _wfopen(widePath(path).c_str(), L"rb");
}

bool seekFileTo(std::FILE* file, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

int64_t lengthOfFile(std::FILE* file) {
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    const __int64 length = _ftelli64(file);
    return _fseeki64(file, 0, SEEK_SET) == 0 ? static_cast<int64_t>(length) : -1;
}
