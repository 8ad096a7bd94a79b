// The whole-file view on files built byte by byte: dispatch, segments, the cluster jump;
// and the layout a save journals by.
#include "ebml_writer.h"
#include "layout.h"
#include "reader_test.h"
#include "view.h"

#include <gtest/gtest.h>

#include <sys/resource.h>


using namespace perlane::reader;
using Buf = ebml::Bytes;
using ebml::cat;
using ebml::element;
using ebml::master;
using ebml::raw;
using ebml::text;
using ebml::unsigned_int;

namespace {

const Buf ebml_header = master(0x1A45DFA3, {text(0x4282, "matroska")});
Buf info(std::string_view title = "t") {
    return master(0x1549A966, {text(0x7BA9, title), text(0x4D80, "m"), text(0x5741, "w")});
}
Buf tracks(std::uint64_t number) {
    return master(0x1654AE6B, {master(0xAE, {unsigned_int(0xD7, number), unsigned_int(0x73C5, number),
                                             unsigned_int(0x83, 1), text(0x86, "V")})});
}
Buf tags(std::string_view name) {
    return master(0x1254C367, {master(0x7373, {master(0x63C0, {}), master(0x67C8, {text(0x45A3, name)})})});
}
const Buf cues = master(0x1C53BB6B, {master(0xBB, {unsigned_int(0xB3, 0)})});
Buf cluster(std::size_t payload = 100) { return element(0x1F43B675, Buf(payload, 0xA5)); }
Buf segment(const Buf &body) { return element(0x18538067, body); }
Buf live_segment(const Buf &body) { return cat({raw({0x18, 0x53, 0x80, 0x67, 0xFF}), body}); }

// A SeekHead of a fixed size (8-byte positions) so that offsets can be computed first.
Buf seek_head(std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> entries) {
    Buf body;
    for (auto [id, pos] : entries) {
        Buf p = raw({0x53, 0xAC, 0x88});
        for (int s = 56; s >= 0; s -= 8)
            p.push_back(static_cast<std::uint8_t>(pos >> s));
        body = cat({body, master(0x4DBB, {element(0x53AB, ebml::id(id)), p})});
    }
    return element(0x114D9B74, body);
}

struct Opened {
    Result<MatroskaView> view;
    IoStats stats;
    std::vector<std::string> log; // with its level
};

Opened open_bytes(const Buf &bytes, ReadMode mode = ReadMode::Everything) {
    CapturedLog captured;
    auto file = MemoryFile(bytes).open();
    auto view = MatroskaView::read_from(file, mode);
    return {std::move(view), file.stats(), captured.lines};
}

std::string error_of(const Buf &bytes) {
    auto o = open_bytes(bytes);
    return o.view ? "no error" : o.view.error().message();
}

} // namespace

TEST(View, StartOfFileErrors) {
    EXPECT_EQ(error_of(ebml_header), "I/O error: failed to fill whole buffer");
    EXPECT_EQ(error_of(cat({ebml_header, info()})), "Missing element, ID: 0x18538067");
    EXPECT_EQ(error_of(cat({ebml_header, element(0xEC, Buf(2)), segment(info())})),
              "Missing element, ID: 0x18538067");
    EXPECT_EQ(error_of(cat({ebml_header, segment(tracks(1))})), "Missing element, ID: 0x1549A966");
    // Not the last segment either.
    EXPECT_EQ(error_of(cat({ebml_header, segment(tracks(1)), segment(info())})),
              "Missing element, ID: 0x1549A966");
    // An error inside a metadata element fails the whole view.
    EXPECT_EQ(error_of(cat({ebml_header, segment(cat({info(), master(0x1654AE6B, {master(0xAE, {})})}))})),
              "Missing element, ID: 0xD7");
}

