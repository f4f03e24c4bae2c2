# SPDX-License-Identifier: MIT
# A clip checked with decoders that are not ours (Pillow, webpmux, ffprobe
# and ffmpeg) against the pictures it should hold: REFDIR holds them as
# 00000.png, 00001.png, ... and frames.txt, one "from until colours" line
# each (milliseconds from the clip's start, the number of colours).
#   python3 clip_check.py webp|gif|mp4 CLIP REFDIR
# Prints one line; exit status 1 with the first difference. An MP4 is
# compared in RGB at the surface's size, every frame (see there).
import math
import os
import re
import subprocess
import sys
import tempfile

from PIL import Image, ImageSequence

kind, clip, refdir = sys.argv[1:4]
ref = [tuple(int(v) for v in line.split()) for line in open(os.path.join(refdir, 'frames.txt'))]
total = ref[-1][1]


def fail(why):
    print(f'FAIL {kind}: {why}')
    sys.exit(1)


def picture(i):
    return Image.open(os.path.join(refdir, f'{i:05d}.png')).convert('RGB').tobytes()


if kind == 'webp':
    im = Image.open(clip)
    if im.n_frames != len(ref):
        fail(f'{im.n_frames} frames, not {len(ref)}')
    for i, frame in enumerate(ImageSequence.Iterator(im)):
        if frame.convert('RGB').tobytes() != picture(i):
            fail(f'frame {i} differs from the renderer\'s')
    info = subprocess.run(['webpmux', '-info', clip], capture_output=True, text=True, check=True).stdout
    durations = [int(m.group(1)) for m in re.finditer(r'^\s*\d+:(?:\s+\S+){5}\s+(\d+)', info, re.M)]
    want = [until - start for start, until, _ in ref]
    if durations != want:
        fail(f'durations {durations[:8]}..., not {want[:8]}...')
    print(f'webp: {len(ref)} frames, each the renderer\'s pixels for its own time ({total} ms)')

elif kind == 'gif':
    im = Image.open(clip)
    at, exact = 0, 0
    for i, frame in enumerate(ImageSequence.Iterator(im)):
        duration = frame.info.get('duration', 0)
        if duration < 20:
            fail(f'frame {i} lasts {duration} ms: faster than 50 a second')
        shows = next(k for k, (start, until, _) in enumerate(ref) if start <= at < until)
        if ref[shows][2] <= 256:
            if frame.convert('RGB').tobytes() != picture(shows):
                fail(f'frame {i} at {at} ms differs from the renderer\'s, which has {ref[shows][2]} colours')
            exact += 1
        at += duration
    if at != math.ceil(total / 20) * 20:
        fail(f'{at} ms long, not {total} ms on the 20 ms grid')
    print(f'gif: {im.n_frames} frames at most 50 a second, {exact} of them with 256 colours or fewer, all exact ({at} ms)')

elif kind == 'mp4':
    probe = subprocess.run(['ffprobe', '-v', 'error', '-count_frames', '-select_streams', 'v:0', '-show_entries',
                            'stream=codec_name,width,height,pix_fmt,nb_read_frames:format=duration', '-of', 'default=nw=1',
                            clip], capture_output=True, text=True, check=True).stdout
    facts = dict(line.split('=', 1) for line in probe.split())
    if (facts['codec_name'], facts['width'], facts['height'], facts['pix_fmt']) != ('h264', '1192', '1016', 'yuv420p'):
        fail(f'stream {facts}')
    if abs(float(facts['duration']) * 1000 - math.ceil(total / 20) * 20) > 2:
        fail(f'{facts["duration"]} s long, not {total} ms on the 20 ms grid')
    times = [round(float(t) * 1000) for t in subprocess.run(
        ['ffprobe', '-v', 'error', '-select_streams', 'v:0', '-show_entries', 'frame=pts_time', '-of', 'csv=p=0', clip],
        capture_output=True, text=True, check=True).stdout.replace(',', ' ').split()]
    if any(t % 20 for t in times) or len(times) != len(set(times)):
        fail('frames off the 50-a-second grid')
    with tempfile.TemporaryDirectory() as tmp:
        for k, t in enumerate(times):  # the picture showing at each frame's time
            shows = next(i for i, (start, until, _) in enumerate(ref) if start <= t < until)
            os.symlink(os.path.abspath(os.path.join(refdir, f'{shows:05d}.png')), os.path.join(tmp, f'{k:05d}.png'))
        stats = os.path.join(tmp, 'psnr.log')
        subprocess.run(['ffmpeg', '-v', 'error', '-i', clip, '-framerate', '1', '-i', os.path.join(tmp, '%05d.png'),
                        # At the surface's size as the clip holds it: brightness averaged over each 2 x 2
                        # block, its one colour sample as it is; compared in RGB.
                        '-lavfi', '[0:v]scale=596:508:flags=area,format=yuv444p,'
                                  'scale=flags=neighbor:in_color_matrix=bt709:in_range=tv,format=rgb24,setpts=N/TB[a];'
                                  f'[1:v]format=rgb24,setpts=N/TB[b];[a][b]psnr=stats_file={stats}',
                        '-fps_mode', 'passthrough', '-f', 'null', '-'], check=True)
        psnr = [min(100.0, float(re.search(r'psnr_avg:(\S+)', line).group(1).replace('inf', '100'))) for line in open(stats)]
    if len(psnr) != len(times):
        fail(f'{len(psnr)} frames compared, not {len(times)}')
    if min(psnr) < 35:
        fail(f'frame {psnr.index(min(psnr))} reaches {min(psnr):.1f} dB in RGB, under 35 dB')
    print(f'mp4: {len(times)} frames of 1192 x 1016 at most 50 a second, {total} ms; at the surface\'s size in RGB '
          f'every frame within {min(psnr):.1f} dB of the exact one (mean {sum(psnr) / len(psnr):.1f} dB)')
else:
    fail('a kind of clip this check does not know')
