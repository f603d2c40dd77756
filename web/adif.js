// The page's reading and annotating of an ADIF log: the same bytes as
// `pelmora batch` writes for the log (cli/batch.cpp, cli/adif.cpp), and the
// contacts for the chart and the table.
//
// A log is bytes: a field's length counts the bytes of its value, and every
// byte that the annotation does not replace is written back as it was. The
// whole log is in memory, so each record is split with the end of the input
// known (no partial windows). A record beyond the record limit is found as
// a whole and passed on; the command, which lets go of such a record in
// pieces as it reads, ends one differently in one case only: when a value
// of it runs past the end of the log and an end tag stands inside that
// value in the part let go of.

const LT = 0x3c; // <
const GT = 0x3e; // >
const COLON = 0x3a;
const LF = 0x0a;
const MAX_TAG = 1024; // a "<" with no ">" within this many bytes opens no tag
const EXCERPT = 40; // the bytes of a value or name a message quotes
const latin1 = new TextDecoder("latin1");
const utf8 = new TextEncoder();

function lower(c) {
  return c >= 0x41 && c <= 0x5a ? c + 32 : c;
}

// Whether bytes [begin, end) are `name` (ASCII) in any case.
function sameName(bytes, begin, end, name) {
  if (end - begin !== name.length) return false;
  for (let i = 0; i < name.length; i++) {
    if (lower(bytes[begin + i]) !== lower(name.charCodeAt(i))) return false;
  }
  return true;
}

// Bytes as text, one character a byte (what the table shows; locators are
// ASCII).
function text(bytes, begin, end) {
  if (end - begin > 64) return latin1.decode(bytes.subarray(begin, end));
  return String.fromCharCode.apply(null, bytes.subarray(begin, end));
}

const HEX = "0123456789abcdef";

/**
 * Bytes [begin, end) quoted for a message as the command quotes them: at
 * most 40 bytes in single quotes, each byte outside printable ASCII (and
 * the quote and the backslash) as \xHH, then the whole size when cut.
 */
export function excerpt(bytes, begin = 0, end = bytes.length) {
  let out = "'";
  for (let i = begin; i < Math.min(end, begin + EXCERPT); i++) {
    const c = bytes[i];
    out += c >= 0x20 && c < 0x7f && c !== 0x27 && c !== 0x5c ? String.fromCharCode(c)
      : `\\x${HEX[c >> 4]}${HEX[c & 15]}`;
  }
  out += "'";
  if (end - begin > EXCERPT) out += `... (${end - begin} bytes)`;
  return out;
}

// A field name for a message: itself when short and printable, else an
// excerpt.
function label(bytes, begin, end) {
  let plain = end - begin <= EXCERPT;
  for (let i = begin; plain && i < end; i++) plain = bytes[i] >= 0x20 && bytes[i] < 0x7f;
  return plain ? text(bytes, begin, end) : excerpt(bytes, begin, end);
}

// [begin, end) without the spaces and tabs at both ends.
function trimmed(bytes, begin, end) {
  while (begin < end && (bytes[begin] === 0x20 || bytes[begin] === 0x09)) begin++;
  while (end > begin && (bytes[end - 1] === 0x20 || bytes[end - 1] === 0x09)) end--;
  return [begin, end];
}

// The next <EOR> or <EOH> (any case) from `from`: [its "<", whether EOH],
// or null.
function findEndTag(bytes, from) {
  for (let at = bytes.indexOf(LT, from); at >= 0; at = bytes.indexOf(LT, at + 1)) {
    if (at + 5 <= bytes.length && bytes[at + 4] === GT &&
        (sameName(bytes, at + 1, at + 4, "eor") || sameName(bytes, at + 1, at + 4, "eoh"))) {
      return [at, sameName(bytes, at + 1, at + 4, "eoh")];
    }
  }
  return null;
}

// A malformed record runs through the next end tag, or to the end.
function malformed(bytes, at, problem, record) {
  const found = findEndTag(bytes, at);
  if (found === null) {
    record.endTag = record.end = bytes.length;
  } else {
    record.endTag = found[0];
    record.end = found[0] + 5;
    record.endsHeader = found[1];
  }
  record.problem = problem;
  record.problemAt = at;
  return true;
}

export function newRecord() {
  return { fields: [], count: 0, endTag: 0, end: 0, endsHeader: false, problem: "", problemAt: 0 };
}

