#pragma once
// Leaf element types: one type per Matroska element, wrapping one value. The template
// arguments are the element ID as written in files and the value that an empty body
// (and, for a defaulted child, an absent one) gives.
#include "base.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace perlane::reader {

enum class ValueType { UnsignedInteger, Float, Date, Text, Binary };

template <std::size_t N> struct Literal {
    char text[N];
    constexpr Literal(const char (&s)[N]) { std::copy_n(s, N, text); }
};

template <std::uint64_t Id, std::uint64_t Default = 0> struct UInt {
    static constexpr VInt64 id = VInt64::from_marked(Id);
    static constexpr ValueType value_type = ValueType::UnsignedInteger;
    std::uint64_t value = Default;
    bool operator==(const UInt &) const = default;
};

// The default as the bits of a double (a double template argument is not portable yet).
constexpr std::uint64_t float_bits(double d) { return std::bit_cast<std::uint64_t>(d); }

template <std::uint64_t Id, std::uint64_t DefaultBits = 0> struct Float {
    static constexpr VInt64 id = VInt64::from_marked(Id);
    static constexpr ValueType value_type = ValueType::Float;
    double value = std::bit_cast<double>(DefaultBits);
    bool operator==(const Float &) const = default;
};

// Nanoseconds relative to 2001-01-01T00:00:00 UTC.
template <std::uint64_t Id> struct Date {
    static constexpr VInt64 id = VInt64::from_marked(Id);
    static constexpr ValueType value_type = ValueType::Date;
    std::int64_t value = 0;
    bool operator==(const Date &) const = default;
};

// UTF-8 text up to the first zero byte; ASCII and UTF-8 elements alike.
template <std::uint64_t Id, Literal Default = ""> struct Text {
    static constexpr VInt64 id = VInt64::from_marked(Id);
    static constexpr ValueType value_type = ValueType::Text;
    std::string value = Default.text;
    // The stored bytes are not exactly `value`: invalid UTF-8 was replaced, or bytes other
    // than NUL padding followed a NUL. Writing `value` back would change them.
    bool inexact = false;
    bool operator==(const Text &) const = default;
};

template <std::uint64_t Id> struct Binary {
    static constexpr VInt64 id = VInt64::from_marked(Id);
    static constexpr ValueType value_type = ValueType::Binary;
    std::vector<std::uint8_t> value;
    bool operator==(const Binary &) const = default;
};

// EBML header and seek index
struct EbmlVersion : UInt<0x4286, 1> {};
struct EbmlReadVersion : UInt<0x42F7, 1> {};
struct EbmlMaxIdLength : UInt<0x42F2, 4> {};
struct EbmlMaxSizeLength : UInt<0x42F3, 8> {};
struct DocType : Text<0x4282, "matroska"> {};
struct DocTypeVersion : UInt<0x4287, 1> {};
struct DocTypeReadVersion : UInt<0x4285, 1> {};
struct SeekId : Binary<0x53AB> {};
struct SeekPosition : UInt<0x53AC> {};

// Info
struct SegmentUuid : Binary<0x73A4> {};
struct SegmentFilename : Text<0x7384> {};
struct PrevUuid : Binary<0x3CB923> {};
struct PrevFilename : Text<0x3C83AB> {};
struct NextUuid : Binary<0x3EB923> {};
struct NextFilename : Text<0x3E83BB> {};
struct SegmentFamily : Binary<0x4444> {};
struct TimestampScale : UInt<0x2AD7B1, 1000000> {};
struct Duration : Float<0x4489> {};
struct DateUtc : Date<0x4461> {};
struct Title : Text<0x7BA9> {};
struct MuxingApp : Text<0x4D80> {};
struct WritingApp : Text<0x5741> {};
struct ChapterTranslateId : Binary<0x69A5> {};
struct ChapterTranslateCodec : UInt<0x69BF> {};
struct ChapterTranslateEditionUid : UInt<0x69FC> {};

