#pragma once
#include "chapters.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace perlane {

// The chapters XML document that mkvpropedit applies: every edition and atom with every
// child the file held, so that a save changes only what was edited.
QByteArray chapters_document(const Editions &editions);

// Why the chapters cannot go through the XML route unchanged, if they cannot: a text that
// is not valid UTF-8, holds a NUL before its end, or a control character XML cannot carry
// (a chapter written back must keep exactly the bytes it had), or a language that is no
// language code (mkvpropedit refuses the whole file for it).
std::optional<QString> chapters_refusal(const Editions &editions);

} // namespace perlane
