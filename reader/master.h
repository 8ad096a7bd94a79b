#pragma once
// Master element records and their child tables, in the order of the Matroska element
// tree. Each record lists its children; the Table next to it says how each is read.
#include "element.h"

namespace perlane::reader {

// ---- EBML header and seek index -------------------------------------------------------

struct Ebml : Master<0x1A45DFA3> {
    std::optional<EbmlVersion> ebml_version;
    std::optional<EbmlReadVersion> ebml_read_version;
    EbmlMaxIdLength ebml_max_id_length;
    EbmlMaxSizeLength ebml_max_size_length;
    std::optional<DocType> doc_type;
    std::optional<DocTypeVersion> doc_type_version;
    std::optional<DocTypeReadVersion> doc_type_read_version;
    bool operator==(const Ebml &) const = default;
};
template <> struct Table<Ebml> {
    static constexpr auto rows = reader::rows<Ebml>(
        child<&Ebml::ebml_version>(), child<&Ebml::ebml_read_version>(),
        child<&Ebml::ebml_max_id_length>(), child<&Ebml::ebml_max_size_length>(),
        child<&Ebml::doc_type>(), child<&Ebml::doc_type_version>(),
        child<&Ebml::doc_type_read_version>());
};

struct Seek : Master<0x4DBB> {
    SeekId seek_id;
    SeekPosition seek_position;
    bool operator==(const Seek &) const = default;
};
template <> struct Table<Seek> {
    static constexpr auto rows =
        reader::rows<Seek>(required<&Seek::seek_id>(), required<&Seek::seek_position>());
};

struct SeekHead : Master<0x114D9B74> {
    std::vector<Seek> seek;
    bool operator==(const SeekHead &) const = default;
};
template <> struct Table<SeekHead> {
    static constexpr auto rows = reader::rows<SeekHead>(child<&SeekHead::seek>());
};

// ---- Info --------------------------------------------------------------------------------

struct ChapterTranslate : Master<0x6924> {
    ChapterTranslateId chapter_translate_id;
    ChapterTranslateCodec chapter_translate_codec;
    std::vector<ChapterTranslateEditionUid> chapter_translate_edition_uid;
    bool operator==(const ChapterTranslate &) const = default;
};
template <> struct Table<ChapterTranslate> {
    static constexpr auto rows = reader::rows<ChapterTranslate>(
        required<&ChapterTranslate::chapter_translate_id>(),
        required<&ChapterTranslate::chapter_translate_codec>(),
        child<&ChapterTranslate::chapter_translate_edition_uid>());
};

struct Info : Master<0x1549A966> {
    std::optional<SegmentUuid> segment_uuid;
    std::optional<SegmentFilename> segment_filename;
    std::optional<PrevUuid> prev_uuid;
    std::optional<PrevFilename> prev_filename;
    std::optional<NextUuid> next_uuid;
    std::optional<NextFilename> next_filename;
    std::vector<SegmentFamily> segment_family;
    std::vector<ChapterTranslate> chapter_translate;
    TimestampScale timestamp_scale;
    std::optional<Duration> duration;
    std::optional<DateUtc> date_utc;
    std::optional<Title> title;
    MuxingApp muxing_app;
    WritingApp writing_app;
    bool operator==(const Info &) const = default;
};
template <> struct Table<Info> {
    static constexpr auto rows = reader::rows<Info>(
        child<&Info::segment_uuid>(), child<&Info::segment_filename>(), child<&Info::prev_uuid>(),
        child<&Info::prev_filename>(), child<&Info::next_uuid>(), child<&Info::next_filename>(),
        child<&Info::segment_family>(), child<&Info::chapter_translate>(),
        child<&Info::timestamp_scale>(), child<&Info::duration>(), child<&Info::date_utc>(),
        child<&Info::title>(), required<&Info::muxing_app>(), required<&Info::writing_app>());
};

// ---- Tracks ------------------------------------------------------------------------------

struct BlockAdditionMapping : Master<0x41E4> {
    std::optional<BlockAddIdValue> block_add_id_value;
    std::optional<BlockAddIdName> block_add_id_name;
    BlockAddIdType block_add_id_type;
    std::optional<BlockAddIdExtraData> block_add_id_extra_data;
    bool operator==(const BlockAdditionMapping &) const = default;
};
template <> struct Table<BlockAdditionMapping> {
    static constexpr auto rows = reader::rows<BlockAdditionMapping>(
        child<&BlockAdditionMapping::block_add_id_value>(),
        child<&BlockAdditionMapping::block_add_id_name>(),
        child<&BlockAdditionMapping::block_add_id_type>(),
        child<&BlockAdditionMapping::block_add_id_extra_data>());
};

struct TrackTranslate : Master<0x6624> {
    TrackTranslateTrackId track_translate_track_id;
    TrackTranslateCodec track_translate_codec;
    std::vector<TrackTranslateEditionUid> track_translate_edition_uid;
    bool operator==(const TrackTranslate &) const = default;
};
template <> struct Table<TrackTranslate> {
    static constexpr auto rows = reader::rows<TrackTranslate>(
        required<&TrackTranslate::track_translate_track_id>(),
        required<&TrackTranslate::track_translate_codec>(),
        child<&TrackTranslate::track_translate_edition_uid>());
};

struct MasteringMetadata : Master<0x55D0> {
    std::optional<PrimaryRChromaticityX> primary_r_chromaticity_x;
    std::optional<PrimaryRChromaticityY> primary_r_chromaticity_y;
    std::optional<PrimaryGChromaticityX> primary_g_chromaticity_x;
    std::optional<PrimaryGChromaticityY> primary_g_chromaticity_y;
    std::optional<PrimaryBChromaticityX> primary_b_chromaticity_x;
    std::optional<PrimaryBChromaticityY> primary_b_chromaticity_y;
    std::optional<WhitePointChromaticityX> white_point_chromaticity_x;
    std::optional<WhitePointChromaticityY> white_point_chromaticity_y;
    std::optional<LuminanceMax> luminance_max;
    std::optional<LuminanceMin> luminance_min;
    bool operator==(const MasteringMetadata &) const = default;
};
template <> struct Table<MasteringMetadata> {
    using M = MasteringMetadata;
    static constexpr auto rows = reader::rows<M>(
        child<&M::primary_r_chromaticity_x>(), child<&M::primary_r_chromaticity_y>(),
        child<&M::primary_g_chromaticity_x>(), child<&M::primary_g_chromaticity_y>(),
        child<&M::primary_b_chromaticity_x>(), child<&M::primary_b_chromaticity_y>(),
        child<&M::white_point_chromaticity_x>(), child<&M::white_point_chromaticity_y>(),
        child<&M::luminance_max>(), child<&M::luminance_min>());
};

struct Colour : Master<0x55B0> {
    MatrixCoefficients matrix_coefficients;
    BitsPerChannel bits_per_channel;
    std::optional<ChromaSubsamplingHorz> chroma_subsampling_horz;
    std::optional<ChromaSubsamplingVert> chroma_subsampling_vert;
    std::optional<CbSubsamplingHorz> cb_subsampling_horz;
    std::optional<CbSubsamplingVert> cb_subsampling_vert;
    ChromaSitingHorz chroma_siting_horz;
    ChromaSitingVert chroma_siting_vert;
    Range range;
    TransferCharacteristics transfer_characteristics;
    Primaries primaries;
    std::optional<MaxCll> max_cll;
    std::optional<MaxFall> max_fall;
    std::optional<MasteringMetadata> mastering_metadata;
    bool operator==(const Colour &) const = default;
};
template <> struct Table<Colour> {
    using M = Colour;
    static constexpr auto rows = reader::rows<M>(
        child<&M::matrix_coefficients>(), child<&M::bits_per_channel>(),
        child<&M::chroma_subsampling_horz>(), child<&M::chroma_subsampling_vert>(),
        child<&M::cb_subsampling_horz>(), child<&M::cb_subsampling_vert>(),
        child<&M::chroma_siting_horz>(), child<&M::chroma_siting_vert>(), child<&M::range>(),
        child<&M::transfer_characteristics>(), child<&M::primaries>(), child<&M::max_cll>(),
        child<&M::max_fall>(), child<&M::mastering_metadata>());
};

struct Projection : Master<0x7670> {
    ProjectionType projection_type;
    std::optional<ProjectionPrivate> projection_private;
    ProjectionPoseYaw projection_pose_yaw;
    ProjectionPosePitch projection_pose_pitch;
    ProjectionPoseRoll projection_pose_roll;
    bool operator==(const Projection &) const = default;
};
template <> struct Table<Projection> {
    using M = Projection;
    static constexpr auto rows = reader::rows<M>(
        child<&M::projection_type>(), child<&M::projection_private>(),
        child<&M::projection_pose_yaw>(), child<&M::projection_pose_pitch>(),
        child<&M::projection_pose_roll>());
};

struct Video : Master<0xE0> {
    FlagInterlaced flag_interlaced;
    FieldOrder field_order;
    StereoMode stereo_mode;
    AlphaMode alpha_mode;
    PixelWidth pixel_width;
    PixelHeight pixel_height;
    PixelCropBottom pixel_crop_bottom;
    PixelCropTop pixel_crop_top;
    PixelCropLeft pixel_crop_left;
    PixelCropRight pixel_crop_right;
    std::optional<DisplayWidth> display_width;
    std::optional<DisplayHeight> display_height;
    DisplayUnit display_unit;
    std::optional<UncompressedFourCc> uncompressed_four_cc;
    std::optional<Colour> colour;
    std::optional<Projection> projection;
    bool operator==(const Video &) const = default;
};
template <> struct Table<Video> {
    using M = Video;
    static constexpr auto rows = reader::rows<M>(
        child<&M::flag_interlaced>(), child<&M::field_order>(), child<&M::stereo_mode>(),
        child<&M::alpha_mode>(), required<&M::pixel_width>(), required<&M::pixel_height>(),
        child<&M::pixel_crop_bottom>(), child<&M::pixel_crop_top>(), child<&M::pixel_crop_left>(),
        child<&M::pixel_crop_right>(), child<&M::display_width>(), child<&M::display_height>(),
        child<&M::display_unit>(), child<&M::uncompressed_four_cc>(), child<&M::colour>(),
        child<&M::projection>());
};

struct Audio : Master<0xE1> {
    SamplingFrequency sampling_frequency;
    std::optional<OutputSamplingFrequency> output_sampling_frequency;
    Channels channels;
    std::optional<BitDepth> bit_depth;
    Emphasis emphasis;
    bool operator==(const Audio &) const = default;
};
template <> struct Table<Audio> {
    static constexpr auto rows = reader::rows<Audio>(
        child<&Audio::sampling_frequency>(), child<&Audio::output_sampling_frequency>(),
        child<&Audio::channels>(), child<&Audio::bit_depth>(), child<&Audio::emphasis>());
};

struct TrackPlane : Master<0xE4> {
    TrackPlaneUid track_plane_uid;
    TrackPlaneType track_plane_type;
    bool operator==(const TrackPlane &) const = default;
};
template <> struct Table<TrackPlane> {
    static constexpr auto rows = reader::rows<TrackPlane>(
        required<&TrackPlane::track_plane_uid>(), required<&TrackPlane::track_plane_type>());
};

struct TrackCombinePlanes : Master<0xE3> {
    std::vector<TrackPlane> track_plane;
    bool operator==(const TrackCombinePlanes &) const = default;
};
template <> struct Table<TrackCombinePlanes> {
    static constexpr auto rows =
        reader::rows<TrackCombinePlanes>(child<&TrackCombinePlanes::track_plane>());
};

struct TrackJoinBlocks : Master<0xE9> {
    std::vector<TrackJoinUid> track_join_uid;
    bool operator==(const TrackJoinBlocks &) const = default;
};
template <> struct Table<TrackJoinBlocks> {
    static constexpr auto rows = reader::rows<TrackJoinBlocks>(child<&TrackJoinBlocks::track_join_uid>());
};

struct TrackOperation : Master<0xE2> {
    std::optional<TrackCombinePlanes> track_combine_planes;
    std::optional<TrackJoinBlocks> track_join_blocks;
    bool operator==(const TrackOperation &) const = default;
};
template <> struct Table<TrackOperation> {
    static constexpr auto rows = reader::rows<TrackOperation>(
        child<&TrackOperation::track_combine_planes>(), child<&TrackOperation::track_join_blocks>());
};

struct ContentCompression : Master<0x5034> {
    ContentCompAlgo content_comp_algo;
    std::optional<ContentCompSettings> content_comp_settings;
    bool operator==(const ContentCompression &) const = default;
};
template <> struct Table<ContentCompression> {
    static constexpr auto rows = reader::rows<ContentCompression>(
        child<&ContentCompression::content_comp_algo>(),
        child<&ContentCompression::content_comp_settings>());
};

struct ContentEncAesSettings : Master<0x47E7> {
    AesSettingsCipherMode aes_settings_cipher_mode;
    bool operator==(const ContentEncAesSettings &) const = default;
};
template <> struct Table<ContentEncAesSettings> {
    static constexpr auto rows = reader::rows<ContentEncAesSettings>(
        required<&ContentEncAesSettings::aes_settings_cipher_mode>());
};

struct ContentEncryption : Master<0x5035> {
    ContentEncAlgo content_enc_algo;
    std::optional<ContentEncKeyId> content_enc_key_id;
    std::optional<ContentEncAesSettings> content_enc_aes_settings;
    bool operator==(const ContentEncryption &) const = default;
};
template <> struct Table<ContentEncryption> {
    static constexpr auto rows = reader::rows<ContentEncryption>(
        child<&ContentEncryption::content_enc_algo>(), child<&ContentEncryption::content_enc_key_id>(),
        child<&ContentEncryption::content_enc_aes_settings>());
};

struct ContentEncoding : Master<0x6240> {
    ContentEncodingOrder content_encoding_order;
    ContentEncodingScope content_encoding_scope;
    ContentEncodingType content_encoding_type;
    std::optional<ContentCompression> content_compression;
    std::optional<ContentEncryption> content_encryption;
    bool operator==(const ContentEncoding &) const = default;
};
template <> struct Table<ContentEncoding> {
    using M = ContentEncoding;
    static constexpr auto rows = reader::rows<M>(
        child<&M::content_encoding_order>(), child<&M::content_encoding_scope>(),
        child<&M::content_encoding_type>(), child<&M::content_compression>(),
        child<&M::content_encryption>());
};

struct ContentEncodings : Master<0x6D80> {
    std::vector<ContentEncoding> content_encoding;
    bool operator==(const ContentEncodings &) const = default;
};
template <> struct Table<ContentEncodings> {
    static constexpr auto rows = reader::rows<ContentEncodings>(child<&ContentEncodings::content_encoding>());
};

struct TrackEntry : Master<0xAE> {
    TrackNumber track_number;
    TrackUid track_uid;
    TrackType track_type;
    FlagEnabled flag_enabled;
    FlagDefault flag_default;
    FlagForced flag_forced;
    std::optional<FlagHearingImpaired> flag_hearing_impaired;
    std::optional<FlagVisualImpaired> flag_visual_impaired;
    std::optional<FlagTextDescriptions> flag_text_descriptions;
    std::optional<FlagOriginal> flag_original;
    std::optional<FlagCommentary> flag_commentary;
    FlagLacing flag_lacing;
    std::optional<DefaultDuration> default_duration;
    std::optional<DefaultDecodedFieldDuration> default_decoded_field_duration;
    MaxBlockAdditionId max_block_addition_id;
    std::vector<BlockAdditionMapping> block_addition_mapping;
    std::optional<Name> name;
    Language language;
    std::optional<LanguageBcp47> language_bcp47;
    CodecId codec_id;
    std::optional<CodecPrivate> codec_private;
    std::optional<CodecName> codec_name;
    CodecDelay codec_delay;
    SeekPreRoll seek_pre_roll;
    std::vector<TrackTranslate> track_translate;
    std::optional<Video> video;
    std::optional<Audio> audio;
    std::optional<TrackOperation> track_operation;
    std::optional<ContentEncodings> content_encodings;
    bool operator==(const TrackEntry &) const = default;
};
template <> struct Table<TrackEntry> {
    using M = TrackEntry;
    static constexpr auto rows = reader::rows<M>(
        required<&M::track_number>(), required<&M::track_uid>(), required<&M::track_type>(),
        child<&M::flag_enabled>(), child<&M::flag_default>(), child<&M::flag_forced>(),
        child<&M::flag_hearing_impaired>(), child<&M::flag_visual_impaired>(),
        child<&M::flag_text_descriptions>(), child<&M::flag_original>(),
        child<&M::flag_commentary>(), child<&M::flag_lacing>(), child<&M::default_duration>(),
        child<&M::default_decoded_field_duration>(), child<&M::max_block_addition_id>(),
        child<&M::block_addition_mapping>(), child<&M::name>(), child<&M::language>(),
        child<&M::language_bcp47>(), required<&M::codec_id>(), child<&M::codec_private>(),
        child<&M::codec_name>(), child<&M::codec_delay>(), child<&M::seek_pre_roll>(),
        child<&M::track_translate>(), child<&M::video>(), child<&M::audio>(),
        child<&M::track_operation>(), child<&M::content_encodings>());
};

struct Tracks : Master<0x1654AE6B> {
    std::vector<TrackEntry> track_entry;
    bool operator==(const Tracks &) const = default;
};
template <> struct Table<Tracks> {
    static constexpr auto rows = reader::rows<Tracks>(child<&Tracks::track_entry>());
};

// ---- Chapters ----------------------------------------------------------------------------

struct EditionDisplay : Master<0x4520> {
    EditionString edition_string;
    std::vector<EditionLanguageIetf> edition_language_ietf;
    bool operator==(const EditionDisplay &) const = default;
};
template <> struct Table<EditionDisplay> {
    static constexpr auto rows = reader::rows<EditionDisplay>(
        required<&EditionDisplay::edition_string>(), child<&EditionDisplay::edition_language_ietf>());
};

struct ChapterTrack : Master<0x8F> {
    std::vector<ChapterTrackUid> chapter_track_uid;
    bool operator==(const ChapterTrack &) const = default;
};
template <> struct Table<ChapterTrack> {
    static constexpr auto rows = reader::rows<ChapterTrack>(child<&ChapterTrack::chapter_track_uid>());
};

struct ChapterDisplay : Master<0x80> {
    ChapString chap_string;
    std::vector<ChapLanguage> chap_language;
    std::vector<ChapLanguageBcp47> chap_language_bcp47;
    std::vector<ChapCountry> chap_country;
    bool operator==(const ChapterDisplay &) const = default;
};
template <> struct Table<ChapterDisplay> {
    static constexpr auto rows = reader::rows<ChapterDisplay>(
        required<&ChapterDisplay::chap_string>(), child<&ChapterDisplay::chap_language>(),
        child<&ChapterDisplay::chap_language_bcp47>(), child<&ChapterDisplay::chap_country>());
};

struct ChapProcessCommand : Master<0x6911> {
    ChapProcessTime chap_process_time;
    ChapProcessData chap_process_data;
    bool operator==(const ChapProcessCommand &) const = default;
};
template <> struct Table<ChapProcessCommand> {
    static constexpr auto rows = reader::rows<ChapProcessCommand>(
        required<&ChapProcessCommand::chap_process_time>(),
        required<&ChapProcessCommand::chap_process_data>());
};

struct ChapProcess : Master<0x6944> {
    ChapProcessCodecId chap_process_codec_id;
    std::optional<ChapProcessPrivate> chap_process_private;
    std::vector<ChapProcessCommand> chap_process_command;
    bool operator==(const ChapProcess &) const = default;
};
template <> struct Table<ChapProcess> {
    static constexpr auto rows = reader::rows<ChapProcess>(
        child<&ChapProcess::chap_process_codec_id>(), child<&ChapProcess::chap_process_private>(),
        child<&ChapProcess::chap_process_command>());
};

struct ChapterAtom : Master<0xB6> {
    ChapterUid chapter_uid;
    std::optional<ChapterStringUid> chapter_string_uid;
    ChapterTimeStart chapter_time_start;
    std::optional<ChapterTimeEnd> chapter_time_end;
    ChapterFlagHidden chapter_flag_hidden;
    ChapterFlagEnabled chapter_flag_enabled;
    std::optional<ChapterSegmentUuid> chapter_segment_uuid;
    std::optional<ChapterSkipType> chapter_skip_type;
    std::optional<ChapterSegmentEditionUid> chapter_segment_edition_uid;
    std::optional<ChapterPhysicalEquiv> chapter_physical_equiv;
    std::optional<ChapterTrack> chapter_track;
    std::vector<ChapterDisplay> chapter_display;
    std::vector<ChapProcess> chap_process;
    std::vector<ChapterAtom> chapter_atom; // nested chapters
    bool operator==(const ChapterAtom &) const = default;
};
template <> struct Table<ChapterAtom> {
    using M = ChapterAtom;
    static constexpr auto rows = reader::rows<M>(
        required<&M::chapter_uid>(), child<&M::chapter_string_uid>(),
        required<&M::chapter_time_start>(), child<&M::chapter_time_end>(),
        child<&M::chapter_flag_hidden>(), child<&M::chapter_flag_enabled>(),
        child<&M::chapter_segment_uuid>(), child<&M::chapter_skip_type>(),
        child<&M::chapter_segment_edition_uid>(), child<&M::chapter_physical_equiv>(),
        child<&M::chapter_track>(), child<&M::chapter_display>(), child<&M::chap_process>(),
        child<&M::chapter_atom>());
};

struct EditionEntry : Master<0x45B9> {
    std::optional<EditionUid> edition_uid;
    EditionFlagHidden edition_flag_hidden;
    EditionFlagDefault edition_flag_default;
    EditionFlagOrdered edition_flag_ordered;
    std::vector<EditionDisplay> edition_display;
    std::vector<ChapterAtom> chapter_atom;
    bool operator==(const EditionEntry &) const = default;
};
template <> struct Table<EditionEntry> {
    using M = EditionEntry;
    static constexpr auto rows = reader::rows<M>(
        child<&M::edition_uid>(), child<&M::edition_flag_hidden>(),
        child<&M::edition_flag_default>(), child<&M::edition_flag_ordered>(),
        child<&M::edition_display>(), child<&M::chapter_atom>());
};

struct Chapters : Master<0x1043A770> {
    std::vector<EditionEntry> edition_entry;
    bool operator==(const Chapters &) const = default;
};
template <> struct Table<Chapters> {
    static constexpr auto rows = reader::rows<Chapters>(child<&Chapters::edition_entry>());
};

// ---- Tags --------------------------------------------------------------------------------

struct Targets : Master<0x63C0> {
    TargetTypeValue target_type_value;
    std::optional<TargetType> target_type;
    std::vector<TagTrackUid> tag_track_uid;
    std::vector<TagEditionUid> tag_edition_uid;
    std::vector<TagChapterUid> tag_chapter_uid;
    std::vector<TagAttachmentUid> tag_attachment_uid;
    bool operator==(const Targets &) const = default;
};
template <> struct Table<Targets> {
    static constexpr auto rows = reader::rows<Targets>(
        child<&Targets::target_type_value>(), child<&Targets::target_type>(),
        child<&Targets::tag_track_uid>(), child<&Targets::tag_edition_uid>(),
        child<&Targets::tag_chapter_uid>(), child<&Targets::tag_attachment_uid>());
};

struct SimpleTag : Master<0x67C8> {
    TagName tag_name;
    TagLanguage tag_language;
    std::optional<TagLanguageBcp47> tag_language_bcp47;
    TagDefault tag_default;
    std::optional<TagString> tag_string;
    std::optional<TagBinary> tag_binary;
    std::vector<SimpleTag> simple_tag; // nested tags
    bool operator==(const SimpleTag &) const = default;
};
template <> struct Table<SimpleTag> {
    static constexpr auto rows = reader::rows<SimpleTag>(
        required<&SimpleTag::tag_name>(), child<&SimpleTag::tag_language>(),
        child<&SimpleTag::tag_language_bcp47>(), child<&SimpleTag::tag_default>(),
        child<&SimpleTag::tag_string>(), child<&SimpleTag::tag_binary>(),
        child<&SimpleTag::simple_tag>());
};

struct Tag : Master<0x7373> {
    Targets targets;
    std::vector<SimpleTag> simple_tag;
    bool operator==(const Tag &) const = default;
};
template <> struct Table<Tag> {
    static constexpr auto rows = reader::rows<Tag>(required<&Tag::targets>(), child<&Tag::simple_tag>());
};

struct Tags : Master<0x1254C367> {
    std::vector<Tag> tag;
    bool operator==(const Tags &) const = default;
};
template <> struct Table<Tags> {
    static constexpr auto rows = reader::rows<Tags>(child<&Tags::tag>());
};

// ---- Cues --------------------------------------------------------------------------------

struct CueReference : Master<0xDB> {
    CueRefTime cue_ref_time;
    bool operator==(const CueReference &) const = default;
};
template <> struct Table<CueReference> {
    static constexpr auto rows = reader::rows<CueReference>(required<&CueReference::cue_ref_time>());
};

struct CueTrackPositions : Master<0xB7> {
    CueTrack cue_track;
    CueClusterPosition cue_cluster_position;
    std::optional<CueRelativePosition> cue_relative_position;
    std::optional<CueDuration> cue_duration;
    std::optional<CueBlockNumber> cue_block_number;
    CueCodecState cue_codec_state;
    std::vector<CueReference> cue_reference;
    bool operator==(const CueTrackPositions &) const = default;
};
template <> struct Table<CueTrackPositions> {
    using M = CueTrackPositions;
    static constexpr auto rows = reader::rows<M>(
        required<&M::cue_track>(), required<&M::cue_cluster_position>(),
        child<&M::cue_relative_position>(), child<&M::cue_duration>(),
        child<&M::cue_block_number>(), child<&M::cue_codec_state>(), child<&M::cue_reference>());
};

struct CuePoint : Master<0xBB> {
    CueTime cue_time;
    std::vector<CueTrackPositions> cue_track_positions;
    bool operator==(const CuePoint &) const = default;
};
template <> struct Table<CuePoint> {
    static constexpr auto rows = reader::rows<CuePoint>(
        required<&CuePoint::cue_time>(), child<&CuePoint::cue_track_positions>());
};

struct Cues : Master<0x1C53BB6B> {
    std::vector<CuePoint> cue_point;
    bool operator==(const Cues &) const = default;
};
template <> struct Table<Cues> {
    static constexpr auto rows = reader::rows<Cues>(child<&Cues::cue_point>());
};

// ---- Attachments -------------------------------------------------------------------------

struct AttachedFile : Master<0x61A7> {
    std::optional<FileDescription> file_description;
    FileName file_name;
    FileMediaType file_media_type;
    FileData file_data;
    FileUid file_uid;
    bool operator==(const AttachedFile &) const = default;
};
template <> struct Table<AttachedFile> {
    using M = AttachedFile;
    static constexpr auto rows = reader::rows<M>(
        child<&M::file_description>(), required<&M::file_name>(), required<&M::file_media_type>(),
        required<&M::file_data>(), required<&M::file_uid>());
};

struct Attachments : Master<0x1941A469> {
    std::vector<AttachedFile> attached_file;
    bool operator==(const Attachments &) const = default;
};
template <> struct Table<Attachments> {
    static constexpr auto rows = reader::rows<Attachments>(child<&Attachments::attached_file>());
};

// The top-level masters are decoded in master.cpp; other units use these instantiations.
extern template Result<Ebml> decode_master<Ebml>(Cursor &, int);
extern template Result<SeekHead> decode_master<SeekHead>(Cursor &, int);
extern template Result<Info> decode_master<Info>(Cursor &, int);
extern template Result<Tracks> decode_master<Tracks>(Cursor &, int);
extern template Result<Chapters> decode_master<Chapters>(Cursor &, int);
extern template Result<Tags> decode_master<Tags>(Cursor &, int);
extern template Result<Cues> decode_master<Cues>(Cursor &, int);
extern template Result<Attachments> decode_master<Attachments>(Cursor &, int);

} // namespace perlane::reader
