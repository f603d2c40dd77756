// The npm package pelmora: the native corpus bit for bit, Automation's
// rounding of arguments, failures as exceptions, batches against scalar
// calls, texts of every kind.
//
// PELMORA_WASM_PACKAGE names the built package folder (default
// build/wasm/package, tools/build-wasm.sh); PELMORA_CORPUS_DUMP the native
// corpus_dump program (without it the corpus tests are skipped).
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { test } from "node:test";
import { fileURLToPath, pathToFileURL } from "node:url";

const root = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
const packageDir = process.env.PELMORA_WASM_PACKAGE ?? join(root, "build", "wasm", "package");
const p = await import(pathToFileURL(join(packageDir, "index.js")).href);

const ERROR_NUMBER = { 0: 0, 1: 6, 2: 513, 3: 5 }; // corpus_dump's numbers of the errors
const FLT_MAX = 3.4028234663852886e38;

const bitsOf = (x) => new Uint32Array(new Float32Array([x]).buffer)[0];
const isNanBits = (b) => (b & 0x7fffffff) > 0x7f800000;
const floatOf = (b) => new Float32Array(new Uint32Array([b]).buffer)[0];

// float32 results against bit patterns, any NaN equal to any NaN: the
// indices that differ.
function differing(values, expected) {
  const got = new Uint32Array(Float32Array.from(values).buffer);
  const bad = [];
  for (let i = 0; i < expected.length; i++) {
    if (got[i] !== expected[i] && !(isNanBits(got[i]) && isNanBits(expected[i]))) bad.push(i);
  }
  return bad;
}

// A text as corpus_dump shows it: quotes, \uXXXX for units that are not
// printable ASCII.
function parseShow(shown) {
  const body = shown.slice(1, -1);
  let out = "";
  for (let i = 0; i < body.length; i++) {
    if (body[i] === "\\" && body[i + 1] === "u" && /^[0-9A-F]{4}$/.test(body.slice(i + 2, i + 6))) {
      out += String.fromCharCode(parseInt(body.slice(i + 2, i + 6), 16));
      i += 5;
    } else {
      out += body[i];
    }
  }
  return out;
}

