#include "backend.h"

#include <cstdio>
#include <cstdlib>

namespace perlane {

namespace {
[[noreturn]] void fatal(const char *message) {
    std::fprintf(stderr, "%s\n", message);
    std::abort();
}
} // namespace

Backend::Backend(QObject *parent) : QObject(parent) {}
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

void Backend::refill_models() {}

void Backend::append_file(FileEntry entry) {
    file_names_.append(entry.name);
    files_.push_back(std::move(entry));
    Q_EMIT file_names_changed();
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

void Backend::open_files() {}
void Backend::add_files() {}
void Backend::set_track_name(const QString &, quint64, const QString &) {}
void Backend::set_track_default(const QString &, quint64, bool) {}
void Backend::set_track_language(const QString &, quint64, const QString &) {}
void Backend::set_chapter_name(quint64, quint64, const QString &) {}
void Backend::insert_chapter_start(quint64, quint64) {}
void Backend::insert_chapter_end(quint64, quint64) {}
void Backend::save_file() {}

} // namespace perlane