/**
 * The record starting at byte `start`, into `record` (made by newRecord and
 * used again for every record, so that a long log makes no objects per
 * record): { fields, count, endTag, end, endsHeader, problem, problemAt }
 * (offsets into `bytes`; fields[0 .. count) are { tag, value, end,
 * nameBegin, nameEnd, typeBegin, typeEnd }). Returns false when only text
 * without a tag is left.
 */
export function splitRecord(bytes, start, record) {
  record.count = 0;
  record.endsHeader = false;
  record.problem = "";
  const n = bytes.length;
  let pos = start;
  for (;;) {
    if (pos > n) {
      const f = record.fields[record.count - 1];
      return malformed(bytes, f.tag,
        `the value of ${excerpt(bytes, f.nameBegin, f.nameEnd)} runs past the end of the log`, record);
    }
    const open = bytes.indexOf(LT, pos);
    if (open < 0) {
      if (record.count === 0) return false;
      return malformed(bytes, n, "the record has no <EOR>", record);
    }
    // The tag's ">", before any other "<" and within MAX_TAG bytes.
    const limit = Math.min(n, open + MAX_TAG);
    let close = open + 1;
    while (close < limit && bytes[close] !== GT && bytes[close] !== LT) close++;
    if (close === limit) {
      return malformed(bytes, open, `a tag without '>': ${excerpt(bytes, open, Math.min(n, open + 20))}`, record);
    }
    if (bytes[close] === LT) {
      return malformed(bytes, open, `a '<' that opens no tag: ${excerpt(bytes, open, close)}`, record);
    }
    let colon = bytes.indexOf(COLON, open + 1);
    if (colon < 0 || colon > close) colon = -1;
    const nameEnd = colon < 0 ? close : colon;
    if (nameEnd - open - 1 === 3 &&
        (sameName(bytes, open + 1, nameEnd, "eor") || sameName(bytes, open + 1, nameEnd, "eoh"))) {
      record.endTag = open;
      record.end = close + 1;
      record.endsHeader = sameName(bytes, open + 1, nameEnd, "eoh");
      return true;
    }
    if (colon < 0 || nameEnd === open + 1) {
      return malformed(bytes, open, `the tag ${excerpt(bytes, open + 1, close)} has no length`, record);
    }
    let second = bytes.indexOf(COLON, colon + 1);
    if (second < 0 || second > close) second = -1;
    const digitsEnd = second < 0 ? close : second;
    let length = 0;
    let good = digitsEnd > colon + 1 && digitsEnd - colon - 1 <= 15;
    for (let i = colon + 1; good && i < digitsEnd; i++) {
      good = bytes[i] >= 0x30 && bytes[i] <= 0x39;
      length = length * 10 + (bytes[i] - 0x30);
    }
    if (!good) {
      return malformed(bytes, open, `the field ${excerpt(bytes, open + 1, nameEnd)} has a bad length ${
        excerpt(bytes, colon + 1, digitsEnd)}`, record);
    }
    const field = record.fields[record.count] ?? (record.fields[record.count] = {});
    field.tag = open;
    field.value = close + 1;
    field.end = close + 1 + length;
    field.nameBegin = open + 1;
    field.nameEnd = nameEnd;
    field.typeBegin = second < 0 ? close : second + 1;
    field.typeEnd = close;
    record.count++;
    pos = field.end;
  }
}

function isLetter(c, last) {
  return (c >= 0x41 && c <= last) || (c >= 0x61 && c <= last + 32);
}
function isDigit(c) {
  return c >= 0x30 && c <= 0x39;
}

// Whether the field letter of one coordinate (0 longitude, 1 latitude) of
// locator text `t` is S at the grid's edge: the coordinate's other
// characters the lowest.
function edge(t, coordinate) {
  if (t.length > 6 || (t[coordinate] !== "S" && t[coordinate] !== "s")) return false;
  if (t[coordinate + 2] !== "0") return false;
  return t.length < 6 || t[coordinate + 4] === "a" || t[coordinate + 4] === "A";
}

// Whether `t` is a locator of four or six characters as the DLL's encoders
// write them (S at the grid's edge included).
function isDllLocator(t) {
  if (t.length !== 4 && t.length !== 6) return false;
  for (const coordinate of [0, 1]) {
    if (!isLetter(t.charCodeAt(coordinate), 0x52) && !edge(t, coordinate)) return false;
  }
  if (!isDigit(t.charCodeAt(2)) || !isDigit(t.charCodeAt(3))) return false;
  return t.length === 4 || (isLetter(t.charCodeAt(4), 0x58) && isLetter(t.charCodeAt(5), 0x58));
}

