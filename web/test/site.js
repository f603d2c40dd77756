// The page as it is served: its files with the npm package beside them
// (pelmora/), put together in a folder, and a static server for that folder
// on the loopback address, for the browser test and the benchmark.
import { copyFileSync, createReadStream, mkdirSync, rmSync, statSync } from "node:fs";
import { createServer } from "node:http";
import { dirname, extname, join, normalize, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const web = resolve(dirname(fileURLToPath(import.meta.url)), "..");
export const root = resolve(web, "..");
export const PAGE_FILES = ["index.html", "style.css", "app.js", "adif.js", "worker.js", "sw.js"];

// The site in `dir`, from the page's sources and the built package.
export function assemble(dir, packageDir) {
  rmSync(dir, { recursive: true, force: true });
  mkdirSync(join(dir, "pelmora"), { recursive: true });
  for (const f of PAGE_FILES) copyFileSync(join(web, f), join(dir, f));
  for (const f of ["index.js", "pelmora.wasm"]) copyFileSync(join(packageDir, f), join(dir, "pelmora", f));
}

const TYPES = {
  ".html": "text/html; charset=utf-8", ".css": "text/css", ".js": "text/javascript",
  ".wasm": "application/wasm",
};

// Serves `dir` on 127.0.0.1 (a port of the system's choice); resolves to
// { url, requests, close }. `requests` lists every path asked for.
export function serve(dir) {
  dir = resolve(dir);
  const requests = [];
  const server = createServer((req, res) => {
    const path = decodeURIComponent(new URL(req.url, "http://127.0.0.1").pathname);
    requests.push(path);
    const file = normalize(join(dir, path.endsWith("/") ? path + "index.html" : path));
    let size = -1;
    try {
      if (file.startsWith(dir)) size = statSync(file).isFile() ? statSync(file).size : -1;
    } catch {
      size = -1;
    }
    if (size < 0) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { "content-type": TYPES[extname(file)] ?? "application/octet-stream",
      "content-length": size, "cache-control": "no-cache" });
    createReadStream(file).pipe(res);
  });
  return new Promise((ok) => server.listen(0, "127.0.0.1", () => ok({
    url: `http://127.0.0.1:${server.address().port}/`,
    requests,
    close: () => new Promise((done) => { server.closeAllConnections(); server.close(done); }),
  })));
}

// Debian's Chromium, headless, with a fresh profile in `profile`: no
// sandbox (the tests run as root), nothing fetched for itself.
export function launch(profile) {
  return chromium.launchPersistentContext(profile, {
    executablePath: process.env.PELMORA_CHROMIUM ?? "/usr/bin/chromium",
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1200, height: 1700 },
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
}
