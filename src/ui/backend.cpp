#include "backend.h"

#include "app.h"
#include "chapter_edits.h"
#include "languages.h"
#include "player_rules.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace perlane {

namespace {
[[noreturn]] void fatal(const char *message) {
    std::fprintf(stderr, "%s\n", message);
    std::abort();
}

QString time_text(std::uint64_t ns) { return Time{ns / ns_per_ms}.to_string(); }

std::vector<track_list::TrackInfo> track_rows(const Document &doc) {
    std::vector<track_list::TrackInfo> rows;
    const auto &values = doc.state().tracks;
    const auto uids = doc.track_uids();
    for (std::size_t i = 0; i < doc.tracks().size(); ++i) {
        const reader::TrackEntry &t = doc.tracks()[i];
        const TrackValues &v = values[i];
        // "language" is the Language element until the user sets another code.
        const QString element = v.language == doc.read().tracks[i].language ? QString::fromStdString(t.language.value) : v.language;
        rows.push_back({doc.title(), t.track_number.value, season::type_name(t.track_type.value), v.name, element,
                        v.is_default, v.flags, languages::describe(v.language), v != doc.read().tracks[i],
                        key_text(key_of(uids, i, doc.serial())), v.language});
    }
    return rows;
}

// The role whose name players skip, for a skip type that asks for skipping.
QString fix_for(const ChapterRow &r, const std::vector<PlayerVerdict> &players) {
    if (!players.empty() || !r.skip_type)
        return {};
    switch (*r.skip_type) {
    case 1: return QStringLiteral("opening");
    case 2: return QStringLiteral("ending");
    case 4:
    case 5: return QStringLiteral("preview");
    default: return {};
    }
}

std::vector<chapter_list::ChapterInfo> chapter_infos(const Editions &editions, const std::vector<ChapterRow> &rows,
                                                     std::uint64_t document) {
    std::vector<chapter_list::ChapterInfo> out;
    std::vector<QString> labels;
    for (std::size_t e = 0; e < editions.size(); ++e)
        labels.push_back(edition_label(editions, e));
    const auto keys = keys_of(rows, document);
    for (const ChapterRow &r : rows) {
        const std::uint64_t length_ms = (r.end - r.start) / ns_per_ms;
        const auto players = players_skipping(r.name, r.next_start - r.start);
        QStringList said, nested;
        for (const PlayerVerdict &v : players)
            said << v.player + QStringLiteral(": ") + v.kind;
        for (const NestedRow &n : r.nested)
            nested << QString(n.depth * 2, QLatin1Char(' ')) + (n.name.isEmpty() ? QStringLiteral("(no name)") : n.name) +
                          QStringLiteral("  ") + time_text(n.start) + QStringLiteral("\u2013") + time_text(n.end);
        out.push_back({r.edition, out.size(), r.name, time_text(r.start), time_text(r.end), Time{length_ms}.to_string(),
                       likely_song(length_ms), labels[r.edition],
                       r.skip_type ? static_cast<int>(*r.skip_type) : -1, said.join(QStringLiteral(" \u00B7 ")),
                       fix_for(r, players), nested.join(QLatin1Char('\n')), static_cast<qint64>(r.start / ns_per_ms),
                       static_cast<qint64>(r.end / ns_per_ms), key_text(keys[out.size()])});
    }
    return out;
}
} // namespace

Backend::Backend(QObject *parent) : QObject(parent), picker_(make_desktop_picker()) {
    connect(&session_, &Session::changed, this, &Backend::document_changed);
    connect(&session_, &Session::changed_on_disk, this, [this](const std::vector<Document *> &docs) {
        for (Document *doc : docs)
            if (doc == active_document())
                report(SaveQueue::changed_text(*doc), true);
        Q_EMIT changes_.disk_state_changed();
    });
    connect(&session_.saves(), &SaveQueue::status, this, &Backend::report);
    connect(&session_.saves(), &SaveQueue::saving_changed, &changes_, &Changes::saving_changed);
    connect(&session_.journals(), &Journals::status, this, &Backend::report);
    connect(&session_.journals(), &Journals::kept_changed, &changes_, &Changes::undo_changed);
    connect(&session_.journals(), &Journals::settled, this, &Backend::recovered);
    QTimer::singleShot(0, this, [this] { session_.journals().ensure_recovered(); });
}

// The session settles a running save as it goes; nobody is left to hear about it.
Backend::~Backend() { disconnect(&session_, nullptr, this, nullptr); }

