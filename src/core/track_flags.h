#pragma once
// The track flags besides "default": what each is called in the window and by
// mkvpropedit, and whether Matroska gives it a value when it is absent.
#include "master.h"

#include <QString>

#include <array>
#include <optional>
#include <string_view>

namespace perlane {

enum class TrackFlag { Forced, HearingImpaired, VisualImpaired, TextDescriptions, Original, Commentary, Enabled };
inline constexpr std::size_t track_flag_count = 7;

// A flag's value: 0 or 1, or unset (only for flags without a default).
inline constexpr int flag_unset = -1;
using FlagValues = std::array<int, track_flag_count>;

struct TrackFlagInfo {
    TrackFlag flag;
    std::string_view name;     // "forced": the window's name and mkvpropedit's "flag-" suffix
    std::string_view property; // mkvpropedit's property name
    std::string_view label;    // for people
    std::string_view role;     // the track model's role
    std::optional<int> fallback; // the value when absent; none for the flags without a default
};

inline constexpr std::array<TrackFlagInfo, track_flag_count> track_flags{{
    {TrackFlag::Forced, "forced", "flag-forced", "Forced", "forced", 0},
    {TrackFlag::HearingImpaired, "hearing-impaired", "flag-hearing-impaired", "Hearing impaired",
     "hearingImpaired", std::nullopt},
    {TrackFlag::VisualImpaired, "visual-impaired", "flag-visual-impaired", "Visually impaired",
     "visualImpaired", std::nullopt},
    {TrackFlag::TextDescriptions, "text-descriptions", "flag-text-descriptions", "Text descriptions",
     "textDescriptions", std::nullopt},
    {TrackFlag::Original, "original", "flag-original", "Original language", "original", std::nullopt},
    {TrackFlag::Commentary, "commentary", "flag-commentary", "Commentary", "commentary", std::nullopt},
    {TrackFlag::Enabled, "enabled", "flag-enabled", "Enabled", "enabled", 1},
}};

inline const TrackFlagInfo &flag_info(TrackFlag flag) { return track_flags[static_cast<std::size_t>(flag)]; }
std::optional<TrackFlag> flag_named(const QString &name);
// Whether `value` may be stored for `flag`: 0 or 1, and unset for the flags without a default.
bool flag_value_allowed(TrackFlag flag, int value);
// The flags as the track holds them (absent elements with a default read as that default).
FlagValues flags_of(const reader::TrackEntry &track);

} // namespace perlane