TEST(View, ReplacingAndAppendingFields) {
    auto o = open_bytes(cat({ebml_header, segment(cat({info("a"), tracks(1), tags("A"), info("b"), tracks(2),
                                                        tags("B"), element(0xEC, Buf(3))}))}));
    ASSERT_TRUE(o.view) << o.view.error().message();
    const SegmentView &s = o.view->segments.at(0);
    EXPECT_EQ(s.info.title->value, "b");
    EXPECT_EQ(s.tracks->track_entry.at(0).track_number.value, 2u);
    ASSERT_EQ(s.tags.size(), 2u);
    EXPECT_EQ(s.tags[1].tag[0].simple_tag[0].tag_name.value, "B");
    EXPECT_EQ(s.data_start, ebml_header.size() + 5);
    EXPECT_EQ(s.first_cluster_position, 0u);
    EXPECT_EQ(o.log, std::vector<std::string>{"warn: Skipped unknown element with ID: 0xEC"});
}

TEST(View, TypicalFileJumpsOverTheClusters) {
    // SeekHead (Info, Tracks, Tags, Cues), Info, Tracks, Clusters, Cues, Tags.
    const std::size_t head_size = seek_head({{0x10000000, 0}, {0x10000000, 0}, {0x10000000, 0}, {0x10000000, 0}}).size();
    const Buf front = cat({info(), tracks(1), element(0xEC, Buf())}); // an empty Void is passed over in place
    const Buf clusters = cat({cluster(5000), cluster(5000)});
    const std::uint64_t cues_at = head_size + front.size() + clusters.size();
    const std::uint64_t tags_at = cues_at + cues.size();
    const Buf head = seek_head({{0x1549A966, head_size}, {0x1654AE6B, head_size + info().size()},
                                  {0x1254C367, tags_at}, {0x1C53BB6B, cues_at}});
    ASSERT_EQ(head.size(), head_size);
    const Buf file = cat({ebml_header, segment(cat({head, front, clusters, cues, tags("end")}))});
    auto o = open_bytes(file);
    ASSERT_TRUE(o.view) << o.view.error().message();
    const SegmentView &s = o.view->segments.at(0);
    EXPECT_TRUE(s.cues);
    ASSERT_EQ(s.tags.size(), 1u);
    EXPECT_EQ(s.first_cluster_position, s.data_start + head_size + front.size());
    // Only metadata and headers were read: not the 10000 bytes of cluster payload.
    EXPECT_LT(o.stats.bytes_read, file.size() - 9000);
    EXPECT_EQ(o.stats.seeks, 1u); // to the Cues, once
}

// A seek position past any file's end stays past it: added to the segment's start it saturates
// instead of wrapping round to an offset inside the file.
TEST(View, SeekPositionsPastTheEndSaturate) {
    const Buf head = seek_head({{0x1254C367, 0xFFFFFFFFFFFFFFF0ull}});
    auto o = open_bytes(cat({ebml_header, segment(cat({head, info()}))}));
    ASSERT_TRUE(o.view) << o.view.error().message();
    const auto entries = seek_entries(o.view->segments.at(0));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].offset, std::numeric_limits<std::uint64_t>::max());
}

TEST(View, SegmentEndsAndSeveralSegments) {
    // Known size, nothing indexed after the cluster: continue at the segment's end.
    const Buf one = cat({info("one"), cluster()});
    auto o = open_bytes(cat({ebml_header, segment(one), segment(info("two"))}));
    ASSERT_TRUE(o.view) << o.view.error().message();
    ASSERT_EQ(o.view->segments.size(), 2u);
    EXPECT_EQ(o.view->segments[1].info.title->value, "two");
    EXPECT_EQ(o.view->segments[1].data_start, ebml_header.size() + 5 + one.size() + 5);

    // Unknown size: reading stops at the cluster; a following segment is not read.
    auto live = open_bytes(cat({ebml_header, live_segment(cat({info("one"), cluster()})), segment(info("two"))}));
    ASSERT_TRUE(live.view);
    EXPECT_EQ(live.view->segments.size(), 1u);

    // Each segment uses its own size: a live second segment after a known first.
    auto mixed = open_bytes(cat({ebml_header, segment(one), live_segment(cat({info("two"), cluster()})),
                                 segment(info("three"))}));
    ASSERT_TRUE(mixed.view);
    EXPECT_EQ(mixed.view->segments.size(), 2u);
}