void Backend::componentComplete() {
    // Files named on the command line open when the window's backend is ready, and after
    // interrupted saves of them are settled (a file whose tool still runs is waited for).
    const QList<QByteArray> arguments = take_startup_files();
    std::vector<Choice> choices;
    for (const QByteArray &a : arguments)
        choices.push_back(path_from_bytes(a));
    session_.journals().ensure_recovered();
    if (session_.journals().waiting()) {
        startup_choices_ = std::move(choices);
        return;
    }
    if (!choices.empty())
        load_choices(choices);
}

void Backend::recovered() {
    if (!startup_choices_.empty())
        load_choices(std::exchange(startup_choices_, {}));
}

// A document changed (an edit, a step of its history, a save's outcome, a reload).
void Backend::document_changed(Document *doc) {
    if (doc && doc == active_document())
        refresh_models();
    notify_modified();
    Q_EMIT changes_.undo_changed();
    Q_EMIT changes_.disk_state_changed();
}

void Backend::set_file_names(const QStringList &names) {
    if (names == file_names_)
        return;
    file_names_ = names;
    Q_EMIT file_names_changed();
}

void Backend::set_active_file_name(const QString &name) {
    if (name == active_file_name_)
        return;
    active_file_name_ = name;
    Q_EMIT active_file_name_changed();
}

// A model of the wrong kind is a programming error in the QML documents. Null detaches
// the model: updates then go nowhere, as before the first assignment.
void Backend::set_tracks(QObject *model) {
    auto *list = qobject_cast<track_list::TrackList *>(model);
    if (model && !list)
        fatal("Failed to convert QVariant for qproperty 'tracks'");
    tracks_ = list;
}

void Backend::set_chapters(QObject *model) {
    auto *list = qobject_cast<chapter_list::ChapterList *>(model);
    if (model && !list)
        fatal("Failed to convert QVariant for qproperty 'chapters'");
    chapters_ = list;
}

std::shared_ptr<Document> Backend::active_shared() const {
    const auto &docs = session_.documents();
    return active_index_ && *active_index_ < docs.size() ? docs[*active_index_] : nullptr;
}

Document *Backend::active_document() const {
    const auto &docs = session_.documents();
    return active_index_ && *active_index_ < docs.size() ? docs[*active_index_].get() : nullptr;
}

void Backend::set_active(std::optional<std::size_t> index) {
    if (index && *index < documents().size()) {
        active_index_ = index;
        refresh_models();
    } else {
        active_index_.reset();
    }
    const int old_row = active_row_seen_;
    active_file_name_ = active_index_ ? documents()[*active_index_]->name() : QString();
    Q_EMIT active_file_name_changed();
    notify_active_row(old_row);
    Q_EMIT changes_.modified_changed();
    Q_EMIT changes_.undo_changed();
    Q_EMIT changes_.disk_state_changed();
}

void Backend::notify_active_row(int old_row) {
    active_row_seen_ = active_row();
    if (active_row_seen_ != old_row)
        Q_EMIT changes_.active_index_changed();
}

// The rows are views of the active document, brought in line with it row by row.
void Backend::refresh_models() {
    const Document *doc = active_document();
    if (!doc)
        return; // the models keep their rows
    if (tracks_)
        tracks_->assign(track_rows(*doc));
    if (chapters_)
        chapters_->assign(chapter_infos(doc->state().editions, chapter_rows(doc->state().editions, doc->segment_end()),
                                        doc->serial()));
}

void Backend::append(const Document &doc) {
    file_names_.append(doc.name());
    // Listed before it is shown: a client sees the name first, then the active file.
    // A file just read has no edits: no file's mark changes, so there is nothing to announce
    // (a season opened at once would otherwise recount every row once per file).
    modified_rows_ << false;
    Q_EMIT file_names_changed();
    if (documents().size() == 1)
        set_active(0);
}

void Backend::select_file(quint64 index) { set_active(static_cast<std::size_t>(index)); }

qint64 Backend::next_file() {
    if (!active_index_ || *active_index_ + 1 >= documents().size())
        return -1;
    set_active(*active_index_ + 1);
    return static_cast<qint64>(*active_index_);
}

qint64 Backend::prev_file() {
    if (!active_index_ || *active_index_ == 0)
        return -1;
    set_active(*active_index_ - 1);
    return static_cast<qint64>(*active_index_);
}

void Backend::delete_file(quint64 index) {
    if (index >= documents().size())
        return; // nothing there to remove
    const auto i = static_cast<std::size_t>(index);
    session_.close(i);
    file_names_.removeAt(static_cast<qsizetype>(i));
    Q_EMIT file_names_changed();
    notify_modified();
    if (documents().empty()) {
        set_active(std::nullopt);
    } else if (active_index_ && *active_index_ == i) {
        set_active(i == 0 ? 0 : i - 1);
    } else if (active_index_ && *active_index_ > i) {
        // Keep naming the same file: the entries after the removed one moved up.
        --*active_index_;
        notify_active_row(active_row_seen_);
    }
}

