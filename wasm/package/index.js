// pelmora: Maidenhead locators, bearings and great-circle distances, bit for
// bit as the methods of Pelmora.dll's CalcDistClass compute them, from
// libpelmora built for WebAssembly (pelmora.wasm, beside this file).
//
// wasm's arithmetic is IEEE 754's four operations and square root with
// round to nearest, and the module computes its sines, cosines and arc
// tangents itself, correctly rounded; so its results are the DLL's bits in
// every engine. The one thing an engine may choose is the sign and payload
// of a NaN that an operation makes: a NaN result is a NaN, nothing more.
//
// Arguments are converted as Automation converts a float parameter: a
// number becomes the nearest float32 (Math.fround); one beyond the float32
// range (an infinity too) is refused with a RangeError; NaN passes. A
// failure of a calculation throws PelmoraError with the DLL's error number
// and description.

const FLT_MAX = 3.4028234663852886e38; // 0x7F7FFFFF

// ---- The module ----

const wasmUrl = new URL("./pelmora.wasm", import.meta.url);

async function loadModule() {
  // Node: read beside this file and compile synchronously.
  if (typeof process === "object" && process.versions != null && process.versions.node != null) {
    const { readFileSync } = await import("node:fs");
    const { fileURLToPath } = await import("node:url");
    return new WebAssembly.Instance(new WebAssembly.Module(readFileSync(fileURLToPath(wasmUrl))), {});
  }
  const response = await fetch(wasmUrl);
  if (!response.ok) throw new Error(`pelmora: cannot load ${wasmUrl}: HTTP ${response.status}`);
  return (await WebAssembly.instantiate(await response.arrayBuffer(), {})).instance;
}

const wasm = (await loadModule()).exports;
const CHUNK = wasm.pelmora_wasm_chunk();
const TEXT_UNITS = wasm.pelmora_wasm_text_units();
const LOCATOR_UNITS = 7; // PELMORA_LOCATOR_SIZE16
const area = {
  args: [0, 1, 2, 3].map((i) => wasm.pelmora_wasm_area(i)),
  wide: wasm.pelmora_wasm_area(4),
  results: wasm.pelmora_wasm_area(5),
  statuses: wasm.pelmora_wasm_area(6),
  locators: wasm.pelmora_wasm_area(7),
  text: wasm.pelmora_wasm_area(8),
  offsets: wasm.pelmora_wasm_area(9),
  scalar: wasm.pelmora_wasm_area(10),
};

// Views of the memory, made again when it grows (an allocation may grow
// it): the old buffer is then detached, and its views have length 0.
let f32 = new Float32Array(0);
let f64, i32, u16, u8;
function views() {
  if (f32.length === 0) {
    const buffer = wasm.memory.buffer;
    f32 = new Float32Array(buffer);
    f64 = new Float64Array(buffer);
    i32 = new Int32Array(buffer);
    u16 = new Uint16Array(buffer);
    u8 = new Uint8Array(buffer);
  }
}
views();

function cString(pointer) {
  views();
  let end = pointer;
  while (u8[end] !== 0) end++;
  return new TextDecoder().decode(u8.subarray(pointer, end));
}

/** The library's version, "MAJOR.MINOR.PATCH". */
export const version = cString(wasm.pelmora_version());

const descriptions = new Map();
function describe(status) {
  let text = descriptions.get(status);
  if (text === undefined) {
    text = cString(wasm.pelmora_strerror(status));
    descriptions.set(status, text);
  }
  return text;
}

// ---- Errors ----

/**
 * A calculation failed as the DLL's method fails: `number` is the DLL's
 * error number (6 Overflow, 5 Invalid procedure call or argument, 513
 * Floating-point error), `description` its text, `value` what the method's
 * out-parameter holds then (0 for the number methods, null for the text
 * methods), `index` the element of a batch that failed, or null.
 */
export class PelmoraError extends Error {
  constructor(number, description, value = null, index = null) {
    super(`${description} (error ${number})${index === null ? "" : ` at index ${index}`}`);
    this.name = "PelmoraError";
    this.number = number;
    this.description = description;
    this.value = value;
    this.index = index;
  }
}

