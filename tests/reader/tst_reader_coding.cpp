// Variable-size integers, ID display, error texts, CRC-32, and header/body reads from files.
#include "error_of.h"
#include "ebml_writer.h"
#include "io.h"
#include "reader_test.h"

#include <gtest/gtest.h>

#include <limits>


using namespace perlane::reader;

namespace {

struct VIntCase {
    ebml::Bytes bytes;
    std::uint64_t value;
    bool unknown;
    std::size_t left; // bytes left in the cursor afterwards
};

} // namespace

TEST(VInt, DecodesEveryLengthAndTheUnknownForm) {
    const std::vector<VIntCase> cases = {
        {{0x1A, 0x45, 0xDF, 0xA3}, 0x0A45DFA3, false, 0},
        {{0x81}, 1, false, 0},
        {{0x40, 0x01}, 1, false, 0}, // longer encodings of small values are fine
        {{0x80}, 0, false, 0},
        {{0xFF}, 127, true, 0},
        {{0x7F, 0xFF}, 16383, false, 0},
        {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, (1ull << 56) - 1, false, 0},
        {{0x82, 0x99}, 2, false, 1},
    };
    for (const auto &c : cases) {
        Cursor cursor(c.bytes);
        auto v = decode_vint(cursor);
        ASSERT_TRUE(v.has_value()) << to_string(VInt64{c.value});
        EXPECT_EQ(v->value, c.value);
        EXPECT_EQ(v->is_unknown, c.unknown);
        EXPECT_EQ(cursor.remaining(), c.left);
    }
}

TEST(VInt, FailuresKeepWhatTheyConsumed) {
    {
        const ebml::Bytes b{0x00, 0x81};
        Cursor cursor(b);
        auto v = decode_vint(cursor);
        ASSERT_FALSE(v);
        EXPECT_EQ(v.error().kind, ErrorKind::InvalidVInt);
        EXPECT_EQ(cursor.remaining(), 1u);
    }
    {
        Cursor cursor({});
        auto v = decode_vint(cursor);
        ASSERT_FALSE(v);
        EXPECT_EQ(v.error(), Error::out_of_bounds(1, 0));
    }
    {
        const ebml::Bytes b{0x40};
        Cursor cursor(b);
        EXPECT_EQ(error_of(decode_vint(cursor)), Error::out_of_bounds(1, 0));
        EXPECT_TRUE(cursor.empty());
    }
    {
        const ebml::Bytes b{0x20, 0x01};
        Cursor cursor(b);
        EXPECT_EQ(error_of(decode_vint(cursor)), Error::out_of_bounds(2, 1));
        EXPECT_EQ(cursor.remaining(), 1u);
    }
}

TEST(VInt, DisplayUsesTheMarkedForm) {
    EXPECT_EQ(to_string(VInt64{0x0A45DFA3}), "0x1A45DFA3");
    EXPECT_EQ(to_string(VInt64{0x08538067}), "0x18538067");
    EXPECT_EQ(to_string(VInt64{0x3F}), "0xBF");
    EXPECT_EQ(to_string(VInt64{0x0DBB}), "0x4DBB");
    EXPECT_EQ(to_string(VInt64{0}), "0x80");
    EXPECT_EQ(to_string(VInt64{127}), "0x407F");
    EXPECT_EQ(to_string(VInt64{127, true}), "0xFF");
    EXPECT_EQ(to_string(VInt64{16383}), "0x7FFF");
    EXPECT_EQ(to_string(VInt64{1}), "0x81");
    EXPECT_EQ(to_string(VInt64{128}), "0x4080"); // zero-padded to the full length
    EXPECT_EQ(to_string(VInt64{(1ull << 56) - 1}), "0x01FFFFFFFFFFFFFF");
    EXPECT_FALSE(to_string(VInt64{1ull << 60}).empty()); // never produced, never fails
    EXPECT_EQ(VInt64::from_marked(0x1A45DFA3).value, 0x0A45DFA3u);
    EXPECT_EQ(VInt64::from_marked(0xEC).value, 0x6Cu);
}