void Backend::set_picker(std::unique_ptr<FilePicker> picker) { picker_ = std::move(picker); }

std::optional<QString> Backend::add_file(const QString &path) {
    const auto why = add_document(path);
    return why ? std::optional(why->plain) : std::nullopt;
}

std::optional<LoadError> Backend::add_document(const QString &path) {
    const std::size_t listed = documents().size();
    const auto opened = session_.open(path);
    if (!opened)
        return opened.error();
    if (*opened < listed)
        set_active(*opened); // listed already: shown, with its edits, not read again
    else
        append(*documents()[*opened]);
    return std::nullopt;
}

std::optional<std::vector<Choice>> Backend::pick() {
    // The chooser keeps the window live; a second request meanwhile is not taken.
    if (!picker_ || picking_)
        return std::nullopt;
    picking_ = true;
    auto chosen = picker_->pick_files();
    picking_ = false;
    return chosen;
}

void Backend::open_files() {
    const auto chosen = pick();
    if (!chosen)
        return; // no chooser could be shown: nothing changes
    session_.close_all();
    file_names_.clear();
    Q_EMIT file_names_changed();
    set_active(std::nullopt); // nothing listed is shown, edited or saved
    // Nor are its rows: were the choice cancelled, edits to them would go nowhere.
    if (tracks_)
        tracks_->assign({});
    if (chapters_)
        chapters_->assign({});
    notify_modified();
    load_choices(*chosen);
}

void Backend::add_files() {
    if (const auto chosen = pick())
        load_choices(*chosen);
}


void Backend::load_choices(const std::vector<Choice> &choices) {
    session_.journals().ensure_recovered();
    QStringList errors;
    QStringList details;
    for (const Choice &choice : choices) {
        if (!choice) {
            errors << choice.error();
        } else if (const auto why = add_document(*choice)) {
            const QString name = QFileInfo(*choice).fileName();
            errors << name + QStringLiteral(": ") + why->plain;
            if (!why->detail.isEmpty())
                details << name + QStringLiteral(": ") + why->detail;
        }
    }
    load_error_details_ = details;
    if (errors != load_errors_) {
        load_errors_ = errors;
        Q_EMIT changes_.load_errors_changed();
    }
}

void Backend::dismiss_load_errors() {
    if (load_errors_.isEmpty())
        return;
    load_errors_.clear();
    load_error_details_.clear();
    Q_EMIT changes_.load_errors_changed();
}

// Each delegate reads the list: it is worked out once per change, not once per read.
void Backend::notify_modified() {
    modified_rows_.clear();
    for (const auto &doc : documents())
        modified_rows_ << doc->modified();
    Q_EMIT changes_.modified_changed();
}

bool Backend::edit_active(const std::function<bool(DocumentState &)> &change) {
    Document *doc = active_document();
    return doc && session_.edit(*doc, change);
}

// A NUL would end the text where the tool reads it (the rest lost unseen), and other
// control characters (line breaks, tabs) are nothing a player shows as a name.
// The Part's slots, handed to the controllers of their jobs.
void Backend::set_track_name(const QString &disc, quint64 number, const QString &name) { track_edits_.rename_at(disc, number, name); }
void Backend::set_track_default(const QString &disc, quint64 number, bool value) { track_edits_.default_at(disc, number, value); }
void Backend::set_track_language(const QString &disc, quint64 number, const QString &language) {
    track_edits_.relabel_at(disc, number, language);
}
void Backend::set_chapter_name(quint64 edition, quint64 chapter, const QString &name) { chapter_edits_.rename_at(edition, chapter, name); }
void Backend::insert_chapter_start(quint64 edition, quint64 chapter) { chapter_edits_.split_at(edition, chapter, SplitAt::Start); }
void Backend::insert_chapter_end(quint64 edition, quint64 chapter) { chapter_edits_.split_at(edition, chapter, SplitAt::End); }

bool Backend::refuse_control(const QString &text) {
    if (std::ranges::none_of(text, [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
        return false;
    report(QStringLiteral("Names cannot contain control characters (NUL, line breaks, tabs); the edit was not made."), true);
    return true;
}

void Backend::save_file() {
    Document *doc = active_document();
    if (!doc)
        return;
    if (!doc->modified()) {
        report(QStringLiteral("Nothing to save: %1 has no changes.").arg(doc->name()), false);
        return;
    }
    session_.saves().save(active_shared(), false);
}

void Backend::report(const QString &status, bool failed) {
    if (status == save_status_ && failed == save_failed_)
        return;
    save_status_ = status;
    save_failed_ = failed;
    Q_EMIT changes_.status_changed();
}

} // namespace perlane
