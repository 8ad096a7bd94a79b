// Damage sweep over a real mkvmerge file with chapters, tags, cues and attachments: every
// prefix of its metadata, a sample of prefixes inside the clusters, and single-byte
// changes at every metadata byte each give a view or an Error, never a crash or a hang.
#include "view.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/mman.h>
#include <unistd.h>

using namespace perlane::reader;

namespace {

std::vector<std::uint8_t> load(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An in-memory file that is changed in place between views.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("perlane-damage", MFD_CLOEXEC)) {}
    ~MemoryFile() { ::close(fd_); }
    bool load(const std::vector<std::uint8_t> &bytes) {
        return ::ftruncate(fd_, 0) == 0 &&
               ::pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    }
    bool truncate(std::uint64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }
    bool poke(std::uint64_t at, std::uint8_t value) {
        return ::pwrite(fd_, &value, 1, static_cast<off_t>(at)) == 1;
    }
    Result<MatroskaView> view() {
        if (::lseek(fd_, 0, SEEK_SET) != 0)
            return std::unexpected(Error::io_error("memfd"));
        File file = File::adopt(::dup(fd_));
        return MatroskaView::read_from(file);
    }

private:
    int fd_;
};

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
        auto v = memory.view();
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
        auto v = memory.view();
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
                auto v = memory.view();
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
