// Written element by element from the atoms as they are, nested ones included.
#include "chapters_xml.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace perlane {

namespace {

QString escaped(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\r') // a raw one would be read as a line end and become "\n"
            out += QStringLiteral("&#13;");
        else if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

// NULs at the end are padding, not text (a reader stops at the first).
QString text(const std::string &utf8) {
    std::string_view v = utf8;
    while (!v.empty() && v.back() == '\0')
        v.remove_suffix(1);
    return escaped(QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())));
}

// Why `value` cannot be written as XML text and read back as the same bytes.
template <class T> std::optional<QString> text_problem(const T &text) {
    if (text.inexact)
        return QStringLiteral("is stored as bytes that are not plain UTF-8 text (invalid UTF-8, or text after a NUL)");
    const std::string &value = text.value;
    std::string_view v = value;
    while (!v.empty() && v.back() == '\0')
        v.remove_suffix(1);
    const QByteArray bytes(v.data(), static_cast<qsizetype>(v.size()));
    if (QString::fromUtf8(bytes).toUtf8() != bytes)
        return QStringLiteral("is not valid UTF-8 text");
    for (const char c : v) {
        if (c == '\0')
            return QStringLiteral("holds a NUL character before its end");
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return QStringLiteral("holds a control character");
    }
    return std::nullopt;
}

bool language_like(const std::string &value) {
    return !value.empty() && value.size() <= 64 &&
           std::ranges::all_of(value, [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; });
}

QString shown(const std::string &value) {
    QString name = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    name.replace(QChar(u'\0'), QChar(u'\uFFFD'));
    if (name.size() > 40)
        name = name.left(39) + QStringLiteral("\u2026");
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

std::optional<QString> atom_problem(const reader::ChapterAtom &a) {
    const auto named = [&](const QString &what) {
        const QString name = a.chapter_display.empty() ? QStringLiteral("UID %1").arg(a.chapter_uid.value)
                                                       : shown(a.chapter_display.front().chap_string.value);
        return QStringLiteral("the chapter %1 %2, which chapters written as XML cannot keep.").arg(name, what);
    };
    for (const auto &d : a.chapter_display) {
        if (const auto why = text_problem(d.chap_string))
            return named(QStringLiteral("has a name that ") + *why);
        for (const auto &l : d.chap_language)
            if (!language_like(l.value))
                return named(QStringLiteral("has a language that is no language code (%1 characters)").arg(l.value.size()));
        for (const auto &l : d.chap_language_bcp47)
            if (!language_like(l.value))
                return named(QStringLiteral("has a language that is no language code (%1 characters)").arg(l.value.size()));
        for (const auto &c : d.chap_country)
            if (!language_like(c.value))
                return named(QStringLiteral("has a country that is no country code (%1 characters)").arg(c.value.size()));
    }
    if (a.chapter_string_uid)
        if (const auto why = text_problem(*a.chapter_string_uid))
            return named(QStringLiteral("has a string UID that ") + *why);
    for (const auto &inner : a.chapter_atom)
        if (const auto why = atom_problem(inner))
            return why;
    return std::nullopt;
}

// hours:mm:ss.fff; times with more than millisecond precision keep all nine digits.
QString xml_time(std::uint64_t ns) {
    const std::uint64_t ms = ns / ns_per_ms;
    QString out = QStringLiteral("%1:%2:%3.")
                      .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
                      .arg((ms / 60000) % 60, 2, 10, QLatin1Char('0'))
                      .arg((ms / 1000) % 60, 2, 10, QLatin1Char('0'));
    if (ns % ns_per_ms == 0)
        return out + QStringLiteral("%1").arg(ms % 1000, 3, 10, QLatin1Char('0'));
    return out + QStringLiteral("%1").arg(ns % 1'000'000'000, 9, 10, QLatin1Char('0'));
}

QString hex(const std::vector<std::uint8_t> &bytes) {
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size()))
                                   .toHex());
}

QString pad(int n) { return QString(n, QLatin1Char(' ')); }

// One element per line: "\n" + indentation + <name>value</name>.
QString line(int indent, const char *name, const QString &value, const char *attributes = "") {
    const QString n = QString::fromLatin1(name);
    return QLatin1Char('\n') + pad(indent) + QLatin1Char('<') + n + QString::fromLatin1(attributes) +
           QLatin1Char('>') + value + QStringLiteral("</") + n + QLatin1Char('>');
}
QString line(int indent, const char *name, std::uint64_t value) {
    return line(indent, name, QString::number(value));
}

// A display's languages, IETF tags and countries. Without a ChapLanguage the display's
// language is the element's default, "eng": written out, since the XML reader may
// assume another.
QString display_xml(const reader::ChapterDisplay &d, int indent) {
    QString out = line(indent + 2, "ChapterString", text(d.chap_string.value));
    if (d.chap_language.empty())
        out += line(indent + 2, "ChapterLanguage", QStringLiteral("eng"));
    for (const auto &l : d.chap_language)
        out += line(indent + 2, "ChapterLanguage", text(l.value));
    for (const auto &c : d.chap_country)
        out += line(indent + 2, "ChapterCountry", text(c.value));
    for (const auto &l : d.chap_language_bcp47)
        out += line(indent + 2, "ChapLanguageIETF", text(l.value));
    return line(indent, "ChapterDisplay", out + QLatin1Char('\n') + pad(indent));
}

