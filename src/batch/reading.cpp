#include "reading.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

namespace perlane::batch {

Episodes read_season(const Season &season, int jobs) {
    const auto n = static_cast<std::size_t>(season.files.size());
    std::vector<std::optional<std::expected<std::unique_ptr<Document>, LoadError>>> read(n);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < n;)
            read[i] = Document::load(season.files[static_cast<qsizetype>(i)]);
    };
    {
        std::vector<std::jthread> workers;
        const auto lanes = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, jobs)), n);
        for (std::size_t w = 1; w < lanes; ++w)
            workers.emplace_back(work);
        work();
    }
    Episodes out;
    out.unreadable = season.problems;
    for (std::size_t i = 0; i < n; ++i) {
        if (*read[i]) {
            out.docs.push_back(std::move(**read[i]));
        } else {
            const LoadError &e = read[i]->error();
            out.unreadable.push_back({season.files[static_cast<qsizetype>(i)],
                                      e.detail.isEmpty() ? e.plain : e.plain + QStringLiteral(" (") + e.detail + QLatin1Char(')')});
        }
    }
    return out;
}

} // namespace perlane::batch
