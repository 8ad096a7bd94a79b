#include "document.h"

#include "view.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace perlane {

namespace {
constexpr std::size_t history_limit = 500;
}

std::expected<std::unique_ptr<Document>, QString> Document::load(const QString &path) {
    auto file = reader::File::open(QFile::encodeName(path).toStdString());
    if (!file)
        return std::unexpected(QString::fromStdString(file.error().message()));
    if (!file->is_regular())
        return std::unexpected(QStringLiteral("not a regular file"));
    const auto identity = file->identity();
    if (!identity)
        return std::unexpected(QStringLiteral("the file's details could not be read"));
    // What the window shows and saves: Cues, Tags and attachment bodies are not read.
    auto view = reader::MatroskaView::read_from(*file, reader::ReadMode::Metadata);
    if (!view)
        return std::unexpected(QString::fromStdString(view.error().message()));
    if (view->segments.size() != 1) {
        std::fprintf(stderr, "Unsupported number of segments: '%zu', contact developer\n", view->segments.size());
        return std::unexpected(QStringLiteral("Unsupported number of segments: %1").arg(view->segments.size()));
    }
    reader::SegmentView &segment = view->segments.front();
    std::unique_ptr<Document> doc(new Document);
    doc->path_ = path;
    doc->identity_ = *identity;
    doc->info_ = std::move(segment.info);
    if (segment.tracks)
        doc->tracks_ = std::move(segment.tracks->track_entry);
    for (const reader::TrackEntry &t : doc->tracks_)
        doc->read_.tracks.push_back({t.name ? QString::fromStdString(t.name->value) : QString(),
                                     QString::fromStdString(t.language_bcp47 ? t.language_bcp47->value
                                                                             : t.language.value),
                                     t.flag_default.value == 1, flags_of(t)});
    doc->read_.title = doc->title();
    doc->had_chapters_ = segment.chapters.has_value();
    if (segment.chapters)
        doc->read_.editions = std::move(segment.chapters->edition_entry);
    doc->state_ = doc->read_;
    return doc;
}

QString Document::name() const { return QFileInfo(path_).fileName(); }

QString Document::title() const { return info_.title ? QString::fromStdString(info_.title->value) : QString(); }

std::optional<std::uint64_t> Document::segment_end() const {
    return segment_length_ns(info_.duration ? std::optional(info_.duration->value) : std::nullopt,
                             info_.timestamp_scale.value);
}

bool Document::edit(const std::function<bool(DocumentState &)> &change) {
    DocumentState next = state_;
    if (!change(next) || next == state_)
        return false;
    undo_.push_back(std::move(state_));
    if (undo_.size() > history_limit)
        undo_.erase(undo_.begin());
    redo_.clear();
    state_ = std::move(next);
    return true;
}

bool Document::step(std::vector<DocumentState> &from, std::vector<DocumentState> &to) {
    if (from.empty())
        return false;
    to.push_back(std::move(state_));
    state_ = std::move(from.back());
    from.pop_back();
    return true;
}

bool Document::undo() { return step(undo_, redo_); }

bool Document::redo() { return step(redo_, undo_); }

bool Document::same_metadata(const Document &other) const {
    return info_ == other.info_ && tracks_ == other.tracks_ && had_chapters_ == other.had_chapters_ &&
           read_ == other.read_;
}

void Document::replace_with(Document &&fresh) {
    identity_ = fresh.identity_;
    info_ = std::move(fresh.info_);
    tracks_ = std::move(fresh.tracks_);
    had_chapters_ = fresh.had_chapters_;
    read_ = std::move(fresh.read_);
    state_ = read_;
    undo_.clear();
    redo_.clear();
    changed_on_disk = false;
}

} // namespace perlane