QString atom_xml(const reader::ChapterAtom &a, int indent);

// The children of an atom after its UID, times and flags, at `indent`.
QString atom_extras(const reader::ChapterAtom &a, int indent) {
    QString out;
    if (a.chapter_string_uid)
        out += line(indent, "ChapterStringUID", text(a.chapter_string_uid->value));
    if (a.chapter_segment_uuid)
        out += line(indent, "ChapterSegmentUID", hex(a.chapter_segment_uuid->value), " format=\"hex\"");
    if (a.chapter_segment_edition_uid)
        out += line(indent, "ChapterSegmentEditionUID", a.chapter_segment_edition_uid->value);
    if (a.chapter_physical_equiv)
        out += line(indent, "ChapterPhysicalEquiv", a.chapter_physical_equiv->value);
    if (a.chapter_skip_type)
        out += line(indent, "ChapterSkipType", a.chapter_skip_type->value);
    if (a.chapter_track) {
        QString tracks;
        for (const auto &t : a.chapter_track->chapter_track_uid)
            tracks += line(indent + 2, "ChapterTrackNumber", t.value);
        out += line(indent, "ChapterTrack", tracks + QLatin1Char('\n') + pad(indent));
    }
    for (const auto &d : a.chapter_display)
        out += display_xml(d, indent);
    for (const auto &p : a.chap_process) {
        QString body = line(indent + 2, "ChapterProcessCodecID", p.chap_process_codec_id.value);
        if (p.chap_process_private)
            body += line(indent + 2, "ChapterProcessPrivate", hex(p.chap_process_private->value), " format=\"hex\"");
        for (const auto &c : p.chap_process_command)
            body += line(indent + 2, "ChapterProcessCommand",
                         line(indent + 4, "ChapterProcessTime", c.chap_process_time.value) +
                             line(indent + 4, "ChapterProcessData", hex(c.chap_process_data.value), " format=\"hex\"") +
                             QLatin1Char('\n') + pad(indent + 2));
        out += line(indent, "ChapterProcess", body + QLatin1Char('\n') + pad(indent));
    }
    for (const auto &inner : a.chapter_atom)
        out += QLatin1Char('\n') + pad(indent) + atom_xml(inner, indent);
    return out;
}

QString atom_xml(const reader::ChapterAtom &a, int indent) {
    QString out = QStringLiteral("<ChapterAtom>");
    out += line(indent + 2, "ChapterUID", a.chapter_uid.value);
    out += line(indent + 2, "ChapterTimeStart", xml_time(a.chapter_time_start.value));
    out += line(indent + 2, "ChapterFlagHidden", a.chapter_flag_hidden.value);
    out += line(indent + 2, "ChapterFlagEnabled", a.chapter_flag_enabled.value);
    if (a.chapter_time_end)
        out += line(indent + 2, "ChapterTimeEnd", xml_time(a.chapter_time_end->value));
    out += atom_extras(a, indent + 2);
    return out + QLatin1Char('\n') + pad(indent) + QStringLiteral("</ChapterAtom>");
}

} // namespace

namespace {
QString edition_xml(const reader::EditionEntry &entry) {
    QString out = QStringLiteral("  <EditionEntry>\n");
    out += QStringLiteral("    <EditionFlagHidden>%1</EditionFlagHidden>\n").arg(entry.edition_flag_hidden.value);
    out += QStringLiteral("    <EditionFlagDefault>%1</EditionFlagDefault>\n").arg(entry.edition_flag_default.value);
    if (entry.edition_flag_ordered.value != 0)
        out += QStringLiteral("    <EditionFlagOrdered>%1</EditionFlagOrdered>\n").arg(entry.edition_flag_ordered.value);
    if (entry.edition_uid)
        out += QStringLiteral("    <EditionUID>%1</EditionUID>\n").arg(entry.edition_uid->value);
    for (const auto &d : entry.edition_display) {
        QString body = line(6, "EditionString", text(d.edition_string.value));
        for (const auto &l : d.edition_language_ietf)
            body += line(6, "EditionLanguageIETF", text(l.value));
        out += line(4, "EditionDisplay", body + QStringLiteral("\n    ")).mid(1) + QLatin1Char('\n');
    }
    for (const auto &atom : entry.chapter_atom)
        out += QStringLiteral("    ") + atom_xml(atom, 4) + QLatin1Char('\n');
    return out + QStringLiteral("  </EditionEntry>\n");
}
} // namespace

std::optional<QString> chapters_refusal(const Editions &editions) {
    for (const auto &e : editions) {
        for (const auto &d : e.edition_display)
            if (const auto why = text_problem(d.edition_string))
                return QStringLiteral("an edition name %1, which chapters written as XML cannot keep.").arg(*why);
        for (const auto &a : e.chapter_atom)
            if (const auto why = atom_problem(a))
                return why;
    }
    return std::nullopt;
}

QByteArray chapters_document(const Editions &editions) {
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<!DOCTYPE Chapters SYSTEM \"matroskachapters.dtd\">\n"
                                 "<Chapters>\n");
    for (const auto &e : editions)
        out += edition_xml(e);
    out += QStringLiteral("</Chapters>");
    return out.toUtf8();
}

} // namespace perlane
