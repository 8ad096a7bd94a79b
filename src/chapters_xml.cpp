// The chapters XML document that mkvpropedit applies: every edition and chapter as read,
// with the user's edits, so that a save changes only what was edited.
#include "editions.h"

namespace perlane {

namespace {

QString escaped(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'&')
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

QString text(const std::string &utf8) { return escaped(QString::fromStdString(utf8)); }

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

// Languages, IETF tags and countries of a display after its first language.
QString display_rest(const reader::ChapterDisplay &d, int indent, std::size_t skip_languages) {
    QString out;
    for (std::size_t i = skip_languages; i < d.chap_language.size(); ++i)
        out += line(indent, "ChapterLanguage", text(d.chap_language[i].value));
    for (const auto &c : d.chap_country)
        out += line(indent, "ChapterCountry", text(c.value));
    for (const auto &l : d.chap_language_bcp47)
        out += line(indent, "ChapLanguageIETF", text(l.value));
    return out;
}

QString display_xml(const reader::ChapterDisplay &d, int indent) {
    return line(indent, "ChapterDisplay",
                line(indent + 2, "ChapterString", text(d.chap_string.value)) + display_rest(d, indent + 2, 0) +
                    QLatin1Char('\n') + pad(indent));
}

QString atom_xml(const reader::ChapterAtom &a, int indent);

// The children of an atom that the chapter rows do not show, at `indent`.
QString atom_extras(const reader::ChapterAtom &a, int indent, std::size_t skip_displays) {
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
    for (std::size_t i = skip_displays; i < a.chapter_display.size(); ++i)
        out += display_xml(a.chapter_display[i], indent);
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

// An atom exactly as read (atoms without display and nested atoms).
QString atom_xml(const reader::ChapterAtom &a, int indent) {
    QString out = QStringLiteral("<ChapterAtom>");
    out += line(indent + 2, "ChapterUID", a.chapter_uid.value);
    out += line(indent + 2, "ChapterTimeStart", xml_time(a.chapter_time_start.value));
    out += line(indent + 2, "ChapterFlagHidden", a.chapter_flag_hidden.value);
    out += line(indent + 2, "ChapterFlagEnabled", a.chapter_flag_enabled.value);
    if (a.chapter_time_end)
        out += line(indent + 2, "ChapterTimeEnd", xml_time(a.chapter_time_end->value));
    out += atom_extras(a, indent + 2, 0);
    return out + QLatin1Char('\n') + pad(indent) + QStringLiteral("</ChapterAtom>");
}

} // namespace

QString Chapter::xml_entry() const {
    QString out = QStringLiteral("<ChapterAtom>");
    out += line(6, "ChapterUID", uid);
    out += line(6, "ChapterTimeStart", xml_time(start));
    out += line(6, "ChapterFlagHidden", flag_hidden);
    out += line(6, "ChapterFlagEnabled", flag_enabled);
    if (end) // only where the chapter has one: read, or set by a split
        out += line(6, "ChapterTimeEnd", xml_time(*end)) + QStringLiteral("  ");
    QString display = line(8, "ChapterString", escaped(name)) +
                      line(8, "ChapterLanguage", escaped(language.value_or(QStringLiteral("und"))));
    if (!atom.chapter_display.empty())
        display += display_rest(atom.chapter_display.front(), 8, 1);
    out += line(6, "ChapterDisplay", display + QStringLiteral("\n      "));
    out += atom_extras(atom, 6, 1);
    return out + QStringLiteral("\n    </ChapterAtom>");
}

QString Edition::xml_entry() const {
    QString out = QStringLiteral("  <EditionEntry>\n");
    out += QStringLiteral("    <EditionFlagHidden>%1</EditionFlagHidden>\n").arg(flag_hidden);
    out += QStringLiteral("    <EditionFlagDefault>%1</EditionFlagDefault>\n").arg(flag_default);
    if (entry.edition_flag_ordered.value != 0)
        out += QStringLiteral("    <EditionFlagOrdered>%1</EditionFlagOrdered>\n").arg(entry.edition_flag_ordered.value);
    if (uid)
        out += QStringLiteral("    <EditionUID>%1</EditionUID>\n").arg(*uid);
    for (const auto &d : entry.edition_display) {
        QString body = line(6, "EditionString", text(d.edition_string.value));
        for (const auto &l : d.edition_language_ietf)
            body += line(6, "EditionLanguageIETF", text(l.value));
        out += line(4, "EditionDisplay", body + QStringLiteral("\n    ")).mid(1) + QLatin1Char('\n');
    }
    // Chapters in order, with the atoms that have no display back in their places.
    QStringList items;
    std::size_t next_hidden = 0;
    for (std::size_t i = 0; i <= chapters.size(); ++i) {
        while (next_hidden < undisplayed.size() && undisplayed[next_hidden].first <= i) {
            items << atom_xml(undisplayed[next_hidden].second, 4);
            ++next_hidden;
        }
        if (i < chapters.size())
            items << chapters[i].xml_entry();
    }
    out += QStringLiteral("    ") + items.join(QStringLiteral("\n    "));
    return out + QStringLiteral("\n  </EditionEntry>\n");
}

QByteArray chapters_document(const std::vector<Edition> &editions) {
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<!DOCTYPE Chapters SYSTEM \"matroskachapters.dtd\">\n"
                                 "<Chapters>\n");
    for (const Edition &e : editions)
        out += e.xml_entry();
    out += QStringLiteral("</Chapters>");
    return out.toUtf8();
}

} // namespace perlane
