#include "master.h"

namespace perlane::reader {

template Result<Ebml> decode_master<Ebml>(Cursor &, int);
template Result<SeekHead> decode_master<SeekHead>(Cursor &, int);
template Result<Info> decode_master<Info>(Cursor &, int);
template Result<Tracks> decode_master<Tracks>(Cursor &, int);
template Result<Chapters> decode_master<Chapters>(Cursor &, int);
template Result<Tags> decode_master<Tags>(Cursor &, int);
template Result<Cues> decode_master<Cues>(Cursor &, int);
template Result<Attachments> decode_master<Attachments>(Cursor &, int);

} // namespace perlane::reader
