// Track and title edits for the window: each one undoable step of the active file.
#include "track_editing.h"

#include "backend.h"
#include "languages.h"
#include "track_flags.h"

namespace perlane {

TrackEditing::TrackEditing(Backend &backend) : QObject(&backend), b_(backend) {
    connect(&b_.changes(), &Changes::modified_changed, this, &TrackEditing::modified_changed);
}

// The row's disc must be the active file's title (empty for an untitled one): a slot call
// edits the active file's track with that number, never another file's.
std::optional<TrackKey> TrackEditing::track_for_slot(const QString &disc, quint64 number) const {
    const Document *doc = b_.active_document();
    if (!doc || disc != doc->title())
        return std::nullopt;
    const auto i = doc->track_numbered(number);
    if (!i)
        return std::nullopt;
    return perlane::key_of(doc->track_uids(), *i, doc->serial());
}

std::optional<TrackKey> TrackEditing::track_key_of(const QString &text) {
    if (auto key = track_key(text))
        return key;
    b_.report(QStringLiteral("\u201C%1\u201D names no track. Nothing was changed.").arg(text), true);
    return std::nullopt;
}

// Where the track `key` names is among the active file's tracks.
std::optional<std::size_t> TrackEditing::track_keyed(const std::optional<TrackKey> &key) const {
    const Document *doc = b_.active_document();
    if (!key || !doc || doc->serial() != key->document)
        return std::nullopt;
    return index_of(doc->track_uids(), *key);
}

void TrackEditing::rename_at(const QString &disc, quint64 number, const QString &name) { rename_track(track_for_slot(disc, number), name); }
bool TrackEditing::set_track_name_by_key(const QString &key, const QString &name) { return rename_track(track_key_of(key), name); }

bool TrackEditing::rename_track(const std::optional<TrackKey> &key, const QString &name) {
    const auto i = track_keyed(key);
    if (!i || b_.refuse_control(name))
        return false;
    return b_.edit_active([&](DocumentState &s) {
        s.tracks[*i].name = name;
        return true;
    });
}

void TrackEditing::default_at(const QString &disc, quint64 number, bool value) { make_default(track_for_slot(disc, number), value); }
bool TrackEditing::set_track_default_by_key(const QString &key, bool value) { return make_default(track_key_of(key), value); }

bool TrackEditing::make_default(const std::optional<TrackKey> &key, bool value) {
    const auto i = track_keyed(key);
    return i && b_.edit_active([&](DocumentState &s) {
        s.tracks[*i].is_default = value;
        return true;
    });
}

void TrackEditing::relabel_at(const QString &disc, quint64 number, const QString &language) { relabel(track_for_slot(disc, number), language); }
bool TrackEditing::set_track_language_by_key(const QString &key, const QString &language) {
    return relabel(track_key_of(key), language);
}

bool TrackEditing::relabel(const std::optional<TrackKey> &key, const QString &language) {
    const auto i = track_keyed(key);
    if (!i)
        return false;
    const auto checked = languages::check(language);
    if (!checked) {
        b_.report(checked.error() + QStringLiteral(" The language was not changed."), true);
        return false;
    }
    const Document *doc = b_.active_document();
    // Another spelling of what is there ("deu" for "ger") is no edit: mkvpropedit would
    // store the same.
    const QString &read = doc->read().tracks[*i].language;
    const QString tag = languages::same(checked->tag, read) ? read : checked->tag;
    return b_.edit_active([&](DocumentState &s) {
        if (tag != read && languages::same(tag, s.tracks[*i].language))
            return false;
        s.tracks[*i].language = tag;
        return true;
    });
}

bool TrackEditing::set_track_flag(const QString &disc, quint64 number, const QString &flag, int value) {
    return set_flag(track_for_slot(disc, number),
                      QStringLiteral("There is no track %1 in the active file; no flag was changed.").arg(number), flag, value);
}

bool TrackEditing::set_track_flag_by_key(const QString &text, const QString &flag, int value) {
    const auto key = track_key_of(text); // says itself when the text names no track
    return key && set_flag(key, QStringLiteral("That track is no longer in the active file; no flag was changed."), flag, value);
}

bool TrackEditing::set_flag(const std::optional<TrackKey> &key, const QString &missing, const QString &flag, int value) {
    const auto i = track_keyed(key);
    if (!i) {
        b_.report(missing, true);
        return false;
    }
    const auto which = flag_named(flag);
    if (!which) {
        b_.report(QStringLiteral("\u201C%1\u201D is not a track flag; no flag was changed.").arg(flag), true);
        return false;
    }
    if (!flag_value_allowed(*which, value)) {
        b_.report(flag_info(*which).fallback
                   ? QStringLiteral("The %1 flag is 0 or 1; %2 was not set.").arg(flag).arg(value)
                   : QStringLiteral("The %1 flag is 0, 1 or -1 (unset); %2 was not set.").arg(flag).arg(value),
               true);
        return false;
    }
    return b_.edit_active([&](DocumentState &s) {
        s.tracks[*i].flags[static_cast<std::size_t>(*which)] = value;
        return true;
    });
}

QString TrackEditing::active_title() const {
    const Document *doc = b_.active_document();
    return doc ? doc->state().title : QString();
}

bool TrackEditing::set_title(const QString &text) {
    if (!b_.active_document() || b_.refuse_control(text))
        return false;
    return b_.edit_active([&](DocumentState &s) {
        s.title = text;
        return true;
    });
}

} // namespace perlane
