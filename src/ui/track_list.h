#pragma once
#include "list_model.h"
#include "track_flags.h"

#include <QString>

namespace perlane::track_list {

// One row of the track model. Role numbers start at 0 and are used as they stand;
// QML reaches them by name.
struct TrackInfo {
    enum Role {
        Disc = 0, Number, Variant, Name, Language, IsDefault,
        // Additions sit past Qt's own roles, which views and testers read with their own
        // types. One role per flag, in the order of `track_flags` (-1 when unset).
        FirstFlag = Qt::UserRole, LastFlag = FirstFlag + static_cast<int>(track_flag_count) - 1,
        LanguageName, // "Portuguese (Brazil)"; empty when the code is not a known one
        Pending,      // the track has edits not yet saved
        Key,          // names the row's track in the edits made by key (row_keys.h)
        // The language players go by: LanguageBCP47 when the track has one, else Language.
        // ("language" is the Language element as read, or the code the user set.)
        EffectiveLanguage,
    };

    QString disc;     // the segment's title (empty when untitled)
    quint64 number = 0; // TrackNumber
    QString variant;  // "Video", "Audio", "Subtitle" or "Unknown"
    QString name;
    QString language;
    bool is_default = false;
    FlagValues flags{};
    QString language_name;
    bool pending = false;
    QString key;
    QString effective_language;

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
