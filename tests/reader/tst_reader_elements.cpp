// The child loop and the element tables: defaults, shapes, required order, error kinds.
#include "error_of.h"
#include "ebml_writer.h"
#include "io.h"
#include "reader_test.h"

#include <gtest/gtest.h>

#include <unordered_set>


using namespace perlane::reader;
using ebml::cat;
using ebml::element;
using ebml::master;
using ebml::raw;
using ebml::text;
using ebml::unsigned_int;

namespace {

template <class M> Result<M> decode(const ebml::Bytes &body) { return decode_body<M>(body); }
template <class M> std::string error_of(const ebml::Bytes &body) {
    auto r = decode<M>(body);
    return r ? "no error" : r.error().message();
}

const ebml::Bytes minimal_track = cat({unsigned_int(0xD7, 1), unsigned_int(0x73C5, 99), unsigned_int(0x83, 2), text(0x86, "A_OPUS")});
const ebml::Bytes info_apps = cat({text(0x4D80, "mux"), text(0x5741, "write")});

} // namespace

TEST(ChildLoop, ChecksumOnlyAsFirstChildOfALongerBody) {
    const ebml::Bytes crc = raw({0xBF, 0x84, 0xDE, 0xAD, 0xBE, 0xEF});
    auto tracks = decode<Tracks>(cat({crc, master(0xAE, {minimal_track})}));
    ASSERT_TRUE(tracks);
    ASSERT_TRUE(tracks->crc32);
    EXPECT_EQ(tracks->crc32->value, 0xEFBEADDEu);
    EXPECT_EQ(tracks->track_entry.size(), 1u);

    CapturedLog captured;
    auto alone = decode<Tracks>(crc); // six bytes: an unknown child, not a checksum
    ASSERT_TRUE(alone);
    EXPECT_FALSE(alone->crc32);
    EXPECT_EQ(captured.lines, std::vector<std::string>{"warn: Unknown element 0xBF(4b) in Element(0x1654AE6B)"});

    auto later = decode<Tracks>(cat({master(0xAE, {minimal_track}), crc}));
    ASSERT_TRUE(later);
    EXPECT_FALSE(later->crc32);
}

TEST(ChildLoop, VoidsAreSummedAndUnknownsSkipped) {
    CapturedLog captured;
    auto info = decode<Info>(cat({element(0xEC, ebml::Bytes(3)), info_apps, element(0xEC, ebml::Bytes(5)),
                                  unsigned_int(0x7FFF, 1)}));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->void_size, 8u);
    EXPECT_EQ(captured.lines, (std::vector<std::string>{
                                  "info: Skipping Void element in Element 0x1549A966, size: 3B",
                                  "info: Skipping Void element in Element 0x1549A966, size: 5B",
                                  "warn: Unknown element 0x7FFF(1b) in Element(0x1549A966)"}));
    EXPECT_FALSE(decode<Info>(info_apps)->void_size);
}

TEST(ChildLoop, DuplicateIsFoundBeforeDecoding) {
    // The second Title is not even valid text length-wise; the duplicate is reported first.
    EXPECT_EQ(error_of<Info>(cat({info_apps, text(0x7BA9, "a"), raw({0x7B, 0xA9, 0x85, 0, 0, 0, 0, 0})})),
              "Duplicate element 0x7BA9 in master element 0x1549A966");
    // A duplicate uint with 9 bytes: duplicate, not under-decode.
    EXPECT_EQ(error_of<TrackEntry>(cat({minimal_track, element(0xD7, ebml::Bytes(9))})),
              "Duplicate element 0xD7 in master element 0xAE");
    auto info = decode<Info>(cat({info_apps, element(0x4444, raw({1})), element(0x4444, raw({2}))}));
    ASSERT_TRUE(info);
    ASSERT_EQ(info->segment_family.size(), 2u);
    EXPECT_EQ(info->segment_family[1].value, ebml::Bytes{2});
}