TEST(ErrorText, EveryVariant) {
    const VInt64 ebml_id = ids::ebml;
    EXPECT_EQ(Error::end_of_file().message(), "I/O error: failed to fill whole buffer");
    EXPECT_EQ(Error::of(ErrorKind::InvalidVInt).message(),
              "Invalid variable-length integer encoding, 8 leading zeros found...");
    EXPECT_EQ(Error::out_of_bounds(3, 1).message(), "Attempted to read past the end of the buffer");
    EXPECT_EQ(Error::with_id(ErrorKind::OverDecode, ebml_id).message(),
              "Element body over decode, ID: 0x1A45DFA3");
    EXPECT_EQ(Error::of(ErrorKind::ShortRead).message(), "Short read: not all bytes were consumed");
    EXPECT_EQ(Error::with_id(ErrorKind::UnderDecode, VInt64{0x3F}).message(),
              "Element body under decode, ID: 0xBF");
    EXPECT_EQ(Error::with_id(ErrorKind::MissingElement, ids::segment).message(),
              "Missing element, ID: 0x18538067");
    EXPECT_EQ(Error::duplicate(VInt64::from_marked(0x4286), ebml_id).message(),
              "Duplicate element 0x4286 in master element 0x1A45DFA3");
    EXPECT_EQ(Error::with_id(ErrorKind::ElementBodySizeUnknown, ids::segment).message(),
              "Element body size is unknown, ID: 0x18538067");
    EXPECT_EQ(Error::of(ErrorKind::MalformedLacing).message(), "Malformed lacing data");
    EXPECT_EQ(Error::with_id(ErrorKind::NestingTooDeep, VInt64::from_marked(0xB6)).message(),
              "Element nesting too deep, ID: 0xB6");
}

TEST(Crc32Element, ValueAndWrongSizes) {
    const ebml::Bytes good{0xBF, 0x84, 0x78, 0x56, 0x34, 0x12};
    Cursor c1(good);
    EXPECT_EQ(Crc32::decode(c1)->value, 0x12345678u);
    EXPECT_TRUE(c1.empty());
    const ebml::Bytes small{0xBF, 0x82, 0x00, 0x00};
    Cursor c2(small);
    EXPECT_EQ(error_of(Crc32::decode(c2)).message(), "Element body over decode, ID: 0xBF");
    const ebml::Bytes large{0xBF, 0x85, 1, 2, 3, 4, 5};
    Cursor c3(large);
    EXPECT_EQ(error_of(Crc32::decode(c3)).message(), "Element body under decode, ID: 0xBF");
    const ebml::Bytes cut{0xBF, 0x84, 1, 2};
    Cursor c4(cut);
    EXPECT_EQ(error_of(Crc32::decode(c4)), Error::out_of_bounds(4, 2));
}

TEST(FileReads, HeadersBodiesAndEndsOfFile) {
    // Segment of unknown size, then an ordinary element of "unknown" size: 127 bytes.
    ebml::Bytes bytes = ebml::raw({0x18, 0x53, 0x80, 0x67, 0xFF, 0x42, 0x86, 0xFF});
    bytes.resize(bytes.size() + 127, 0xAB);
    bytes.push_back(0x42);
    const MemoryFile memory(bytes);
    auto file = memory.open();
    auto segment = read_header(file);
    ASSERT_TRUE(segment);
    EXPECT_EQ(segment->id, ids::segment);
    EXPECT_EQ(error_of(read_body(file, *segment)).message(),
              "Element body size is unknown, ID: 0x18538067");
    auto other = read_header(file);
    ASSERT_TRUE(other);
    auto body = read_body(file, *other);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), 127u);
    // A header cut short by the end of the file is an I/O error, not OutOfBounds.
    EXPECT_EQ(error_of(read_header(file)).message(), "I/O error: failed to fill whole buffer");
}

TEST(FileReads, BodyPastTheEndAndHugeSizes) {
    // Size 10 with 4 bytes left.
    const MemoryFile short_body(ebml::raw({0x42, 0x86, 0x8A, 1, 2, 3, 4}));
    auto file = short_body.open();
    auto header = read_header(file);
    auto body = read_body(file, *header);
    ASSERT_FALSE(body);
    EXPECT_EQ(body.error(), Error::out_of_bounds(10, 4));

    // A declared size of 2^56 - 1 on a 1 KiB file reads 1 KiB and allocates no more.
    ebml::Bytes huge = ebml::raw({0x42, 0x86, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    huge.resize(1024, 0);
    const MemoryFile huge_file(huge);
    auto big = huge_file.open();
    auto h = read_header(big);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->size.value, (1ull << 56) - 1);
    auto r = read_body(big, *h);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, ErrorKind::OutOfBounds);
    EXPECT_EQ(r.error().available, 1024u - 10u);
    EXPECT_LE(big.stats().bytes_read, 1024u);
    // Skipping more than any offset holds stops at the end; it never wraps back to the start.
    ASSERT_TRUE(big.seek(10).has_value());
    ASSERT_TRUE(big.skip(std::numeric_limits<std::uint64_t>::max() - 4).has_value());
    EXPECT_EQ(big.position().value_or(0), 1024u);

    EXPECT_EQ(error_of(File::open("/nonexistent/perlane")).kind, ErrorKind::Io);
}
