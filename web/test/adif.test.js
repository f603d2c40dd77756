// The page's log annotation against the pelmora command: the same bytes as
// `pelmora batch` writes for generated and hand-made logs, and its float
// format against the command's.
//
// PELMORA_COMMAND names the native pelmora command (default
// build/native/cli/pelmora), PELMORA_WASM_PACKAGE the built npm package
// (default build/wasm/package).
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { after, test } from "node:test";
import { fileURLToPath, pathToFileURL } from "node:url";

import { annotateLog, formatFloat } from "../adif.js";
import { makeLog } from "./make-log.js";

const root = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
const packageDir = process.env.PELMORA_WASM_PACKAGE ?? join(root, "build", "wasm", "package");
const lib = await import(pathToFileURL(join(packageDir, "index.js")).href);
const command = process.env.PELMORA_COMMAND ?? join(root, "build", "native", "cli", "pelmora");
const skip = existsSync(command) ? false : `${command} (the native pelmora command) not built`;
const work = mkdtempSync(join(tmpdir(), "pelmora-adif-"));
after(() => rmSync(work, { recursive: true, force: true }));

// What `pelmora batch` writes for `bytes` as a log, with `args`.
function batch(bytes, args = [], name = "log.adi") {
  const file = join(work, name);
  writeFileSync(file, bytes);
  const run = spawnSync(command, ["batch", ...args, file], { maxBuffer: 1 << 28 });
  assert.ok(run.status === 0 || run.status === 1, `pelmora batch: ${run.stderr}`);
  return { out: run.stdout, messages: run.stderr.toString(), status: run.status };
}

const FLT_MAX = 3.4028234663852886e38;

test("a generated log: the command's bytes, messages and contacts", { skip }, () => {
  const log = makeLog(3000, 7);
  for (const [args, options] of [
    [[], {}],
    [["--overwrite"], { overwrite: true }],
    [["--bearing-field=MY_BEARING"], { bearingField: "MY_BEARING" }],
    [["--my-grid= IO91wm12 "], { myGrid: " IO91wm12 " }],
  ]) {
    const expected = batch(log, args);
    const got = annotateLog(new Uint8Array(log), lib, options);
    assert.ok(Buffer.from(got.output).equals(expected.out), `annotated log differs with ${args}`);
    // The command's messages name the file and line: "pelmora: FILE:LINE: what".
    const file = join(work, "log.adi");
    assert.equal(got.messages.map((m) => `pelmora: ${file}:${m}\n`).join(""), expected.messages);
    assert.equal(got.failures > 0 ? 1 : 0, expected.status);
  }
  const { contacts } = annotateLog(new Uint8Array(log), lib);
  assert.ok(contacts.km.length > 2000);
  for (let i = 0; i < 50; i++) {
    const [a, b] = [contacts.myGrid[i], contacts.grid[i]];
    const km = spawnSync(command, ["distance", a, b]).stdout.toString().trim();
    const deg = spawnSync(command, ["bearing", a, b]).stdout.toString().trim();
    assert.deepEqual([formatFloat(contacts.km[i]), formatFloat(contacts.bearing[i])], [km, deg], `${a} ${b}`);
  }
});

