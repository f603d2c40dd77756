// The page's speed in Debian's headless Chromium (a benchmark, not a test):
//   node web/bench/page.mjs PACKAGE_DIR [CONTACTS]
// drops a generated log of CONTACTS (default 10^5) ordinary records on the
// page and reports the time from the drop until the chart is painted
// (the worker's reading and annotating, the chart's marks, the table's
// first page, the painting), the best of three drops, and the worker's
// and the drawing's parts of it.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

import { makeLog } from "../test/make-log.js";
import { assemble, launch, serve } from "../test/site.js";

const packageDir = resolve(process.argv[2] ?? "build/wasm/package");
const contacts = Number(process.argv[3] ?? 100000);
const work = mkdtempSync(join(tmpdir(), "pelmora-page-bench-"));
assemble(join(work, "site"), packageDir);
const server = await serve(join(work, "site"));
const context = await launch(join(work, "profile"));
try {
  const page = context.pages()[0] ?? await context.newPage();
  await page.goto(server.url);
  await page.waitForSelector("body[data-state=ready]");
  const log = makeLog(contacts, 1, { plain: true });
  const times = [];
  for (let round = 0; round < 3; round++) {
    await page.evaluate(() => { document.body.dataset.state = "dropping"; });
    await page.setInputFiles("#file", { name: "big.adi", mimeType: "text/plain", buffer: log });
    await page.waitForSelector("body[data-state=done]", { timeout: 120000 });
    times.push(await page.evaluate(() => [Number(document.body.dataset.totalMs), Number(document.body.dataset.drawMs),
      Number(document.getElementById("marks").dataset.count), Number(document.body.dataset.workMs)]));
  }
  const [total, draw, marks, work] = times.sort((a, b) => a[0] - b[0])[0];
  console.log(`${contacts} contacts (${(log.length / 1e6).toFixed(1)} MB): ${marks} marks; ` +
    `drop to painted chart ${total.toFixed(0)} ms (the worker's reading and annotating ${work.toFixed(0)} ms, ` +
    `drawing ${draw.toFixed(0)} ms), best of 3`);
} finally {
  await context.close();
  await server.close();
  rmSync(work, { recursive: true, force: true });
}
