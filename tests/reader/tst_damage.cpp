// Damage sweep over a real mkvmerge file with chapters, tags, cues and attachments: every
// prefix of its metadata, a sample of prefixes inside the clusters, and single-byte
// changes at every metadata byte each give a view or an Error, never a crash or a hang.
#include "reader_test.h"
#include "view.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace perlane::reader;

namespace {

std::vector<std::uint8_t> load(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Layout {
    std::uint64_t first_cluster = 0; // end of the metadata before the clusters
    std::uint64_t tail = 0;          // start of the metadata after them
};

} // namespace

class Damage : public ::testing::Test {
protected:
    void SetUp() override {
        const char *dir = std::getenv("PERLANE_MEDIA_DIR");
        ASSERT_NE(dir, nullptr);
        bytes = load(std::string(dir) + "/full.mkv");
        ASSERT_GT(bytes.size(), 100000u);
        ASSERT_TRUE(memory.load(bytes));
        auto v = view();
        ASSERT_TRUE(v) << v.error().message();
        whole = *v;
        const SegmentView &s = whole.segments.at(0);
        layout.first_cluster = s.first_cluster_position;
        layout.tail = bytes.size();
        for (const auto &head : s.seek_head)
            for (const auto &seek : head.seek) {
                const std::uint64_t at = s.data_start + seek.seek_position.value;
                if (at > layout.first_cluster)
                    layout.tail = std::min(layout.tail, at);
            }
        ASSERT_LT(layout.tail, bytes.size());
    }
    Result<MatroskaView> view() {
        File file = memory.open();
        return MatroskaView::read_from(file);
    }
    std::vector<std::uint8_t> bytes;
    MemoryFile memory;
    MatroskaView whole;
    Layout layout;
};

TEST_F(Damage, EveryPrefix) {
    int views = 0, errors = 0;
    // From the end down, so that each prefix is one truncation of the last.
    for (std::uint64_t cut = bytes.size(); cut-- > 0;) {
        if (cut >= layout.first_cluster && cut < layout.tail && (cut - layout.first_cluster) % 997 != 0)
            continue; // inside the clusters: a sample
        ASSERT_TRUE(memory.truncate(cut));
        auto v = view();
        if (!v) {
            ++errors;
            continue;
        }
        ++views;
        // Cut after the metadata in front: the tracks and chapters are all there.
        if (cut >= layout.first_cluster) {
            EXPECT_EQ(v->segments.at(0).tracks, whole.segments[0].tracks) << "cut at " << cut;
            EXPECT_EQ(v->segments.at(0).chapters, whole.segments[0].chapters) << "cut at " << cut;
        }
    }
    EXPECT_GT(views, 100);
    EXPECT_GT(errors, 100);
}

TEST_F(Damage, EverySingleByteChangeOfTheMetadata) {
    int views = 0, errors = 0;
    const auto sweep = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = from; at < to; ++at) {
            for (std::uint8_t value : {static_cast<std::uint8_t>(bytes[at] ^ 0xFF), std::uint8_t{0x00},
                                       std::uint8_t{0x01}, std::uint8_t{0xFF}}) {
                if (value == bytes[at])
                    continue;
                ASSERT_TRUE(memory.poke(at, value));
                auto v = view();
                (v ? views : errors) += 1;
            }
            ASSERT_TRUE(memory.poke(at, bytes[at]));
        }
    };
    sweep(0, layout.first_cluster);
    sweep(layout.tail, bytes.size());
    EXPECT_GT(views, 1000);
    EXPECT_GT(errors, 1000);
}