function fail(status, value, index = null) {
  if (status < 0) throw new Error(`pelmora: ${describe(status)}`); // never made here
  return new PelmoraError(status, describe(status), value, index);
}

// ---- Arguments ----

function number(x, name) {
  if (typeof x !== "number") throw new TypeError(`${name} must be a number, not ${typeof x}`);
  if (x > FLT_MAX || x < -FLT_MAX) throw new RangeError(`${name} ${x} is beyond single precision`);
  return x;
}

function isBatch(x) {
  return Array.isArray(x) || (ArrayBuffer.isView(x) && !(x instanceof DataView));
}

// The arguments of a call that has at least one batch: each a Float32Array
// (used bit for bit), a Float64Array (narrowed in the module) or a number
// for every element; returns the common length.
function columns(args, names) {
  let length = -1;
  const cols = args.map((x, k) => {
    if (!isBatch(x)) return number(x, names[k]);
    if (x instanceof Float32Array || x instanceof Float64Array) {
      // used as it is
    } else if (x instanceof BigInt64Array || x instanceof BigUint64Array) {
      throw new TypeError(`${names[k]} must hold numbers, not bigints`);
    } else if (Array.isArray(x)) {
      const d = new Float64Array(x.length);
      for (let i = 0; i < x.length; i++) {
        if (typeof x[i] !== "number") {
          throw new TypeError(`${names[k]}[${i}] must be a number, not ${typeof x[i]}`);
        }
        d[i] = x[i];
      }
      x = d;
    } else {
      x = Float64Array.from(x);
    }
    if (length >= 0 && x.length !== length) {
      throw new RangeError(`the batch arguments differ in length (${length} and ${x.length})`);
    }
    length = x.length;
    return x;
  });
  return { cols, length };
}

// Chunk [start, start + n) of each argument into the argument areas.
function fill(cols, names, start, n) {
  for (let k = 0; k < cols.length; k++) {
    const c = cols[k];
    const at = area.args[k] >> 2;
    views();
    if (typeof c === "number") {
      f32.fill(c, at, at + n);
    } else if (c instanceof Float32Array) {
      f32.set(c.subarray(start, start + n), at);
    } else {
      f64.set(c.subarray(start, start + n), area.wide >> 3);
      const refused = wasm.pelmora_wasm_narrow(k, n);
      if (refused >= 0) {
        throw new RangeError(
          `${names[k]}[${start + refused}] ${c[start + refused]} is beyond single precision`);
      }
    }
  }
}

function options(o) {
  if (o === undefined) return false;
  if (o === null || typeof o !== "object") throw new TypeError("options must be an object");
  return o.statuses === true;
}

// A batch of a number function: Float32Array results, or with statuses
// { values, statuses }.
function numberBatch(kind, args, names, withStatuses) {
  const { cols, length } = columns(args, names);
  const values = new Float32Array(length);
  const statuses = withStatuses ? new Int32Array(length) : null;
  for (let start = 0; start < length; start += CHUNK) {
    const n = Math.min(CHUNK, length - start);
    fill(cols, names, start, n);
    const failures = wasm.pelmora_wasm_numbers(kind, n);
    views();
    values.set(f32.subarray(area.results >> 2, (area.results >> 2) + n), start);
    if (failures !== 0) {
      const s = i32.subarray(area.statuses >> 2, (area.statuses >> 2) + n);
      if (withStatuses) {
        statuses.set(s, start);
      } else {
        const i = s.findIndex((x) => x !== 0);
        throw fail(s[i], values[start + i], start + i);
      }
    }
  }
  return withStatuses ? { values, statuses } : values;
}

function readLocator(at) {
  // Six units: a field of code 0 is U+0000 inside the text.
  return String.fromCharCode(u16[at], u16[at + 1], u16[at + 2], u16[at + 3], u16[at + 4], u16[at + 5]);
}