function readCorpus() {
  const dump = process.env.PELMORA_CORPUS_DUMP;
  if (!dump) return null;
  const dir = mkdtempSync(join(tmpdir(), "pelmora-corpus-"));
  try {
    execFileSync(dump, [join(dir, "native.txt")]);
    const calls = { azimut: [], distance: [], arccos: [], sLocator: [], GridFromLatLong: [], decode: [] };
    for (const line of readFileSync(join(dir, "native.txt"), "latin1").split("\n")) {
      const arrow = line.lastIndexOf(" -> ");
      if (arrow < 0) continue;
      const head = line.slice(0, arrow);
      const tail = line.slice(arrow + 4);
      const space = head.indexOf(" ");
      const kind = head.slice(0, space);
      const rest = head.slice(space + 1);
      if (kind === "decode") {
        const r = tail.split(" ");
        calls.decode.push([parseShow(rest), +r[0], parseInt(r[1], 16), +r[2], parseInt(r[3], 16)]);
      } else if (kind === "sLocator" || kind === "GridFromLatLong") {
        const s = tail.indexOf(" ");
        const text = tail.slice(s + 1);
        calls[kind].push([rest.split(" ").map((w) => parseInt(w, 16)), +tail.slice(0, s),
          text === "<null>" ? null : parseShow(text)]);
      } else if (kind in calls) {
        const r = tail.split(" ");
        calls[kind].push([rest.split(" ").map((w) => parseInt(w, 16)), +r[0], parseInt(r[1], 16)]);
      }
    }
    return calls;
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

const corpus = readCorpus();
const skipCorpus = corpus === null ? "PELMORA_CORPUS_DUMP (the native corpus_dump) not set" : false;

// The float32 argument columns of corpus calls, bit for bit.
function inputColumns(calls) {
  const columns = calls[0][0].map(() => new Uint32Array(calls.length));
  calls.forEach(([bits], i) => bits.forEach((b, k) => { columns[k][i] = b; }));
  return columns.map((c) => new Float32Array(c.buffer));
}

// Inputs a JavaScript number carries to a scalar call: no signalling NaN
// (a number has none), nothing beyond the float32 range.
const scalarInputs = (bits) => bits.every((b) => (b & 0x7fffffff) < 0x7f800000 || b === 0x7fc00000 || b === 0xffc00000);

for (const [kind, fn] of [["azimut", p.azimut], ["distance", p.distanceFrom], ["arccos", p.arcCos]]) {
  test(`corpus: ${kind} bit for bit, batch and scalar`, { skip: skipCorpus }, () => {
    const calls = corpus[kind];
    const { values, statuses } = fn(...inputColumns(calls), { statuses: true });
    assert.deepEqual(Array.from(statuses), calls.map((c) => ERROR_NUMBER[c[1]]));
    assert.deepEqual(differing(values, calls.map((c) => c[2])), []);
    let checked = 0;
    for (const [bits, error, result] of calls.filter((_, i) => i % 7 === 0)) {
      if (!scalarInputs(bits)) continue;
      const args = bits.map(floatOf);
      if (error) {
        assert.throws(() => fn(...args), (e) => e instanceof p.PelmoraError &&
          e.number === ERROR_NUMBER[error] && differing([e.value], [result]).length === 0);
      } else {
        assert.deepEqual(differing([fn(...args)], [result]), [], `${kind}(${args})`);
      }
      checked++;
    }
    assert.ok(checked > calls.length / 10);
  });
}

for (const [kind, fn] of [["sLocator", p.sLocator], ["GridFromLatLong", p.gridFromLatLong]]) {
  test(`corpus: ${kind} text for text`, { skip: skipCorpus }, () => {
    const calls = corpus[kind];
    const { values, statuses } = fn(...inputColumns(calls), { statuses: true });
    assert.deepEqual(Array.from(statuses), calls.map((c) => ERROR_NUMBER[c[1]]));
    assert.deepEqual(values, calls.map((c) => c[2]));
  });
}

test("corpus: decoding bit for bit, batch and scalar", { skip: skipCorpus }, () => {
  const calls = corpus.decode;
  const grids = calls.map((c) => c[0]);
  const lat = p.latFromGrid(grids, { statuses: true });
  const lon = p.longFromGrid(grids, { statuses: true });
  assert.deepEqual(Array.from(lat.statuses), calls.map((c) => ERROR_NUMBER[c[1]]));
  assert.deepEqual(Array.from(lon.statuses), calls.map((c) => ERROR_NUMBER[c[3]]));
  assert.deepEqual(differing(lat.values, calls.map((c) => c[2])), []);
  assert.deepEqual(differing(lon.values, calls.map((c) => c[4])), []);
  const some = calls.filter((_, i) => i % 11 === 0);
  assert.deepEqual(differing(some.map((c) => p.latFromGrid(c[0])), some.map((c) => c[2])), []);
  assert.deepEqual(differing(some.map((c) => p.longFromGrid(c[0])), some.map((c) => c[4])), []);
});

// ---- Arguments as Automation converts a float parameter ----

test("arguments round to the nearest float32, ties to even", () => {
  for (const [value, expected] of [
    [1 + 2 ** -24, 1], // halfway between 1 and the next float: to even, 1
    [1 + 3 * 2 ** -24, 1 + 2 ** -22], // halfway again: to even, upwards
    [FLT_MAX, FLT_MAX],
    [2 ** -150, 0], // half the smallest subnormal: to even, 0
    [-0, -0],
    [16777217, 16777216],
  ]) {
    assert.equal(bitsOf(p.arcCos(value)), bitsOf(p.arcCos(expected)), `arcCos(${value})`);
    assert.equal(p.distanceFrom(value, 0, value, 0), 0); // the same float both times
    // A Float64Array element is narrowed alike.
    assert.equal(bitsOf(p.arcCos(new Float64Array([0, value]))[1]), bitsOf(p.arcCos(expected)));
  }
});

test("a number beyond single precision is a RangeError, scalar or element", () => {
  for (const value of [3.4028235e38, -1e39, Infinity, -Infinity, 1e300]) {
    assert.throws(() => p.arcCos(value), RangeError);
    assert.throws(() => p.distanceFrom(0, 0, 1, value), RangeError);
    for (const column of [new Float64Array([0, value]), [0, value]]) {
      assert.throws(() => p.distanceFrom(0, 0, 1, column), /lon\[1\]|bLon\[1\]/);
    }
  }
  // NaN passes, and the calculation decides.
  assert.throws(() => p.distanceFrom(NaN, 0, 1, 1), p.PelmoraError);
});

test("wrong kinds of arguments are TypeErrors; batches of two lengths a RangeError", () => {
  for (const bad of ["1", null, undefined, 1n, {}]) {
    assert.throws(() => p.azimut(bad, 0, 1, 1), TypeError);
  }
  assert.throws(() => p.latFromGrid(42), TypeError);
  assert.throws(() => p.latFromGrid(["JO62", 42]), TypeError);
  assert.throws(() => p.arcCos([0, "1"]), TypeError);
  assert.throws(() => p.arcCos(new BigInt64Array(2)), TypeError);
  assert.throws(() => p.distanceFrom([1, 2], [1, 2, 3], 0, 0), RangeError);
  assert.throws(() => p.arcCos([0.5], "statuses"), TypeError);
});

// ---- Failures ----

test("a failure is a PelmoraError with the DLL's number, text and out-parameter", () => {
  const cases = [
    [() => p.distanceFrom(NaN, 0, 1, 1), 513, "Floating-point error", 0],
    [() => p.gridFromLatLong(1e30, 0), 6, "Overflow", null],
    [() => p.sLocator(0, 5000), 5, "Invalid procedure call or argument", null],
  ];
  for (const [call, number, description, value] of cases) {
    assert.throws(call, (e) => e instanceof p.PelmoraError && e instanceof Error &&
      e.name === "PelmoraError" && e.number === number && e.description === description &&
      e.value === value && e.index === null && e.message === `${description} (error ${number})`);
  }
  // In a batch: the index of the first failure, or every status.
  assert.throws(() => p.gridFromLatLong([0, 1, 1e30, 1e30], 0),
    (e) => e.number === 6 && e.index === 2 && / at index 2$/.test(e.message));
  const { values, statuses } = p.gridFromLatLong([0, 1e30, 0], [0, 0, 5000], { statuses: true });
  assert.deepEqual(values, ["JJ00aa", null, null]);
  assert.deepEqual(Array.from(statuses), [0, 6, 5]);
});

// ---- Batches ----

test("a batch gives what the scalar calls give, over chunks, with broadcast and mixed kinds", () => {
  // More elements than one chunk of the module's areas (4096), so that every
  // chunk's offset counts.
  let seed = 12345;
  const random = () => ((seed = (seed * 1103515245 + 12345) >>> 0) / 2 ** 32);
  const n = 9001;
  const lat = Float32Array.from({ length: n }, () => random() * 180 - 90);
  const lon = Float64Array.from({ length: n }, () => random() * 360 - 180);
  const plain = Array.from(lon, (x) => -x / 2);
  const distance = p.distanceFrom(lat, lon, 40.5, plain);
  const bearing = p.azimut(52.5, lon, lat, 13.25);
  const grids = p.gridFromLatLong(lat, lon);
  const squares = p.sLocator(lat, 7.5);
  const decoded = p.latFromGrid(grids);
  for (let i = 0; i < n; i += 1) {
    assert.equal(bitsOf(distance[i]), bitsOf(p.distanceFrom(lat[i], lon[i], 40.5, plain[i])));
    assert.equal(bitsOf(bearing[i]), bitsOf(p.azimut(52.5, lon[i], lat[i], 13.25)));
    assert.equal(grids[i], p.gridFromLatLong(lat[i], lon[i]));
    assert.equal(squares[i], p.sLocator(lat[i], 7.5));
    assert.equal(bitsOf(decoded[i]), bitsOf(p.latFromGrid(grids[i])));
  }
  assert.deepEqual(p.arcCos([]), new Float32Array(0));
  assert.deepEqual(p.gridFromLatLong([], 0), []);
});

test("a Float32Array argument is read bit for bit: a signalling NaN fails as in the DLL", () => {
  const signalling = floatOf(0x7fa00000);
  const lat = new Float32Array(1);
  new Uint32Array(lat.buffer)[0] = 0x7fa00000;
  assert.ok(Number.isNaN(signalling));
  const { statuses } = p.gridFromLatLong(lat, new Float32Array([0]), { statuses: true });
  assert.deepEqual(Array.from(statuses), [513]);
  // The same NaN as a number is quiet, and an Overflow.
  assert.throws(() => p.gridFromLatLong(NaN, 0), (e) => e.number === 6);
});

// ---- Texts ----

test("locators and their texts", () => {
  assert.equal(p.gridFromLatLong(52.5, 13.4), "JO62qm");
  assert.equal(p.latFromGrid("JO62qm"), Math.fround(52.520832));
  assert.equal(p.longFromGrid("  jo62QM  "), 13.375);
  assert.equal(p.latFromGrid("JO62"), 52.5);
  assert.equal(p.latFromGrid(""), 0);
  // A field character of code 0 is U+0000 inside the six characters.
  const zero = p.gridFromLatLong(-740, 0);
  assert.equal(zero.length, 6);
  assert.equal(zero.charCodeAt(1), 0);
  assert.deepEqual(p.gridFromLatLong([-740], 0), [zero]);
  // Units beyond Windows-1252 count as "?", lone surrogates as they are.
  assert.equal(p.latFromGrid("J\u0100\uD800\uDFFF62"), p.latFromGrid("J??\uDFFF62"));
  // Texts longer than the module's text area, alone and in a batch: the
  // scalar call takes memory of its own (the memory grows).
  const long = "JO62qm" + "x".repeat(70000);
  assert.equal(p.latFromGrid(long), p.latFromGrid("JO62qmx"));
  const mixed = p.longFromGrid(["IO91wm", long, "FN20"]);
  assert.deepEqual(Array.from(mixed), [p.longFromGrid("IO91wm"), p.longFromGrid(long), p.longFromGrid("FN20")]);
});

// ---- The loggers' cases (tests/cases/loggers.tsv), bit for bit ----

const hex32 = (x) => bitsOf(x).toString(16).toUpperCase().padStart(8, "0");
const hex64 = (x) => new BigUint64Array(new Float64Array([x]).buffer)[0].toString(16).toUpperCase()
  .padStart(16, "0");
// A decimal of the table as the nearest double ("nan" as NaN).
const decimal = (t) => (t.toLowerCase() === "nan" ? NaN : Number(t));

// What a call gave, in the table's fields: the status and the results.
function loggersCall(call, args) {
  const fields = (f) => { try { return ["0", ...f()]; } catch (e) { return failed(e); } };
  const failed = (e) => {
    if (e instanceof p.PelmoraError) {
      const v = e.value;
      return [String(e.number), hex32(v.distance), hex32(v.bearing), hex32(v.longDistance), hex32(v.longBearing)];
    }
    if (!(e instanceof RangeError)) throw e;
    return [call === "cell" || call === "grid_path" ? "-3" : "-4"];
  };
  const path = (x) => [hex32(x.distance), hex32(x.bearing), hex32(x.longDistance), hex32(x.longBearing)];
  switch (call) {
    case "locator":
      return fields(() => [p.locator(decimal(args[0]), decimal(args[1]), +args[2])]);
    case "cell":
      return fields(() => {
        const c = p.locatorCell(args[0]);
        const centre = p.locatorCentre(args[0]);
        assert.deepEqual(centre, { lat: c.lat, lon: c.lon });
        return [c.lat, c.lon, c.south, c.west, c.height, c.width].map(hex64).concat(String(c.characters));
      });
    case "is_locator": {
      const n = p.isLocator(args[0]);
      return [n === 0 ? "-3" : "0", String(n)];
    }
    case "grid_path":
      return fields(() => path(p.gridPath(args[0], args[1])));
    case "position_path":
      return fields(() => path(p.positionPath(...args.map(decimal))));
    case "long_path_distance":
      return fields(() => [hex32(p.longPathDistance(decimal(args[0])))]);
    case "long_path_bearing":
      return fields(() => [hex32(p.longPathBearing(decimal(args[0])))]);
    default:
      throw new Error(`unknown call ${call}`);
  }
}

test("the loggers' cases bit for bit: locators of every precision, cells, paths", () => {
  const ARGS = { locator: 3, cell: 1, is_locator: 1, grid_path: 2, position_path: 4,
    long_path_distance: 1, long_path_bearing: 1 };
  const lines = readFileSync(join(root, "tests", "cases", "loggers.tsv"), "utf8").split("\n");
  let cases = 0;
  for (const line of lines) {
    if (line === "" || line.startsWith("#")) continue;
    const fields = line.split("\t");
    const call = fields[0];
    const n = ARGS[call];
    assert.ok(n !== undefined, `unknown call ${call}`);
    const expected = fields.slice(n + 1, -1);
    let got = loggersCall(call, fields.slice(1, n + 1));
    // A refusal has no results; the table writes them as 0 (and "").
    if (got.length === 1) got = got.concat(expected.slice(1).map((e) => e.replace(/[0-9A-F]/g, "0")));
    assert.deepEqual(got, expected, line);
    cases++;
  }
  assert.ok(cases > 50, `only ${cases} cases`);
});

test("the locator calls take texts longer than the module's text area", () => {
  const far = " ".repeat(70000) + "JO62qm";
  assert.equal(p.isLocator(far), 6);
  assert.deepEqual(p.gridPath(far, "FN20" + " ".repeat(70000)), p.gridPath("JO62qm", "FN20"));
  assert.deepEqual(p.locatorCell(far), p.locatorCell("JO62qm"));
  assert.throws(() => p.gridPath("JO62", "x".repeat(70000)), RangeError);
  assert.throws(() => p.locator(52.5, 13.4, 7), RangeError);
  assert.throws(() => p.isLocator(42), TypeError);
});

test("every export is declared in index.d.ts", () => {
  const declarations = readFileSync(join(packageDir, "index.d.ts"), "utf8");
  for (const name of Object.keys(p)) {
    assert.match(declarations, new RegExp(`export (const|function|class) ${name}\\b`), name);
  }
  const manifest = JSON.parse(readFileSync(join(packageDir, "package.json"), "utf8"));
  assert.equal(manifest.version, p.version);
});
