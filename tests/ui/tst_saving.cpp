// Saving: the command line (against a recording stand-in), the chapters XML byte for byte,
// and end to end with the real mkvpropedit, checked with the program's own reader and
// with mkvtoolnix.
#include "backend_setup.h"
#include "media_files.h"
#include "chapters_xml.h"
#include "view.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace perlane;

namespace {

using Setup = BackendSetup;

// Everything the reader knows about a file's chapters, as text (checksums and padding,
// which a rewrite may change, left out).
void describe(const reader::ChapterAtom &a, QStringList &out, const QString &indent) {
    QString line = indent + QStringLiteral("atom %1 %2-%3 hidden=%4 enabled=%5")
                                .arg(a.chapter_uid.value)
                                .arg(a.chapter_time_start.value)
                                .arg(a.chapter_time_end ? QString::number(a.chapter_time_end->value) : QStringLiteral("none"))
                                .arg(a.chapter_flag_hidden.value)
                                .arg(a.chapter_flag_enabled.value);
    if (a.chapter_string_uid)
        line += QStringLiteral(" suid=") + QString::fromStdString(a.chapter_string_uid->value);
    out << line;
    for (const auto &d : a.chapter_display) {
        QStringList langs;
        for (const auto &l : d.chap_language) langs << QString::fromStdString(l.value);
        for (const auto &l : d.chap_language_bcp47) langs << QString::fromStdString(l.value);
        out << indent + QStringLiteral("  display ") + QString::fromStdString(d.chap_string.value) +
                   QLatin1Char(' ') + langs.join(QLatin1Char(','));
    }
    for (const auto &inner : a.chapter_atom)
        describe(inner, out, indent + QStringLiteral("  "));
}

QStringList describe_chapters(const QString &path) {
    auto file = reader::File::open(path.toStdString());
    auto view = reader::MatroskaView::read_from(*file);
    if (!view)
        return {QStringLiteral("error: ") + QString::fromStdString(view.error().message())};
    QStringList out;
    const auto &seg = view->segments.at(0);
    if (!seg.chapters)
        return {QStringLiteral("no chapters")};
    for (const auto &e : seg.chapters->edition_entry) {
        out << QStringLiteral("edition %1 hidden=%2 default=%3 ordered=%4")
                   .arg(e.edition_uid ? QString::number(e.edition_uid->value) : QStringLiteral("none"))
                   .arg(e.edition_flag_hidden.value)
                   .arg(e.edition_flag_default.value)
                   .arg(e.edition_flag_ordered.value);
        for (const auto &a : e.chapter_atom)
            describe(a, out, QStringLiteral("  "));
    }
    return out;
}

QString copy_to(const QTemporaryDir &dir, const QString &name) { return copy_media(dir, name, name); }

QJsonObject mkvmerge_json(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("mkvmerge"), {QStringLiteral("-J"), path});
    p.waitForFinished(-1);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}
} // namespace

class TestSaving : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QByteArray path_env;

    // A stand-in mkvpropedit first on PATH that records its arguments, one per line.
    void use_recorder() {
        stand_in_tool(dir, path_env, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                         dir.filePath(QStringLiteral("args")).toUtf8() + "\"\nexit 0");
        QFile::remove(dir.filePath(QStringLiteral("args")));
    }
    QStringList recorded() {
        QFile f(dir.filePath(QStringLiteral("args")));
        if (!f.open(QIODevice::ReadOnly))
            return {QStringLiteral("(not run)")};
        QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        lines.removeLast();
        return lines;
    }
    void use_real_tool() { qputenv("PATH", path_env); }