test("hand-made logs at the edges of the format", { skip }, () => {
  const rec = "<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:6>IO91wm";
  for (const text of [
    "",
    "no tags at all\n",
    `${rec}<EOR>`,
    `${rec}`, // no end tag: malformed to the end
    `<EOH>${rec}<EOR>`, // a header with no text before it
    `${rec}<EOR`, // a tag without '>'
    `${rec}<EOR:0>`, // an end tag with a length
    `<CALL:99>short${rec}<EOR>`, // a value past the end of the log
    `<:3>abc${rec}<EOR>`, // a tag without a name
    `<CALL:1234567890>x${rec}<EOR>`, // a length of ten digits
    `<DISTANCE:3:>123<APP_PELMORA_BEARING:1>9${rec}<eor>`, // an empty type
    `<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:4>JO62<EOR>${rec}<EOH>${rec}<EOR>x`,
    `\uFEFF<EOH>${rec}<EOR>`, // a byte order mark before the header
    `\uFEFF${rec}<EOR>`, // and before a first record
    `<CALL:2>AB < b ${rec}<EOR>${rec}<EOR>`, // a stray "<"
    `<CALL:2>AB<b<EOR>${rec}<EOR>`, // one just before the end tag
    `<COMMENT${"x".repeat(1100)}>${rec}<EOR>${rec}<EOR>`, // a tag without ">" within 1024 bytes
    `<CALL:123456789012345>x<EOR>${rec}<EOR>`, // fifteen digits: past the end
    `<CALL:1234567890123456>x<EOR>${rec}<EOR>`, // sixteen: a bad length
    `<N\u00ff\x01ME:x>${"y".repeat(50)}<EOR>${rec}<EOR>`, // a name quoted byte by byte
    `<CALL:${"9".repeat(50)}>x<EOR>${rec}<EOR>`, // a length quoted in part
    "<MY_GRIDSQUARE:6> JO62\t<GRIDSQUARE:9>\tio91wm <EOR>", // spaces and tabs around locators
    "<MY_GRIDSQUARE:8>JO62qm15<MY_GRIDSQUARE_EXT:4>ab12<GRIDSQUARE:2>jo<EOR>", // 12 and 2 characters
    "<MY_GRIDSQUARE:10>JO62qm15ab<GRIDSQUARE:4>IO91<EOR>", // 10 characters in one field
    "<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:6>IO91wm<GRIDSQUARE_EXT:2>ab<EOR>", // an extension of six
    "<MY_GRIDSQUARE:8>JO62qm15<MY_GRIDSQUARE_EXT:5>ab123<GRIDSQUARE:4>IO91<EOR>", // of five
    "<MY_GRIDSQUARE:8>JO62qm15<MY_GRIDSQUARE_EXT:1>a<GRIDSQUARE:4>IO91<EOR>", // nine: no locator
    "<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:2>JO<GRIDSQUARE_EXT:3>   <EOR>", // a blank extension
    `<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:50>${"IO91wm".repeat(8)}io<EOR>`, // a locator quoted in part
    "<MY_GRIDSQUARE:6>JS00aa<GRIDSQUARE:6>SJ00AA<EOR><MY_GRIDSQUARE:6>JS00ab<GRIDSQUARE:2>SA<EOR>", // S at the edge
    "<CALL:2>AB<GRIDSQUARE:4>IO91<EOR>", // no station's locator but --my-grid's
  ]) {
    for (const [args, options] of [
      [[], {}],
      [["--overwrite", "--my-grid=JO62qm15ab"], { overwrite: true, myGrid: "JO62qm15ab" }],
    ]) {
      const bytes = Buffer.from(text, "utf8");
      const expected = batch(bytes, args);
      const got = annotateLog(new Uint8Array(bytes), lib, options);
      assert.equal(Buffer.from(got.output).toString("latin1"), expected.out.toString("latin1"), JSON.stringify(text));
      const file = join(work, "log.adi");
      const messages = got.messages.map((m) => `pelmora: ${file}:${m}\n`).join("");
      assert.equal(messages, expected.messages, JSON.stringify(text));
    }
  }
});

test("records beyond --max-record passed on and reported as the command does", { skip }, () => {
  const rec = "<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:6>IO91wm<EOR>\n";
  for (const text of [
    `${rec}\n  <COMMENT:5000>${"c".repeat(5000)}${rec}${rec}`, // a long value
    `<ADIF_VER:5>3.1.4<COMMENT:5000>${"c".repeat(5000)}<EOH>\n${rec}`, // a long header
    `${rec}\n${"trailing text ".repeat(400)}`, // long text after the last record
  ]) {
    const bytes = Buffer.from(text, "utf8");
    const expected = batch(bytes, ["--max-record=4096"]);
    const got = annotateLog(new Uint8Array(bytes), lib, { maxRecord: 4096 });
    assert.ok(Buffer.from(got.output).equals(expected.out), JSON.stringify(text.slice(0, 60)));
    const file = join(work, "log.adi");
    assert.equal(got.messages.map((m) => `pelmora: ${file}:${m}\n`).join(""), expected.messages);
  }
});

