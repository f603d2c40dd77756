// Pelmora sample client (JScript): locators, centres, bearings and distances
// for the places given on the command line.
//
//   cscript //nologo pelmora.js [LAT,LON | LOCATOR] ...
//
// A place is a position LAT,LON in decimal degrees, north and east positive
// (52.52,13.405), or a Maidenhead locator of four or six characters (JO62qm:
// field letters A to R, square digits, subsquare letters A to X, in either
// case). Without places it shows a few well-known ones. An argument that is
// neither is named in the message, and nothing is computed.
//
// For a position it prints both locators (GridFromLatLong and sLocator) and
// the centre of the locator's subsquare (LatFromGrid, LongFromGrid); for a
// locator, the centre of its square or subsquare and the two locators of that
// centre. Then, for each two consecutive places, the bearing in whole degrees
// (Azimut) and the great-circle distance in kilometres (DistanceFrom) from the
// first to the second. A failing call is shown with its error number and
// description. Numbers are printed with the fewest digits that give back the
// same single-precision value.

var USAGE = "usage: cscript //nologo pelmora.js [LAT,LON | LOCATOR] ...";

// Berlin, London (by its locator), New York, Sydney (by its locator).
var DEFAULT_PLACES = ["52.52,13.405", "IO91wm", "40.7128,-74.006", "QF56od"];

function Hex32(n) {
  var s = (n >>> 0).toString(16).toUpperCase();
  while (s.length < 8) s = "0" + s;
  return "0x" + s;
}

// The nearest single-precision value to a double, ties to even (JScript has
// no Math.fround).
function Float32(v) {
  if (v === 0 || v !== v || !isFinite(v)) return v;
  var a = Math.abs(v);
  var e = Math.floor(Math.log(a) / Math.LN2);
  if (Math.pow(2, e) > a) e--;
  if (Math.pow(2, e + 1) <= a) e++;
  if (e < -126) e = -126;  // subnormal: the quantum stays 2^-149
  var quantum = Math.pow(2, e - 23);
  var m = a / quantum;
  var r = Math.floor(m);
  var f = m - r;
  if (f > 0.5 || (f === 0.5 && r % 2 === 1)) r++;
  var result = r * quantum;
  if (result >= Math.pow(2, 128)) result = Infinity;
  return v < 0 ? -result : result;
}

// A single-precision result as the shortest decimal that reads back as it.
function Num(x) {
  if (x === 0 || x !== x || !isFinite(x)) return String(x);
  for (var digits = 1; digits < 9; digits++) {
    var s = x.toPrecision(digits);
    if (Float32(parseFloat(s)) === x) return String(parseFloat(s));
  }
  return String(parseFloat(x.toPrecision(9)));
}

// Runs call() and returns its value; on failure prints the error and returns
// null.
function Try(what, call) {
  try {
    return call();
  } catch (e) {
    WScript.Echo("  " + what + " failed: error " + Hex32(e.number) + ", " + e.description);
    return null;
  }
}

// Messages about the command line go to the standard error stream where the
// script host has one (Wine's cscript has none: there they are echoed).
function Complain(line) {
  try {
    WScript.StdErr.WriteLine(line);
  } catch (e) {
    WScript.Echo(line);
  }
}

function IsNumber(text) {
  return /^\s*[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?\s*$/.test(text);
}

function IsLocator(text) {
  return /^[A-Ra-r]{2}[0-9]{2}([A-Xa-x]{2})?$/.test(text);
}

// A place from its argument text: a position (two numbers and a comma) or a
// locator; null for anything else. (The class decodes any text; the client
// does not hand it one that is no locator.)
function ParsePlace(text) {
  var comma = text.indexOf(",");
  if (comma < 0) return IsLocator(text) ? { text: text, locator: text } : null;
  var lat = text.substring(0, comma);
  var lon = text.substring(comma + 1);
  if (!IsNumber(lat) || !IsNumber(lon)) return null;
  return { text: text, lat: parseFloat(lat), lon: parseFloat(lon) };
}

function Locators(calc, lat, lon) {
  var grid = Try("GridFromLatLong", function () { return calc.GridFromLatLong(lat, lon); });
  var s = Try("sLocator", function () { return calc.sLocator(lat, lon); });
  if (grid !== null || s !== null) {
    WScript.Echo("  locators " + (grid !== null ? grid : "-") + " (GridFromLatLong), " +
                 (s !== null ? s : "-") + " (sLocator)");
  }
  return grid;
}

// The centre of a locator, or null.
function Centre(calc, locator, suffix) {
  var lat = Try("LatFromGrid", function () { return calc.LatFromGrid(locator); });
  var lon = Try("LongFromGrid", function () { return calc.LongFromGrid(locator); });
  if (lat === null || lon === null) return null;
  WScript.Echo("  centre   " + Num(lat) + "," + Num(lon) + suffix);
  return { lat: lat, lon: lon };
}

function ShowPlace(calc, place) {
  WScript.Echo(place.text);
  if (place.locator === undefined) {
    var grid = Locators(calc, place.lat, place.lon);
    if (grid !== null) Centre(calc, grid, " (of " + grid + ")");
    return;
  }
  var centre = Centre(calc, place.locator, "");
  if (centre === null) return;
  place.lat = centre.lat;
  place.lon = centre.lon;
  Locators(calc, place.lat, place.lon);
}

function ShowLeg(calc, from, to) {
  var head = from.text + " to " + to.text + ":";
  if (from.lat === undefined || to.lat === undefined) {
    WScript.Echo(head + " no position");
    return;
  }
  WScript.Echo(head);
  var bearing = Try("Azimut", function () { return calc.Azimut(from.lat, from.lon, to.lat, to.lon); });
  var distance = Try("DistanceFrom", function () {
    return calc.DistanceFrom(from.lat, from.lon, to.lat, to.lon);
  });
  if (bearing !== null) WScript.Echo("  bearing  " + Num(bearing) + " degrees");
  if (distance !== null) WScript.Echo("  distance " + Num(distance) + " km");
}

function Main() {
  var args = WScript.Arguments;
  var texts = [];
  for (var i = 0; i < args.length; i++) texts.push(args(i));
  if (texts.length === 1 && (texts[0] === "-h" || texts[0] === "--help" || texts[0] === "/?")) {
    WScript.Echo(USAGE);
    return 0;
  }
  if (texts.length === 0) texts = DEFAULT_PLACES;

  var places = [];
  for (var k = 0; k < texts.length; k++) {
    var place = ParsePlace(texts[k]);
    if (place === null) {
      Complain("pelmora.js: not a position or a locator: " + texts[k]);
      Complain(USAGE);
      return 2;
    }
    places.push(place);
  }

  var calc;
  try {
    calc = new ActiveXObject("Tevaro.CalcDistClass");
  } catch (e) {
    Complain("pelmora.js: cannot create Tevaro.CalcDistClass: error " + Hex32(e.number) + ", " +
             e.description);
    return 1;
  }

  for (var p = 0; p < places.length; p++) ShowPlace(calc, places[p]);
  for (var q = 1; q < places.length; q++) ShowLeg(calc, places[q - 1], places[q]);
  return 0;
}

WScript.Quit(Main());
