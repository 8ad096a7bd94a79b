#pragma once
#include "chapters.h"

#include <QByteArray>

namespace perlane {

// The chapters XML document that mkvpropedit applies: every edition and atom with every
// child the file held, so that a save changes only what was edited.
QByteArray chapters_document(const Editions &editions);

} // namespace perlane
