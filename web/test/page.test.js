// The page in Debian's headless Chromium, from a static server on the
// loopback address: the numbers it shows for two places against the pelmora
// command's, a dropped log with one mark per contact in its place, the
// table's sorting, the annotated log saved byte for byte as `pelmora batch`
// writes it, and the page offline once loaded. Keeps a screenshot of the
// chart in the build tree (build/web/chart.png).
//
// PELMORA_COMMAND names the native pelmora command (default
// build/native/cli/pelmora), PELMORA_WASM_PACKAGE the built npm package
// (default build/wasm/package), PELMORA_WEB_BUILD the folder for the site
// and the screenshot (default build/web).
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";

import { makeLog } from "./make-log.js";
import { assemble, launch, root, serve } from "./site.js";

const packageDir = process.env.PELMORA_WASM_PACKAGE ?? join(root, "build", "wasm", "package");
const command = process.env.PELMORA_COMMAND ?? join(root, "build", "native", "cli", "pelmora");
const out = process.env.PELMORA_WEB_BUILD ?? join(root, "build", "web");
const work = mkdtempSync(join(tmpdir(), "pelmora-page-"));

function pelmora(...args) {
  const run = spawnSync(command, args, { maxBuffer: 1 << 28 });
  assert.ok(run.status === 0 || run.status === 1, `pelmora ${args.join(" ")}: ${run.stderr}`);
  return run.stdout;
}

let server, context, page;
const problems = [];

before(async () => {
  mkdirSync(out, { recursive: true });
  assemble(join(out, "site"), packageDir);
  server = await serve(join(out, "site"));
  context = await launch(join(work, "profile"));
  page = context.pages()[0] ?? await context.newPage();
  // Nothing may leave the machine: every request goes to the local server.
  context.on("request", (r) => {
    if (!r.url().startsWith(server.url) && !r.url().startsWith("blob:")) problems.push(`request to ${r.url()}`);
  });
  page.on("console", (m) => { if (m.type() === "error") problems.push(`console: ${m.text()}`); });
  page.on("pageerror", (e) => problems.push(`page error: ${e.message}`));
  await page.goto(server.url);
  await page.waitForSelector("body[data-state=ready]");
});

after(async () => {
  await context?.close();
  await server?.close();
  rmSync(work, { recursive: true, force: true });
  assert.deepEqual(problems, []);
});

test("two places: the distance and both bearings the command gives", async () => {
  // Locators of 2 to 12 characters in either case, with spaces, positions.
  for (const [a, b] of [["jo62", "RF80"], ["52.52,13.37", "io91wm"], ["JO62qm15", "-33.9, 151.2"],
    [" JO62qm15ab ", "RF"], ["io91wm12ab34", "JS00aa"]]) {
    await page.fill("#from", a);
    await page.fill("#to", b);
    await page.click("#pair button[type=submit]");
    const shown = await page.evaluate(() => ["distance", "bearing-ab", "bearing-ba"]
      .map((id) => document.getElementById(id).textContent));
    const expected = [pelmora("distance", a, b), pelmora("bearing", a, b), pelmora("bearing", b, a)]
      .map((o) => o.toString().trim());
    assert.deepEqual(shown, expected, `${a} to ${b}`);
    assert.equal(await page.textContent("#distance-km"), `${Math.trunc(Number(expected[0]))} km`);
    assert.equal(await page.textContent("#pair-error"), "");
  }
  // What is wrong with a place, said as the command says it.
  for (const bad of ["XX99", "1e39,0", "52.5,x", "JO62q", "Jürgen"]) {
    await page.fill("#from", bad);
    await page.click("#pair button[type=submit]");
    const run = spawnSync(command, ["distance", bad, "JO62"]);
    const said = run.stderr.toString().split("\n")[0].replace(/^pelmora: (distance: )?/, "");
    assert.equal(await page.textContent("#pair-error"), said);
  }
});

// Drops `bytes` as a file on the drop zone, as a user's drag does, and
// waits until the page has drawn it.
async function drop(name, bytes) {
  const transfer = await page.evaluateHandle(([n, data]) => {
    const t = new DataTransfer();
    t.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], n));
    return t;
  }, [name, Buffer.from(bytes).toString("base64")]);
  await page.evaluate(() => { document.body.dataset.state = "dropping"; });
  await page.dispatchEvent("#drop", "drop", { dataTransfer: transfer });
  await page.waitForSelector("body[data-state=done]");
}

test("a dropped log saved byte for byte as the command writes it", async () => {
  const log = makeLog(1500, 3);
  writeFileSync(join(work, "edges.adi"), log);
  await drop("edges.adi", log);
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
  assert.equal(download.suggestedFilename(), "edges.annotated.adi");
  const saved = readFileSync(await download.path());
  const expected = pelmora("batch", join(work, "edges.adi"));
  assert.ok(saved.equals(expected), "the saved log differs from pelmora batch's output");
  assert.ok(!(await page.isHidden("#problems")));
  // The station's locator for the records without one, as --my-grid.
  await page.fill("#my-grid", "IO91wm12");
  await drop("edges.adi", log);
  const [again] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
  assert.ok(readFileSync(await again.path()).equals(pelmora("batch", "--my-grid=IO91wm12", join(work, "edges.adi"))),
    "the saved log differs from pelmora batch --my-grid's output");
  await page.fill("#my-grid", "");
});