test("bearing fields and station locators refused in the command's words", { skip }, () => {
  for (const [args, options] of [
    [["--bearing-field=distance"], { bearingField: "distance" }],
    [["--bearing-field=My_GridSquare_Ext"], { bearingField: "My_GridSquare_Ext" }],
    [["--bearing-field=A:B"], { bearingField: "A:B" }],
    [["--bearing-field="], { bearingField: "" }],
    [["--my-grid=JO62q"], { myGrid: "JO62q" }],
  ]) {
    const run = spawnSync(command, ["batch", ...args, join(work, "log.adi")]);
    assert.equal(run.status, 2);
    assert.throws(() => annotateLog(new Uint8Array(0), lib, options),
      (e) => e instanceof RangeError && run.stderr.toString().split("\n")[0] === `pelmora: batch: ${e.message}`,
      String(args));
  }
  // What the command takes, the page takes: a name beyond letters and digits.
  const bytes = Buffer.from("<MY_GRIDSQUARE:4>JO62<GRIDSQUARE:4>IO91<EOR>");
  const got = annotateLog(new Uint8Array(bytes), lib, { bearingField: "ANT-AZ.é" });
  assert.ok(Buffer.from(got.output).equals(batch(bytes, ["--bearing-field=ANT-AZ.é"]).out));
});

test("floats as the command writes them: shortest, fixed or scientific", { skip }, () => {
  // arccos of values above 1 is tiny (scientific), of others up to pi; the
  // distances reach five digits before the point.
  const xs = [];
  let s = 99;
  const random = () => ((s = (Math.imul(s, 1664525) + 1013904223) >>> 0) / 2 ** 32);
  for (let i = 0; i < 3000; i++) xs.push(Math.fround(random() * 2.2 - 1.1));
  xs.push(1, -1, 0, 1.0000001, 2, 1e30);
  const grids = lib.gridFromLatLong(Float32Array.from(xs, () => random() * 178 - 89),
    Float32Array.from(xs, () => random() * 358 - 179));
  const rows = xs.map((x, i) => `${x},${grids[i]},${grids[(i * 7 + 3) % grids.length]}`);
  const csv = Buffer.from(`x,from,to\n${rows.join("\n")}\n`);
  const { out } = batch(csv, ["--add=arccos,distance,lat"], "table.csv");
  const lines = out.toString().trim().split("\n").slice(1);
  assert.equal(lines.length, xs.length);
  lines.forEach((line, i) => {
    const [, from, to, arccos, distance, lat] = line.split(",");
    const expected = [formatFloat(lib.arcCos(xs[i])), formatFloat(lib.distanceFrom(lib.latFromGrid(from),
      lib.longFromGrid(from), lib.latFromGrid(to), lib.longFromGrid(to))), formatFloat(lib.latFromGrid(from))];
    assert.deepEqual([arccos, distance, lat], expected, line);
  });
  // The rest of to_chars' cases: signs, zeros, non-finite values, powers
  // of ten at the switch between fixed and scientific, integers beyond
  // their shortest digits.
  const cases = [
    [-0, "-0"], [0, "0"], [NaN, "nan"], [Infinity, "inf"], [-Infinity, "-inf"], [1e-5, "1e-05"],
    [1e-4, "1e-04"], [0.001, "0.001"], [1e5, "1e+05"], [1e6, "1e+06"], [1234567, "1234567"],
    [123456792, "123456792"], [-2.5, "-2.5"], [2 ** -149, "1e-45"], [FLT_MAX, "3.4028235e+38"],
  ];
  assert.deepEqual(cases.map(([x]) => formatFloat(Math.fround(x))), cases.map(([, t]) => t));
});
