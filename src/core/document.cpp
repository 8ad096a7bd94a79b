#include "document.h"

#include "chapters_xml.h"
#include "view.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <atomic>
#include <cstdio>

namespace perlane {

namespace {

QString number(std::uint64_t n) { return QLocale(QLocale::English).toString(static_cast<qulonglong>(n)); }

// What a reader error means for the user.
QString plain_words(const reader::Error &e, bool matroska) {
    using enum reader::ErrorKind;
    if (!matroska)
        return QStringLiteral("This is not a Matroska file.");
    const auto damaged = [](const char *why) {
        return QStringLiteral("This file is damaged: %1, so it cannot be edited safely.").arg(QLatin1StringView(why));
    };
    switch (e.kind) {
    case Io: return QStringLiteral("This file could not be read: %1.").arg(QString::fromStdString(e.io));
    case EndOfFile:
        return QStringLiteral("This file ends too early: it is cut short or still being written, so it cannot be edited safely.");
    // Either the file ends inside an element or a child claims more than its parent holds.
    case OutOfBounds:
        return QStringLiteral("This file ends inside its metadata, or an element there claims more bytes than it has: it is "
                              "cut short or damaged, so it cannot be edited safely.");
    case ShortRead: return damaged("bytes inside its metadata belong to no element");
    case InvalidVInt: return damaged("an element's header is not valid");
    case OverDecode:
    case UnderDecode: return damaged("an element's contents do not match the size it declares");
    case MissingElement: return damaged("an element it must have is missing");
    case DuplicateElement: return damaged("an element that may appear only once appears twice");
    case ElementBodySizeUnknown: return damaged("an element whose size must be known leaves it open");
    case MalformedLacing: return damaged("a block's lacing is malformed");
    case NestingTooDeep: return damaged("its elements are nested too deeply to be read safely");
    case ElementTooLarge:
        return QStringLiteral("Its metadata is too large to open safely (%1 bytes).").arg(number(e.needed));
    }
    return damaged("it cannot be read");
}

// "a", "a and b", "a, b and c".
QString listed(const QStringList &items) {
    if (items.size() < 2)
        return items.join(QString());
    return items.first(items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + items.last();
}

// What is missing from a file that opens: the segment cut short, the index or tags gone.
QString warning_for(std::uint64_t file_size, const reader::SegmentView &segment) {
    QStringList missing;
    for (const reader::SeekEntry &e : reader::seek_entries(segment)) {
        if (e.offset < file_size)
            continue;
        const QString what = e.id == reader::Cues::id          ? QStringLiteral("its index (Cues)")
                             : e.id == reader::Tags::id        ? QStringLiteral("its tags")
                             : e.id == reader::Attachments::id ? QStringLiteral("its attachments")
                                                               : QStringLiteral("an element its index names");
        if (!missing.contains(what))
            missing << what;
    }
    // A segment written to a pipe (ffmpeg, recorders) marks its size unknown with eight bytes of
    // ones, read as 2^56 - 1: no file is that large, so it declares no end and is not cut short.
    constexpr std::uint64_t unknown_8_byte_size = (std::uint64_t{1} << 56) - 1;
    const bool declares_end = segment.declared_end && *segment.declared_end - segment.data_start != unknown_8_byte_size;
    if (declares_end && *segment.declared_end > file_size)
        return QStringLiteral("This file is cut short: it ends at byte %1 of the %2 it declares%3. Its tracks and chapters can "
                              "still be edited, but it will not play to the end.")
            .arg(number(file_size), number(*segment.declared_end),
                 missing.isEmpty() ? QString()
                                   : QStringLiteral(", and ") + listed(missing) +
                                         (missing.size() == 1 ? QStringLiteral(" is missing") : QStringLiteral(" are missing")));
    if (!missing.isEmpty())
        return QStringLiteral("This file is incomplete: %1 %2 missing.").arg(listed(missing),
                                                                              missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    return {};
}
} // namespace

std::expected<std::unique_ptr<Document>, LoadError> Document::load(const QString &path) {
    auto file = reader::File::open(QFile::encodeName(path).toStdString());
    if (!file)
        return std::unexpected(LoadError{QStringLiteral("It could not be opened: %1.").arg(QString::fromStdString(file.error().io)),
                                         QString::fromStdString(file.error().message())});
    if (!file->is_regular())
        return std::unexpected(LoadError{QStringLiteral("This is not a regular file but a folder, a device or a pipe."), {}});
    const auto identity = file->identity();
    if (!identity)
        return std::unexpected(LoadError{QStringLiteral("Its details (size and identity) could not be read."), {}});
    // What the window shows and saves: Cues, Tags and attachment bodies are not read.
    auto view = reader::MatroskaView::read_from(*file, reader::ReadMode::Metadata);
    if (!view) {
        const QString detail = QString::fromStdString(view.error().message());
        if (file->size() == 0)
            return std::unexpected(LoadError{QStringLiteral("This file is empty."), detail});
        std::uint8_t magic[4] = {};
        const bool matroska = file->seek(0) && file->read_exact(magic, 4) && magic[0] == 0x1A && magic[1] == 0x45 &&
                              magic[2] == 0xDF && magic[3] == 0xA3;
        return std::unexpected(LoadError{plain_words(view.error(), matroska), detail});
    }
    if (view->segments.size() != 1) {
        std::fprintf(stderr, "Unsupported number of segments: '%zu', contact developer\n", view->segments.size());
        return std::unexpected(LoadError{QStringLiteral("It holds %1 segments; only files of one segment can be edited.").arg(view->segments.size()),
                                         QStringLiteral("Unsupported number of segments: %1").arg(view->segments.size())});
    }
    reader::SegmentView &segment = view->segments.front();
    std::unique_ptr<Document> doc(new Document);
    if (const auto size = file->size())
        doc->warning_ = warning_for(*size, segment);
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
    // Said at once, not first when a save is refused for it.
    if (const auto why = chapters_refusal(doc->read_.editions)) {
        if (!doc->warning_.isEmpty())
            doc->warning_ += QLatin1Char(' ');
        doc->warning_ += QStringLiteral("Its chapters cannot be saved as they are: %1 Its tracks and title can.").arg(*why);
    }
    doc->state_ = doc->read_;
    return doc;
}

Document::Document() {
    static std::atomic<std::uint64_t> last{0};
    serial_ = ++last;
}

std::vector<std::uint64_t> Document::track_uids() const {
    std::vector<std::uint64_t> uids;
    for (const reader::TrackEntry &t : tracks_)
        uids.push_back(t.track_uid.value);
    return uids;
}

std::optional<std::size_t> Document::track_numbered(std::uint64_t number) const {
    for (std::size_t i = 0; i < tracks_.size(); ++i)
        if (tracks_[i].track_number.value == number)
            return i;
    return std::nullopt;
}

QString Document::name() const { return QFileInfo(path_).fileName(); }

QString Document::title() const { return info_.title ? QString::fromStdString(info_.title->value) : QString(); }

std::optional<std::uint64_t> Document::segment_end() const {
    return segment_length_ns(info_.duration ? std::optional(info_.duration->value) : std::nullopt,
                             info_.timestamp_scale.value);
}

bool Document::edit(const std::function<bool(DocumentState &)> &change, std::uint64_t group) {
    DocumentState next = state_;
    if (!change(next) || next == state_)
        return false;
    std::swap(state_, next);
    history_.record(std::move(next), state_, group);
    return true;
}

bool Document::undo() { return history_.undo(state_); }

bool Document::redo() { return history_.redo(state_); }

bool Document::same_metadata(const Document &other) const {
    return info_ == other.info_ && tracks_ == other.tracks_ && had_chapters_ == other.had_chapters_ &&
           read_ == other.read_;
}

void carry_track_edits(const TrackValues &was, const TrackValues &now, TrackValues &target) {
    if (now.name != was.name)
        target.name = now.name;
    if (now.language != was.language)
        target.language = now.language;
    if (now.is_default != was.is_default)
        target.is_default = now.is_default;
    for (std::size_t k = 0; k < now.flags.size(); ++k)
        if (now.flags[k] != was.flags[k])
            target.flags[k] = now.flags[k];
}

void Document::rebase(Document &&fresh, const DocumentState &saved) {
    if (state_ == saved) {
        replace_with(std::move(fresh));
        return;
    }
    const auto carry = [&](const DocumentState &s) {
        DocumentState out = fresh.read_;
        for (std::size_t i = 0; i < s.tracks.size() && i < saved.tracks.size() && i < tracks_.size(); ++i) {
            const TrackValues &was = saved.tracks[i], &now = s.tracks[i];
            if (now == was)
                continue;
            for (std::size_t j = 0; j < fresh.tracks_.size() && j < out.tracks.size(); ++j) {
                if (fresh.tracks_[j].track_uid.value != tracks_[i].track_uid.value)
                    continue;
                carry_track_edits(was, now, out.tracks[j]);
            }
        }
        if (s.title != saved.title)
            out.title = s.title;
        if (s.editions != saved.editions)
            out.editions = s.editions;
        return out;
    };
    // The steps made while the tool ran are kept, carried over like the state: walk back
    // to the state saved, then record the carried states again.
    std::vector<DocumentState> chain{state_};
    while (chain.back() != saved && chain.size() <= History::limit) {
        DocumentState previous = chain.back();
        if (!history_.undo(previous))
            break;
        chain.push_back(std::move(previous));
    }
    const bool reached = chain.back() == saved;
    DocumentState state = carry(state_);
    std::vector<DocumentState> carried;
    if (reached)
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            carried.push_back(carry(*it));
    replace_with(std::move(fresh));
    for (std::size_t i = 1; i < carried.size(); ++i) {
        DocumentState before = carried[i - 1];
        if (before != carried[i])
            history_.record(std::move(before), carried[i]);
    }
    state_ = std::move(state);
}

void Document::replace_with(Document &&fresh) {
    identity_ = fresh.identity_;
    info_ = std::move(fresh.info_);
    tracks_ = std::move(fresh.tracks_);
    had_chapters_ = fresh.had_chapters_;
    warning_ = std::move(fresh.warning_);
    read_ = std::move(fresh.read_);
    state_ = read_;
    history_.clear();
    changed_on_disk = false;
}

} // namespace perlane
