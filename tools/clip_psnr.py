# SPDX-License-Identifier: MIT
# How true a lossy clip is to the exact pictures: every frame of CLIP (an
# MP4 or a WebM, decoded by FFmpeg, reduced by area to the canvas's
# 596 x 508) against the picture the exact clip (a lossless animated WebP of
# the same stretch, decoded by Pillow) shows at that frame's time, PSNR in
# RGB, by FFmpeg's psnr filter, two ways (see below).
#   /usr/bin/python3 tools/clip_psnr.py CLIP EXACT.webp [OFFSET_MS]
# OFFSET_MS: where the clip's start falls in the exact clip (default 0), or
# 'find': where its second frame matches an exact picture best.
# Prints the frames compared, the worst and the mean PSNR, and the size.
import bisect
import os
import re
import subprocess
import sys
import tempfile

from PIL import Image, ImageChops, ImageSequence, ImageStat

clip, exact = sys.argv[1:3]
offset = sys.argv[3] if len(sys.argv) > 3 else '0'
with tempfile.TemporaryDirectory() as tmp:
    starts, at = [], 0
    for i, frame in enumerate(ImageSequence.Iterator(Image.open(exact))):
        frame.convert('RGB').save(os.path.join(tmp, f'ref{i:05d}.png'))
        starts.append(at)
        at += frame.info['duration']
    times = subprocess.run(['ffprobe', '-v', 'error', '-select_streams', 'v:0', '-show_entries', 'frame=pts_time',
                            '-of', 'csv=p=0', clip], capture_output=True, text=True, check=True).stdout.replace(',', ' ').split()
    if offset == 'find':
        subprocess.run(['ffmpeg', '-v', 'error', '-i', clip, '-vf', r'select=eq(n\,1),scale=596:508:flags=area',
                        '-frames:v', '1', os.path.join(tmp, 'second.png')], check=True)
        second = Image.open(os.path.join(tmp, 'second.png')).convert('RGB')
        def error(i):
            diff = ImageChops.difference(second, Image.open(os.path.join(tmp, f'ref{i:05d}.png')))
            return sum(v * v for v in ImageStat.Stat(diff).rms)
        offset = starts[min(range(len(starts)), key=error)] - round(float(times[1]) * 1000)
    offset = int(offset)
    for k, t in enumerate(times):  # the exact picture showing at each frame's time
        shows = max(0, bisect.bisect_right(starts, round(float(t) * 1000) + offset) - 1)
        os.symlink(os.path.join(tmp, f'ref{shows:05d}.png'), os.path.join(tmp, f'at{k:05d}.png'))
    # Two ways to the canvas's size: the colour samples as the clip holds
    # them (brightness box-reduced from each 2 x 2 block, colour as it is,
    # one sample a block), and as a player shows them (colour interpolated
    # up to the full size first, then box-reduced), which blends the colour
    # of neighbouring blocks at every colour edge, whatever the bitrate.
    # The colours as the file says they are, else as our MP4s hold them.
    tags = dict(zip(['range', 'matrix'], subprocess.run(
        ['ffprobe', '-v', 'error', '-select_streams', 'v:0', '-show_entries', 'stream=color_range,color_space',
         '-of', 'csv=p=0', clip], capture_output=True, text=True, check=True).stdout.strip().split(',')))
    colours = (f"in_color_matrix={tags.get('matrix') if tags.get('matrix') in ('bt709', 'bt470bg', 'smpte170m') else 'bt709'}"
               f":in_range={'pc' if tags.get('range') == 'pc' else 'tv'}")
    ways = {'as encoded': f'scale=596:508:flags=area,format=yuv444p,scale=flags=neighbor:{colours}',
            'as a player shows it': f'scale=596:508:flags=area:{colours}'}
    found = {}
    for way, reduce in ways.items():
        stats = os.path.join(tmp, 'psnr.log')
        subprocess.run(['ffmpeg', '-v', 'error', '-i', clip, '-framerate', '1', '-i', os.path.join(tmp, 'at%05d.png'),
                        '-lavfi', f'[0:v]{reduce},format=rgb24,setpts=N/TB[a];'
                                  f'[1:v]format=rgb24,setpts=N/TB[b];[a][b]psnr=stats_file={stats}',
                        '-fps_mode', 'passthrough', '-f', 'null', '-'], check=True)
        found[way] = [min(100.0, float(re.search(r'psnr_avg:(\S+)', line).group(1).replace('inf', '100'))) for line in open(stats)]
psnr = found["as encoded"]
print(f'{os.path.basename(clip)}: {len(psnr)} frames, {os.path.getsize(clip) / 1e6:.1f} MB; RGB PSNR ' +
      '; '.join(f'{way}: worst {min(v):.1f} dB, mean {sum(v) / len(v):.1f} dB' for way, v in found.items()))
