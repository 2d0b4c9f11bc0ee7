#!/usr/bin/env python3
"""Job R's video through the feed package against ffmpeg's own graph (peers.sh ff_R_trim, the
scale filter at its default, bicubic), frame by frame: PSNR of the B, G and R bytes.

    PYTHONPATH=build/python/package bench/pixels/compare-with-ffmpeg.py [MEDIA_DIR]

MEDIA_DIR defaults to $MEDIA or /tmp/benchmedia (../shared/bench/make-media.sh makes it).
Prints the mean, the lowest and the 1st percentile PSNR over the 1000 frames, in dB, for the
whole job and for each of its two spans. Frames are streamed from ffmpeg, nothing is stored.
"""
import math
import os
import subprocess
import sys

import numpy as np

import feed

WIDTH, HEIGHT = 640, 360
FRAME_BYTES = WIDTH * HEIGHT * 4
VSEG = os.environ.get("VSEG", "setpts=PTS-STARTPTS,fps=25,scale=640:360:in_color_matrix=bt709,setsar=1,format=bgra")
GRAPH = (f"[0:v]trim=start=0:end=20,{VSEG}[v0];[1:v]trim=start=5:end=25,{VSEG}[v1];"
         "[v0][v1]concat=n=2:v=1:a=0,fade=t=in:st=0:d=1,fade=t=out:st=39:d=1[v]")


def psnr(ours, theirs):
    diff = ours[:, :, :3].astype(np.int32) - theirs[:, :, :3].astype(np.int32)
    mse = float(np.mean(diff * diff))
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


def main():
    media = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("MEDIA", "/tmp/benchmedia")
    ffmpeg = subprocess.Popen(
        ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-i", f"{media}/A.mp4",
         "-i", f"{media}/B.mp4", "-filter_complex", GRAPH, "-map", "[v]", "-f", "rawvideo",
         "-"], stdout=subprocess.PIPE)
    values = []
    with feed.Feed(size=(WIDTH, HEIGHT), fps=25) as f:
        f.add_video(f"{media}/A.mp4", 0, 20000)
        f.add_video(f"{media}/B.mp4", 5000, 25000)
        f.video_fade(fade_in_ms=1000, fade_out_ms=1000, colour=0x000000)
        for item in f.play():
            if not isinstance(item, feed.VideoFrame):
                continue
            raw = ffmpeg.stdout.read(FRAME_BYTES)
            if len(raw) < FRAME_BYTES:
                break
            theirs = np.frombuffer(raw, np.uint8).reshape(HEIGHT, WIDTH, 4)
            values.append(psnr(item.array, theirs))
    ffmpeg.stdout.close()
    ffmpeg.wait()
    # The fades differ in their own rounding: compare the frames outside them.
    for name, part in (("all", values[25:975]), ("A.mp4", values[25:500]),
                       ("B.mp4", values[500:975])):
        ordered = sorted(part)
        print(f"{name}: frames={len(part)} mean_psnr_db={sum(part) / len(part):.2f} "
              f"min={ordered[0]:.2f} p1={ordered[len(ordered) // 100]:.2f}")
    return 0 if len(values) == 1000 else 1


if __name__ == "__main__":
    sys.exit(main())
