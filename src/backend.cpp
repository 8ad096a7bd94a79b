#include "backend.h"

#include "view.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace perlane {

namespace {
[[noreturn]] void fatal(const char *message) {
    std::fprintf(stderr, "%s\n", message);
    std::abort();
}
} // namespace

Backend::Backend(QObject *parent) : QObject(parent), picker_(make_desktop_picker()) {}
Backend::~Backend() = default;

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

void Backend::set_active(std::optional<std::size_t> index) {
    if (index && *index < files_.size()) {
        active_ = files_[*index];
        active_index_ = index;
        refill_models();
    } else {
        active_.reset();
        active_index_.reset();
    }
    const int old_row = active_row_seen_;
    active_file_name_ = active_ ? active_->name : QString();
    Q_EMIT active_file_name_changed();
    notify_active_row(old_row);
}

void Backend::notify_active_row(int old_row) {
    active_row_seen_ = active_row();
    if (active_row_seen_ != old_row)
        Q_EMIT active_index_changed();
}

const LoadedSegment *Backend::active_segment() const {
    if (!active_)
        return nullptr;
    const auto it = segments_.find(active_->segment_uuid);
    return it == segments_.end() ? nullptr : &it->second;
}

LoadedSegment *Backend::active_segment() {
    return const_cast<LoadedSegment *>(std::as_const(*this).active_segment());
}

namespace {
QString variant_name(std::uint64_t track_type) {
    switch (track_type) {
    case 1: return QStringLiteral("Video");
    case 2: return QStringLiteral("Audio");
    case 17: return QStringLiteral("Subtitle");
    default: return QStringLiteral("Unknown");
    }
}

QString title_of(const reader::Info &info) {
    return info.title ? QString::fromStdString(info.title->value) : QString();
}
} // namespace

TrackSettings *Backend::settings_of(const QByteArray &segment_uuid, const reader::TrackEntry &track) {
    const auto it = track_settings_.find({segment_uuid, track.track_number.value});
    return it == track_settings_.end() ? nullptr : &it->second;
}

const TrackSettings *Backend::settings_of(const QByteArray &segment_uuid, const reader::TrackEntry &track) const {
    return const_cast<Backend *>(this)->settings_of(segment_uuid, track);
}

void Backend::refill_models() {
    const LoadedSegment *segment = active_segment();
    if (!segment)
        return; // the models keep their rows
    if (tracks_) {
        tracks_->clear();
        for (const reader::TrackEntry &t : segment->tracks)
            if (const TrackSettings *s = settings_of(active_->segment_uuid, t))
                tracks_->push({title_of(segment->info), t.track_number.value, variant_name(t.track_type.value),
                               s->name, s->language, s->default_});
    }
    if (chapters_) {
        chapters_->clear();
        for (auto &row : chapter_rows(segment->editions))
            chapters_->push(std::move(row));
    }
}

void Backend::append_file(FileEntry entry) {
    file_names_.append(entry.name);
    files_.push_back(std::move(entry));
    Q_EMIT file_names_changed();
    notify_modified();
    if (files_.size() == 1)
        set_active(0);
}

void Backend::select_file(quint64 index) { set_active(static_cast<std::size_t>(index)); }