TEST(View, UndecodableSeekIdsAreLeftOut) {
    const Buf head = master(0x114D9B74, {master(0x4DBB, {element(0x53AB, raw({0x00})), unsigned_int(0x53AC, 5)}),
                                           master(0x4DBB, {element(0x53AB, {}), unsigned_int(0x53AC, 5)})});
    auto o = open_bytes(cat({ebml_header, segment(cat({head, info(), cluster()}))}));
    ASSERT_TRUE(o.view);
    EXPECT_EQ(o.log, (std::vector<std::string>{
                         "warn: Failed to read seek_id as VInt: Invalid variable-length integer encoding, 8 "
                         "leading zeros found..., skip...",
                         "warn: Failed to read seek_id as VInt: I/O error: failed to fill whole buffer, skip..."}));
}

TEST(View, EveryJumpMovesForward) {
    // A seek index that lists every Cluster and Cues placed between Clusters.
    const std::size_t head_size = seek_head({{0x10000000, 0}, {0x10000000, 0}, {0x10000000, 0}, {0x10000000, 0}}).size();
    const std::uint64_t c1 = head_size + info().size();
    const std::uint64_t cues1 = c1 + cluster().size();
    const std::uint64_t c2 = cues1 + cues.size();
    const std::uint64_t tags_at = c2 + cluster().size();
    const Buf head = seek_head({{0x1F43B675, c1}, {0x1C53BB6B, cues1}, {0x1F43B675, c2}, {0x1254C367, tags_at}});
    auto o = open_bytes(cat({ebml_header, segment(cat({head, info(), cluster(), cues, cluster(), tags("t")}))}));
    ASSERT_TRUE(o.view) << o.view.error().message();
    EXPECT_TRUE(o.view->segments[0].cues);
    EXPECT_EQ(o.view->segments[0].tags.size(), 1u);

    // Entries pointing backwards, at the segment start and past the end of the file.
    const Buf back = seek_head({{0x1549A966, 0}, {0x1F43B675, 1}, {0x1254C367, 1ull << 50}, {0x1C53BB6B, 2}});
    auto o2 = open_bytes(cat({ebml_header, live_segment(cat({back, info(), cluster(), cluster()}))}));
    ASSERT_TRUE(o2.view) << o2.view.error().message();
    // A known-size segment whose declared end lies before its clusters.
    auto o3 = open_bytes(cat({ebml_header, element(0x18538067, info()), cluster(), cluster()}));
    EXPECT_TRUE(o3.view);
}

// A second SeekHead, found through the first after the clusters, indexes the Tags that lie
// beyond more clusters: both are kept, and the jump reaches the Tags.
TEST(View, ASecondSeekHeadIsFollowed) {
    const std::size_t head_size = seek_head({{0x10000000, 0}, {0x10000000, 0}}).size();
    const std::size_t back_size = seek_head({{0x10000000, 0}}).size();
    const std::uint64_t back_at = head_size + info().size() + cluster().size();
    const Buf back = seek_head({{0x1254C367, back_at + back_size + cluster().size()}});
    const Buf head = seek_head({{0x1549A966, head_size}, {0x114D9B74, back_at}});
    auto o = open_bytes(cat({ebml_header, segment(cat({head, info(), cluster(), back, cluster(), tags("end")}))}));
    ASSERT_TRUE(o.view) << o.view.error().message();
    const SegmentView &s = o.view->segments.at(0);
    EXPECT_EQ(s.seek_head.size(), 2u);
    EXPECT_EQ(s.tags.size(), 1u);
}

