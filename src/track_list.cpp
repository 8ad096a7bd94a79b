#include "track_list.h"

namespace perlane::track_list {

QHash<int, QByteArray> TrackInfo::role_names() {
    return {{Disc, "disc"},  {Number, "number"},     {Variant, "variant"},
            {Name, "name"},  {Language, "language"}, {IsDefault, "isDefault"}};
}

QVariant TrackInfo::get(int role) const {
    switch (role) {
    case Disc: return disc;
    case Number: return QVariant::fromValue(static_cast<unsigned long>(number));
    case Variant: return variant;
    case Name: return name;
    case Language: return language;
    case IsDefault: return is_default;
    default: return {};
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
    default: return false;
    }
}

} // namespace perlane::track_list
