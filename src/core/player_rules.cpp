#include "player_rules.h"

#include <QRegularExpression>

#include <algorithm>

namespace perlane {

const std::vector<PlayerRule> &player_rules() {
    static const std::vector<PlayerRule> rules{
        // jellyfin-plugin-intro-skipper's chapter rules (case-insensitive, with lengths).
        {"Jellyfin", "intro", R"((^|\s)(Intro|Introduction|OP|Opening)(?!\sEnd)(\s|$))", true, 15, 120},
        {"Jellyfin", "credits", R"((^|\s)(Credits?|ED|Ending|Outro)(?!\sEnd)(\s|$))", true, 15, 450},
        // mpv's chapterskip script: Lua patterns, case-sensitive, any length.
        {"mpv", "opening", "^OP", false, {}, {}},
        {"mpv", "opening", " OP$", false, {}, {}},
        {"mpv", "opening", "^[Oo]pening", false, {}, {}},
        {"mpv", "ending", "^ED", false, {}, {}},
        {"mpv", "ending", " ED$", false, {}, {}},
        {"mpv", "ending", "^[Ee]nding", false, {}, {}},
        {"mpv", "preview", "[Pp]review$", false, {}, {}},
        {"mpv", "prologue", "^Prologue", false, {}, {}},
        {"mpv", "intro", "^Intro", false, {}, {}},
    };
    return rules;
}

std::vector<PlayerVerdict> players_skipping(const QString &name, std::uint64_t length_ns) {
    struct Compiled {
        const PlayerRule *rule;
        QRegularExpression re;
    };
    static const std::vector<Compiled> compiled = [] {
        std::vector<Compiled> out;
        for (const PlayerRule &r : player_rules())
            out.push_back({&r, QRegularExpression(QString::fromUtf8(r.pattern),
                                                  r.ignore_case ? QRegularExpression::CaseInsensitiveOption
                                                                : QRegularExpression::NoPatternOption)});
        return out;
    }();
    const double seconds = static_cast<double>(length_ns) / 1e9;
    std::vector<PlayerVerdict> out;
    for (const Compiled &c : compiled) {
        const PlayerRule &r = *c.rule;
        if ((r.min_seconds && seconds < *r.min_seconds) || (r.max_seconds && seconds > *r.max_seconds))
            continue;
        const QString player = QString::fromUtf8(r.player);
        if (std::ranges::any_of(out, [&](const PlayerVerdict &v) { return v.player == player; }))
            continue; // the first rule of a player that matches is what it does
        if (c.re.match(name).hasMatch())
            out.push_back({player, QString::fromUtf8(r.kind)});
    }
    return out;
}

} // namespace perlane
