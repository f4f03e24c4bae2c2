# SPDX-License-Identifier: MIT
# How true a lossy clip is to the exact pictures: every frame of CLIP (an
# MP4 or a WebM, decoded by FFmpeg, reduced by area to the canvas's
# 596 x 508) against the picture the exact clip (a lossless animated WebP of
# the same stretch, decoded by Pillow) shows at that frame's time, PSNR in
# RGB, by FFmpeg's psnr filter, two ways (see below).
#   /usr/bin/python3 tools/clip_psnr.py CLIP EXACT.webp
# Prints the frames compared, the worst and the mean PSNR, and the size.
import bisect
import os
import re
import subprocess
import sys
import tempfile

from PIL import Image, ImageSequence

clip, exact = sys.argv[1:3]
with tempfile.TemporaryDirectory() as tmp:
    starts, at = [], 0
    for i, frame in enumerate(ImageSequence.Iterator(Image.open(exact))):
        frame.convert('RGB').save(os.path.join(tmp, f'ref{i:05d}.png'))
        starts.append(at)
        at += frame.info['duration']
    times = subprocess.run(['ffprobe', '-v', 'error', '-select_streams', 'v:0', '-show_entries', 'frame=pts_time',
                            '-of', 'csv=p=0', clip], capture_output=True, text=True, check=True).stdout.replace(',', ' ').split()
    for k, t in enumerate(times):  # the exact picture showing at each frame's time
        shows = max(0, bisect.bisect_right(starts, round(float(t) * 1000)) - 1)
        os.symlink(os.path.join(tmp, f'ref{shows:05d}.png'), os.path.join(tmp, f'at{k:05d}.png'))
    # Two ways to the canvas's size: the colour samples as the clip holds
    # them (brightness box-reduced from each 2 x 2 block, colour as it is,
    # one sample a block), and as a player shows them (colour interpolated
    # up to the full size first, then box-reduced), which blends the colour
    # of neighbouring blocks at every colour edge, whatever the bitrate.
    ways = {'as encoded': 'scale=596:508:flags=area,format=yuv444p,scale=flags=neighbor:in_color_matrix=bt709:in_range=tv',
            'as a player shows it': 'scale=596:508:flags=area:in_color_matrix=bt709:in_range=tv'}
    found = {}
    for way, reduce in ways.items():
        stats = os.path.join(tmp, 'psnr.log')
        subprocess.run(['ffmpeg', '-v', 'error', '-i', clip, '-framerate', '1', '-i', os.path.join(tmp, 'at%05d.png'),
                        '-lavfi', f'[0:v]{reduce},format=rgb24,setpts=N/TB[a];'
                                  f'[1:v]format=rgb24,setpts=N/TB[b];[a][b]psnr=stats_file={stats}',
                        '-fps_mode', 'passthrough', '-f', 'null', '-'], check=True)
        found[way] = [min(100.0, float(re.search(r'psnr_avg:(\S+)', line).group(1).replace('inf', '100'))) for line in open(stats)]
psnr = found['as encoded']
print(f'{os.path.basename(clip)}: {len(psnr)} frames, {os.path.getsize(clip) / 1e6:.1f} MB; RGB PSNR ' +
      '; '.join(f'{way}: worst {min(v):.1f} dB, mean {sum(v) / len(v):.1f} dB' for way, v in found.items()))
