#!/bin/sh
# Makes the real Matroska files the tests read, with mkvmerge, mkvpropedit and ffmpeg.
# Usage: make_media.sh OUTDIR
set -eu
out="$1"
rm -rf "$out"
mkdir -p "$out"
cd "$out"
ff="ffmpeg -hide_banner -loglevel error -y"

# Three minutes of tiny black video and silence: small, quick, long enough for 90 s chapters.
$ff -f lavfi -i color=c=black:s=32x32:r=1:d=180 -f lavfi -i anullsrc=r=8000:cl=mono -t 180 \
    -c:v mpeg4 -c:a pcm_s16le -map 0 -map 1 src.mkv
$ff -f lavfi -i anullsrc=r=8000:cl=mono -t 180 -c:a pcm_s16le -f wav second_audio.wav

cat > chapters.txt <<'TXT'
CHAPTER01=00:00:00.000
CHAPTER01NAME=Intro
CHAPTER02=00:00:10.000
CHAPTER02NAME=Opening
CHAPTER03=00:01:40.000
CHAPTER03NAME=Episode
TXT
cat > tags.xml <<'TXT'
<?xml version="1.0" encoding="UTF-8"?>
<Tags><Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>
<Simple><Name>COMMENT</Name><String>made for tests</String>
<Simple><Name>NESTED</Name><String>inner</String></Simple></Simple></Tag></Tags>
TXT
printf 'not really a font\n' > font.ttf

# The full-featured file: titled, named tracks, chapters, tags, an attachment, Cues at the end.
mkvmerge -q -o full.mkv --title "Episode 1" \
    --track-name 0:Picture --language 0:und --track-name 1:Stereo --language 1:jpn --default-track-flag 1:0 \
    src.mkv --track-name 0:Commentary --language 0:eng second_audio.wav \
    --chapters chapters.txt --global-tags tags.xml --attach-file font.ttf

# The same file after an edit that makes Tracks outgrow its place: mkvpropedit moves it
# behind the Clusters and points the seek index at it.
cp full.mkv grown.mkv
long=$(printf 'x%.0s' $(seq 1 6000))
mkvpropedit -q grown.mkv --edit track:1 --set "name=$long"

# Untitled, no chapters, a timestamp scale of 100000.
mkvmerge -q -o scale.mkv --timestamp-scale 100000 src.mkv --chapters chapters.txt

# Written by ffmpeg, by ffmpeg to a pipe (unknown-size segment), and as WebM.
$ff -i src.mkv -c copy -metadata title="From ffmpeg" ffmpeg.mkv
$ff -i src.mkv -c copy -f matroska - | cat > live.mkv
$ff -f lavfi -i color=c=black:s=32x32:r=1:d=3 -c:v libvpx -b:v 10k webm.webm

# Two editions (the second ordered), an atom without display, nested atoms, two display
# languages, explicit ends and chosen UIDs.
cat > editions.xml <<'TXT'
<?xml version="1.0" encoding="UTF-8"?>
<Chapters>
  <EditionEntry>
    <EditionUID>1001</EditionUID>
    <ChapterAtom><ChapterUID>100000</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterTimeEnd>00:00:10.000</ChapterTimeEnd>
      <ChapterDisplay><ChapterString>Cold open</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>
    <ChapterAtom><ChapterUID>90000</ChapterUID><ChapterTimeStart>00:00:10.000</ChapterTimeStart><ChapterTimeEnd>00:05:10.000</ChapterTimeEnd>
      <ChapterDisplay><ChapterString>Main</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>
    <ChapterAtom><ChapterUID>5</ChapterUID><ChapterTimeStart>00:05:10.000</ChapterTimeStart></ChapterAtom>
    <ChapterAtom><ChapterUID>300000</ChapterUID><ChapterTimeStart>00:05:10.000</ChapterTimeStart><ChapterTimeEnd>00:06:30.000</ChapterTimeEnd>
      <ChapterDisplay><ChapterString>Short</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>
  </EditionEntry>
  <EditionEntry>
    <EditionUID>1002</EditionUID>
    <EditionFlagOrdered>1</EditionFlagOrdered>
    <ChapterAtom><ChapterUID>7</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterTimeEnd>00:03:00.000</ChapterTimeEnd>
      <ChapterDisplay><ChapterString>Teil eins</ChapterString><ChapterLanguage>ger</ChapterLanguage></ChapterDisplay>
      <ChapterDisplay><ChapterString>Part one</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay>
      <ChapterAtom><ChapterUID>8</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart><ChapterTimeEnd>00:01:00.000</ChapterTimeEnd>
        <ChapterDisplay><ChapterString>Inner</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>
    </ChapterAtom>
    <ChapterAtom><ChapterUID>190000</ChapterUID><ChapterTimeStart>00:03:00.000</ChapterTimeStart><ChapterTimeEnd>00:06:00.000</ChapterTimeEnd>
      <ChapterDisplay><ChapterString>Part two</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>
  </EditionEntry>
