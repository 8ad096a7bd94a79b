#include "track_list.h"

namespace perlane::track_list {

QHash<int, QByteArray> TrackInfo::role_names() {
    QHash<int, QByteArray> names{{Disc, "disc"},           {Number, "number"},     {Variant, "variant"},
                                 {Name, "name"},           {Language, "language"}, {IsDefault, "isDefault"},
                                 {LanguageName, "languageName"}, {Pending, "pending"}, {Key, "key"},
                                 {EffectiveLanguage, "effectiveLanguage"}};
    for (const TrackFlagInfo &f : track_flags)
        names.insert(FirstFlag + static_cast<int>(f.flag), QByteArray(f.role.data(), static_cast<qsizetype>(f.role.size())));
    return names;
}

QVariant TrackInfo::get(int role) const {
    switch (role) {
    case Disc: return disc;
    case Number: return QVariant::fromValue(static_cast<unsigned long>(number));
    case Variant: return variant;
    case Name: return name;
    case Language: return language;
    case IsDefault: return is_default;
    case LanguageName: return language_name;
    case Pending: return pending;
    case Key: return key;
    case EffectiveLanguage: return effective_language;
    default:
        if (role >= FirstFlag && role <= LastFlag)
            return flags[static_cast<std::size_t>(role - FirstFlag)];
        return {};
    }
}

bool TrackInfo::set(int role, const QVariant &value) {
    switch (role) {
    case Disc: return detail::assign_converted(disc, value);
    case Number: return detail::assign_converted(number, value);
    case Variant: return detail::assign_converted(variant, value);
    case Name: return detail::assign_converted(name, value);
    case Language: return detail::assign_converted(language, value);
    case IsDefault: return detail::assign_converted(is_default, value);
    case LanguageName: return detail::assign_converted(language_name, value);
    case Pending: return detail::assign_converted(pending, value);
    case Key: return detail::assign_converted(key, value);
    case EffectiveLanguage: return detail::assign_converted(effective_language, value);
    default:
        if (role >= FirstFlag && role <= LastFlag)
            return detail::assign_converted(flags[static_cast<std::size_t>(role - FirstFlag)], value);
        return false;
    }
}

} // namespace perlane::track_list