function locatorBatch(kind, args, names, withStatuses) {
  const { cols, length } = columns(args, names);
  const values = new Array(length);
  const statuses = withStatuses ? new Int32Array(length) : null;
  for (let start = 0; start < length; start += CHUNK) {
    const n = Math.min(CHUNK, length - start);
    fill(cols, names, start, n);
    const failures = wasm.pelmora_wasm_locators(kind, n);
    views();
    const s = area.statuses >> 2;
    for (let i = 0; i < n; i++) {
      const status = i32[s + i];
      if (status === 0) {
        values[start + i] = readLocator((area.locators >> 1) + i * LOCATOR_UNITS);
      } else if (withStatuses) {
        values[start + i] = null;
      } else {
        throw fail(status, null, start + i);
      }
    }
    if (withStatuses && failures !== 0) statuses.set(i32.subarray(s, s + n), start);
  }
  return withStatuses ? { values, statuses } : values;
}

function grids(x) {
  if (!Array.isArray(x)) throw new TypeError("grid must be a string or an array of strings");
  for (let i = 0; i < x.length; i++) {
    if (typeof x[i] !== "string") throw new TypeError(`grid[${i}] must be a string, not ${typeof x[i]}`);
  }
  return x;
}

// A text's UTF-16 units at `at` of the memory (lone surrogates as they
// are, as an Automation string carries them).
function putText(text, at) {
  for (let i = 0; i < text.length; i++) u16[at + i] = text.charCodeAt(i);
}

function decodeOne(kind, grid) {
  const decodeFn = kind === 0 ? wasm.pelmora_lat_from_grid16 : wasm.pelmora_long_from_grid16;
  views();
  let status;
  if (grid.length <= TEXT_UNITS) {
    putText(grid, area.text >> 1);
    status = decodeFn(area.text, grid.length, area.scalar);
  } else {
    const p = wasm.pelmora_wasm_alloc(grid.length * 2);
    if (p === 0) throw new RangeError("pelmora: no memory for a text of this length");
    try {
      views();
      putText(grid, p >> 1);
      status = decodeFn(p, grid.length, area.scalar);
    } finally {
      wasm.pelmora_wasm_free(p);
    }
  }
  views();
  const value = f32[area.scalar >> 2];
  return { status, value };
}

function decodeBatch(kind, list, withStatuses) {
  const length = list.length;
  const values = new Float32Array(length);
  const statuses = withStatuses ? new Int32Array(length) : null;
  let start = 0;
  while (start < length) {
    // As many texts as fit the text area; one that does not alone, by the
    // scalar call.
    views();
    const offsets = area.offsets >> 2;
    const text = area.text >> 1;
    let n = 0;
    let used = 0;
    while (start + n < length && n < CHUNK && used + list[start + n].length <= TEXT_UNITS) {
      i32[offsets + n] = used;
      putText(list[start + n], text + used);
      used += list[start + n].length;
      n++;
    }
    if (n === 0) {
      const { status, value } = decodeOne(kind, list[start]);
      values[start] = value;
      if (status !== 0) {
        if (!withStatuses) throw fail(status, value, start);
        statuses[start] = status;
      }
      start++;
      continue;
    }
    i32[offsets + n] = used;
    const failures = wasm.pelmora_wasm_decode(kind, n);
    views();
    values.set(f32.subarray(area.results >> 2, (area.results >> 2) + n), start);
    if (failures !== 0) {
      const s = i32.subarray(area.statuses >> 2, (area.statuses >> 2) + n);
      if (!withStatuses) {
        const i = s.findIndex((x) => x !== 0);
        throw fail(s[i], values[start + i], start + i);
      }
      statuses.set(s, start);
    }
    start += n;
  }
  return withStatuses ? { values, statuses } : values;
}

// ---- The functions ----

function numberCall(status) {
  views();
  const value = f32[area.scalar >> 2];
  if (status !== 0) throw fail(status, value);
  return value;
}