TEST(View, UnknownTopLevelElementsAreNotLoaded) {
    // A 2^40-byte unknown element declared on a small file: skipped, nothing allocated.
    const Buf unknown = cat({raw({0x4F, 0xFF, 0x02, 0x01, 0, 0, 0, 0, 0}), Buf(100, 1)});
    auto o = open_bytes(cat({ebml_header, segment(info()), unknown}));
    ASSERT_TRUE(o.view);
    EXPECT_LT(o.stats.bytes_read, 200u);
    EXPECT_EQ(o.log, std::vector<std::string>{"warn: Skipped unknown element with ID: 0x4FFF"});
}

// The window's mode reads what it shows and saves: damaged Cues and Tags (never decoded
// there) do not keep a file from opening.
TEST(View, MetadataModePassesOverCuesTagsAndAttachments) {
    const Buf junk = element(0x1C53BB6B, Buf(40, 0xFF));      // Cues of nothing but bad IDs
    const Buf bad_tags = element(0x1254C367, Buf(30, 0x00));  // Tags of invalid VInts
    const Buf fonts = element(0x1941A469, Buf(100000, 0x42)); // Attachments
    const Buf file = cat({ebml_header, segment(cat({info(), tracks(1), fonts, junk, bad_tags}))});
    EXPECT_FALSE(open_bytes(file).view);
    auto lean = open_bytes(file, ReadMode::Metadata);
    ASSERT_TRUE(lean.view) << lean.view.error().message();
    const SegmentView &s = lean.view->segments.at(0);
    EXPECT_TRUE(s.tracks && !s.cues && !s.attachments && s.tags.empty());
    EXPECT_LT(lean.stats.bytes_read, 400u);
}

