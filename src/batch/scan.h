#pragma once
// What `scan` says of a season: its episodes' tracks and chapters, which episode differs
// from the rest, whether the opening and ending are marked, and the files that cannot be
// read. For people, or one JSON document per season for scripts.
#include "reading.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace perlane::batch {

QJsonObject season_json(const QString &folder, const Episodes &episodes);
QString season_text(const QString &folder, const Episodes &episodes);

} // namespace perlane::batch
