#pragma once
#include "list_model.h"

#include <QString>

namespace perlane::chapter_list {

// One row of the chapter model: the chapters of all editions in one list.
struct ChapterInfo {
    enum Role {
        Edx = 0, Idx, Name, Start, End, Duration, Qualifies,
        // Additions, past Qt's own roles.
        EditionLabel = Qt::UserRole, // "Edition 2 · ordered · hidden": the rows' section
        SkipType,  // ChapterSkipType, -1 when absent
        Players,   // "Jellyfin: intro · mpv: opening"; empty when no player skips it
        Fix,       // the role ("opening", "ending", "preview") whose name players would skip, when
                   // the skip type says it should be skipped and no player would
        Nested,    // the nested chapters, a line each ("  Inner  00:00.000–01:00.000")
        StartMs,
        EndMs,
        Key, // names the row's chapter in the edits made by key (row_keys.h)
    };

    quint64 edx = 0; // position of the chapter's edition in the file
    quint64 idx = 0; // position of the row; the key of set_chapter_name
    QString name;
    QString start;    // "mm:ss.fff"
    QString end;
    QString duration;
    bool qualifies = false; // 85 to 95 seconds long: a likely opening or ending
    QString edition_label;
    int skip_type = -1;
    QString players;
    QString fix;
    QString nested;
    qint64 start_ms = 0, end_ms = 0;
    QString key;

    static QHash<int, QByteArray> role_names();
    QVariant get(int role) const;
    bool set(int role, const QVariant &value);
    bool operator==(const ChapterInfo &) const = default;
};

class ChapterList : public detail::RowListModel<ChapterInfo> {
    Q_OBJECT
public:
    using RowListModel::RowListModel;
    // The row of the chapter of `edition` that starts at `ms`; -1 when none does. The add bar
    // brings the chapter it just made into sight by it.
    Q_INVOKABLE int row_at(quint64 edition, qint64 ms) const;
};

} // namespace perlane::chapter_list
