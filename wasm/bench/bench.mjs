// The WebAssembly build's speed in Node (a benchmark, not a test):
//   node wasm/bench/bench.mjs PACKAGE_DIR NATIVE_LOOP
// - what a call from JavaScript costs beyond its calculation: the package's
//   scalar distanceFrom and azimut against the same calculation inside the
//   module (its batch loop, per element);
// - the array form over 10^6 elements against the native C library's
//   scalar loop (NATIVE_LOOP, wasm/bench/native_loop.c), per element.
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const [packageDir, nativeLoop] = process.argv.slice(2).map((p) => resolve(p));
const p = await import(pathToFileURL(join(packageDir, "index.js")).href);
const raw = new WebAssembly.Instance(new WebAssembly.Module(readFileSync(join(packageDir, "pelmora.wasm"))), {}).exports;

const N = 1_000_000;
let state = 1;
const next = (span) => {
  state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
  return Math.fround((state / 4294967296) * 2 * span - span);
};
const cols = [new Float32Array(N), new Float32Array(N), new Float32Array(N), new Float32Array(N)];
for (let i = 0; i < N; i++) {
  cols[0][i] = next(90);
  cols[1][i] = next(180);
  cols[2][i] = next(90);
  cols[3][i] = next(180);
}

// The least of five rounds, nanoseconds per element.
function best(f, n) {
  let least = Infinity;
  for (let round = 0; round < 5; round++) {
    const t0 = process.hrtime.bigint();
    f();
    least = Math.min(least, Number(process.hrtime.bigint() - t0) / n);
  }
  return least;
}

// The calculation alone: the module's batch loop over the scalar calls'
// inputs, chunk by chunk (copying the arguments in costs about a
// nanosecond an element).
const SCALAR = 200_000;
function inside(kind) {
  const chunk = raw.pelmora_wasm_chunk();
  return best(() => {
    for (let start = 0; start < SCALAR; start += chunk) {
      const n = Math.min(chunk, SCALAR - start);
      const mem = new Float32Array(raw.memory.buffer);
      for (let k = 0; k < 4; k++) mem.set(cols[k].subarray(start, start + n), raw.pelmora_wasm_area(k) >> 2);
      raw.pelmora_wasm_numbers(kind, n);
    }
  }, SCALAR);
}

function scalar(fn) {
  const n = SCALAR;
  let sink = 0;
  const t = best(() => {
    for (let i = 0; i < n; i++) sink += fn(cols[0][i], cols[1][i], cols[2][i], cols[3][i]);
  }, n);
  if (sink === 42) console.log("");
  return t;
}

const rows = [];
for (const [name, kind, fn, nativeName] of [["distanceFrom", 1, p.distanceFrom, "distance"], ["azimut", 0, p.azimut, "azimut"]]) {
  const calc = inside(kind);
  const call = scalar(fn);
  const array = best(() => fn(cols[0], cols[1], cols[2], cols[3]), N);
  const native = Number(execFileSync(nativeLoop, [String(N), nativeName]).toString().split(" ")[0]);
  rows.push({ name, calc, call, overhead: call - calc, array, native, ratio: array / native });
}

console.log("ns per element; the least of five rounds");
console.log("function       in wasm  JS call  overhead  array(10^6)  native C loop  array/native");
for (const r of rows) {
  console.log(`${r.name.padEnd(13)} ${r.calc.toFixed(1).padStart(8)} ${r.call.toFixed(1).padStart(8)} ` +
    `${r.overhead.toFixed(1).padStart(9)} ${r.array.toFixed(1).padStart(12)} ${r.native.toFixed(1).padStart(14)} ` +
    `${r.ratio.toFixed(2).padStart(13)}`);
}
