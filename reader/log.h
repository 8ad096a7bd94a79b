#pragma once
// Diagnostics of the reader. Silent unless a sink is installed (tests and the
// inspection tool install one); they never change a result.
#include <functional>
#include <string>
#include <string_view>

namespace perlane::reader::log {

enum class Level { Info, Warning };
using Sink = std::function<void(Level, std::string_view target, std::string_view message)>;

// Installs `sink` (empty: silent) and returns the previous one.
Sink set_sink(Sink sink);
bool enabled();
void write(Level level, std::string_view target, const std::string &message);

inline constexpr std::string_view master_target = "perlane::reader::master";
inline constexpr std::string_view view_target = "perlane::reader::view";

} // namespace perlane::reader::log