// `t` without the spaces and tabs at both ends.
function trimText(t) {
  const blank = (c) => c === 0x20 || c === 0x09;
  return t.length > 0 && (blank(t.charCodeAt(0)) || blank(t.charCodeAt(t.length - 1)))
    ? t.replace(/^[ \t]+|[ \t]+$/g, "") : t;
}

/**
 * The position [lat, lon] (floats) a locator text stands for, as the
 * command reads one: spaces and tabs at both ends skipped; four or six
 * characters the DLL's centre (latFromGrid, longFromGrid), so that every
 * figure for them is the DLL's; 2, 8, 10 or 12 the exact centre rounded
 * once to float. null when the text is no locator; a failed decoding throws
 * the package's PelmoraError.
 */
export function readLocator(value, lib) {
  const t = trimText(value);
  if (isDllLocator(t)) return [lib.latFromGrid(t), lib.longFromGrid(t)];
  let centre;
  try {
    centre = lib.locatorCentre(t);
  } catch (e) {
    if (e instanceof RangeError) return null; // no locator
    throw e;
  }
  return [Math.fround(centre.lat), Math.fround(centre.lon)];
}

/**
 * Why `name` cannot be the bearing's field, as the command says it, or ""
 * when it can.
 */
export function bearingFieldProblem(name) {
  if (name === "" || /[<>:, \t\r\n]/.test(name)) return `${excerpt(utf8.encode(name))} cannot be an ADIF field name`;
  for (const taken of ["DISTANCE", "GRIDSQUARE", "MY_GRIDSQUARE", "GRIDSQUARE_EXT", "MY_GRIDSQUARE_EXT"]) {
    if (name.length === taken.length && name.toUpperCase() === taken && /^[A-Za-z_]+$/.test(name)) {
      return `the bearing cannot be written to ${taken}`;
    }
  }
  return "";
}

// The shortest decimal digits that read back as the float32 a > 0, and
// the exponent of the first: of several of one length, the nearest to a,
// and of two as near, the even one (round to nearest). The correctly
// rounded digits of each length are the nearest; only when a lies halfway
// between two, or when they do not read back but a neighbour does (the
// interval of a power of two is wider above than below), are the
// candidates compared exactly.
function shortestDigits(a) {
  for (let p = 1; p <= 9; p++) {
    const [m, e] = a.toExponential(p - 1).split("e");
    const k = Number(e) - p + 1;
    const nearest = m.replace(".", "");
    if (Math.fround(Number(`${nearest}e${k}`)) === a) {
      const [h, he] = a.toExponential(p).split("e");
      if (!h.endsWith("5") || Number(`${h}e${he}`) !== a) return [nearest.replace(/0+$/, ""), Number(e)];
    }
    const best = nearestExactly(a, BigInt(nearest), k, p);
    if (best !== null) return [best.replace(/0+$/, ""), Number(e)];
  }
  throw new Error(`no digits read back as ${a}`); // nine always do
}

// Of C - 1, C and C + 1 (p digits each, times 10^k), the one that reads
// back as a and is nearest to it, the even one of two as near; or null.
function nearestExactly(a, C, k, p) {
  // a = M 2^E exactly.
  const bits = new Uint32Array(new Float32Array([a]).buffer)[0];
  const field = bits >>> 23;
  const M = BigInt(field === 0 ? bits & 0x7fffff : (bits & 0x7fffff) | 0x800000);
  const E = (field === 0 ? 1 : field) - 150;
  // |c 10^k - a|, all scaled by one power of 2 and of 10.
  const distance = (c) => {
    const twos = E < 0 ? 2n ** BigInt(-E) : 1n;
    const m = E >= 0 ? M * 2n ** BigInt(E) : M;
    const d = k >= 0 ? c * 10n ** BigInt(k) * twos - m : c * twos - m * 10n ** BigInt(-k);
    return d < 0n ? -d : d;
  };
  let best = null;
  for (const c of [C - 1n, C, C + 1n]) {
    const digits = c.toString();
    if (digits.length !== p || digits === "0") continue; // another exponent
    if (Math.fround(Number(`${digits}e${k}`)) !== a) continue;
    const d = distance(c);
    if (best === null || d < best.d || (d === best.d && c % 2n === 0n)) best = { c, d };
  }
  return best === null ? null : best.c.toString();
}