TEST(ChildLoop, OversizeChildAndTrailingBytes) {
    EXPECT_EQ(error_of<Info>(cat({info_apps, raw({0x7B, 0xA9, 0x85, 'a'})})),
              "Attempted to read past the end of the buffer");
    struct Case {
        ebml::Bytes tail;
        bool ok;
    };
    const std::vector<Case> cases = {
        {raw({0x00}), true},              // lone invalid first byte, the body's last byte
        {raw({0x00, 0x00}), false},       // one byte left after the failure
        {raw({0x40}), true},              // an ID that announces one more byte
        {raw({0x7B, 0xA9}), true},        // a complete ID without size
        {raw({0x7B, 0xA9, 0x40}), true},  // a complete ID and a size that needs one more byte
        {raw({0x20, 0x01}), false},       // an ID announcing two more bytes with one left
    };
    for (const auto &c : cases) {
        auto info = decode<Info>(cat({info_apps, c.tail}));
        EXPECT_EQ(info.has_value(), c.ok) << "tail of " << c.tail.size() << " bytes";
        if (!c.ok) {
            EXPECT_EQ(error_of(info).message(), "Short read: not all bytes were consumed");
        }
    }
}

TEST(LeafValues, LengthsDefaultsAndText) {
    EXPECT_EQ(error_of<TrackEntry>(cat({minimal_track, element(0x88, ebml::Bytes(9))})),
              "Element body under decode, ID: 0x88");
    EXPECT_EQ(error_of<Info>(cat({info_apps, element(0x4489, ebml::Bytes(3))})),
              "Element body under decode, ID: 0x4489");
    EXPECT_EQ(error_of<Info>(cat({info_apps, element(0x4461, ebml::Bytes(4))})),
              "Element body under decode, ID: 0x4461");
    EXPECT_EQ(error_of<Info>(cat({info_apps, element(0x4461, {})})), "Element body under decode, ID: 0x4461");

    auto info = decode<Info>(cat({info_apps, element(0x4489, {}), element(0x2AD7B1, {}),
                                  element(0x4461, raw({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}))}));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->duration->value, 0.0);
    EXPECT_EQ(info->timestamp_scale.value, 1000000u);
    EXPECT_EQ(info->date_utc->value, -2);

    auto audio = decode<Audio>(cat({element(0xB5, {}), element(0x78B5, raw({0x3F, 0x80, 0, 0})),
                                    element(0x9F, {})}));
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->sampling_frequency.value, 8000.0);
    EXPECT_EQ(audio->output_sampling_frequency->value, 1.0);
    EXPECT_EQ(audio->channels.value, 1u);
    auto eight = decode<Audio>(element(0xB5, raw({0x40, 0xE7, 0x70, 0, 0, 0, 0, 0})));
    EXPECT_EQ(eight->sampling_frequency.value, 48000.0);

    auto track = decode<TrackEntry>(cat({minimal_track, element(0x22B59C, {}),
                                         element(0x536E, raw({'a', 0xFF, 'b', 0, 'z'}))}));
    ASSERT_TRUE(track);
    EXPECT_EQ(track->language.value, "eng");
    EXPECT_EQ(track->name->value, "a\xEF\xBF\xBD" "b");
    auto zero_lang = decode<TrackEntry>(cat({minimal_track, element(0x22B59C, raw({0}))}));
    EXPECT_EQ(zero_lang->language.value, "");
    auto cut_lang = decode<TrackEntry>(cat({minimal_track, element(0x22B59C, raw({'g', 'e', 'r', 0, 'x'}))}));
    EXPECT_EQ(cut_lang->language.value, "ger");
}

