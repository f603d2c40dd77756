// The page's reading and annotating of an ADIF log: the same bytes as
// `pelmora batch` writes for the log (cli/batch.cpp, cli/adif.cpp), and the
// contacts for the chart and the table.
//
// A log is bytes: a field's length counts the bytes of its value, and every
// byte that the annotation does not replace is written back as it was. The
// whole log is in memory, so each record is split with the end of the input
// known (no partial windows).

const LT = 0x3c; // <
const GT = 0x3e; // >
const COLON = 0x3a;
const LF = 0x0a;
const encoder = new TextEncoder();
const latin1 = new TextDecoder("latin1");

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

function text(bytes, begin, end) {
  return latin1.decode(bytes.subarray(begin, end));
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
function malformed(bytes, start, at, problem, record) {
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
  return record;
}

/**
 * The record starting at byte `start`: { fields, endTag, end, endsHeader,
 * problem, problemAt } (offsets into `bytes`; a field is { tag, value, end,
 * nameBegin, nameEnd, typeBegin, typeEnd }), or null when only text
 * without a tag is left.
 */
export function splitRecord(bytes, start) {
  const record = { fields: [], endTag: 0, end: 0, endsHeader: false, problem: "", problemAt: 0 };
  let pos = start;
  for (;;) {
    const open = bytes.indexOf(LT, pos);
    if (open < 0) {
      if (record.fields.length === 0) return null;
      return malformed(bytes, start, bytes.length, "the record has no <EOR>", record);
    }
    const close = bytes.indexOf(GT, open);
    if (close < 0) return malformed(bytes, start, open, "a tag without '>'", record);
    let colon = bytes.indexOf(COLON, open + 1);
    if (colon < 0 || colon > close) colon = -1;
    const nameEnd = colon < 0 ? close : colon;
    if (nameEnd - open - 1 === 3 &&
        (sameName(bytes, open + 1, nameEnd, "eor") || sameName(bytes, open + 1, nameEnd, "eoh"))) {
      record.endTag = open;
      record.end = close + 1;
      record.endsHeader = sameName(bytes, open + 1, nameEnd, "eoh");
      return record;
    }
    if (colon < 0 || nameEnd === open + 1) {
      return malformed(bytes, start, open,
        `the tag <${text(bytes, open + 1, Math.min(close, open + 41))}> has no length`, record);
    }
    let second = bytes.indexOf(COLON, colon + 1);
    if (second < 0 || second > close) second = -1;
    const digitsEnd = second < 0 ? close : second;
    let length = 0;
    let good = digitsEnd > colon + 1 && digitsEnd - colon - 1 <= 9;
    for (let i = colon + 1; good && i < digitsEnd; i++) {
      good = bytes[i] >= 0x30 && bytes[i] <= 0x39;
      length = length * 10 + (bytes[i] - 0x30);
    }
    if (!good) {
      return malformed(bytes, start, open,
        `the field ${text(bytes, open + 1, Math.min(nameEnd, open + 41))} has a bad length '${
          text(bytes, colon + 1, Math.min(digitsEnd, colon + 21))}'`, record);
    }
    const field = {
      tag: open, value: close + 1, end: close + 1 + length, nameBegin: open + 1, nameEnd,
      typeBegin: second < 0 ? close : second + 1, typeEnd: close,
    };
    if (field.end > bytes.length) {
      return malformed(bytes, start, open,
        `the value of ${text(bytes, open + 1, Math.min(nameEnd, open + 41))} runs past the end of the log`,
        record);
    }
    record.fields.push(field);
    pos = field.end;
  }
}

// Whether bytes [begin, end) are a locator of 4, 6 or 8 characters: field
// letters A..R, digits, subsquare letters A..X, digits, in either case.
function isLocator(bytes, begin, end) {
  const n = end - begin;
  if (n !== 4 && n !== 6 && n !== 8) return false;
  const letter = (c, last) => (c >= 0x41 && c <= last) || (c >= 0x61 && c <= last + 32);
  const digit = (c) => c >= 0x30 && c <= 0x39;
  const b = (i) => bytes[begin + i];
  if (!letter(b(0), 0x52) || !letter(b(1), 0x52) || !digit(b(2)) || !digit(b(3))) return false;
  if (n >= 6 && (!letter(b(4), 0x58) || !letter(b(5), 0x58))) return false;
  if (n === 8 && (!digit(b(6)) || !digit(b(7)))) return false;
  return true;
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
  // a = M 2^E exactly.
  const bits = new Uint32Array(new Float32Array([a]).buffer)[0];
  const field = bits >>> 23;
  const M = BigInt(field === 0 ? bits & 0x7fffff : (bits & 0x7fffff) | 0x800000);
  const E = (field === 0 ? 1 : field) - 150;
  // |C 10^k - a|, scaled by a common power of 2 and 10 for every candidate.
  const distance = (C, k) => {
    const twos = E < 0 ? 2n ** BigInt(-E) : 1n;
    const c = k >= 0 ? C * 10n ** BigInt(k) * twos : C * twos;
    const m = E >= 0 ? M * 2n ** BigInt(E) : M;
    const d = k >= 0 ? c - m : c - m * 10n ** BigInt(-k);
    return d < 0n ? -d : d;
  };
  // The shortest digits that read back as a; of several, the nearest to a,
  // and of two as near, the even one (round to nearest).
  let digits = "";
  let exponent = 0;
  for (let p = 1; p <= 9 && digits === ""; p++) {
    const [m, e] = a.toExponential(p - 1).split("e");
    const nearest = BigInt(m.replace(".", ""));
    let best = null;
    for (const C of [nearest - 1n, nearest, nearest + 1n]) {
      const text = C.toString();
      if (text.length !== p || text === "0") continue; // another exponent
      if (Math.fround(Number(`${text}e${Number(e) - p + 1}`)) !== a) continue;
      const d = distance(C, Number(e) - p + 1);
      if (best === null || d < best.d || (d === best.d && C % 2n === 0n)) best = { C, d };
    }
    if (best !== null) {
      digits = best.C.toString().replace(/0+$/, "");
      exponent = Number(e);
    }
  }
  const n = digits.length;
  const scientific = digits[0] + (n > 1 ? "." + digits.slice(1) : "") + "e" +
    (exponent < 0 ? "-" : "+") + String(Math.abs(exponent)).padStart(2, "0");
  let fixed;
  // An integer as long as its shortest digits padded with zeros: its exact
  // digits, which are as short and nearer (123456792, not 123456790).
  if (exponent >= n - 1) fixed = BigInt(a).toString();
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

// A field whose name and type are bytes of the log, written as they are.
function fieldBytes(bytes, f, value) {
  const typed = f.typeEnd > f.typeBegin;
  const tail = encoder.encode(`:${value.length}`);
  const end = encoder.encode(`>${value}`);
  const out = new Uint8Array(1 + (f.nameEnd - f.nameBegin) + tail.length +
    (typed ? 1 + f.typeEnd - f.typeBegin : 0) + end.length);
  let n = 0;
  out[n++] = LT;
  out.set(bytes.subarray(f.nameBegin, f.nameEnd), n);
  n += f.nameEnd - f.nameBegin;
  out.set(tail, n);
  n += tail.length;
  if (typed) {
    out[n++] = COLON;
    out.set(bytes.subarray(f.typeBegin, f.typeEnd), n);
    n += f.typeEnd - f.typeBegin;
  }
  out.set(end, n);
  return out;
}

/**
 * Annotates the ADIF log `bytes` (a Uint8Array) as `pelmora batch` does:
 * each record with MY_GRIDSQUARE and GRIDSQUARE locators gets DISTANCE (the
 * whole kilometres) and the bearing field (APP_PELMORA_BEARING by
 * default), replacing those it has only with `overwrite`.
 *
 * `lib` is the pelmora package (latFromGrid, longFromGrid, distanceFrom,
 * azimut, PelmoraError). `progress(done)` is called now and then with the
 * bytes done. Returns { parts, contacts, failures, messages }: the output as
 * a list of Uint8Array pieces in order, and each annotated contact
 * { record, call, date, grid, myGrid, km, bearing }; messages are the
 * command's, "LINE: what".
 */
export function annotateLog(bytes, lib, options = {}, progress = null) {
  const bearingField = options.bearingField ?? "APP_PELMORA_BEARING";
  const overwrite = options.overwrite === true;
  const parts = [];
  const contacts = [];
  const messages = [];
  let failures = 0;
  let line = 1;
  let start = 0;
  let first = true;
  let records = 0;
  const report = (at, what) => {
    messages.push(`${line + countLines(bytes, start, at)}: ${what}`);
  };
  const position = (f) => {
    const grid = text(bytes, f.value, f.end);
    return [lib.latFromGrid(grid), lib.longFromGrid(grid)];
  };
  const value = (f) => (f === null ? "" : text(bytes, f.value, f.end));
  const nameOf = (f) => text(bytes, f.nameBegin, f.nameEnd);

  const annotate = (record) => {
    const whole = bytes.subarray(start, record.end);
    if (record.problem !== "") {
      report(record.problemAt, record.problem);
      failures++;
      parts.push(whole);
      return;
    }
    let mine = null, theirs = null, distance = null, bearing = null, call = null, date = null;
    for (const f of record.fields) {
      if (mine === null && sameName(bytes, f.nameBegin, f.nameEnd, "MY_GRIDSQUARE")) mine = f;
      if (theirs === null && sameName(bytes, f.nameBegin, f.nameEnd, "GRIDSQUARE")) theirs = f;
      if (distance === null && sameName(bytes, f.nameBegin, f.nameEnd, "DISTANCE")) distance = f;
      if (bearing === null && sameName(bytes, f.nameBegin, f.nameEnd, bearingField)) bearing = f;
      if (call === null && sameName(bytes, f.nameBegin, f.nameEnd, "CALL")) call = f;
      if (date === null && sameName(bytes, f.nameBegin, f.nameEnd, "QSO_DATE")) date = f;
    }
    const writeDistance = distance === null || overwrite;
    const writeBearing = bearing === null || overwrite;
    if (mine === null || theirs === null || (!writeDistance && !writeBearing)) {
      parts.push(whole);
      return;
    }
    for (const f of [mine, theirs]) {
      if (!isLocator(bytes, f.value, f.end)) {
        report(f.tag, `${nameOf(f)}: '${text(bytes, f.value, Math.min(f.end, f.value + 40))}' is not a locator`);
        failures++;
        parts.push(whole);
        return;
      }
    }
    const [aLat, aLon] = position(mine);
    const [bLat, bLon] = position(theirs);
    let km, azimut, what = "DISTANCE";
    try {
      km = lib.distanceFrom(aLat, aLon, bLat, bLon);
      what = "bearing";
      azimut = lib.azimut(aLat, aLon, bLat, bLon);
    } catch (e) {
      if (!(e instanceof lib.PelmoraError)) throw e;
      report(theirs.tag, `${what}: ${e.description} (error ${e.number})`);
      failures++;
      parts.push(whole);
      return;
    }
    const distanceValue = String(Math.trunc(km));
    const bearingValue = formatFloat(azimut);
    const edits = [];
    if (distance !== null && writeDistance) edits.push([distance, distanceValue]);
    if (bearing !== null && writeBearing) edits.push([bearing, bearingValue]);
    if (edits.length === 2 && edits[1][0].tag < edits[0][0].tag) edits.reverse();
    let at = start;
    for (const [f, v] of edits) {
      parts.push(bytes.subarray(at, f.tag));
      parts.push(fieldBytes(bytes, f, v));
      at = f.end;
    }
    parts.push(bytes.subarray(at, record.endTag));
    let added = "";
    if (distance === null) added += field("DISTANCE", "", distanceValue) + " ";
    if (bearing === null) added += field(bearingField, "", bearingValue) + " ";
    if (added !== "") parts.push(encoder.encode(added));
    parts.push(bytes.subarray(record.endTag, record.end));
    contacts.push({
      record: records, call: value(call), date: value(date), grid: value(theirs), myGrid: value(mine),
      km, bearing: azimut,
    });
  };

  for (;;) {
    const record = splitRecord(bytes, start);
    if (record === null) break;
    if (record.endsHeader && first && record.problem === "") {
      parts.push(bytes.subarray(start, record.end));
    } else {
      if (record.endsHeader && record.problem === "") {
        record.problem = "<EOH> out of place";
        record.problemAt = record.endTag;
      }
      annotate(record);
      records++;
    }
    first = false;
    line += countLines(bytes, start, record.end);
    start = record.end;
    if (progress !== null && records % 2000 === 0) progress(start);
  }
  parts.push(bytes.subarray(start)); // text after the last record
  if (progress !== null) progress(bytes.length);
  return { parts, contacts, failures, messages, records };
}