/**
 * The shortest decimal that reads back as the float32 `x`, written as
 * std::to_chars writes a float without a format: the shorter of fixed and
 * scientific notation (fixed when both are as long), "nan" and "inf".
 */
export function formatFloat(x) {
  if (Number.isNaN(x)) return "nan";
  if (x === Infinity) return "inf";
  if (x === -Infinity) return "-inf";
  if (x === 0) return Object.is(x, -0) ? "-0" : "0";
  const sign = x < 0 ? "-" : "";
  const a = Math.abs(x);
  // A whole number below 10^5 (a bearing, say): its digits, as short as
  // any other form.
  if (a < 1e5 && Number.isInteger(a)) return sign + String(a);
  let digits = "";
  let exponent = 0;
  if (Number.isInteger(a) && a < 2 ** 24) {
    // An integer float below 2^24: its own digits are the shortest.
    const whole = String(a);
    digits = whole.replace(/0+$/, "");
    exponent = whole.length - 1;
  } else {
    [digits, exponent] = shortestDigits(a);
  }
  const n = digits.length;
  const scientific = digits[0] + (n > 1 ? "." + digits.slice(1) : "") + "e" +
    (exponent < 0 ? "-" : "+") + String(Math.abs(exponent)).padStart(2, "0");
  let fixed;
  // An integer as long as its shortest digits padded with zeros: its exact
  // digits, which are as short and nearer (123456792, not 123456790).
  if (exponent >= n - 1) fixed = a < 1e21 ? String(a) : BigInt(a).toString();
  else if (exponent >= 0) fixed = digits.slice(0, exponent + 1) + "." + digits.slice(exponent + 1);
  else fixed = "0." + "0".repeat(-exponent - 1) + digits;
  return sign + (fixed.length <= scientific.length ? fixed : scientific);
}

function countLines(bytes, begin, end) {
  let n = 0;
  for (let at = bytes.indexOf(LF, begin); at >= 0 && at < end; at = bytes.indexOf(LF, at + 1)) n++;
  return n;
}

function field(name, type, value) {
  return `<${name}:${value.length}${type ? ":" + type : ""}>${value}`;
}

// The annotated log as it is written: a byte buffer that grows.
class Output {
  constructor(size) {
    this.bytes = new Uint8Array(size);
    this.length = 0;
  }
  room(n) {
    if (this.length + n <= this.bytes.length) return;
    const bigger = new Uint8Array(Math.max(this.bytes.length * 2, this.length + n));
    bigger.set(this.bytes.subarray(0, this.length));
    this.bytes = bigger;
  }
  // Bytes [begin, end) of the log.
  copy(bytes, begin, end) {
    this.room(end - begin);
    if (end - begin > 32) {
      this.bytes.set(bytes.subarray(begin, end), this.length);
      this.length += end - begin;
    } else {
      for (let i = begin; i < end; i++) this.bytes[this.length++] = bytes[i];
    }
  }
  // ASCII text.
  text(t) {
    this.room(t.length);
    for (let i = 0; i < t.length; i++) this.bytes[this.length++] = t.charCodeAt(i);
  }
  // A field as the command writes it; its name and type bytes of the log
  // when it replaces one (written as they are), else ASCII text.
  field(bytes, f, name, value) {
    this.text("<");
    if (f === null) this.text(name);
    else this.copy(bytes, f.nameBegin, f.nameEnd);
    this.text(`:${value.length}`);
    if (f !== null && f.typeEnd > f.typeBegin) {
      this.text(":");
      this.copy(bytes, f.typeBegin, f.typeEnd);
    }
    this.text(">");
    this.text(value);
  }
  result() {
    return this.bytes.subarray(0, this.length);
  }
}

// The bytes from `at` to field f, then f with `value`; returns the end of f.
function replaceField(out, bytes, at, f, value) {
  out.copy(bytes, at, f.tag);
  out.field(bytes, f, "", value);
  return f.end;
}

