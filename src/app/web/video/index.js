// SPDX-License-Identifier: MIT
// What Save Clip uses of Mediabunny (a WebM muxer over the browser's
// WebCodecs encoders): bundled by esbuild into the page's global TambrelVideo.
export { BufferTarget, Output, Quality, VideoSample, VideoSampleSource, WebMOutputFormat, canEncodeVideo } from 'mediabunny';
