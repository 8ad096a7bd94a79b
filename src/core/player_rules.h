#pragma once
// Which players would skip a chapter, by their own rules: the chapter's name and its
// length (from its start to the next chapter's start, as these players measure it). One
// table: a player is added with its lines.
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace perlane {

struct PlayerRule {
    const char *player;  // "Jellyfin intro skipper"
    const char *kind;    // what it takes the chapter for: "intro", "credits", "opening"…
    const char *pattern; // a regular expression over the name
    bool ignore_case;
    std::optional<double> min_seconds, max_seconds;
};

const std::vector<PlayerRule> &player_rules();

struct PlayerVerdict {
    QString player;
    QString kind;
    bool operator==(const PlayerVerdict &) const = default;
};
// The players that would skip a chapter with this name and length, one verdict each.
std::vector<PlayerVerdict> players_skipping(const QString &name, std::uint64_t length_ns);

} // namespace perlane