/**
 * Annotates the ADIF log `bytes` (a Uint8Array) as `pelmora batch` does:
 * each record with GRIDSQUARE and MY_GRIDSQUARE (or, without it, the
 * station's locator `myGrid`) gets DISTANCE (the whole kilometres) and the
 * bearing field (APP_PELMORA_BEARING by default), replacing those it has
 * only with `overwrite`. Locators are read at their full precision,
 * GRIDSQUARE_EXT and MY_GRIDSQUARE_EXT extending 8-character ones; a
 * record longer than `maxRecord` bytes (16 MiB) is reported and passed on.
 *
 * `lib` is the pelmora package (latFromGrid, longFromGrid, isLocator,
 * locatorCentre, distanceFrom, azimut, PelmoraError). `progress(done)` is
 * called now and then with the bytes done. Returns { output, contacts,
 * records, failures, messages }: the annotated log (a Uint8Array), the
 * annotated contacts in columns { record, call, date, grid, myGrid, km,
 * bearing } (arrays, one element a contact), and the command's messages,
 * "LINE: what". A bearing field or station locator the command refuses
 * throws a RangeError with the command's words.
 */
export function annotateLog(bytes, lib, options = {}, progress = null) {
  const bearingName = options.bearingField ?? "APP_PELMORA_BEARING";
  const problem = bearingFieldProblem(bearingName);
  if (problem !== "") throw new RangeError(problem);
  // The name's UTF-8 bytes, one character a byte, as the command has it.
  const bearingField = String.fromCharCode(...utf8.encode(bearingName));
  const overwrite = options.overwrite === true;
  const maxRecord = options.maxRecord ?? 16 << 20;
  const myGridText = options.myGrid ?? "";
  let myGrid = null;
  if (myGridText !== "") {
    myGrid = readLocator(myGridText, lib);
    if (myGrid === null) throw new RangeError(`--my-grid: ${excerpt(utf8.encode(myGridText))} is not a locator`);
  }
  const out = new Output(bytes.length + (bytes.length >> 2) + 64);
  const contacts = { record: [], call: [], date: [], grid: [], myGrid: [], km: [], bearing: [] };
  const messages = [];
  let failures = 0;
  let line = 1;
  let start = 0;
  let first = true;
  let records = 0;
  const report = (at, what) => {
    messages.push(`${line + countLines(bytes, start, at)}: ${what}`);
  };
  const value = (f) => (f === null ? "" : text(bytes, f.value, f.end));
  // The station's locator, which a log names in every record, decoded
  // once while it stays the same.
  let stationGrid = null, stationCentre = null;
  const decode = (grid, station) => {
    if (!station) return readLocator(grid, lib);
    if (grid !== stationGrid) {
      stationCentre = readLocator(grid, lib);
      stationGrid = grid;
    }
    return stationCentre;
  };
  // The position and text of a locator field f with its extension ext;
  // null (and a message) when it is none.
  const locatorOf = (f, ext, station) => {
    const name = () => label(bytes, f.nameBegin, f.nameEnd);
    let grid = text(bytes, f.value, f.end);
    if (ext !== null) {
      const [eb, ee] = trimmed(bytes, ext.value, ext.end);
      if (ee > eb) {
        const [vb, ve] = trimmed(bytes, f.value, f.end);
        if (ve - vb !== 8 || ee - eb > 4) {
          report(ext.tag, `${label(bytes, ext.nameBegin, ext.nameEnd)}: ${excerpt(bytes, eb, ee)} ` +
            `extends no 8-character ${name()}`);
          return null;
        }
        grid = text(bytes, vb, ve) + text(bytes, eb, ee);
      }
    }
    let at;
    try {
      at = decode(grid, station);
    } catch (e) {
      if (!(e instanceof lib.PelmoraError)) throw e;
      report(f.tag, `${name()}: ${e.description} (error ${e.number})`);
      return null;
    }
    if (at === null) {
      report(f.tag, `${name()}: ${excerpt(Uint8Array.from(grid, (c) => c.charCodeAt(0)))} is not a locator`);
      return null;
    }
    return [at, trimText(grid)];
  };

  const annotate = (record) => {
    if (record.problem !== "") {
      report(record.problemAt, record.problem);
      failures++;
      out.copy(bytes, start, record.end);
      return;
    }
    let mine = null, theirs = null, mineExt = null, theirsExt = null, distance = null, bearing = null;
    let call = null, date = null;
    for (let i = 0; i < record.count; i++) {
      const f = record.fields[i];
      const b = f.nameBegin, e = f.nameEnd;
      if (mine === null && sameName(bytes, b, e, "MY_GRIDSQUARE")) mine = f;
      if (theirs === null && sameName(bytes, b, e, "GRIDSQUARE")) theirs = f;
      if (mineExt === null && sameName(bytes, b, e, "MY_GRIDSQUARE_EXT")) mineExt = f;
      if (theirsExt === null && sameName(bytes, b, e, "GRIDSQUARE_EXT")) theirsExt = f;
      if (distance === null && sameName(bytes, b, e, "DISTANCE")) distance = f;
      if (bearing === null && sameName(bytes, b, e, bearingField)) bearing = f;
      if (call === null && sameName(bytes, b, e, "CALL")) call = f;
      if (date === null && sameName(bytes, b, e, "QSO_DATE")) date = f;
    }
    const writeDistance = distance === null || overwrite;
    const writeBearing = bearing === null || overwrite;
    if ((mine === null && myGrid === null) || theirs === null || (!writeDistance && !writeBearing)) {
      out.copy(bytes, start, record.end);
      return;
    }
    let a = [myGrid, trimText(myGridText)];
    if (mine !== null) a = locatorOf(mine, mineExt, true);
    const b = a === null ? null : locatorOf(theirs, theirsExt, false);
    if (b === null) {
      failures++;
      out.copy(bytes, start, record.end);
      return;
    }
    const [[aLat, aLon], myGridShown] = a;
    const [[bLat, bLon], grid] = b;
    let km, azimut, what = "DISTANCE";
    try {
      km = lib.distanceFrom(aLat, aLon, bLat, bLon);
      what = "bearing";
      azimut = lib.azimut(aLat, aLon, bLat, bLon);
    } catch (e) {
      if (!(e instanceof lib.PelmoraError)) throw e;
      report(theirs.tag, `${what}: ${e.description} (error ${e.number})`);
      failures++;
      out.copy(bytes, start, record.end);
      return;
    }
    const distanceValue = String(Math.trunc(km));
    const bearingValue = formatFloat(azimut);
    // The fields there replaced in place, in the order they stand, the new
    // ones before the end tag.
    const d = distance !== null && writeDistance ? distance : null;
    const r = bearing !== null && writeBearing ? bearing : null;
    let at = start;
    if (d !== null && (r === null || d.tag < r.tag)) {
      at = replaceField(out, bytes, at, d, distanceValue);
      if (r !== null) at = replaceField(out, bytes, at, r, bearingValue);
    } else if (r !== null) {
      at = replaceField(out, bytes, at, r, bearingValue);
      if (d !== null) at = replaceField(out, bytes, at, d, distanceValue);
    }
    out.copy(bytes, at, record.endTag);
    if (distance === null) {
      out.field(bytes, null, "DISTANCE", distanceValue);
      out.text(" ");
    }
    if (bearing === null) {
      out.field(bytes, null, bearingField, bearingValue);
      out.text(" ");
    }
    out.copy(bytes, record.endTag, record.end);
    contacts.record.push(records);
    contacts.call.push(value(call));
    contacts.date.push(value(date));
    contacts.grid.push(grid);
    contacts.myGrid.push(myGridShown);
    contacts.km.push(km);
    contacts.bearing.push(azimut);
  };

  // A record (or text after the last) longer than maxRecord: reported on
  // the line where its text begins, and passed on as it is.
  const long = (end) => {
    let text = start;
    const blank = (c) => c === 0x20 || c === 0x09 || c === 0x0d || c === LF;
    while (text < end && blank(bytes[text])) text++;
    report(text, `a record longer than ${maxRecord} bytes (--max-record), passed on unchanged`);
    failures++;
    out.copy(bytes, start, end);
  };

  const record = newRecord();
  for (;;) {
    if (!splitRecord(bytes, start, record)) {
      if (bytes.length - start > maxRecord) {
        long(bytes.length);
        records++;
        start = bytes.length;
      }
      break;
    }
    const isLong = record.end - start > maxRecord;
    const header = !isLong && record.endsHeader && first && record.problem === "";
    if (isLong) {
      long(record.end);
    } else if (header) {
      out.copy(bytes, start, record.end);
    } else {
      if (record.endsHeader && record.problem === "") {
        record.problem = "<EOH> out of place";
        record.problemAt = record.endTag;
      }
      annotate(record);
    }
    if (!header) records++;
    first = false;
    line += countLines(bytes, start, record.end);
    start = record.end;
    if (progress !== null && records % 2000 === 0) progress(start);
  }
  out.copy(bytes, start, bytes.length); // text after the last record
  if (progress !== null) progress(bytes.length);
  return { output: out.result(), contacts, failures, messages, records };
}
