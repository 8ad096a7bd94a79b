#include "chapter_list.h"

#include <algorithm>

namespace perlane::chapter_list {

QHash<int, QByteArray> ChapterInfo::role_names() {
    return {{Edx, "edx"},     {Idx, "idx"},           {Name, "name"},          {Start, "start"},
            {End, "end"},     {Duration, "duration"}, {Qualifies, "qualifies"},
            {EditionLabel, "editionLabel"}, {SkipType, "skipType"}, {Players, "players"}, {Fix, "fix"},
            {Nested, "nested"}, {StartMs, "startMs"}, {EndMs, "endMs"}, {Key, "key"}};
}

QVariant ChapterInfo::get(int role) const {
    switch (role) {
    case Edx: return QVariant::fromValue(static_cast<unsigned long>(edx));
    case Idx: return QVariant::fromValue(static_cast<unsigned long>(idx));
    case Name: return name;
    case Start: return start;
    case End: return end;
    case Duration: return duration;
    case Qualifies: return qualifies;
    case EditionLabel: return edition_label;
    case SkipType: return skip_type;
    case Players: return players;
    case Fix: return fix;
    case Nested: return nested;
    case StartMs: return start_ms;
    case EndMs: return end_ms;
    case Key: return key;
    default: return {};
    }
}

bool ChapterInfo::set(int role, const QVariant &value) {
    switch (role) {
    case Edx: return detail::assign_converted(edx, value);
    case Idx: return detail::assign_converted(idx, value);
    case Name: return detail::assign_converted(name, value);
    case Start: return detail::assign_converted(start, value);
    case End: return detail::assign_converted(end, value);
    case Duration: return detail::assign_converted(duration, value);
    case Qualifies: return detail::assign_converted(qualifies, value);
    case EditionLabel: return detail::assign_converted(edition_label, value);
    case SkipType: return detail::assign_converted(skip_type, value);
    case Players: return detail::assign_converted(players, value);
    case Fix: return detail::assign_converted(fix, value);
    case Nested: return detail::assign_converted(nested, value);
    case StartMs: return detail::assign_converted(start_ms, value);
    case EndMs: return detail::assign_converted(end_ms, value);
    case Key: return detail::assign_converted(key, value);
    default: return false;
    }
}

int ChapterList::row_at(quint64 edition, qint64 ms) const {
    const auto it = std::ranges::find_if(rows_, [&](const ChapterInfo &c) { return c.edx == edition && c.start_ms == ms; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

} // namespace perlane::chapter_list
