#include "track_flags.h"

namespace perlane {

namespace {
template <class Element> int present(const std::optional<Element> &e) {
    return e ? (e->value ? 1 : 0) : flag_unset;
}
} // namespace

std::optional<TrackFlag> flag_named(const QString &name) {
    for (const TrackFlagInfo &f : track_flags)
        if (name == QLatin1StringView(f.name.data(), static_cast<qsizetype>(f.name.size())))
            return f.flag;
    return std::nullopt;
}

bool flag_value_allowed(TrackFlag flag, int value) {
    return value == 0 || value == 1 || (value == flag_unset && !flag_info(flag).fallback);
}

FlagValues flags_of(const reader::TrackEntry &t) {
    // Any non-zero value counts as set, as players read it.
    return {t.flag_forced.value ? 1 : 0,           present(t.flag_hearing_impaired),
            present(t.flag_visual_impaired),       present(t.flag_text_descriptions),
            present(t.flag_original),              present(t.flag_commentary),
            t.flag_enabled.value ? 1 : 0};
}

} // namespace perlane
