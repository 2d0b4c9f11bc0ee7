#!/usr/bin/env bash
# Makes the media of the 1080p60 join measured by feed_timing (bench/README.md): two 12 s
# H.264 clips, 1920x1080 at 60 fps with a keyframe every 5 s (a long GOP), and AAC stereo.
# Into $MEDIA (default /tmp/timingmedia); files already there are kept.
set -euo pipefail
M=${MEDIA:-/tmp/timingmedia}
mkdir -p "$M"
make_clip() {  # NAME GRAPH FREQUENCY
    [[ -s $M/$1 ]] && return
    ffmpeg -hide_banner -loglevel error -nostdin -y \
        -f lavfi -i "$2" \
        -f lavfi -i "sine=frequency=$3:sample_rate=48000" -t 12 \
        -c:v libx264 -preset veryfast -g 300 -keyint_min 300 -sc_threshold 0 -bf 2 \
        -c:a aac -ac 2 "$M/$1.part.mp4"
    mv "$M/$1.part.mp4" "$M/$1"
}
make_clip D.mp4 "testsrc2=size=1920x1080:rate=60,format=yuv420p" 440
make_clip E.mp4 "testsrc2=size=1920x1080:rate=60,hue=h=120,format=yuv420p" 660
