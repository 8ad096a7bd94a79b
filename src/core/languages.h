#pragma once
// Language codes checked against the ISO lists Debian's iso-codes package installs: ISO
// 639-2 codes (bibliographic and terminology forms) and BCP 47 tags made of a language, an
// optional script and an optional region ("pt-BR", "zh-Hant-TW").
#include <QString>

#include <expected>
#include <vector>

namespace perlane::languages {

struct Checked {
    QString tag;         // the text with each part in its usual case ("pt-BR")
    QString description; // "Portuguese (Brazil)"
};

// The tag, or why it is not one people can store.
std::expected<Checked, QString> check(const QString &text);
// "Portuguese (Brazil)" for a tag that checks; empty otherwise.
QString describe(const QString &tag);
// The same language, script and region however written: "ger", "deu" and "de" are one.
bool same(const QString &a, const QString &b);
// Whether a track tagged `tag` is in `wanted`: the language is the same, and so are the
// script and region when `wanted` names them ("pt" takes "pt-BR"; "pt-BR" does not take "pt").
bool within(const QString &tag, const QString &wanted);

struct Choice {
    QString tag;
    QString label; // "Portuguese (Brazil) — pt-BR"
};
// Languages whose name or code matches what was typed, best first; "portuguese brazil"
// or "Portuguese (Bra" also offer language-region tags.
std::vector<Choice> search(const QString &query, std::size_t limit = 50);

// Where the lists are read from (the iso-codes package's JSON files).
QString data_directory();

} // namespace perlane::languages
