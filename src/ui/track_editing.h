#pragma once
// Track and title edits for the window. A track is named by the track model's "key" role
// (or, in the backend's own slots, by the file's title and the track's number).
#include "row_keys.h"

#include <QObject>
#include <QString>

#include <optional>

namespace perlane {

class Backend;

class TrackEditing : public QObject {
    Q_OBJECT
    // The active file's segment title as edited (empty: none).
    Q_PROPERTY(QString active_title READ active_title NOTIFY modified_changed)
public:
    explicit TrackEditing(Backend &backend);

    // Sets one of the flags "forced", "hearing-impaired", "visual-impaired",
    // "text-descriptions", "original", "commentary", "enabled" to 1, 0 or -1 (unset, for
    // the flags without a default). Whether the track changed.
    Q_INVOKABLE bool set_track_flag(const QString &disc, quint64 track, const QString &flag, int value);
    Q_INVOKABLE bool set_track_name_by_key(const QString &key, const QString &name);
    Q_INVOKABLE bool set_track_default_by_key(const QString &key, bool value);
    Q_INVOKABLE bool set_track_language_by_key(const QString &key, const QString &language);
    Q_INVOKABLE bool set_track_flag_by_key(const QString &key, const QString &flag, int value);
    // The active file's title; empty text removes it.
    Q_INVOKABLE bool set_title(const QString &text);
    QString active_title() const;

    // The backend's own slots: the row's disc must be the active file's title.
    void rename_at(const QString &disc, quint64 number, const QString &name);
    void default_at(const QString &disc, quint64 number, bool value);
    void relabel_at(const QString &disc, quint64 number, const QString &language);

Q_SIGNALS:
    void modified_changed();

private:
    std::optional<TrackKey> track_for_slot(const QString &disc, quint64 number) const;
    std::optional<TrackKey> track_key_of(const QString &text);
    std::optional<std::size_t> track_keyed(const std::optional<TrackKey> &key) const;
    bool rename_track(const std::optional<TrackKey> &key, const QString &name);
    bool make_default(const std::optional<TrackKey> &key, bool value);
    bool relabel(const std::optional<TrackKey> &key, const QString &language);
    bool set_flag(const std::optional<TrackKey> &key, const QString &missing, const QString &flag, int value);

    Backend &b_;
};

} // namespace perlane