// Whether x is a number that a float parameter takes (NaN included): the
// fast path of a scalar call, which makes no other check.
function plain(x) {
  return typeof x === "number" && !(x > FLT_MAX || x < -FLT_MAX);
}
const SCALAR = area.scalar;
const SCALAR_F32 = area.scalar >> 2;

function locatorCall(status) {
  views();
  if (status !== 0) throw fail(status, null);
  return readLocator(area.scalar >> 1);
}

const LAT_LON = ["lat", "lon"];
const FOUR = ["myLat", "myLon", "lat", "lon"];
const AB = ["aLat", "aLon", "bLat", "bLon"];

/**
 * The six-character locator of a position, the DLL's GridFromLatLong
 * (coordinate / 20 or 10 + 9, in double).
 */
export function gridFromLatLong(lat, lon, opts) {
  if (plain(lat) && plain(lon) && opts === undefined) {
    return locatorCall(wasm.pelmora_grid_from_lat_long16(lat, lon, SCALAR, LOCATOR_UNITS));
  }
  if (isBatch(lat) || isBatch(lon)) return locatorBatch(1, [lat, lon], LAT_LON, options(opts));
  return locatorCall(wasm.pelmora_grid_from_lat_long16(number(lat, "lat"), number(lon, "lon"),
    area.scalar, LOCATOR_UNITS));
}

/**
 * The six-character locator of a position, the DLL's sLocator (the running
 * quotients rounded to float).
 */
export function sLocator(lat, lon, opts) {
  if (plain(lat) && plain(lon) && opts === undefined) {
    return locatorCall(wasm.pelmora_s_locator16(lat, lon, SCALAR, LOCATOR_UNITS));
  }
  if (isBatch(lat) || isBatch(lon)) return locatorBatch(0, [lat, lon], LAT_LON, options(opts));
  return locatorCall(wasm.pelmora_s_locator16(number(lat, "lat"), number(lon, "lon"),
    area.scalar, LOCATOR_UNITS));
}

/** The latitude of the centre of a locator's square or subsquare, the DLL's LatFromGrid. */
export function latFromGrid(grid, opts) {
  if (typeof grid !== "string") return decodeBatch(0, grids(grid), options(opts));
  const { status, value } = decodeOne(0, grid);
  if (status !== 0) throw fail(status, value);
  return value;
}

/** The longitude of the centre of a locator's square or subsquare, the DLL's LongFromGrid. */
export function longFromGrid(grid, opts) {
  if (typeof grid !== "string") return decodeBatch(1, grids(grid), options(opts));
  const { status, value } = decodeOne(1, grid);
  if (status !== 0) throw fail(status, value);
  return value;
}

/** The bearing in whole degrees 0..360 from my position to the other, the DLL's Azimut. */
export function azimut(myLat, myLon, lat, lon, opts) {
  if (plain(myLat) && plain(myLon) && plain(lat) && plain(lon) && opts === undefined) {
    const status = wasm.pelmora_azimut(myLat, myLon, lat, lon, SCALAR);
    if (f32.length === 0) views();
    if (status === 0) return f32[SCALAR_F32];
    throw fail(status, f32[SCALAR_F32]);
  }
  if (isBatch(myLat) || isBatch(myLon) || isBatch(lat) || isBatch(lon)) {
    return numberBatch(0, [myLat, myLon, lat, lon], FOUR, options(opts));
  }
  return numberCall(wasm.pelmora_azimut(number(myLat, "myLat"), number(myLon, "myLon"),
    number(lat, "lat"), number(lon, "lon"), area.scalar));
}

/** Kilometres plus 0.5 from a to b along the great circle, the DLL's DistanceFrom. */
export function distanceFrom(aLat, aLon, bLat, bLon, opts) {
  if (plain(aLat) && plain(aLon) && plain(bLat) && plain(bLon) && opts === undefined) {
    const status = wasm.pelmora_distance_from(aLat, aLon, bLat, bLon, SCALAR);
    if (f32.length === 0) views();
    if (status === 0) return f32[SCALAR_F32];
    throw fail(status, f32[SCALAR_F32]);
  }
  if (isBatch(aLat) || isBatch(aLon) || isBatch(bLat) || isBatch(bLon)) {
    return numberBatch(1, [aLat, aLon, bLat, bLon], AB, options(opts));
  }
  return numberCall(wasm.pelmora_distance_from(number(aLat, "aLat"), number(aLon, "aLon"),
    number(bLat, "bLat"), number(bLon, "bLon"), area.scalar));
}