qint64 Backend::next_file() {
    if (!active_index_ || *active_index_ + 1 >= files_.size())
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
    if (index >= files_.size())
        return; // nothing there to remove
    const auto i = static_cast<std::size_t>(index);
    files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(i));
    file_names_.removeAt(static_cast<qsizetype>(i));
    Q_EMIT file_names_changed();
    notify_modified();
    if (files_.empty()) {
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
    const QString name = QFileInfo(path).fileName();
    auto file = reader::File::open(QFile::encodeName(path).toStdString());
    if (!file)
        return QString::fromStdString(file.error().message());
    if (!file->is_regular())
        return QStringLiteral("not a regular file");
    auto view = reader::MatroskaView::read_from(*file);
    if (!view)
        return QString::fromStdString(view.error().message());
    if (view->segments.size() != 1) {
        std::fprintf(stderr, "Unsupported number of segments: '%zu', contact developer\n",
                     view->segments.size());
        return QStringLiteral("Unsupported number of segments: %1").arg(view->segments.size());
    }
    reader::SegmentView &segment = view->segments.front();
    if (!segment.info.segment_uuid) {
        // Loaded data is kept per segment UID; without one the file cannot be told apart.
        std::fprintf(stderr, "Skipped '%s': its segment has no SegmentUUID\n", path.toLocal8Bit().constData());
        return QStringLiteral("The segment has no SegmentUUID");
    }
    const auto &uuid_bytes = segment.info.segment_uuid->value;
    const QByteArray uuid(reinterpret_cast<const char *>(uuid_bytes.data()),
                          static_cast<qsizetype>(uuid_bytes.size()));

    LoadedSegment loaded;
    if (segment.tracks)
        loaded.tracks = std::move(segment.tracks->track_entry);
    for (const reader::TrackEntry &t : loaded.tracks) {
        const QString track_name = t.name ? QString::fromStdString(t.name->value) : QString();
        const QString language = QString::fromStdString(t.language.value);
        const bool is_default = t.flag_default.value == 1;
        // An existing record keeps its edits.
        track_settings_.try_emplace({uuid, t.track_number.value},
                                    TrackSettings{language, language, track_name, track_name,
                                                  is_default, is_default});
    }
    if (segment.chapters) {
        const auto &entries = segment.chapters->edition_entry;
        const std::optional<double> duration =
            segment.info.duration ? std::optional(segment.info.duration->value) : std::nullopt;
        for (std::size_t i = 0; i < entries.size(); ++i)
            loaded.editions.push_back(
                parse_edition(entries[i], i, segment.info.timestamp_scale.value, duration));
    }
    loaded.info = std::move(segment.info);
    segments_.insert_or_assign(uuid, std::move(loaded));
    append_file(FileEntry{uuid, name, path});
    return std::nullopt;
}

std::optional<QStringList> Backend::pick() {
    // The chooser keeps the window live; a second request meanwhile is not taken.
    if (!picker_ || picking_)
        return std::nullopt;
    picking_ = true;
    std::optional<QStringList> paths = picker_->pick_files();
    picking_ = false;
    return paths;
}

void Backend::open_files() {
    const std::optional<QStringList> paths = pick();
    if (!paths)
        return; // no chooser could be shown: nothing changes
    files_.clear();
    file_names_.clear();
    Q_EMIT file_names_changed();
    notify_modified();
    load_paths(*paths);
}

void Backend::load_paths(const QStringList &paths) {
    QStringList errors;
    for (const QString &path : paths)
        if (const auto why = add_file(path))
            errors << QFileInfo(path).fileName() + QStringLiteral(": ") + *why;
    if (errors != load_errors_) {
        load_errors_ = errors;
        Q_EMIT load_errors_changed();
    }
}

void Backend::dismiss_load_errors() {
    if (load_errors_.isEmpty())
        return;
    load_errors_.clear();
    Q_EMIT load_errors_changed();
}

bool Backend::is_modified(const QByteArray &segment_uuid) const {
    const auto it = segments_.find(segment_uuid);
    if (it == segments_.end())
        return false;
    if (it->second.chapters_edited)
        return true;
    for (const reader::TrackEntry &t : it->second.tracks)
        if (const TrackSettings *s = settings_of(segment_uuid, t); s && s->edited())
            return true;
    return false;
}

// Each delegate reads the list: it is worked out once per change, not once per read.
void Backend::notify_modified() {
    modified_rows_.clear();
    for (const FileEntry &f : files_)
        modified_rows_ << is_modified(f.segment_uuid);
    Q_EMIT modified_changed();
}