test("one mark per contact at its bearing and distance; the table sorts", async () => {
  const log = makeLog(2000, 11, { plain: true });
  writeFileSync(join(work, "plain.adi"), log);
  await drop("plain.adi", log);
  // Every record of the plain log gets the command's DISTANCE and bearing.
  const annotated = pelmora("batch", join(work, "plain.adi")).toString();
  const expected = [...annotated.matchAll(/<DISTANCE:\d+>(\d+) <APP_PELMORA_BEARING:\d+>([0-9.]+) /g)]
    .map((m) => [Number(m[1]), Number(m[2])]);
  assert.equal(expected.length, 2000);
  const { marks, outer, radius } = await page.evaluate(() => ({
    marks: [...document.getElementById("marks").getAttribute("d").matchAll(/M(\S+) (\S+?)h0/g)]
      .map((m) => [Number(m[1]), Number(m[2])]),
    outer: Number(document.getElementById("chart").dataset.outerKm),
    radius: Number(document.getElementById("chart").dataset.radius),
  }));
  assert.equal(marks.length, expected.length);
  // The path holds marks and nothing else.
  assert.equal((await page.getAttribute("#marks", "d")).replace(/M(\S+) (\S+?)h0/g, ""), "");
  // The chart's place of each mark read back: the bearing clockwise from
  // north (to a hundredth of a unit of the drawing), the distance outward.
  const unit = outer / radius; // km per unit of the drawing
  marks.forEach(([x, y], i) => {
    const [km, deg] = expected[i];
    const r = Math.hypot(x, y);
    assert.ok(Math.abs(r * unit - km) <= 1 + 0.01 * unit, `mark ${i}: ${r * unit} km, expected ${km}`);
    if (r > 5) {
      const shown = ((Math.atan2(x, -y) * 180) / Math.PI + 360) % 360;
      const off = Math.abs(((shown - deg + 540) % 360) - 180);
      assert.ok(off < 0.01 / r * 180 / Math.PI + 1e-6, `mark ${i}: bearing ${shown}, expected ${deg}`);
    }
  });
  assert.equal(await page.locator("#contacts tbody tr").count(), 100);
  const column = (n) => page.$$eval(`#contacts tbody tr td:nth-child(${n})`, (cells) => cells.map((c) => c.textContent));
  await page.click("#contacts button[data-key=km]");
  const least = Math.min(...expected.map((e) => e[0]));
  assert.equal(Number((await column(5))[0]), least);
  assert.equal(await page.getAttribute("#contacts th:nth-child(5)", "aria-sort"), "ascending");
  await page.click("#contacts button[data-key=km]");
  assert.equal(Number((await column(5))[0]), Math.max(...expected.map((e) => e[0])));
  await page.click("#next");
  assert.match(await page.textContent("#table-range"), /^101 to 200 of 2000$/);
  await page.locator("#chart").screenshot({ path: join(out, "chart.png") });
  await page.screenshot({ path: join(out, "page.png"), fullPage: true });
});

test("a long log shows how far the reading is, then hides the bar", async () => {
  await page.evaluate(() => {
    window.progressSeen = [];
    new MutationObserver(() => window.progressSeen.push(document.getElementById("progress").value))
      .observe(document.getElementById("progress"), { attributes: true, attributeFilter: ["value"] });
  });
  await drop("long.adi", makeLog(20000, 9, { plain: true }));
  const seen = await page.evaluate(() => window.progressSeen);
  assert.ok(seen.some((v) => v > 0 && v < 1), `progress values ${seen}`);
  assert.ok(await page.isHidden("#progress"));
  assert.match(await page.textContent("#log-status"), /^20,000 contacts on the chart from 20,000 records/);
});

test("offline once loaded: the page reloads and computes without the server", async () => {
  await page.evaluate(() => navigator.serviceWorker.ready);
  await server.close();
  await context.setOffline(true);
  await page.reload();
  await page.waitForSelector("body[data-state=ready]");
  await page.fill("#from", "JO62qm");
  await page.fill("#to", "FN20xr");
  await page.click("#pair button[type=submit]");
  assert.equal(await page.textContent("#distance"), pelmora("distance", "JO62qm", "FN20xr").toString().trim());
  const log = makeLog(50, 5);
  writeFileSync(join(work, "offline.adi"), log);
  await drop("offline.adi", log);
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("#save")]);
  assert.ok(readFileSync(await download.path()).equals(pelmora("batch", join(work, "offline.adi"))));
});