TEST(LeafValues, InvalidUtf8BecomesReplacementCharacters) {
    const auto lossy = [](ebml::Bytes b) { return lossy_utf8(b.data(), b.size()); };
    EXPECT_EQ(lossy(raw({0xC3, 0xA9})), "\xC3\xA9");               // é
    EXPECT_EQ(lossy(raw({0xE3, 0x82})), "\xEF\xBF\xBD");           // truncated: one replacement
    EXPECT_EQ(lossy(raw({0xC3, 0xC0, 'x'})), "\xEF\xBF\xBD\xEF\xBF\xBD" "x"); // a lead byte where a continuation must be
    EXPECT_EQ(lossy(raw({0xC0, 0x80})), "\xEF\xBF\xBD\xEF\xBF\xBD"); // overlong
    EXPECT_EQ(lossy(raw({0xED, 0xA0, 0x80})), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // surrogate
    EXPECT_EQ(lossy(raw({0xF0, 0x9F, 0x8E, 0xAC, 'x'})), "\xF0\x9F\x8E\xAC" "x");
    EXPECT_EQ(lossy(raw({0xF4, 0x90, 0x80, 0x80})),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // above U+10FFFF
}

TEST(Tables, DefaultsAndRequiredOrder) {
    auto t = decode<TrackEntry>(minimal_track);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->flag_enabled.value, 1u);
    EXPECT_EQ(t->flag_default.value, 1u);
    EXPECT_EQ(t->flag_forced.value, 0u);
    EXPECT_EQ(t->flag_lacing.value, 1u);
    EXPECT_EQ(t->language.value, "eng");
    EXPECT_EQ(t->codec_delay.value, 0u);
    EXPECT_EQ(t->max_block_addition_id.value, 0u);
    EXPECT_FALSE(t->name);
    EXPECT_EQ(t->track_uid.value, 99u);
    // A block addition mapping (Dolby Vision's configuration, for one) is read by its IDs.
    auto mapping = decode<BlockAdditionMapping>(cat({unsigned_int(0x41F0, 4), text(0x41A4, "dvcC"), unsigned_int(0x41E7, 0x64766343)}));
    ASSERT_TRUE(mapping && mapping->block_add_id_value && mapping->block_add_id_name);
    EXPECT_EQ(mapping->block_add_id_value->value, 4u);
    EXPECT_EQ(mapping->block_add_id_name->value, "dvcC");
    EXPECT_EQ(mapping->block_add_id_type.value, 0x64766343u);

    EXPECT_EQ(error_of<TrackEntry>(cat({unsigned_int(0xD7, 1), unsigned_int(0x73C5, 1), unsigned_int(0x83, 1)})),
              "Missing element, ID: 0x86");
    EXPECT_EQ(error_of<TrackEntry>(text(0x86, "V")), "Missing element, ID: 0xD7");
    EXPECT_EQ(error_of<Info>(text(0x4D80, "m")), "Missing element, ID: 0x5741");
    EXPECT_EQ(error_of<Info>({}), "Missing element, ID: 0x4D80");
    EXPECT_EQ(error_of<Video>(unsigned_int(0xBA, 1)), "Missing element, ID: 0xB0");
    EXPECT_EQ(error_of<Seek>(element(0x53AB, raw({0x15, 0x49, 0xA9, 0x66}))), "Missing element, ID: 0x53AC");
    EXPECT_EQ(error_of<Seek>({}), "Missing element, ID: 0x53AB");
    EXPECT_TRUE(decode<Tracks>({})->track_entry.empty());

    // Chapters
    auto atom = decode<ChapterAtom>(cat({unsigned_int(0x73C4, 5), unsigned_int(0x91, 0)}));
    ASSERT_TRUE(atom);
    EXPECT_EQ(atom->chapter_flag_hidden.value, 0u);
    EXPECT_EQ(atom->chapter_flag_enabled.value, 1u);
    EXPECT_FALSE(atom->chapter_time_end);
    EXPECT_TRUE(atom->chapter_display.empty() && atom->chap_process.empty() && atom->chapter_atom.empty());
    EXPECT_EQ(error_of<ChapterAtom>(unsigned_int(0x73C4, 5)), "Missing element, ID: 0x91");
    EXPECT_EQ(error_of<ChapterAtom>({}), "Missing element, ID: 0x73C4");
    EXPECT_EQ(error_of<ChapterAtom>(cat({unsigned_int(0x73C4, 5), unsigned_int(0x91, 0), unsigned_int(0x91, 1)})),
              "Duplicate element 0x91 in master element 0xB6");
    auto edition = decode<EditionEntry>({});
    EXPECT_FALSE(edition->edition_uid);
    EXPECT_EQ(edition->edition_flag_ordered.value, 0u);
    auto display = decode<ChapterDisplay>(cat({text(0x85, "x"), element(0x437C, {}), text(0x437E, "de"),
                                               text(0x437E, "at")}));
    ASSERT_TRUE(display);
    EXPECT_EQ(display->chap_language.size(), 1u);
    EXPECT_EQ(display->chap_language[0].value, "eng");
    EXPECT_EQ(display->chap_country.size(), 2u);
    EXPECT_TRUE(decode<ChapterDisplay>(text(0x85, "x"))->chap_language.empty());
    EXPECT_EQ(error_of<ChapterDisplay>(element(0x437C, {})), "Missing element, ID: 0x85");
    EXPECT_EQ(error_of<EditionDisplay>(text(0x45E4, "en")), "Missing element, ID: 0x4521");

    // Tags, cues, attachments
    auto tag = decode<Tag>(master(0x63C0, {}));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->targets.target_type_value.value, 50u);
    EXPECT_FALSE(tag->targets.target_type);
    EXPECT_EQ(error_of<Tag>({}), "Missing element, ID: 0x63C0");
    auto simple = decode<SimpleTag>(text(0x45A3, "TITLE"));
    EXPECT_EQ(simple->tag_language.value, "und");
    EXPECT_EQ(simple->tag_default.value, 1u);
    EXPECT_FALSE(simple->tag_string || simple->tag_binary);
    EXPECT_EQ(decode<SimpleTag>(cat({text(0x45A3, "T"), element(0x447A, {})}))->tag_language.value, "und");
    EXPECT_EQ(error_of<SimpleTag>(text(0x4487, "v")), "Missing element, ID: 0x45A3");
    EXPECT_EQ(error_of<CueTrackPositions>(unsigned_int(0xF7, 1)), "Missing element, ID: 0xF1");
    EXPECT_EQ(decode<CueTrackPositions>(cat({unsigned_int(0xF7, 1), unsigned_int(0xF1, 9)}))->cue_codec_state.value, 0u);
    EXPECT_EQ(error_of<AttachedFile>(cat({text(0x466E, "f.ttf"), text(0x4660, "font/ttf"),
                                         element(0x465C, raw({1, 2}))})),
              "Missing element, ID: 0x46AE");
    EXPECT_EQ(error_of<AttachedFile>(element(0x63C5, ebml::Bytes(9))), "Missing element, ID: 0x466E");
    EXPECT_EQ(error_of<Targets>(element(0x63C5, ebml::Bytes(9))), "Element body under decode, ID: 0x63C5");
}