/** The arc cosine in radians, the DLL's ArcCos (never fails). */
export function arcCos(x, opts) {
  if (plain(x) && opts === undefined) {
    wasm.pelmora_arc_cos(x, SCALAR); // never fails
    if (f32.length === 0) views();
    return f32[SCALAR_F32];
  }
  if (isBatch(x)) return numberBatch(2, [x], ["x"], options(opts));
  return numberCall(wasm.pelmora_arc_cos(number(x, "x"), area.scalar));
}

// ---- Locators of every precision, paths ----
//
// Beside the DLL's six-character functions: locators of 2 to 12 characters,
// exact (libpelmora's pelmora_locator and pelmora_locator_cell), and the
// short and long paths between positions or locators. These take scalars
// only. A text that is no locator, or a value out of range, is a RangeError.

const NOT_A_LOCATOR = -3;
const OUT_OF_RANGE = -4;

// Calls fn with the memory addresses of the texts' UTF-16 units: in the
// text area when they fit, else in memory allocated for the call.
function withTexts(texts, fn) {
  const total = texts.reduce((n, t) => n + t.length, 0);
  let base = area.text;
  let allocated = 0;
  if (total > TEXT_UNITS) {
    allocated = wasm.pelmora_wasm_alloc(total * 2);
    if (allocated === 0) throw new RangeError("pelmora: no memory for a text of this length");
    base = allocated;
  }
  try {
    views();
    const at = [];
    let used = 0;
    for (const t of texts) {
      putText(t, (base >> 1) + used);
      at.push(base + used * 2);
      used += t.length;
    }
    return fn(...at);
  } finally {
    if (allocated !== 0) wasm.pelmora_wasm_free(allocated);
  }
}

function text(x, name) {
  if (typeof x !== "string") throw new TypeError(`${name} must be a string, not ${typeof x}`);
  return x;
}

function noLocator(x) {
  return new RangeError(`${JSON.stringify(x.length > 40 ? x.slice(0, 40) + "..." : x)} is no locator`);
}

function readPath() {
  views();
  const at = SCALAR_F32;
  return { distance: f32[at], bearing: f32[at + 1], longDistance: f32[at + 2], longBearing: f32[at + 3] };
}

function pathCall(status) {
  const path = readPath();
  if (status !== 0) throw fail(status, path);
  return path;
}

/**
 * The locator of `characters` characters (2, 4, ..., 12; default 6) whose
 * cell holds the exact position, the coordinates taken as they are (double
 * degrees, not rounded to float): a position on a boundary belongs to the
 * cell north or east of it, latitude 90 to the top row, longitude 180 to
 * column A. RangeError for a latitude outside -90..90, a longitude outside
 * -180..180, NaN, or another count.
 */
export function locator(lat, lon, characters = 6) {
  if (typeof lat !== "number") throw new TypeError(`lat must be a number, not ${typeof lat}`);
  if (typeof lon !== "number") throw new TypeError(`lon must be a number, not ${typeof lon}`);
  if (!Number.isInteger(characters) || characters < 2 || characters > 12 || characters % 2 !== 0) {
    throw new RangeError(`characters must be 2, 4, 6, 8, 10 or 12, not ${characters}`);
  }
  const status = wasm.pelmora_locator16(lat, lon, characters, SCALAR, 13);
  if (status === OUT_OF_RANGE) {
    throw new RangeError(`${lat}, ${lon} lies outside the grid (latitude -90 to 90, longitude -180 to 180)`);
  }
  if (status !== 0) throw fail(status, null);
  views();
  return String.fromCharCode(...u16.subarray(SCALAR >> 1, (SCALAR >> 1) + characters));
}

