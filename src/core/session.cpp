#include "session.h"

#include <QFile>

namespace perlane {

Session::Session(QObject *parent) : QObject(parent), saves_(journals_) {
    connect(&saves_, &SaveQueue::document_changed, this, &Session::changed);
    connect(this, &Session::changed, this, &Session::mark_edited_files);
    watch_delay_.setSingleShot(true);
    watch_delay_.setInterval(300);
    connect(&watch_delay_, &QTimer::timeout, this, &Session::check_changed_files);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString &path) {
        if (!changed_paths_.contains(path))
            changed_paths_ << path;
        watch_delay_.start();
    });
}

std::expected<std::size_t, LoadError> Session::open(const QString &path) {
    journals_.ensure_recovered(); // files are read only after interrupted saves are settled
    if (const auto id = reader::identity_at(QFile::encodeName(path).toStdString()))
        for (std::size_t i = 0; i < docs_.size(); ++i)
            if (docs_[i]->identity().same_file(*id))
                return i;
    auto loaded = Document::load(path);
    if (!loaded)
        return std::unexpected(loaded.error());
    return add(std::move(*loaded));
}

std::size_t Session::add(std::shared_ptr<Document> doc) {
    for (std::size_t i = 0; i < docs_.size(); ++i)
        if (docs_[i]->identity().same_file(doc->identity()))
            return i;
    watch(*doc);
    docs_.push_back(std::move(doc));
    return docs_.size() - 1;
}

void Session::close(std::size_t index) {
    if (index >= docs_.size())
        return;
    const QString path = docs_[index]->path();
    // The document goes with its row: opening the file again reads it afresh.
    docs_.erase(docs_.begin() + static_cast<std::ptrdiff_t>(index));
    unwatch(path);
    mark_edited_files();
}

void Session::close_all() {
    docs_.clear();
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    mark_edited_files();
}

bool Session::edit(Document &doc, const std::function<bool(DocumentState &)> &change, std::uint64_t group) {
    if (!doc.edit(change, group))
        return false;
    Q_EMIT changed(&doc);
    return true;
}

bool Session::step(Document &doc, bool back) {
    const auto go = [back](Document &d) { return back ? d.undo() : d.redo(); };
    const auto group_of = [back](const Document &d) { return back ? d.undo_group() : d.redo_group(); };
    bool any = false;
    if (const std::uint64_t group = group_of(doc)) {
        for (const auto &d : docs_)
            if (group_of(*d) == group && go(*d)) {
                any = true;
                Q_EMIT changed(d.get());
            }
    } else if (go(doc)) {
        any = true;
        Q_EMIT changed(&doc);
    }
    return any;
}

bool Session::revert(Document &doc) {
    const DocumentState read = doc.read();
    return edit(doc, [&](DocumentState &s) {
        s = read;
        return true;
    });
}

int Session::apply(const season::Plan &plan) {
    if (!plan.refusal.isEmpty())
        return 0;
    int changed = 0;
    for (const season::FileEdit &e : plan.edits)
        changed += edit(*docs_[e.file], [&](DocumentState &s) {
            s = e.state;
            return true;
        });
    return changed;
}

std::expected<void, QString> Session::reload(Document &doc) {
    auto fresh = Document::load(doc.path());
    if (!fresh)
        return std::unexpected(fresh.error().plain);
    doc.replace_with(std::move(**fresh));
    watch(doc); // a replaced file is a new one to the watcher
    Q_EMIT changed(&doc);
    return {};
}

std::expected<void, QString> Session::undo_last_save(Document &doc) {
    auto undone = journals_.undo_last_save(doc);
    if (undone)
        Q_EMIT changed(&doc);
    return undone;
}

void Session::watch(const Document &doc) {
    if (!watcher_.files().contains(doc.path()))
        watcher_.addPath(doc.path());
}

void Session::unwatch(const QString &path) {
    for (const auto &doc : docs_)
        if (doc->path() == path)
            return; // still listed (another document of the same path)
    watcher_.removePath(path);
}

void Session::mark_edited_files() {
    std::vector<reader::FileIdentity> edited;
    for (const auto &doc : docs_)
        if (doc->modified())
            edited.push_back(doc->identity());
    marks_.keep(edited);
}

void Session::check_changed_files() {
    const QStringList paths = std::exchange(changed_paths_, {});
    std::vector<Document *> changed;
    for (const auto &doc : docs_) {
        if (!paths.contains(doc->path()) || doc->saving || doc->changed_on_disk)
            continue;
        watch(*doc); // replaced or renamed over: the watcher dropped it
        if (SaveQueue::still_as_read(*doc, reader::identity_at(QFile::encodeName(doc->path()).toStdString())))
            continue;
        doc->changed_on_disk = true;
        changed.push_back(doc.get());
    }
    if (!changed.empty())
        Q_EMIT changed_on_disk(changed);
}

} // namespace perlane