TEST(Tables, NestedAtomsKeepTheirLevels) {
    const auto atom = [](std::uint64_t uid, std::initializer_list<ebml::Bytes> inner) {
        ebml::Bytes body = cat({unsigned_int(0x73C4, uid), unsigned_int(0x91, uid * 1000)});
        for (const auto &b : inner)
            body = cat({body, b});
        return element(0xB6, body);
    };
    auto chapters = decode<Chapters>(
        master(0x45B9, {atom(1, {atom(2, {atom(3, {}), atom(4, {})})}), atom(5, {})}));
    ASSERT_TRUE(chapters);
    const auto &atoms = chapters->edition_entry.at(0).chapter_atom;
    ASSERT_EQ(atoms.size(), 2u);
    EXPECT_EQ(atoms[1].chapter_uid.value, 5u);
    const auto &third = atoms[0].chapter_atom.at(0).chapter_atom;
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[0].chapter_uid.value, 3u);
    EXPECT_EQ(third[1].chapter_time_start.value, 4000u);
}

// Wraps `inner` in `levels` masters of `id`, each also holding `fields`; linear time.
static ebml::Bytes nest(std::uint64_t id, const ebml::Bytes &fields, ebml::Bytes inner, int levels) {
    std::vector<std::uint8_t> reversed(inner.rbegin(), inner.rend());
    std::size_t body = inner.size();
    for (int i = 0; i < levels; ++i) {
        reversed.insert(reversed.end(), fields.rbegin(), fields.rend());
        body += fields.size();
        const ebml::Bytes header = cat({ebml::id(id), ebml::size(body)});
        reversed.insert(reversed.end(), header.rbegin(), header.rend());
        body += header.size();
    }
    return ebml::Bytes(reversed.rbegin(), reversed.rend());
}

