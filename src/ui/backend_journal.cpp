// Undo Last Save for the active file, through the session's journals.
#include "backend.h"

namespace perlane {

bool Backend::can_undo_save() const {
    const Document *doc = active_document();
    return doc && session_.journals().can_undo_save(*doc);
}

bool Backend::undo_last_save() {
    Document *doc = active_document();
    if (!doc || doc->saving)
        return false;
    if (const auto undone = session_.undo_last_save(*doc); !undone) {
        report(QStringLiteral("Cannot undo the last save of %1: %2").arg(doc->name(), undone.error()), true);
        return false;
    }
    report(QStringLiteral("Undid the last save of %1.").arg(doc->name()), false);
    return true;
}

} // namespace perlane
