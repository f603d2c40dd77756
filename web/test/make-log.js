// A generated ADIF log for the page's tests and benchmark: contacts from a
// seeded stream, and among them every kind of record the annotation treats
// apart (a byte order mark and a header, locators of 2 to 12 characters in
// either case, 8-character ones extended by GRIDSQUARE_EXT and
// MY_GRIDSQUARE_EXT, spaces around a locator, typed and lower-case field
// names, DISTANCE or bearing already there, values
// holding "<", ">" and line ends, UTF-8 text, a locator that is none, a
// record without MY_GRIDSQUARE, malformed records (a stray "<" among them), <EOH> out of place, CRLF
// and LF, text after the last record).

const LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWX";

export function makeLog(contacts, seed = 1, { plain = false } = {}) {
  let state = seed >>> 0;
  const next = (n) => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return Math.floor((state / 2 ** 32) * n);
  };
  const locator = (length) => {
    let s = LETTERS[next(18)] + LETTERS[next(18)] + next(10) + next(10);
    if (length >= 6) s += LETTERS[next(24)] + LETTERS[next(24)];
    if (length >= 8) s += String(next(10)) + next(10);
    if (length >= 10) s += LETTERS[next(24)] + LETTERS[next(24)];
    if (length >= 12) s += String(next(10)) + next(10);
    if (length === 2) s = s.slice(0, 2);
    return next(3) === 0 ? s.toLowerCase() : s;
  };
  const field = (name, value, type = "") =>
    `<${name}:${Buffer.byteLength(value)}${type ? ":" + type : ""}>${value}`;
  const home = "JO62qm";
  const out = [];
  out.push(plain ? "" : "\uFEFF", "Generated log for the tests\r\n", field("ADIF_VER", "3.1.4"), " ",
    field("PROGRAMID", "maketest"), "\r\n<EOH>\r\n");
  for (let i = 0; i < contacts; i++) {
    const call = `T${i}X${LETTERS[next(24)]}`;
    const date = `2026${String(1 + next(12)).padStart(2, "0")}${String(1 + next(28)).padStart(2, "0")}`;
    const their = locator([4, 6, 6, 6, 8, 10, 12, 2][next(8)]);
    const eol = i % 2 ? "\n" : "\r\n";
    const kind = plain ? 0 : i % 50;
    let record;
    switch (kind) {
      case 1: // typed and lower-case names, a value with tag characters and a line end
        record = field("call", call) + field("qso_date", date, "D") + field("my_gridsquare", home, "S") +
          eol + field("Comment", "<b>73</b>\nbye") + field("gridsquare", their, "S");
        break;
      case 2: // DISTANCE already there, before the locators
        record = field("CALL", call) + field("DISTANCE", "12345") + field("MY_GRIDSQUARE", home) +
          field("GRIDSQUARE", their);
        break;
      case 3: // both results there, bearing first
        record = field("APP_PELMORA_BEARING", "7", "N") + field("CALL", call) + field("distance", "1", "N") +
          field("MY_GRIDSQUARE", locator(4)) + field("GRIDSQUARE", their);
        break;
      case 4: // a locator that is none
        record = field("CALL", call) + field("MY_GRIDSQUARE", home) + field("GRIDSQUARE", "XX99");
        break;
      case 5: // no station locator
        record = field("CALL", call) + field("GRIDSQUARE", their);
        break;
      case 6: // UTF-8 text, the same square both ends
        record = field("CALL", call) + field("NAME", "Jürgen Åström ✓") + field("MY_GRIDSQUARE", "JO62") +
          field("GRIDSQUARE", "jo62");
        break;
      case 7: // a bad length: malformed through the next end tag
        record = field("CALL", call) + "<MY_GRIDSQUARE:x6>JO62qm" + field("GRIDSQUARE", their);
        break;
      case 8: // a header end out of place
        out.push(field("CALL", call), "<eoh>", eol);
        continue;
      case 9: // a tag without a length
        record = field("CALL", call) + "<FOO>" + field("MY_GRIDSQUARE", home) + field("GRIDSQUARE", their);
        break;
      case 10: // on the equator and the antimeridian, due south
        record = field("CALL", call) + field("MY_GRIDSQUARE", "AJ00aa") + field("GRIDSQUARE", "RA09xx");
        break;
      case 12: // 10 and 12 characters through the extensions, 2 characters
        record = field("CALL", call) + field("MY_GRIDSQUARE", "JO62qm15") + field("MY_GRIDSQUARE_EXT", "ab") +
          field("GRIDSQUARE", their.slice(0, 2)) + field("GRIDSQUARE_EXT", "");
        break;
      case 13: {
        const ext = locator(12);
        record = field("CALL", call) + field("MY_GRIDSQUARE", home) + field("GRIDSQUARE", ` ${ext.slice(0, 8)}\t`) +
          field("gridsquare_ext", ext.slice(8) + " ");
        break;
      }
      case 14: // an extension of a 6-character locator; one of 3 characters
        record = field("CALL", call) + field("MY_GRIDSQUARE", home) +
          (next(2) ? field("GRIDSQUARE", "IO91wm") + field("GRIDSQUARE_EXT", "ab")
            : field("GRIDSQUARE", "IO91wm12") + field("GRIDSQUARE_EXT", "ab1"));
        break;
      case 15: // a stray "<" in the text between fields
        record = field("CALL", call) + " <b " + field("MY_GRIDSQUARE", home) + field("GRIDSQUARE", their);
        break;
      case 16: // spaces and tabs around locators
        record = field("CALL", call) + field("MY_GRIDSQUARE", ` ${home} `) + field("GRIDSQUARE", `\t${their}`);
        break;
      case 11:
        record = field("CALL", call) + field("MY_GRIDSQUARE", "JO62qm") + field("GRIDSQUARE", "JA62qm");
        break;
      default:
        record = field("CALL", call) + " " + field("QSO_DATE", date, "D") + " " + field("MY_GRIDSQUARE", home) +
          " " + field("GRIDSQUARE", their) + " " + field("MODE", ["CW", "SSB", "FT8"][next(3)]);
    }
    out.push(record, next(4) === 0 ? "<eor>" : "<EOR>", eol);
  }
  if (!plain) out.push("trailing text without a tag\n");
  return Buffer.from(out.join(""), "utf8");
}