TEST(Tables, DeepNestingFailsCleanly) {
    // 200000 levels of ChapterAtom in one body: a clean error, not a stack overflow.
    const ebml::Bytes fields = cat({unsigned_int(0x73C4, 1), unsigned_int(0x91, 0)});
    EXPECT_EQ(error_of<EditionEntry>(nest(0xB6, fields, {}, 200000)), "Element nesting too deep, ID: 0xB6");
    const ebml::Bytes tag = nest(0x67C8, text(0x45A3, "x"), {}, 200);
    EXPECT_EQ(error_of<Tag>(cat({master(0x63C0, {}), tag})), "Element nesting too deep, ID: 0x67C8");
    // Real depths are far below the limit.
    EXPECT_TRUE(decode<EditionEntry>(nest(0xB6, fields, {}, 20)));
    EXPECT_TRUE(decode<EditionEntry>(nest(0xB6, fields, {}, max_nesting_depth - 1)));
    EXPECT_FALSE(decode<EditionEntry>(nest(0xB6, fields, {}, max_nesting_depth)));
}

namespace {
Result<Ebml> ebml_from(const ebml::Bytes &bytes) {
    auto file = MemoryFile(bytes).open();
    return read_ebml(file);
}
} // namespace

TEST(EbmlHeader, DefaultsAndErrorMapping) {
    auto header = ebml_from(master(0x1A45DFA3, {element(0x4286, {}), element(0x4282, {}), unsigned_int(0x42F7, 1)}));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->ebml_version->value, 1u);
    EXPECT_EQ(header->ebml_max_id_length.value, 4u);
    EXPECT_EQ(header->ebml_max_size_length.value, 8u);
    EXPECT_EQ(header->doc_type->value, "matroska");
    EXPECT_FALSE(header->doc_type_version);
    auto webm = ebml_from(master(0x1A45DFA3, {element(0x4282, raw({'w', 'e', 'b', 'm', 0, 0}))}));
    EXPECT_EQ(webm->doc_type->value, "webm");
    EXPECT_FALSE(webm->ebml_version);

    EXPECT_EQ(error_of(ebml_from(master(0x1A45DFA3, {raw({0x42, 0x82, 0x85, 'a'})}))).message(),
              "Element body over decode, ID: 0x1A45DFA3");
    EXPECT_EQ(error_of(ebml_from(master(0x1A45DFA3, {raw({0x20, 0x01})}))).message(),
              "Element body under decode, ID: 0x1A45DFA3");
    EXPECT_EQ(error_of(ebml_from(master(0x1A45DFA3, {text(0x4282, "a"), text(0x4282, "b")}))).message(),
              "Duplicate element 0x4282 in master element 0x1A45DFA3");
    // The file ends inside the header's body: the body read's own error, not mapped.
    EXPECT_EQ(error_of(ebml_from(raw({0x1A, 0x45, 0xDF, 0xA3, 0x88, 0x42}))).message(),
              "Attempted to read past the end of the buffer");
    EXPECT_EQ(error_of(ebml_from(raw({0x1A, 0x45}))).message(), "I/O error: failed to fill whole buffer");
}

TEST(Copies, DeepCopiesCompareEqualAndHash) {
    auto t = decode<TrackEntry>(cat({minimal_track, master(0xE0, {unsigned_int(0xB0, 640), unsigned_int(0xBA, 480)})}));
    ASSERT_TRUE(t);
    TrackEntry copy = *t;
    EXPECT_EQ(copy, *t);
    copy.video->pixel_width.value = 1;
    EXPECT_NE(copy, *t);
    // As map keys: equal values meet, different ones stay apart.
    const std::unordered_set<TrackNumber> numbers{t->track_number, TrackNumber{{1}}, TrackNumber{{2}}};
    EXPECT_EQ(numbers.size(), 2u);
    const std::unordered_set<SegmentUuid> uuids{SegmentUuid{{{1, 2}}}, SegmentUuid{{{1, 2}}}, SegmentUuid{{{2, 1}}},
                                                SegmentUuid{{{1, 2, 0}}}};
    EXPECT_EQ(uuids.size(), 3u);
    const std::unordered_set<Title> titles{Title{{"a"}}, Title{{"a"}}, Title{{""}}};
    EXPECT_EQ(titles.size(), 2u);
}
