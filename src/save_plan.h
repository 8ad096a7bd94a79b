#pragma once
// What a save of a document asks mkvpropedit to do: each track's changed properties,
// named by the track's UID, and the chapters when they changed.
#include "document.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace perlane {

struct SavePlan {
    QStringList track_arguments;       // "--edit" "track:=UID" "--set" "name=..." groups
    std::optional<QByteArray> chapters; // the chapters XML, when the chapters changed

    bool empty() const { return track_arguments.isEmpty() && !chapters; }
    // The whole command line after the program name.
    QStringList arguments(const QString &path, const QString &chapters_path) const;
};

SavePlan plan_save(const Document &document);

} // namespace perlane