// TrackEntry
struct TrackNumber : UInt<0xD7> {};
struct TrackUid : UInt<0x73C5> {};
struct TrackType : UInt<0x83> {};
struct FlagEnabled : UInt<0xB9, 1> {};
struct FlagDefault : UInt<0x88, 1> {};
struct FlagForced : UInt<0x55AA, 0> {};
struct FlagHearingImpaired : UInt<0x55AB> {};
struct FlagVisualImpaired : UInt<0x55AC> {};
struct FlagTextDescriptions : UInt<0x55AD> {};
struct FlagOriginal : UInt<0x55AE> {};
struct FlagCommentary : UInt<0x55AF> {};
struct FlagLacing : UInt<0x9C, 1> {};
struct DefaultDuration : UInt<0x23E383> {};
struct DefaultDecodedFieldDuration : UInt<0x234E7A> {};
struct MaxBlockAdditionId : UInt<0x55EE, 0> {};
struct Name : Text<0x536E> {};
struct Language : Text<0x22B59C, "eng"> {};
struct LanguageBcp47 : Text<0x22B59D> {};
struct CodecId : Text<0x86> {};
struct CodecPrivate : Binary<0x63A2> {};
struct CodecName : Text<0x258688> {};
struct CodecDelay : UInt<0x56AA, 0> {};
struct SeekPreRoll : UInt<0x56BB, 0> {};
struct BlockAddIdValue : UInt<0x41F0> {};
struct BlockAddIdName : Text<0x41A4> {};
struct BlockAddIdType : UInt<0x41E7, 0> {};
struct BlockAddIdExtraData : Binary<0x41ED> {};
struct TrackTranslateTrackId : Binary<0x66A5> {};
struct TrackTranslateCodec : UInt<0x66BF> {};
struct TrackTranslateEditionUid : UInt<0x66FC> {};
struct FlagInterlaced : UInt<0x9A, 0> {};
struct FieldOrder : UInt<0x9D, 2> {};
struct StereoMode : UInt<0x53B8, 0> {};
struct AlphaMode : UInt<0x53C0, 0> {};
struct PixelWidth : UInt<0xB0> {};
struct PixelHeight : UInt<0xBA> {};
struct PixelCropBottom : UInt<0x54AA, 0> {};
struct PixelCropTop : UInt<0x54BB, 0> {};
struct PixelCropLeft : UInt<0x54CC, 0> {};
struct PixelCropRight : UInt<0x54DD, 0> {};
struct DisplayWidth : UInt<0x54B0> {};
struct DisplayHeight : UInt<0x54BA> {};
struct DisplayUnit : UInt<0x54B2, 0> {};
struct UncompressedFourCc : Binary<0x2EB524> {};
struct MatrixCoefficients : UInt<0x55B1, 2> {};
struct BitsPerChannel : UInt<0x55B2, 0> {};
struct ChromaSubsamplingHorz : UInt<0x55B3> {};
struct ChromaSubsamplingVert : UInt<0x55B4> {};
struct CbSubsamplingHorz : UInt<0x55B5> {};
struct CbSubsamplingVert : UInt<0x55B6> {};
struct ChromaSitingHorz : UInt<0x55B7, 0> {};
struct ChromaSitingVert : UInt<0x55B8, 0> {};
struct Range : UInt<0x55B9, 0> {};
struct TransferCharacteristics : UInt<0x55BA, 2> {};
struct Primaries : UInt<0x55BB, 2> {};
struct MaxCll : UInt<0x55BC> {};
struct MaxFall : UInt<0x55BD> {};
struct PrimaryRChromaticityX : Float<0x55D1> {};
struct PrimaryRChromaticityY : Float<0x55D2> {};
struct PrimaryGChromaticityX : Float<0x55D3> {};
struct PrimaryGChromaticityY : Float<0x55D4> {};
struct PrimaryBChromaticityX : Float<0x55D5> {};
struct PrimaryBChromaticityY : Float<0x55D6> {};
struct WhitePointChromaticityX : Float<0x55D7> {};
struct WhitePointChromaticityY : Float<0x55D8> {};
struct LuminanceMax : Float<0x55D9> {};
struct LuminanceMin : Float<0x55DA> {};
struct ProjectionType : UInt<0x7671, 0> {};
struct ProjectionPrivate : Binary<0x7672> {};
struct ProjectionPoseYaw : Float<0x7673, float_bits(0.0)> {};
struct ProjectionPosePitch : Float<0x7674, float_bits(0.0)> {};
struct ProjectionPoseRoll : Float<0x7675, float_bits(0.0)> {};
struct SamplingFrequency : Float<0xB5, float_bits(8000.0)> {};
struct OutputSamplingFrequency : Float<0x78B5> {};
struct Channels : UInt<0x9F, 1> {};
struct BitDepth : UInt<0x6264> {};
struct Emphasis : UInt<0x52F1, 0> {};
struct TrackPlaneUid : UInt<0xE5> {};
struct TrackPlaneType : UInt<0xE6> {};
struct TrackJoinUid : UInt<0xED> {};
struct ContentEncodingOrder : UInt<0x5031, 0> {};
struct ContentEncodingScope : UInt<0x5032, 1> {};
struct ContentEncodingType : UInt<0x5033, 0> {};
struct ContentCompAlgo : UInt<0x4254, 0> {};
struct ContentCompSettings : Binary<0x4255> {};
struct ContentEncAlgo : UInt<0x47E1, 0> {};
struct ContentEncKeyId : Binary<0x47E2> {};
struct AesSettingsCipherMode : UInt<0x47E8> {};

