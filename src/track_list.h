#pragma once
#include "list_model.h"

#include <QString>

namespace perlane::track_list {

// One row of the track model. Role numbers start at 0 and are used as they stand;
// QML reaches them by name.
struct TrackInfo {
    enum Role { Disc = 0, Number, Variant, Name, Language, IsDefault };

    QString disc;     // the segment's title (empty when untitled)
    quint64 number = 0; // TrackNumber
    QString variant;  // "Video", "Audio", "Subtitle" or "Unknown"
    QString name;
    QString language;
    bool is_default = false;

    static QHash<int, QByteArray> role_names();
    QVariant get(int role) const;
    bool set(int role, const QVariant &value);
    bool operator==(const TrackInfo &) const = default;
};

class TrackList : public detail::RowListModel<TrackInfo> {
    Q_OBJECT
public:
    using RowListModel::RowListModel;
};

} // namespace perlane::track_list