// Sizes from a hostile file: nothing is allocated for a body before it is checked, and the
// buffered reads keep a flood of tiny elements to a handful of system calls.
TEST(View, HostileSizesAndFloods) {
    MemoryFile big;
    // 100 MB of Tracks really present (a sparse file): over the limit, refused unread.
    const Buf head = cat({ebml_header, ebml::id(0x18538067), ebml::size(200'000'000), info(), ebml::id(0x1654AE6B),
                          ebml::size(104'857'600)});
    ASSERT_TRUE(big.load(head) && big.truncate(head.size() + 100'000'000));
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    auto file = big.open();
    auto view = MatroskaView::read_from(file, ReadMode::Metadata);
    ASSERT_FALSE(view);
    EXPECT_EQ(view.error().kind, ErrorKind::ElementTooLarge);
    EXPECT_EQ(view.error().message(), "Element too large, ID: 0x1654AE6B (104857600 bytes; at most 67108864 are read)");
    // 2 GB of Tags: passed over.
    const Buf tags_head = cat({ebml_header, ebml::id(0x18538067), ebml::size(2'100'000'000), info(), ebml::id(0x1254C367),
                               ebml::size(2'000'000'000)});
    ASSERT_TRUE(big.load(tags_head) && big.truncate(2'200'000'000));
    auto tags_file = big.open();
    auto lean = MatroskaView::read_from(tags_file, ReadMode::Metadata);
    ASSERT_TRUE(lean) << lean.error().message();
    EXPECT_TRUE(lean->segments.at(0).tags.empty());
    EXPECT_LT(tags_file.stats().bytes_read, 1000u);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // KiB

    // 16 MB of empty Voids before the Tracks.
    Buf voids;
    for (int i = 0; i < 8'000'000; ++i) {
        voids.push_back(0xEC);
        voids.push_back(0x80);
    }
    auto flood = MemoryFile(cat({ebml_header, segment(cat({info(), voids, tracks(1)}))})).open();
    auto flooded = MatroskaView::read_from(flood, ReadMode::Metadata); // no log sink, as in the window
    ASSERT_TRUE(flooded) << flooded.error().message();
    EXPECT_TRUE(flooded->segments.at(0).tracks);
    // Every one of those calls is counted: 16 MB take at least 16 MB / 64 KiB of them.
    EXPECT_GE(flood.stats().reads, voids.size() / (64 * 1024));
    EXPECT_LT(flood.stats().reads, 1000u);
}

// The layout a save journals by: a Cluster of unknown size ends where the next top-level
// element starts; another element of unknown size runs to the segment's end.
TEST(Layout, UnknownSizesEndWhereTheyMust) {
    const Buf unknown_cluster = cat({raw({0x1F, 0x43, 0xB6, 0x75, 0xFF}), element(0xE7, raw({0})), element(0xA3, Buf(10, 0))});
    const Buf file_bytes = cat({ebml_header, live_segment(cat({info(), tracks(1), unknown_cluster, tags("after")}))});
    auto file = MemoryFile(file_bytes).open();
    ASSERT_TRUE(file.seek(7).has_value()); // where a descriptor shared with the lock was left
    const auto layout = read_layout(file);
    ASSERT_TRUE(layout.has_value());
    ASSERT_EQ(layout->elements.size(), 4u); // Info, Tracks, the Cluster, Tags
    EXPECT_EQ(layout->elements[2].id, ids::cluster);
    EXPECT_EQ(layout->elements[2].end(), layout->elements[3].position);
    EXPECT_EQ(layout->elements[3].end(), file_bytes.size());

    const Buf unknown_tags = cat({raw({0x12, 0x54, 0xC3, 0x67, 0xFF}), Buf(20, 0)});
    const Buf open_ended = cat({ebml_header, live_segment(cat({info(), unknown_tags}))});
    auto other = MemoryFile(open_ended).open();
    const auto runs = read_layout(other);
    ASSERT_TRUE(runs.has_value());
    ASSERT_EQ(runs->elements.size(), 2u);
    EXPECT_EQ(runs->elements[1].end(), open_ended.size());

    // A child of unknown size in such a Cluster: nothing after it can be told apart, so the
    // Cluster runs to the end rather than stopping at that child.
    const Buf unknown_child = cat({raw({0x1F, 0x43, 0xB6, 0x75, 0xFF}), element(0xE7, raw({0})), raw({0xA0, 0xFF}), Buf(10, 0)});
    const Buf to_the_end = cat({ebml_header, live_segment(cat({info(), unknown_child}))});
    auto third = MemoryFile(to_the_end).open();
    const auto whole = read_layout(third);
    ASSERT_TRUE(whole.has_value());
    ASSERT_EQ(whole->elements.size(), 2u);
    EXPECT_EQ(whole->elements[1].id, ids::cluster);
    EXPECT_EQ(whole->elements[1].end(), to_the_end.size());

    // The clusters run up to the first element indexed after them, the Cues; the Tags after
    // those are indexed too, and the Cues stay an element of their own.
    const std::size_t head_size = seek_head({{0x10000000, 0}, {0x10000000, 0}}).size();
    const Buf cues = element(0x1C53BB6B, Buf(8, 0));
    const std::uint64_t cues_at = head_size + info().size() + tracks(1).size() + cluster().size();
    const Buf indexed = cat({ebml_header, segment(cat({seek_head({{0x1C53BB6B, cues_at}, {0x1254C367, cues_at + cues.size()}}),
                                                         info(), tracks(1), cluster(), cues, tags("after")}))});
    auto fourth = MemoryFile(indexed).open();
    const auto listed = read_layout(fourth);
    ASSERT_TRUE(listed.has_value());
    ASSERT_EQ(listed->elements.size(), 6u); // SeekHead, Info, Tracks, the Cluster, Cues, Tags
    EXPECT_EQ(listed->elements[3].end(), listed->elements[4].position);
    EXPECT_EQ(listed->elements[4].id, Cues::id);
}