// Chapters
struct EditionUid : UInt<0x45BC> {};
struct EditionFlagHidden : UInt<0x45BD, 0> {};
struct EditionFlagDefault : UInt<0x45DB, 0> {};
struct EditionFlagOrdered : UInt<0x45DD, 0> {};
struct EditionString : Text<0x4521> {};
struct EditionLanguageIetf : Text<0x45E4> {};
struct ChapterUid : UInt<0x73C4> {};
struct ChapterStringUid : Text<0x5654> {};
struct ChapterTimeStart : UInt<0x91> {};
struct ChapterTimeEnd : UInt<0x92> {};
struct ChapterFlagHidden : UInt<0x98, 0> {};
struct ChapterFlagEnabled : UInt<0x4598, 1> {};
struct ChapterSegmentUuid : Binary<0x6E67> {};
struct ChapterSkipType : UInt<0x4588> {};
struct ChapterSegmentEditionUid : UInt<0x6EBC> {};
struct ChapterPhysicalEquiv : UInt<0x63C3> {};
struct ChapterTrackUid : UInt<0x89> {};
struct ChapString : Text<0x85> {};
struct ChapLanguage : Text<0x437C, "eng"> {}; // decoded like Language
struct ChapLanguageBcp47 : Text<0x437D> {};
struct ChapCountry : Text<0x437E> {};
struct ChapProcessCodecId : UInt<0x6955, 0> {};
struct ChapProcessPrivate : Binary<0x450D> {};
struct ChapProcessTime : UInt<0x6922> {};
struct ChapProcessData : Binary<0x6933> {};

// Tags
struct TargetTypeValue : UInt<0x68CA, 50> {};
struct TargetType : Text<0x63CA> {};
struct TagTrackUid : UInt<0x63C5> {};
struct TagEditionUid : UInt<0x63C9> {};
struct TagChapterUid : UInt<0x63C4> {};
struct TagAttachmentUid : UInt<0x63C6> {};
struct TagName : Text<0x45A3> {};
struct TagLanguage : Text<0x447A, "und"> {};
struct TagLanguageBcp47 : Text<0x447B> {};
struct TagDefault : UInt<0x4484, 1> {};
struct TagString : Text<0x4487> {};
struct TagBinary : Binary<0x4485> {};

// Cues
struct CueTime : UInt<0xB3> {};
struct CueTrack : UInt<0xF7> {};
struct CueClusterPosition : UInt<0xF1> {};
struct CueRelativePosition : UInt<0xF0> {};
struct CueDuration : UInt<0xB2> {};
struct CueBlockNumber : UInt<0x5378> {};
struct CueCodecState : UInt<0xEA, 0> {};
struct CueRefTime : UInt<0x96> {};

// Attachments
struct FileDescription : Text<0x467E> {};
struct FileName : Text<0x466E> {};
struct FileMediaType : Text<0x4660> {};
struct FileData : Binary<0x465C> {};
struct FileUid : UInt<0x46AE> {};

// UTF-8 with every invalid sequence replaced by U+FFFD (one per maximal invalid subpart).
std::string lossy_utf8(const std::uint8_t *data, std::size_t size);

} // namespace perlane::reader

// The application keys its maps by these.
template <> struct std::hash<perlane::reader::SegmentUuid> {
    std::size_t operator()(const perlane::reader::SegmentUuid &u) const noexcept {
        return std::hash<std::string_view>{}(
            std::string_view(reinterpret_cast<const char *>(u.value.data()), u.value.size()));
    }
};
template <> struct std::hash<perlane::reader::Title> {
    std::size_t operator()(const perlane::reader::Title &t) const noexcept {
        return std::hash<std::string>{}(t.value);
    }
};
template <> struct std::hash<perlane::reader::TrackNumber> {
    std::size_t operator()(const perlane::reader::TrackNumber &n) const noexcept {
        return std::hash<std::uint64_t>{}(n.value);
    }
};
