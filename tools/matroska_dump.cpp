// matroska-dump: prints what perlane's reader sees in Matroska files, as JSON.
//   matroska-dump [--log] [--stats] [--metadata] FILE...
// --log prints the reader's diagnostics on standard error; --stats adds the bytes and
// system calls the view needed; --metadata reads as the window does (no Cues, Tags or
// attachment bodies). Exit status 1 when any file gave an error.
#include "view.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

using namespace perlane::reader;

namespace {

class Json {
public:
    void open(char bracket) { comma(); out_ += bracket; first_ = true; }
    void close(char bracket) { out_ += bracket; first_ = false; }
    void key(const char *k) { comma(); string(k); out_ += ':'; first_ = true; }
    void value(std::uint64_t v) { comma(); out_ += std::to_string(v); }
    void value(std::int64_t v) { comma(); out_ += std::to_string(v); }
    void value(double v) {
        comma();
        char b[64];
        std::snprintf(b, sizeof b, "%.17g", v);
        out_ += b;
    }
    void value(const std::string &s) { comma(); string(s); }
    void hex(const std::vector<std::uint8_t> &bytes) {
        std::string s;
        char b[3];
        for (auto x : bytes) {
            std::snprintf(b, sizeof b, "%02x", x);
            s += b;
        }
        value(s);
    }
    template <class T> void field(const char *k, const T &leaf) { key(k); put(leaf); }
    template <class T> void field(const char *k, const std::optional<T> &leaf) {
        if (leaf) field(k, *leaf);
    }
    template <class T> void field(const char *k, const std::vector<T> &leaves) {
        key(k);
        open('[');
        for (const auto &l : leaves) put(l);
        close(']');
    }
    std::string &text() { return out_; }

private:
    template <class T> void put(const T &leaf) {
        using V = decltype(leaf.value);
        if constexpr (std::is_same_v<V, std::vector<std::uint8_t>>) hex(leaf.value);
        else value(leaf.value);
    }
    void comma() {
        if (!first_) out_ += ',';
        first_ = false;
    }
    void string(std::string_view s) {
        out_ += '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') { out_ += '\\'; out_ += static_cast<char>(c); }
            else if (c < 0x20) { char b[8]; std::snprintf(b, sizeof b, "\\u%04x", c); out_ += b; }
            else out_ += static_cast<char>(c);
        }
        out_ += '"';
    }
    std::string out_;
    bool first_ = true;
};

void atom(Json &j, const ChapterAtom &a) {
    j.open('{');
    j.field("uid", a.chapter_uid);
    j.field("string_uid", a.chapter_string_uid);
    j.field("start", a.chapter_time_start);
    j.field("end", a.chapter_time_end);
    j.field("hidden", a.chapter_flag_hidden);
    j.field("enabled", a.chapter_flag_enabled);
    j.field("segment_uuid", a.chapter_segment_uuid);
    j.key("displays");
    j.open('[');
    for (const auto &d : a.chapter_display) {
        j.open('{');
        j.field("string", d.chap_string);
        j.field("languages", d.chap_language);
        j.field("languages_bcp47", d.chap_language_bcp47);
        j.field("countries", d.chap_country);
        j.close('}');
    }
    j.close(']');
    j.key("processes");
    j.value(static_cast<std::uint64_t>(a.chap_process.size()));
    j.key("atoms");
    j.open('[');
    for (const auto &inner : a.chapter_atom) atom(j, inner);
    j.close(']');
    j.close('}');
}

void simple_tag(Json &j, const SimpleTag &t) {
    j.open('{');
    j.field("name", t.tag_name);
    j.field("language", t.tag_language);
    j.field("default", t.tag_default);
    j.field("string", t.tag_string);
    j.field("binary", t.tag_binary);
    j.key("tags");
    j.open('[');
    for (const auto &inner : t.simple_tag) simple_tag(j, inner);
    j.close(']');
    j.close('}');
}

void track(Json &j, const TrackEntry &t) {
    j.open('{');
    j.field("number", t.track_number);
    j.field("uid", t.track_uid);
    j.field("type", t.track_type);
    j.field("flag_enabled", t.flag_enabled);
    j.field("flag_default", t.flag_default);
    j.field("flag_forced", t.flag_forced);
    j.field("flag_hearing_impaired", t.flag_hearing_impaired);
    j.field("flag_visual_impaired", t.flag_visual_impaired);
    j.field("flag_text_descriptions", t.flag_text_descriptions);
    j.field("flag_original", t.flag_original);
    j.field("flag_commentary", t.flag_commentary);
    j.field("flag_lacing", t.flag_lacing);
    j.field("default_duration", t.default_duration);
    j.field("default_decoded_field_duration", t.default_decoded_field_duration);
    j.field("max_block_addition_id", t.max_block_addition_id);
    j.key("block_addition_mappings");
    j.value(static_cast<std::uint64_t>(t.block_addition_mapping.size()));
    j.field("name", t.name);
    j.field("language", t.language);
    j.field("language_bcp47", t.language_bcp47);
    j.field("codec_id", t.codec_id);
    if (t.codec_private) {
        j.key("codec_private_size");
        j.value(static_cast<std::uint64_t>(t.codec_private->value.size()));
    }
    j.field("codec_name", t.codec_name);
    j.field("codec_delay", t.codec_delay);
    j.field("seek_pre_roll", t.seek_pre_roll);
    if (t.video) {
        j.key("video");
        j.open('{');
        j.field("pixel_width", t.video->pixel_width);
        j.field("pixel_height", t.video->pixel_height);
        j.field("display_width", t.video->display_width);
        j.field("display_height", t.video->display_height);
        j.field("flag_interlaced", t.video->flag_interlaced);
        j.close('}');
    }
    if (t.audio) {
        j.key("audio");
        j.open('{');
        j.field("sampling_frequency", t.audio->sampling_frequency);
        j.field("channels", t.audio->channels);
        j.field("bit_depth", t.audio->bit_depth);
        j.close('}');
    }
    if (t.content_encodings) {
        j.key("content_encodings");
        j.value(static_cast<std::uint64_t>(t.content_encodings->content_encoding.size()));
    }
    j.close('}');
}