bool Backend::active_modified() const { return active_ && is_modified(active_->segment_uuid); }

void Backend::add_files() {
    const std::optional<QStringList> paths = pick();
    if (!paths)
        return;
    load_paths(*paths);
}

// The row's disc must be the active file's title (empty for an untitled one): a slot call
// edits the active file's track with that number, never another file's.
TrackSettings *Backend::track_for_slot(const QString &disc, quint64 number) {
    const LoadedSegment *segment = active_segment();
    if (!segment || disc != title_of(segment->info))
        return nullptr;
    const auto it = track_settings_.find({active_->segment_uuid, number});
    return it == track_settings_.end() ? nullptr : &it->second;
}

void Backend::set_track_name(const QString &disc, quint64 number, const QString &name) {
    if (TrackSettings *s = track_for_slot(disc, number)) {
        s->name = name;
        notify_modified();
    }
}

void Backend::set_track_default(const QString &disc, quint64 number, bool value) {
    if (TrackSettings *s = track_for_slot(disc, number)) {
        s->default_ = value;
        notify_modified();
    }
}

void Backend::set_track_language(const QString &disc, quint64 number, const QString &language) {
    if (TrackSettings *s = track_for_slot(disc, number)) {
        s->language = language;
        notify_modified();
    }
}

void Backend::set_chapter_name(quint64 edition, quint64 chapter, const QString &name) {
    LoadedSegment *segment = active_segment();
    if (!segment)
        return;
    const auto at = locate_row(segment->editions, static_cast<std::size_t>(chapter));
    if (!at || at->first != edition)
        return; // no such chapter: the row would no longer show what would be saved
    Chapter &c = segment->editions[at->first].chapters[at->second];
    c.name = name;
    c.atom.chapter_display.front().chap_string.value = name.toStdString();
    segment->chapters_edited = true;
    if (chapters_)
        chapters_->set_chapter_name(chapter, name);
    notify_modified();
}

void Backend::split(quint64 edition, quint64 chapter, SplitAt where) {
    LoadedSegment *segment = active_segment();
    if (!segment)
        return;
    const auto at = locate_row(segment->editions, static_cast<std::size_t>(chapter));
    if (!at || at->first != edition)
        return;
    if (!split_chapter(segment->editions, at->first, at->second, where))
        return;
    segment->chapters_edited = true;
    notify_modified();
    if (!chapters_)
        return;
    // The split chapter's row and the new one as the data now has them; the rows of the
    // other chapters keep their times (a piece starts or ends where the chapter did).
    const Edition &e = segment->editions[at->first];
    const std::size_t row = static_cast<std::size_t>(chapter);
    const std::size_t old_pos = where == SplitAt::Start ? at->second + 1 : at->second;
    const std::size_t new_pos = where == SplitAt::Start ? at->second : at->second + 1;
    const std::size_t first_row = row - at->second;
    chapters_->replace(row, e.row(old_pos, row));
    chapters_->insert(first_row + new_pos, e.row(new_pos, first_row + new_pos));
    chapters_->renumber();
}

void Backend::insert_chapter_start(quint64 edition, quint64 chapter) {
    split(edition, chapter, SplitAt::Start);
}

void Backend::insert_chapter_end(quint64 edition, quint64 chapter) {
    split(edition, chapter, SplitAt::End);
}

void Backend::report(const QString &status, bool failed) {
    if (status == save_status_ && failed == save_failed_)
        return;
    save_status_ = status;
    save_failed_ = failed;
    Q_EMIT save_status_changed();
}

