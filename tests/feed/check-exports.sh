#!/bin/sh
# The shared library exports exactly the functions of the public header, by name, and nothing
# else. Usage: check-exports.sh LIBFEED
set -eu
expected="FeedAddAudioSource FeedAddVideoSource FeedAddVideoSourceEx FeedClearSources FeedCreate
FeedDestroy FeedGetDuration FeedGetEndReason FeedGetErrorCode FeedGetErrorText FeedGetPosition
FeedGetSourceOutcome FeedGetSourceTimes FeedGetState FeedGetVersion FeedPause FeedRemoveSource FeedSetAudioCallback FeedSetAudioChannels FeedSetAudioFade
FeedSetAudioSampleRate FeedSetClipMode FeedSetFrameRate FeedSetSourceTimes FeedSetSyncEnabled
FeedSetVideoCallback FeedSetVideoFade FeedSetVideoSize FeedStart FeedStop
FeedReaderOpen FeedReaderDestroy FeedReaderGetErrorCode FeedReaderGetErrorText
FeedReaderGetMediaInfo FeedReaderGetStreamInfo FeedReaderSetVideoOutput FeedReaderReadFrames
FeedReaderReadFramesAt FeedReaderSetAudioOutput FeedReaderReadAudio"

actual=$(nm -D --defined-only "$1" | awk '$2 == "T" { sub(/@.*/, "", $3); print $3 }' | sort)
wanted=$(echo "$expected" | tr ' ' '\n' | sed '/^$/d' | sort)
if [ "$actual" != "$wanted" ]; then
    scratch=$(mktemp -d)
    printf '%s\n' "$wanted" > "$scratch/wanted"
    printf '%s\n' "$actual" > "$scratch/actual"
    echo "missing from the library: $(comm -23 "$scratch/wanted" "$scratch/actual" | tr '\n' ' ')"
    echo "exported but not in the header: $(comm -13 "$scratch/wanted" "$scratch/actual" | tr '\n' ' ')"
    rm -rf "$scratch"
    exit 1
fi
echo "$(echo "$actual" | wc -l) exports, as in the header"
