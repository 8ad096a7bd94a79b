#pragma once
// Reading a season's files, several at once.
#include "document.h"
#include "library.h"

#include <memory>
#include <vector>

namespace perlane::batch {

struct Episodes {
    std::vector<std::shared_ptr<Document>> docs; // in the season's order
    std::vector<Problem> unreadable;             // files the reader refused, and why
};

// `jobs` files at a time (at least one).
Episodes read_season(const Season &season, int jobs);

} // namespace perlane::batch