private Q_SLOTS:
    void initTestCase() { path_env = qgetenv("PATH"); }
    void cleanupTestCase() { qputenv("PATH", path_env); }

    void command_lines() {
        use_recorder();
        Setup s;
        s.save(); // nothing active: nothing runs
        QCOMPARE(recorded(), QStringList{"(not run)"});
        QVERIFY(!s.backend.add_file(media(QStringLiteral("full.mkv"))));
        QSignalSpy status(s.backend.saves(), &Saving::save_status_changed);
        s.save(); // no edits: no run, and the user is told
        QCOMPARE(recorded(), QStringList{"(not run)"});
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Nothing to save: full.mkv has no changes."));
        QCOMPARE(status.size(), 1);

        const auto &tracks = s.backend.active_document()->tracks();
        const QString uid2 = QString::number(tracks[1].track_uid.value);
        const QString uid3 = QString::number(tracks[2].track_uid.value);
        s.backend.set_track_default(QStringLiteral("Episode 1"), 2, true);
        s.save();
        // The file is named by the locked descriptor: the tool writes the file checked.
        const QString locked = recorded().value(0);
        QVERIFY2(QRegularExpression(QStringLiteral("^/proc/self/fd/\\d+$")).match(locked).hasMatch(), qPrintable(locked));
        QCOMPARE(recorded(), (QStringList{locked, "--edit", "track:=" + uid2, "--set", "flag-default=1"}));
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved full.mkv."));

        // Name before language; tracks in stored order; one argument per piece.
        s.backend.set_track_language(QStringLiteral("Episode 1"), 3, QStringLiteral("ger"));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 3, QStringLiteral("Two  words "));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 2, QString());
        s.save();
        QCOMPARE(recorded(), (QStringList{locked, "--edit", "track:=" + uid2, "--delete",
                                          "name", "--edit", "track:=" + uid3, "--set", "name=Two  words ",
                                          "--set", "language=ger"}));

        // A chapter edit adds the chapters file, in a private directory.
        s.backend.set_chapter_name(0, 0, QStringLiteral("Cold open"));
        s.save();
        const QStringList args = recorded();
        QCOMPARE(args.size(), 3);
        QCOMPARE(args[1], QStringLiteral("--chapters"));
        QVERIFY(args[2].endsWith(QStringLiteral("/chapters.xml")));
        QCOMPARE(QFileInfo(args[2]).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
        QCOMPARE(QFileInfo(QFileInfo(args[2]).path()).permissions() &
                     (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther | QFile::WriteGroup), 0);
    }

    void chapters_xml_byte_for_byte() {
        reader::ChapterAtom atom;
        atom.chapter_uid.value = 42;
        atom.chapter_time_start.value = 3'723'004'000'000ull; // 01:02:03.004
        atom.chapter_time_end.emplace().value = 3'800'000'000'000ull;
        // A display without ChapLanguage means English: written out as such.
        atom.chapter_display.emplace_back().chap_string.value = "Opening & Ending <1> — オープニング Café";
        reader::ChapterAtom inner;
        inner.chapter_uid.value = 43;
        inner.chapter_time_start.value = 59'999'999'999ull; // nanosecond precision is kept, never rounded
        inner.chapter_flag_hidden.value = 1;
        inner.chapter_flag_enabled.value = 0;
        inner.chapter_segment_uuid.emplace().value = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                      0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
        auto &display = inner.chapter_display.emplace_back();
        display.chap_language.emplace_back().value = "jpn";
        display.chap_language_bcp47.emplace_back().value = "ja";
        atom.chapter_atom.push_back(inner);
        reader::EditionEntry edition;
        edition.edition_flag_default.value = 1;
        edition.chapter_atom = {atom};
        QCOMPARE(chapters_refusal({edition}), std::nullopt);
        // A language no tool takes is refused in words, not left for mkvpropedit to reject.
        reader::EditionEntry bad = edition;
        bad.chapter_atom[0].chapter_atom[0].chapter_display[0].chap_language[0].value = std::string(10000, 'x');
        QVERIFY(chapters_refusal({bad}).value_or(QString()).contains(QStringLiteral("no language code (10000 characters)")));
        // A name read with a control character XML cannot hold: refused before the tool runs.
        reader::EditionEntry controlled = edition;
        controlled.chapter_atom[0].chapter_display[0].chap_string.value = "Bell\x07";
        QVERIFY(chapters_refusal({controlled}).value_or(QString()).contains(QStringLiteral("holds a control character")));
        reader::EditionEntry named = edition;
        named.edition_display.emplace_back().edition_string.value = "Cut\x01";
        QCOMPARE(chapters_refusal({named}), QStringLiteral("an edition name holds a control character, which chapters written as XML cannot keep."));
        QCOMPARE(QString::fromUtf8(chapters_document({edition, reader::EditionEntry{}})),
                 QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE Chapters SYSTEM \"matroskachapters.dtd\">\n"
                                "<Chapters>\n"
                                "  <EditionEntry>\n"
                                "    <EditionFlagHidden>0</EditionFlagHidden>\n"
                                "    <EditionFlagDefault>1</EditionFlagDefault>\n"
                                "    <ChapterAtom>\n"
                                "      <ChapterUID>42</ChapterUID>\n"
                                "      <ChapterTimeStart>01:02:03.004</ChapterTimeStart>\n"
                                "      <ChapterFlagHidden>0</ChapterFlagHidden>\n"
                                "      <ChapterFlagEnabled>1</ChapterFlagEnabled>\n"
                                "      <ChapterTimeEnd>01:03:20.000</ChapterTimeEnd>\n"
                                "      <ChapterDisplay>\n"
                                "        <ChapterString>Opening &amp; Ending &lt;1&gt; — オープニング Café</ChapterString>\n"
                                "        <ChapterLanguage>eng</ChapterLanguage>\n"
                                "      </ChapterDisplay>\n"
                                "      <ChapterAtom>\n"
                                "        <ChapterUID>43</ChapterUID>\n"
                                "        <ChapterTimeStart>00:00:59.999999999</ChapterTimeStart>\n"
                                "        <ChapterFlagHidden>1</ChapterFlagHidden>\n"
                                "        <ChapterFlagEnabled>0</ChapterFlagEnabled>\n"
                                "        <ChapterSegmentUID format=\"hex\">00112233445566778899aabbccddeeff</ChapterSegmentUID>\n"
                                "        <ChapterDisplay>\n"
                                "          <ChapterString></ChapterString>\n"
                                "          <ChapterLanguage>jpn</ChapterLanguage>\n"
                                "          <ChapLanguageIETF>ja</ChapLanguageIETF>\n"
                                "        </ChapterDisplay>\n"
                                "      </ChapterAtom>\n"
                                "    </ChapterAtom>\n"
                                "  </EditionEntry>\n"
                                "  <EditionEntry>\n"
                                "    <EditionFlagHidden>0</EditionFlagHidden>\n"
                                "    <EditionFlagDefault>0</EditionFlagDefault>\n"
                                "  </EditionEntry>\n"
                                "</Chapters>"));
    }

    void edits_reach_the_file_and_nothing_else_changes() {
        use_real_tool();
        const QString path = copy_to(dir, QStringLiteral("editions.mkv"));
        const QStringList chapters_before = describe_chapters(path);
        Setup s;
        QVERIFY(!s.backend.add_file(path));
        const QString fancy = QStringLiteral("Opening & Ending <1> — オープニング");
        s.backend.set_track_name(QStringLiteral("Editions"), 1, QStringLiteral("Bild"));
        s.backend.set_track_default(QStringLiteral("Editions"), 1, true);
        s.backend.set_track_default(QStringLiteral("Editions"), 2, true);
        s.backend.set_track_language(QStringLiteral("Editions"), 2, QStringLiteral("ger"));
        s.backend.set_chapter_name(0, 0, fancy);
        s.backend.insert_chapter_start(0, 1); // Main: 00:10 - 05:10
        s.backend.insert_chapter_end(1, 5);   // Part two: 03:00 - 06:00
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved editions.mkv."));
        QVERIFY(!s.backend.saves()->save_failed());

        const QJsonObject j = mkvmerge_json(path);
        const QJsonArray tracks = j[QStringLiteral("tracks")].toArray();
        QCOMPARE(tracks[0][QStringLiteral("properties")][QStringLiteral("track_name")].toString(), QStringLiteral("Bild"));
        QCOMPARE(tracks[0][QStringLiteral("properties")][QStringLiteral("default_track")].toBool(), true);
        QCOMPARE(tracks[1][QStringLiteral("properties")][QStringLiteral("default_track")].toBool(), true);
        QCOMPARE(tracks[1][QStringLiteral("properties")][QStringLiteral("language")].toString(), QStringLiteral("ger"));

        // The chapters as read back: the edits, and everything else as it was.
        QStringList expected = chapters_before;
        const auto replace = [&](const QString &from, const QString &to) {
            const qsizetype i = expected.indexOf(from);
            QVERIFY2(i >= 0, qPrintable(from));
            expected[i] = to;
        };
        replace(QStringLiteral("    display Cold open eng,en"), QStringLiteral("    display ") + fancy + QStringLiteral(" eng,en"));
        const QStringList after = describe_chapters(path);
        // Main was split at the start: a new chapter with a fresh UID for the first 90 s, then
        // Main itself from 01:40.
        const qsizetype main = expected.indexOf(QStringLiteral("  atom 90000 10000000000-310000000000 hidden=0 enabled=1"));
        QVERIFY(main >= 0);
        const QString piece_uid = after[main].section(QLatin1Char(' '), 3, 3);
        QVERIFY(piece_uid != QStringLiteral("90000"));
        expected[main] = QStringLiteral("  atom 90000 100000000000-310000000000 hidden=0 enabled=1");
        expected.insert(main, QStringLiteral("    display Main (first 90 s) eng,en"));
        expected.insert(main, QStringLiteral("  atom %1 10000000000-100000000000 hidden=0 enabled=1").arg(piece_uid));
        const qsizetype two = expected.indexOf(QStringLiteral("  atom 190000 180000000000-360000000000 hidden=0 enabled=1"));
        QVERIFY(two >= 0);
        const QString end_uid = after[two + 2].section(QLatin1Char(' '), 3, 3);
        expected[two] = QStringLiteral("  atom 190000 180000000000-270000000000 hidden=0 enabled=1");
        expected.insert(two + 2, QStringLiteral("    display Part two (last 90 s) eng,en"));
        expected.insert(two + 2, QStringLiteral("  atom %1 270000000000-360000000000 hidden=0 enabled=1").arg(end_uid));
        QCOMPARE(after, expected);

        // Saved edits are no longer pending; saving again has nothing to do.
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Nothing to save: editions.mkv has no changes."));

        // A name cleared is removed from the file, not stored empty.
        s.backend.set_track_name(QStringLiteral("Editions"), 1, QString());
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved editions.mkv."));
        auto file = reader::File::open(path.toStdString());
        auto view = reader::MatroskaView::read_from(*file);
        QVERIFY(view && view->segments.at(0).tracks);
        QVERIFY(!view->segments.at(0).tracks->track_entry.at(0).name);
    }

    void a_track_only_save_keeps_every_chapter_detail() {
        use_real_tool();
        const QString path = copy_to(dir, QStringLiteral("editions.mkv"));
        const QStringList before = describe_chapters(path);
        QVERIFY(before.contains(QStringLiteral("edition 1002 hidden=0 default=0 ordered=1")));
        QVERIFY(before.contains(QStringLiteral("    atom 8 0-60000000000 hidden=0 enabled=1")));
        Setup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Editions"), 2, QStringLiteral("Stereo"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved editions.mkv."));
        QCOMPARE(describe_chapters(path), before);

        // A rename writes the chapters, and still loses nothing else.
        s.backend.set_chapter_name(1, 3, QStringLiteral("Erster Teil"));
        s.save();
        QStringList expected = before;
        expected[expected.indexOf(QStringLiteral("    display Teil eins ger,de"))] = QStringLiteral("    display Erster Teil ger,de");
        QCOMPARE(describe_chapters(path), expected);
    }

    // Chapter details the program never shows (edition names, string UIDs, tracks, countries,
    // chapter codecs, linked segments) come back unchanged after a rename, as mkvextract reads them.
    void a_rename_keeps_every_rarely_used_chapter_element() {
        use_real_tool();
        QFile xml(dir.filePath(QStringLiteral("rich.xml")));
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<Chapters><EditionEntry><EditionUID>4001</EditionUID>
<EditionDisplay><EditionString>Director's cut</EditionString><EditionLanguageIETF>en-GB</EditionLanguageIETF></EditionDisplay>
<ChapterAtom><ChapterUID>11</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterTimeEnd>00:00:10.000</ChapterTimeEnd>
 <ChapterStringUID>first-part</ChapterStringUID><ChapterPhysicalEquiv>30</ChapterPhysicalEquiv>
 <ChapterTrack><ChapterTrackNumber>123456</ChapterTrackNumber><ChapterTrackNumber>654321</ChapterTrackNumber></ChapterTrack>
 <ChapterDisplay><ChapterString>One</ChapterString><ChapterLanguage>eng</ChapterLanguage><ChapterCountry>gb</ChapterCountry><ChapLanguageIETF>en-GB</ChapLanguageIETF></ChapterDisplay>
 <ChapterProcess><ChapterProcessCodecID>1</ChapterProcessCodecID><ChapterProcessPrivate format="hex">0a0b0c</ChapterProcessPrivate>
  <ChapterProcessCommand><ChapterProcessTime>1</ChapterProcessTime><ChapterProcessData format="hex">deadbeef</ChapterProcessData></ChapterProcessCommand></ChapterProcess></ChapterAtom>
<ChapterAtom><ChapterUID>12</ChapterUID><ChapterTimeStart>00:00:10.000</ChapterTimeStart>
 <ChapterSegmentUID format="hex">00112233445566778899aabbccddeeff</ChapterSegmentUID><ChapterSegmentEditionUID>77</ChapterSegmentEditionUID>
 <ChapterDisplay><ChapterString>Two</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>
</EditionEntry></Chapters>)");
        xml.close();
        const QString path = dir.filePath(QStringLiteral("rich.mkv"));
        QCOMPARE(QProcess::execute(QStringLiteral("mkvmerge"), {QStringLiteral("-q"), QStringLiteral("-o"), path, QStringLiteral("--no-chapters"),
                                                                media(QStringLiteral("full.mkv")), QStringLiteral("--chapters"), xml.fileName()}), 0);
        const auto extracted = [&] {
            QProcess p;
            p.start(QStringLiteral("mkvextract"), {path, QStringLiteral("chapters"), QStringLiteral("-")});
            p.waitForFinished(-1);
            return QString::fromUtf8(p.readAllStandardOutput());
        };
        const QString before = extracted();
        QVERIFY2(before.contains(QStringLiteral("<ChapterProcessData format=\"hex\">deadbeef")), qPrintable(before));
        Setup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_chapter_name(0, 1, QStringLiteral("Second"));
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved rich.mkv."));
        QString expected = before;
        expected.replace(QStringLiteral("<ChapterString>Two<"), QStringLiteral("<ChapterString>Second<"));
        // Flags at their default values are now written out: the same to every reader.
        QCOMPARE(extracted().remove(QRegularExpression(QStringLiteral(
                     R"(\n *<(EditionFlagHidden|EditionFlagDefault|ChapterFlagHidden)>0</\1>|\n *<ChapterFlagEnabled>1</ChapterFlagEnabled>)"))),
                 expected);
    }

    // A file cut short in the header of its last element (its Cues) is still saved: the edit
    // goes in, and what is left stays as it was.
    void a_file_cut_short_is_saved() {
        use_real_tool();
        const QString path = copy_to(dir, QStringLiteral("full.mkv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qsizetype cues = f.readAll().lastIndexOf(QByteArray::fromHex("1c53bb6b"));
        QVERIFY(cues > 0);
        QVERIFY(f.resize(cues + 2));
        f.close();
        Setup s;
        QVERIFY(!s.backend.add_file(path));
        QVERIFY(s.backend.track_edits()->set_title(QStringLiteral("Cut short \u2013 \u77ED"))); // read back as written, any script
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved full.mkv."));
        const auto read = Document::load(path);
        QVERIFY(read);
        QCOMPARE((*read)->title(), QStringLiteral("Cut short \u2013 \u77ED"));
        QCOMPARE(QFileInfo(path).size(), cues + 2);
    }

    // A chapter the user did not touch keeps exactly its bytes: a CR goes through the XML
    // as a character reference; what XML cannot carry refuses the save before the tool runs.
    void untouched_chapter_names_keep_their_bytes_data() {
        QTest::addColumn<QByteArray>("odd");
        QTest::addColumn<bool>("carried");
        QTest::newRow("CR") << QByteArray("Line\rBreak") << true;
        QTest::newRow("CRLF") << QByteArray("Two\r\nLine") << true;
        QTest::newRow("invalid UTF-8") << QByteArray("Bad\xff\xfe") << false;
        QTest::newRow("NUL inside") << QByteArray("Nul\0Inside", 10) << false;
    }
    void untouched_chapter_names_keep_their_bytes() {
        QFETCH(QByteArray, odd);
        QFETCH(bool, carried);
        use_real_tool();
        const QString path = copy_media(dir, QStringLiteral("full.mkv"), QStringLiteral("odd-names.mkv"));
        const QByteArray placeholder(odd.size(), '#');
        QFile xml(dir.filePath(QStringLiteral("odd.xml")));
        QVERIFY(xml.open(QIODevice::WriteOnly | QIODevice::Truncate));
        xml.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Chapters><EditionEntry>"
                  "<ChapterAtom><ChapterUID>11</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterDisplay>"
                  "<ChapterString>" + placeholder + "</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>"
                  "<ChapterAtom><ChapterUID>12</ChapterUID><ChapterTimeStart>00:00:01.000</ChapterTimeStart><ChapterDisplay>"
                  "<ChapterString>Plain</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>"
                  "</EditionEntry></Chapters>");
        xml.close();
        QCOMPARE(QProcess::execute(QStringLiteral("mkvpropedit"), {QStringLiteral("-q"), path, QStringLiteral("--chapters"), xml.fileName()}), 0);
        { // the odd bytes in place of the placeholder, as another program may have written them
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const QByteArray all = f.readAll();
            const qsizetype at = all.indexOf(placeholder);
            QVERIFY(at > 0);
            f.seek(at);
            f.write(odd);
        }
        const QStringList before = describe_chapters(path);
        Setup s;
        QVERIFY(!s.backend.add_file(path));
        // Told on opening, before any save is tried.
        QCOMPARE(s.backend.saves()->active_warning().contains(QStringLiteral("Its chapters cannot be saved as they are")), !carried);
        s.backend.set_chapter_name(0, 1, QStringLiteral("Renamed"));
        s.save();
        QStringList expected = before;
        for (QString &line : expected)
            if (line.trimmed().startsWith(QStringLiteral("display Plain")))
                line.replace(QStringLiteral("Plain"), QStringLiteral("Renamed"));
        if (carried) {
            QVERIFY2(!s.backend.saves()->save_failed(), qPrintable(s.backend.saves()->save_status()));
            QCOMPARE(describe_chapters(path), expected);
            auto file = reader::File::open(path.toStdString());
            const auto view = reader::MatroskaView::read_from(*file);
            QCOMPARE(QByteArray::fromStdString(view->segments.at(0).chapters->edition_entry.at(0).chapter_atom.at(0)
                                                   .chapter_display.at(0).chap_string.value), odd);
        } else {
            QVERIFY(s.backend.saves()->save_failed());
            QVERIFY2(s.backend.saves()->save_status().startsWith(QStringLiteral("Could not save odd-names.mkv: Its chapters cannot be saved: the chapter")) &&
                         s.backend.saves()->save_status().endsWith(QStringLiteral("Nothing was changed.")),
                     qPrintable(s.backend.saves()->save_status()));
            QCOMPARE(describe_chapters(path), before);
            QVERIFY(s.backend.history()->active_modified());
        }
    }

    // Save All over two files, asked twice while the first saves: each file once, counted.
    void save_all_takes_each_file_once() {
        use_real_tool();
        Setup s;
        for (const char *name : {"full.mkv", "editions.mkv"})
            QVERIFY(!s.backend.add_file(copy_to(dir, QString::fromLatin1(name))));
        for (quint64 i : {1, 0}) {
            s.backend.select_file(i);
            s.backend.set_track_name(s.backend.active_document()->title(), 1, QStringLiteral("Both"));
        }
        QStringList said;
        connect(s.backend.saves(), &Saving::save_status_changed, &s.backend, [&] { said << s.backend.saves()->save_status(); });
        s.backend.saves()->save_all();
        s.backend.saves()->save_all();
        s.wait();
        QCOMPARE(said.filter(QStringLiteral("Saving")),
                 (QStringList{"Saving 1 of 2: full.mkv\u2026", "Saving 2 of 2: editions.mkv\u2026"}));
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved 2 files."));
        // One file: no count.
        s.backend.set_track_name(s.backend.active_document()->title(), 1, QStringLiteral("Once"));
        said.clear();
        s.save();
        QCOMPARE(said.filter(QStringLiteral("Saving")), QStringList{"Saving full.mkv\u2026"});
        // One of them gone: the other is saved, the count and the reason are said.
        for (quint64 i : {1, 0}) {
            s.backend.select_file(i);
            s.backend.set_track_name(s.backend.active_document()->title(), 1, QStringLiteral("Again"));
        }
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("editions.mkv"))));
        s.backend.saves()->save_all();
        s.wait();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("1 of 2 files could not be saved. Could not save editions.mkv: No such file or directory."));
        QCOMPARE(s.backend.history()->unsaved_files(), QStringList{QStringLiteral("editions.mkv")});
    }

    void failures_keep_the_edits() {
        const QString path = copy_to(dir, QStringLiteral("full.mkv"));
        Setup s;
        QVERIFY(!s.backend.add_file(path));
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("New"));
        // No mkvpropedit on PATH.
        qputenv("PATH", dir.filePath(QStringLiteral("empty")).toUtf8());
        s.save();
        QVERIFY(s.backend.saves()->save_failed());
        QVERIFY2(s.backend.saves()->save_status().startsWith(QStringLiteral("Could not save full.mkv: mkvpropedit could not be started")),
                 qPrintable(s.backend.saves()->save_status()));
        QVERIFY(s.backend.last_run() && s.backend.last_run()->start_error);
        use_real_tool();

        // A file that cannot be written.
        bool locked = false;
        if (::geteuid() == 0)
            locked = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        else
            locked = QFile(path).setPermissions(QFile::ReadOwner);
        if (!locked)
            QSKIP("cannot make a file unwritable here");
        s.save();
        if (::geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        QVERIFY(s.backend.saves()->save_failed());
        QVERIFY2(s.backend.saves()->save_status().contains(QStringLiteral("could not be opened for writing")),
                 qPrintable(s.backend.saves()->save_status()));
        QCOMPARE(s.backend.last_run()->exit_code, 2);
        // Still pending: a later save sends it again.
        s.save();
        QCOMPARE(s.backend.saves()->save_status(), QStringLiteral("Saved full.mkv."));
        QCOMPARE(mkvmerge_json(path)[QStringLiteral("tracks")][0][QStringLiteral("properties")][QStringLiteral("track_name")].toString(),
                 QStringLiteral("New"));

        // Warnings (exit status 1): saved, and the warning is said, not the tool's chatter around it.
        const QString real = QStandardPaths::findExecutable(QStringLiteral("mkvpropedit"));
        stand_in_tool(dir, path_env, '"' + real.toUtf8() + "\" \"$@\" > /dev/null || exit $?\necho 'The file is being analyzed.'\n"
                                     "echo 'Warning: a test warning.'\necho 'Done.'\nexit 1");
        s.backend.set_track_name(QStringLiteral("Episode 1"), 1, QStringLiteral("Warned"));
        s.save();
        use_real_tool();
        QVERIFY2(s.backend.saves()->save_status().startsWith(QStringLiteral("Saved full.mkv with warnings: ")) &&
                     s.backend.saves()->save_status().endsWith(QStringLiteral(": Warning: a test warning.")),
                 qPrintable(s.backend.saves()->save_status()));
        QVERIFY(!s.backend.saves()->save_failed() && !s.backend.history()->active_modified());
        QCOMPARE(mkvmerge_json(path)[QStringLiteral("tracks")][0][QStringLiteral("properties")][QStringLiteral("track_name")].toString(),
                 QStringLiteral("Warned"));
    }
};

QTEST_GUILESS_MAIN(TestSaving)
#include "tst_saving.moc"
