#pragma once
#include "list_model.h"

#include <QString>

namespace perlane::chapter_list {

// One row of the chapter model: the chapters of all editions in one list.
struct ChapterInfo {
    enum Role { Edx = 0, Idx, Name, Start, End, Duration, Qualifies };

    quint64 edx = 0; // position of the chapter's edition in the file
    quint64 idx = 0; // position of the row; the key of set_chapter_name
    QString name;
    QString start;    // "mm:ss.fff"
    QString end;
    QString duration;
    bool qualifies = false; // 85 to 95 seconds long: a likely opening or ending

    static QHash<int, QByteArray> role_names();
    QVariant get(int role) const;
    bool set(int role, const QVariant &value);
    bool operator==(const ChapterInfo &) const = default;
};

class ChapterList : public detail::RowListModel<ChapterInfo> {
    Q_OBJECT
public:
    using RowListModel::RowListModel;
};

} // namespace perlane::chapter_list
