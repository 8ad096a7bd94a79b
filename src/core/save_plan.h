#pragma once
// What a save of a document asks mkvpropedit to do: the title, each track's changed
// properties, named by the track's UID, and the chapters when they changed.
#include "document.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace perlane {

struct SavePlan {
    QStringList info_arguments;        // "--edit" "info" "--set" "title=..." when the title changed
    QStringList track_arguments;       // "--edit" "track:=UID" "--set" "name=..." groups
    std::optional<QByteArray> chapters; // the chapters XML, when the chapters changed
    std::optional<QString> refusal;     // why the save cannot be made as it stands

    bool empty() const { return info_arguments.isEmpty() && track_arguments.isEmpty() && !chapters; }
    // The whole command line after the program name.
    QStringList arguments(const QString &path, const QString &chapters_path) const;
};

SavePlan plan_save(const Document &document);

} // namespace perlane
