#pragma once
// Chapter edits for the window: each one undoable step of the active file; a refusal says
// why in the status line.
#include "chapter_edits.h"
#include "row_keys.h"

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace perlane {

class Backend;

class ChapterEditing : public QObject {
    Q_OBJECT
    // What the window calls each ChapterSkipType ("None" first, for no element), and the
    // name each one-click role gives ({opening: "Opening", ...}): one table, here.
    Q_PROPERTY(QStringList skip_type_labels READ skip_type_labels CONSTANT)
    Q_PROPERTY(QVariantMap role_names READ role_names CONSTANT)
public:
    explicit ChapterEditing(Backend &backend);

    // `chapter` is the row in the chapter list, times are milliseconds. The "_by_key" ones
    // name the chapter by the model's "key" role instead: a view takes it when an edit
    // starts, so the edit reaches that chapter whatever the rows show by then. Whether the
    // edit was made.
    Q_INVOKABLE bool split_chapter_at(quint64 edition, quint64 chapter, qint64 ms);
    Q_INVOKABLE bool add_chapter(quint64 edition, qint64 ms, const QString &name);
    Q_INVOKABLE bool delete_chapter(quint64 edition, quint64 chapter);
    Q_INVOKABLE bool set_chapter_start(quint64 edition, quint64 chapter, qint64 ms);
    // 0 to 6, or -1 to remove it.
    Q_INVOKABLE bool set_chapter_skip_type(quint64 edition, quint64 chapter, int type);
    // "opening", "ending", "recap" or "preview": the name and skip type together.
    Q_INVOKABLE bool mark_chapter(quint64 edition, quint64 chapter, const QString &role);
    // A chapter marked with `role` from `from_ms` to `to_ms` (90 s when negative), added
    // or cut as needed, in one step.
    Q_INVOKABLE bool add_marked_chapter(quint64 edition, qint64 from_ms, qint64 to_ms, const QString &role);
    // {ok, ms, to} for "mm:ss.fff", "h:mm:ss.fff" or two of them joined by a dash (to is
    // -1 without a second), else {ok: false, reason}.
    Q_INVOKABLE QVariantMap parse_time(const QString &text) const;
    // {ok, ms} when `text` is a start the chapter can move to, else {ok: false, reason}.
    Q_INVOKABLE QVariantMap check_chapter_start(quint64 edition, quint64 chapter, const QString &text) const;
    Q_INVOKABLE bool set_chapter_name_by_key(const QString &key, const QString &name);
    Q_INVOKABLE bool set_chapter_start_by_key(const QString &key, qint64 ms);
    Q_INVOKABLE QVariantMap check_chapter_start_by_key(const QString &key, const QString &text) const;
    Q_INVOKABLE bool insert_chapter_start_by_key(const QString &key);
    Q_INVOKABLE bool insert_chapter_end_by_key(const QString &key);
    Q_INVOKABLE bool delete_chapter_by_key(const QString &key);
    Q_INVOKABLE bool set_chapter_skip_type_by_key(const QString &key, int type);
    Q_INVOKABLE bool mark_chapter_by_key(const QString &key, const QString &role);
    QStringList skip_type_labels() const;
    QVariantMap role_names() const;

    // The backend's own slots: quiet when there is no such row.
    void rename_at(quint64 edition, quint64 chapter, const QString &name);
    void split_at(quint64 edition, quint64 chapter, SplitAt where);

private:
    std::optional<ChapterKey> chapter_key_at(quint64 edition, quint64 chapter, bool quiet = false);
    std::optional<ChapterKey> chapter_key_of(const QString &text);
    std::optional<ChapterRow> chapter_keyed(const ChapterKey &key) const;
    bool edit_chapters(const std::function<EditOutcome(Editions &, std::optional<std::uint64_t>)> &op);
    bool edit_chapter(const std::optional<ChapterKey> &key,
                      const std::function<EditOutcome(Editions &, const ChapterRow &, std::optional<std::uint64_t>)> &op);
    bool rename(const std::optional<ChapterKey> &key, const QString &name);
    bool split(const std::optional<ChapterKey> &key, SplitAt where);
    bool remove(const std::optional<ChapterKey> &key);
    bool move_start(const std::optional<ChapterKey> &key, qint64 ms);
    bool skip_type(const std::optional<ChapterKey> &key, int type);
    bool mark_role(const std::optional<ChapterKey> &key, const QString &role);
    QVariantMap check_start(const std::optional<ChapterKey> &key, const QString &text) const;
    bool refuse_time(qint64 ms);
    // The role of that name, or none after saying so.
    const ChapterRole *known_role(const QString &role);

    Backend &b_;
};

} // namespace perlane
