// perlane-history-bench [CHAPTERS] [NAME_BYTES] [EDITS]: the memory an edit history costs.
// Builds one edition of CHAPTERS chapters (default 30,000) with names of NAME_BYTES bytes
// (default 2,000: 60 MB of names), then renames EDITS chapters (default 30) one step at a
// time, as the window does, and prints the peak resident memory before and after, and the
// time per step. The history keeps what each step replaced, so the peak should grow by
// about one transient copy of the chapters, not by one copy per step.
#include "document.h"
#include "history.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {
long peak_mib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}
} // namespace

int main(int argc, char **argv) {
    const std::size_t chapters = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 30000;
    const std::size_t name_bytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2000;
    const int edits = argc > 3 ? std::atoi(argv[3]) : 30;
    perlane::DocumentState state;
    auto &edition = state.editions.emplace_back();
    for (std::size_t i = 0; i < chapters; ++i) {
        auto &atom = edition.chapter_atom.emplace_back();
        atom.chapter_uid.value = i + 1;
        atom.chapter_time_start.value = i * 1'000'000'000ull;
        atom.chapter_display.emplace_back().chap_string.value = std::string(name_bytes, static_cast<char>('a' + i % 26));
    }
    const long before = peak_mib();
    perlane::History history;
    const auto start = std::chrono::steady_clock::now();
    for (int e = 0; e < edits; ++e) {
        perlane::DocumentState next = state; // as Document::edit does
        next.editions[0].chapter_atom[static_cast<std::size_t>(e) * 7 % chapters].chapter_display[0].chap_string.value = "Renamed";
        std::swap(state, next);
        history.record(std::move(next), state);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("| %zu chapters × %zu B | peak before %ld MiB | after %d edits %ld MiB | %.0f ms per edit |\n", chapters,
                name_bytes, before, edits, peak_mib(), ms / edits);
    while (history.undo(state)) {
    }
    return 0;
}
