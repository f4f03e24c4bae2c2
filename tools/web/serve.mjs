// SPDX-License-Identifier: MIT
// A static file server for the web edition: the files of one folder (and
// optionally more folders under URL prefixes), each with its MIME type,
// .wasm as application/wasm. Loopback only.
//   node tools/web/serve.mjs DIR [PORT] [PREFIX=DIR]...
// Port 0 picks a free one; the port is printed on the first line.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8', '.wasm': 'application/wasm', '.png': 'image/png', '.json': 'application/json',
  '.md': 'text/plain; charset=utf-8', '.gz': 'application/gzip',
  '.txt': 'text/plain; charset=utf-8', '.webmanifest': 'application/manifest+json',
};

export function serve(roots, port = 0) {
  // roots: [[urlPrefix, folder]], the longest prefix first
  const sorted = [...roots].sort((a, b) => b[0].length - a[0].length);
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://localhost');
    let pathname;
    try {
      pathname = decodeURIComponent(url.pathname);
    } catch {
      res.writeHead(400).end();
      return;
    }
    const root = sorted.find(([prefix]) => pathname.startsWith(prefix));
    if (!root || (req.method !== 'GET' && req.method !== 'HEAD')) {
      res.writeHead(root ? 405 : 404).end();
      return;
    }
    const [prefix, folder] = root;
    let rel = pathname.slice(prefix.length);
    if (rel === '' || rel.endsWith('/')) rel += 'index.html';
    const file = path.resolve(folder, '.' + path.posix.normalize('/' + rel));
    if (!file.startsWith(path.resolve(folder) + path.sep)) { // no way out of the folder
      res.writeHead(403).end();
      return;
    }
    fs.readFile(file, (err, data) => {
      if (err) {
        res.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      res.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
        'Cache-Control': 'no-cache',
      });
      res.end(req.method === 'HEAD' ? undefined : data);
    });
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [dir, port = '8000', ...more] = process.argv.slice(2);
  if (!dir) {
    console.error('usage: node serve.mjs DIR [PORT] [PREFIX=DIR]...');
    process.exit(2);
  }
  const roots = [['/', dir], ...more.map((m) => { const i = m.indexOf('='); return [m.slice(0, i), m.slice(i + 1)]; })];
  const server = await serve(roots, Number(port));
  console.log(`serving ${dir} on http://127.0.0.1:${server.address().port}/`);
}