/**
 * The cell of a locator of 2 to 12 characters (either case, spaces at both
 * ends skipped): its centre (lat, lon), south-west corner (south, west) and
 * size (height, width) in degrees, each the double nearest the exact value,
 * and its count of characters. RangeError for a text that is no locator.
 */
export function locatorCell(grid) {
  text(grid, "locator");
  const status = withTexts([grid], (at) => wasm.pelmora_locator_cell16(at, grid.length, SCALAR));
  if (status === NOT_A_LOCATOR) throw noLocator(grid);
  if (status !== 0) throw fail(status, null);
  views();
  const d = SCALAR >> 3;
  return { lat: f64[d], lon: f64[d + 1], south: f64[d + 2], west: f64[d + 3], height: f64[d + 4],
    width: f64[d + 5], characters: i32[(SCALAR >> 2) + 12] };
}

/**
 * The centre { lat, lon } of a locator of 2 to 12 characters, each the
 * double nearest the exact value (latFromGrid and longFromGrid validate
 * nothing and give floats). RangeError for a text that is no locator.
 */
export function locatorCentre(grid) {
  const { lat, lon } = locatorCell(grid);
  return { lat, lon };
}

/**
 * How many characters the locator `text` has (2 to 12; either case, spaces
 * at both ends skipped), or 0 when it is no locator.
 */
export function isLocator(value) {
  text(value, "text");
  withTexts([value], (at) => wasm.pelmora_is_locator16(at, value.length, SCALAR));
  views();
  return i32[SCALAR_F32];
}

/**
 * The path { distance, bearing, longDistance, longBearing } between the
 * centres of two locators of 2 to 12 characters, as floats: for 4 or 6
 * characters the DLL's centres (latFromGrid, longFromGrid), so that every
 * figure is the DLL's; for the others the exact centre rounded to float.
 * RangeError for a text that is no locator; PelmoraError as positionPath.
 */
export function gridPath(from, to) {
  text(from, "from");
  text(to, "to");
  const status = withTexts([from, to],
    (a, b) => wasm.pelmora_grid_path16(a, from.length, b, to.length, SCALAR));
  if (status === NOT_A_LOCATOR) {
    throw noLocator(isLocator(from) === 0 ? from : to);
  }
  return pathCall(status);
}

/**
 * The path { distance, bearing, longDistance, longBearing } from my
 * position to the other: distance and bearing as distanceFrom and azimut
 * give them, and the long path the other way round the same great circle
 * (longPathDistance, longPathBearing). Arguments are rounded to float32 as
 * distanceFrom's. PelmoraError 513 when the distance or the bearing fails;
 * its value is the path, the failed part and its long counterpart 0.
 */
export function positionPath(myLat, myLon, lat, lon) {
  return pathCall(wasm.pelmora_position_path(number(myLat, "myLat"), number(myLon, "myLon"),
    number(lat, "lat"), number(lon, "lon"), SCALAR));
}

/**
 * The long path's kilometres plus 0.5 from a short path's distance d
 * (distanceFrom's result): 40004.2 - d in double rounded to float32, or the
 * whole circle 40003.6992 for d = 0 (the same place). RangeError for a
 * distance outside 0..20002.0996 or NaN.
 */
export function longPathDistance(distance) {
  const status = wasm.pelmora_long_path_distance(number(distance, "distance"), SCALAR);
  if (status === OUT_OF_RANGE) throw new RangeError(`${distance} is no short path's distance (0 to 20002.0996)`);
  return numberCall(status);
}

/**
 * The reverse of a bearing in whole degrees: b + 180 below 180, else
 * b - 180 (0 and 360 give 180). RangeError outside 0..360 or NaN.
 */
export function longPathBearing(bearing) {
  const status = wasm.pelmora_long_path_bearing(number(bearing, "bearing"), SCALAR);
  if (status === OUT_OF_RANGE) throw new RangeError(`${bearing} is no bearing (0 to 360)`);
  return numberCall(status);
}