</Chapters>
TXT
mkvmerge -q -o editions.mkv --title "Editions" src.mkv --chapters editions.xml

# Another file with the same title as full.mkv, with its own track names.
mkvmerge -q -o same_title.mkv --title "Episode 1" --track-name 0:Other --track-name 1:Dub src.mkv

# Fonts as attachments, before the clusters as mkvmerge puts them: 2 MB a save must never copy.
head -c 2000000 /dev/urandom > big_font.ttf
mkvmerge -q -o fonts.mkv --title "Fonts" src.mkv --chapters chapters.txt \
    --attachment-mime-type font/ttf --attach-file big_font.ttf
rm -f big_font.ttf

# 5,000 chapters.
awk 'BEGIN {
  print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Chapters><EditionEntry>"
  for (i = 0; i < 5000; i++) {
    ms = i * 36; printf "<ChapterAtom><ChapterTimeStart>00:%02d:%02d.%03d</ChapterTimeStart>", int(ms / 60000), int(ms / 1000) % 60, ms % 1000
    printf "<ChapterDisplay><ChapterString>Chapter %d</ChapterString><ChapterLanguage>eng</ChapterLanguage></ChapterDisplay></ChapterAtom>\n", i + 1
  }
  print "</EditionEntry></Chapters>" }' > many.xml
mkvmerge -q -o many.mkv --title "Many" src.mkv --chapters many.xml
rm -f many.xml

# A season whose episodes differ: s01e02 has no English dub, s01e03 an extra commentary and
# two subtitle tracks with the same name, s01e04 its tracks in another order and an SDH track.
printf '1\n00:00:01,000 --> 00:00:02,000\nHello\n' > subs.srt
mkvmerge -q -o s01e01.mkv --title "Episode 1" -A src.mkv \
    --track-name "0:Japanese" --language 0:jpn --default-track-flag 0:0 second_audio.wav \
    --track-name "0:English dub" --language 0:eng --default-track-flag 0:1 second_audio.wav \
    --track-name "0:Signs & Songs" --language 0:eng --default-track-flag 0:1 subs.srt \
    --track-name "0:Full Subtitles" --language 0:eng --default-track-flag 0:0 subs.srt
mkvmerge -q -o s01e02.mkv --title "Episode 2" -A src.mkv \
    --track-name "0:Japanese" --language 0:jpn --default-track-flag 0:1 second_audio.wav \
    --track-name "0:Signs & Songs" --language 0:eng --default-track-flag 0:1 subs.srt \
    --track-name "0:Full Subtitles" --language 0:eng --default-track-flag 0:0 subs.srt
mkvmerge -q -o s01e03.mkv --title "Episode 3" -A src.mkv \
    --track-name "0:Japanese" --language 0:jpn --default-track-flag 0:0 second_audio.wav \
    --track-name "0:English dub" --language 0:eng --default-track-flag 0:1 second_audio.wav \
    --track-name "0:Director's Commentary" --language 0:eng --default-track-flag 0:0 second_audio.wav \
    --track-name "0:Signs & Songs" --language 0:eng --default-track-flag 0:1 subs.srt \
    --track-name "0:Full Subtitles" --language 0:eng --default-track-flag 0:0 subs.srt \
    --track-name "0:Full Subtitles" --language 0:eng --default-track-flag 0:0 subs.srt
mkvmerge -q -o s01e04.mkv --title "Episode 4" \
    --track-name "0:English dub" --language 0:eng --default-track-flag 0:1 second_audio.wav \
    --track-name "0:Full Subtitles" --language 0:eng --default-track-flag 0:0 subs.srt \
    --track-name "0:Japanese" --language 0:jpn --default-track-flag 0:0 second_audio.wav \
    -A src.mkv \
    --track-name "0:Signs & Songs" --language 0:eng --default-track-flag 0:1 subs.srt \
    --track-name "0:English SDH" --language 0:eng --default-track-flag 0:0 subs.srt
rm -f subs.srt

# Two more episodes for chapter templates: one whose chapters line up with full.mkv's
# (each within a second), one whose second chapter runs 5 s longer.
printf 'CHAPTER01=00:00:00.000\nCHAPTER01NAME=A\nCHAPTER02=00:00:11.000\nCHAPTER02NAME=B\nCHAPTER03=00:01:41.000\nCHAPTER03NAME=C\n' > close.txt
printf 'CHAPTER01=00:00:00.000\nCHAPTER01NAME=A\nCHAPTER02=00:00:10.000\nCHAPTER02NAME=B\nCHAPTER03=00:01:45.000\nCHAPTER03NAME=C\n' > odd.txt
mkvmerge -q -o close.mkv --title "Close" src.mkv --chapters close.txt
mkvmerge -q -o odd.mkv --title "Odd" src.mkv --chapters odd.txt
rm -f close.txt odd.txt

# Two segments in one file.
cat full.mkv ffmpeg.mkv > two.mkv
rm -f src.mkv second_audio.wav