void segment(Json &j, const SegmentView &s) {
    j.open('{');
    j.key("data_start");
    j.value(s.data_start);
    j.key("first_cluster_position");
    j.value(s.first_cluster_position);
    j.key("seek_heads");
    j.value(static_cast<std::uint64_t>(s.seek_head.size()));
    const Info &i = s.info;
    j.key("info");
    j.open('{');
    j.field("segment_uuid", i.segment_uuid);
    j.field("segment_filename", i.segment_filename);
    j.field("prev_uuid", i.prev_uuid);
    j.field("next_uuid", i.next_uuid);
    j.field("timestamp_scale", i.timestamp_scale);
    j.field("duration", i.duration);
    j.field("date_utc", i.date_utc);
    j.field("title", i.title);
    j.field("muxing_app", i.muxing_app);
    j.field("writing_app", i.writing_app);
    j.close('}');
    j.key("tracks");
    j.open('[');
    if (s.tracks)
        for (const auto &t : s.tracks->track_entry) track(j, t);
    j.close(']');
    j.key("editions");
    j.open('[');
    if (s.chapters)
        for (const auto &e : s.chapters->edition_entry) {
            j.open('{');
            j.field("uid", e.edition_uid);
            j.field("hidden", e.edition_flag_hidden);
            j.field("default", e.edition_flag_default);
            j.field("ordered", e.edition_flag_ordered);
            j.key("displays");
            j.open('[');
            for (const auto &d : e.edition_display) j.value(d.edition_string.value);
            j.close(']');
            j.key("atoms");
            j.open('[');
            for (const auto &a : e.chapter_atom) atom(j, a);
            j.close(']');
            j.close('}');
        }
    j.close(']');
    j.key("tags");
    j.open('[');
    for (const auto &tags : s.tags)
        for (const auto &tag : tags.tag) {
            j.open('{');
            j.field("target_type_value", tag.targets.target_type_value);
            j.field("target_type", tag.targets.target_type);
            j.field("track_uids", tag.targets.tag_track_uid);
            j.key("simple");
            j.open('[');
            for (const auto &st : tag.simple_tag) simple_tag(j, st);
            j.close(']');
            j.close('}');
        }
    j.close(']');
    j.key("cue_points");
    if (s.cues) j.value(static_cast<std::uint64_t>(s.cues->cue_point.size()));
    else j.value(std::string("absent"));
    j.key("attachments");
    j.open('[');
    if (s.attachments)
        for (const auto &a : s.attachments->attached_file) {
            j.open('{');
            j.field("name", a.file_name);
            j.field("media_type", a.file_media_type);
            j.field("description", a.file_description);
            j.field("uid", a.file_uid);
            j.key("size");
            j.value(static_cast<std::uint64_t>(a.file_data.value.size()));
            j.close('}');
        }
    j.close(']');
    j.close('}');
}

} // namespace

int main(int argc, char **argv) {
    bool stats = false;
    ReadMode mode = ReadMode::Everything; // --metadata: what the window reads
    int status = 0;
    std::vector<const char *> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0) {
            log::set_sink([](log::Level level, std::string_view target, std::string_view m) {
                std::fprintf(stderr, "%s %.*s: %.*s\n", level == log::Level::Info ? "INFO" : "WARN",
                             static_cast<int>(target.size()), target.data(), static_cast<int>(m.size()),
                             m.data());
            });
        } else if (std::strcmp(argv[i], "--stats") == 0) {
            stats = true;
        } else if (std::strcmp(argv[i], "--metadata") == 0) {
            mode = ReadMode::Metadata;
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: matroska-dump [--log] [--stats] [--metadata] FILE...\n");
        return 2;
    }
    Json j;
    j.open('[');
    for (const char *path : paths) {
        j.open('{');
        j.key("file");
        j.value(std::string(path));
        auto file = File::open(path);
        auto view = file ? MatroskaView::read_from(*file, mode) : std::unexpected(file.error());
        if (!view) {
            status = 1;
            j.key("error");
            j.value(view.error().message());
        } else {
            const Ebml &e = view->ebml;
            j.key("ebml");
            j.open('{');
            j.field("version", e.ebml_version);
            j.field("read_version", e.ebml_read_version);
            j.field("max_id_length", e.ebml_max_id_length);
            j.field("max_size_length", e.ebml_max_size_length);
            j.field("doc_type", e.doc_type);
            j.field("doc_type_version", e.doc_type_version);
            j.field("doc_type_read_version", e.doc_type_read_version);
            j.close('}');
            j.key("segments");
            j.open('[');
            for (const auto &s : view->segments) segment(j, s);
            j.close(']');
        }
        if (stats && file) {
            j.key("io");
            j.open('{');
            j.key("bytes_read");
            j.value(file->stats().bytes_read);
            j.key("reads");
            j.value(file->stats().reads);
            j.key("seeks");
            j.value(file->stats().seeks);
            j.close('}');
        }
        j.close('}');
    }
    j.close(']');
    j.text() += '\n';
    std::fwrite(j.text().data(), 1, j.text().size(), stdout);
    return status;
}
