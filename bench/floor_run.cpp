// The floor of a play-and-record run on a file: only the work no such run can
// avoid, one step after another on one thread. It reads the playback file
// through a 1 MiB buffer, makes two stores of the native size resident (the
// playback and the record store), writes a file as large as the playback file
// from a 1 MiB buffer and frees the stores. No conversion. With --durable it
// also pushes the written file to stable storage before closing it, as a
// recording that must reach disk whole or not at all has to.
//   floor_run PLAY OUT BYTES_PER_SAMPLE [--durable]
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kBufferBytes = size_t{1} << 20;

uint8_t* residentStore(size_t bytes) {
    auto* store = new (std::nothrow) uint8_t[bytes];
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(store) / page * page;
    if (store == nullptr ||
        madvise(reinterpret_cast<void*>(first), reinterpret_cast<uintptr_t>(store) + bytes - first,
                MADV_POPULATE_WRITE) != 0) {
        std::perror("store");
        std::exit(1);
    }
    return store;
}

} // namespace

int main(int argc, char** argv) {
    const bool durable = argc == 5 && std::strcmp(argv[4], "--durable") == 0;
    if (argc != 4 && !durable) {
        std::fprintf(stderr, "usage: %s PLAY OUT BYTES_PER_SAMPLE [--durable]\n", argv[0]);
        return 2;
    }
    static uint8_t buffer[kBufferBytes];
    const int in = open(argv[1], O_RDONLY);
    if (in < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const off_t fileBytes = lseek(in, 0, SEEK_END);
    lseek(in, 0, SEEK_SET);
    const size_t storeBytes = static_cast<size_t>(fileBytes - 44) / 4 * std::atoi(argv[3]);
    uint8_t* playback = residentStore(storeBytes);
    while (read(in, buffer, kBufferBytes) > 0) {
    }
    close(in);
    uint8_t* record = residentStore(storeBytes);
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::memset(buffer, 0, kBufferBytes);
    for (off_t left = fileBytes; left > 0;) {
        const size_t piece =
            left < static_cast<off_t>(kBufferBytes) ? static_cast<size_t>(left) : kBufferBytes;
        if (write(out, buffer, piece) != static_cast<ssize_t>(piece)) {
            std::perror(argv[2]);
            return 1;
        }
        left -= static_cast<off_t>(piece);
    }
    if (durable && fsync(out) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    close(out);
    delete[] playback;
    delete[] record;
    return 0;
}
