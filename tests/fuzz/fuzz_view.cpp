// Fuzz target: the whole-file view over arbitrary bytes.
#include "view.h"

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An in-memory file, so that reads, seeks and skips run as on a real one.
    static const int memory = ::memfd_create("perlane-fuzz", MFD_CLOEXEC);
    if (memory < 0 || ::ftruncate(memory, 0) != 0)
        return 0;
    if (size > 0 && ::pwrite(memory, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    if (::lseek(memory, 0, SEEK_SET) != 0)
        return 0;
    auto file = perlane::reader::File::adopt(::dup(memory));
    auto view = perlane::reader::MatroskaView::read_from(file);
    if (!view)
        (void)view.error().message();
    return 0;
}
