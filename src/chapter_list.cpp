#include "chapter_list.h"

namespace perlane::chapter_list {

QHash<int, QByteArray> ChapterInfo::role_names() {
    return {{Edx, "edx"},     {Idx, "idx"},           {Name, "name"},          {Start, "start"},
            {End, "end"},     {Duration, "duration"}, {Qualifies, "qualifies"}};
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
    default: return false;
    }
}

bool ChapterList::insert(std::size_t position, ChapterInfo info) {
    if (position > rows_.size())
        return false;
    const int row = static_cast<int>(position);
    beginInsertRows({}, row, row);
    rows_.insert(rows_.begin() + row, std::move(info));
    endInsertRows();
    return true;
}

void ChapterList::replace(std::size_t row, ChapterInfo info) {
    if (row >= rows_.size())
        return;
    rows_[row] = std::move(info);
    const QModelIndex at = index(static_cast<int>(row));
    Q_EMIT dataChanged(at, at, {});
}

void ChapterList::set_chapter_name(quint64 idx, const QString &name) {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].idx == idx) {
            rows_[i].name = name;
            const QModelIndex at = index(static_cast<int>(i));
            Q_EMIT dataChanged(at, at, {});
            return;
        }
    }
}

void ChapterList::renumber() {
    int first = -1, last = -1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].idx != i) {
            rows_[i].idx = i;
            if (first < 0)
                first = static_cast<int>(i);
            last = static_cast<int>(i);
        }
    }
    if (first >= 0)
        Q_EMIT dataChanged(index(first), index(last), {});
}

} // namespace perlane::chapter_list
