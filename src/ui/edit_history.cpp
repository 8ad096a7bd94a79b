#include "edit_history.h"

#include "backend.h"

namespace perlane {

EditHistory::EditHistory(Backend &backend) : QObject(&backend), b_(backend) {
    connect(&b_.changes(), &Changes::undo_changed, this, &EditHistory::undo_changed);
    connect(&b_.changes(), &Changes::modified_changed, this, &EditHistory::modified_changed);
}

void EditHistory::undo() {
    if (Document *doc = b_.active_document())
        b_.session().step(*doc, true);
}

void EditHistory::redo() {
    if (Document *doc = b_.active_document())
        b_.session().step(*doc, false);
}

void EditHistory::revert_file() {
    if (Document *doc = b_.active_document())
        b_.session().revert(*doc);
}

bool EditHistory::can_undo() const {
    const Document *doc = b_.active_document();
    return doc && doc->can_undo();
}

bool EditHistory::can_redo() const {
    const Document *doc = b_.active_document();
    return doc && doc->can_redo();
}

bool EditHistory::active_modified() const {
    const Document *doc = b_.active_document();
    return doc && doc->modified();
}

QVariantList EditHistory::modified_rows() const { return b_.modified_rows(); }

QStringList EditHistory::unsaved_files() const {
    QStringList names;
    for (const auto &doc : b_.documents())
        if (doc->modified())
            names << doc->name();
    return names;
}

} // namespace perlane
