#include "log.h"

#include <utility>

namespace perlane::reader::log {

namespace {
Sink &current() {
    static Sink sink;
    return sink;
}
} // namespace

Sink set_sink(Sink sink) { return std::exchange(current(), std::move(sink)); }
bool enabled() { return static_cast<bool>(current()); }
void write(Level level, std::string_view target, const std::string &message) {
    if (current())
        current()(level, target, message);
}

} // namespace perlane::reader::log