namespace {

// The lines of mkvpropedit's output that say what went wrong or what it warns about.
QString tool_message(const ToolRun &run) {
    QStringList lines;
    for (const QByteArray &stream : {run.out, run.err})
        for (const QString &l : QString::fromUtf8(stream).split(QLatin1Char('\n')))
            if (l.startsWith(QStringLiteral("Error")) || l.startsWith(QStringLiteral("Warning")))
                lines << l.trimmed();
    if (lines.isEmpty())
        for (const QByteArray &stream : {run.err, run.out})
            for (const QString &l : QString::fromUtf8(stream).split(QLatin1Char('\n')))
                if (!l.trimmed().isEmpty())
                    lines << l.trimmed();
    return lines.join(QLatin1Char(' '));
}

ToolRun run_tool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProgram(program); // looked up on PATH; no shell
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    ToolRun run;
    if (!process.waitForStarted(-1)) {
        run.start_error = process.errorString();
        return run;
    }
    process.waitForFinished(-1);
    run.exit_code = process.exitCode();
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

void Backend::save_file() {
    LoadedSegment *segment = active_segment();
    if (!segment)
        return;
    const QString name = active_->name;
    QStringList arguments{active_->path};
    bool track_edits = false;
    for (const reader::TrackEntry &t : segment->tracks) {
        const TrackSettings *settings = settings_of(active_->segment_uuid, t);
        if (!settings || !settings->edited())
            continue;
        const TrackSettings &s = *settings;
        track_edits = true;
        // "track:=UID" names the track by UID; "track:N" would mean the N-th track.
        arguments << QStringLiteral("--edit") << QStringLiteral("track:=%1").arg(t.track_uid.value);
        if (s.name != s.initial_name)
            arguments << QStringLiteral("--set") << QStringLiteral("name=") + s.name;
        if (s.default_ != s.initial_default)
            arguments << QStringLiteral("--set") << QStringLiteral("flag-default=%1").arg(s.default_ ? 1 : 0);
        if (s.language != s.initial_language)
            arguments << QStringLiteral("--set") << QStringLiteral("language=") + s.language;
    }
    if (!track_edits && !segment->chapters_edited) {
        report(QStringLiteral("Nothing to save: %1 has no changes.").arg(name), false);
        return;
    }
    if (segment->chapters_edited) {
        // A private directory: no other user can plant a link there, and two running
        // instances do not share a file.
        chapters_dir_ = std::make_unique<QTemporaryDir>();
        const QString path = chapters_dir_->filePath(QStringLiteral("chapters.xml"));
        QFile file(path);
        const QByteArray document = chapters_document(segment->editions);
        if (!chapters_dir_->isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
            file.write(document) != document.size() || !file.flush()) {
            report(QStringLiteral("Could not save %1: the chapters file could not be written (%2).")
                       .arg(name, chapters_dir_->isValid() ? file.errorString() : chapters_dir_->errorString()),
                   true);
            return;
        }
        file.close();
        arguments << QStringLiteral("--chapters") << path;
    }
    last_run_ = run_tool(QStringLiteral("mkvpropedit"), arguments);
    const ToolRun &run = *last_run_;
    if (run.start_error) {
        report(QStringLiteral("Could not save %1: mkvpropedit could not be started (%2). Is mkvtoolnix installed?")
                   .arg(name, *run.start_error),
               true);
        return;
    }
    if (run.crashed || run.exit_code >= 2) {
        const QString message = tool_message(run);
        report(QStringLiteral("Could not save %1: %2").arg(name, message.isEmpty() ? QStringLiteral("mkvpropedit failed.") : message),
               true);
        return; // the edits stay pending
    }
    // The file now holds the edits: they are no longer pending.
    for (const reader::TrackEntry &t : segment->tracks)
        if (TrackSettings *s = settings_of(active_->segment_uuid, t)) {
            s->initial_name = s->name;
            s->initial_language = s->language;
            s->initial_default = s->default_;
        }
    segment->chapters_edited = false;
    notify_modified();
    if (run.exit_code == 1)
        report(QStringLiteral("Saved %1 with warnings: %2").arg(name, tool_message(run)), false);
    else
        report(QStringLiteral("Saved %1.").arg(name), false);
}

} // namespace perlane
