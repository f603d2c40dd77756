// The page: two places with their distance and bearings, and a dropped log
// annotated (in a worker), drawn on an azimuthal chart centred on the
// station, listed in a table that sorts, and saved as `pelmora batch`
// writes it. Everything runs here; nothing is sent anywhere.
import * as pelmora from "./pelmora/index.js";
import { excerpt, formatFloat, readLocator } from "./adif.js";

const $ = (id) => document.getElementById(id);
const FLT_MAX = 3.4028234663852886e38;
const SVG = "http://www.w3.org/2000/svg";

// ---- Two places ----

// A text quoted for a message as the command quotes its arguments (UTF-8
// bytes, at most 40, the others escaped).
const quote = (text) => excerpt(new TextEncoder().encode(text));

// A number as the pelmora command reads one: decimal text (or nan) to the
// nearest double, then to a float parameter as Automation converts it.
// null for text that is no number; an overflow throws.
function parseNumber(text, whole) {
  let t = text.replace(/^[ \t]+|[ \t]+$/g, "");
  let negative = false;
  if (t[0] === "+" || t[0] === "-") {
    negative = t[0] === "-";
    t = t.slice(1);
  }
  if (/^nan$/i.test(t)) return NaN;
  const overflow = () => new RangeError(`${quote(whole)}: Overflow (a number beyond single precision)`);
  if (/^(inf|infinity)$/i.test(t)) throw overflow();
  if (!/^(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(t)) return null;
  const value = negative ? -Number(t) : Number(t);
  if (value > FLT_MAX || value < -FLT_MAX) throw overflow();
  return Math.fround(value);
}

// A place as the command reads one: LAT,LON or a locator of 2 to 12
// characters (the centre it stands for); what is wrong said as the command
// says it, of the whole text.
function parsePlace(text) {
  const comma = text.indexOf(",");
  let place = null;
  if (comma >= 0) {
    const lat = parseNumber(text.slice(0, comma), text);
    const lon = lat === null ? null : parseNumber(text.slice(comma + 1), text);
    if (lon !== null) place = [lat, lon];
  } else {
    try {
      place = readLocator(text, pelmora);
    } catch (e) {
      if (e instanceof pelmora.PelmoraError) throw new Error(`${quote(text)}: the locator cannot be decoded`);
      throw e;
    }
  }
  if (place === null) throw new SyntaxError(`${quote(text)} is neither LAT,LON nor a locator`);
  return place;
}

function call(name, f) {
  try {
    return f();
  } catch (e) {
    if (e instanceof pelmora.PelmoraError) throw new Error(`${name}: ${e.description} (error ${e.number})`);
    throw e;
  }
}

function showPair(event) {
  event?.preventDefault();
  const error = $("pair-error");
  error.textContent = "";
  for (const id of ["distance-km", "distance", "bearing-ab", "bearing-ba", "locator-from", "locator-to"]) {
    $(id).textContent = "";
  }
  try {
    const a = parsePlace($("from").value);
    const b = parsePlace($("to").value);
    const km = call("DistanceFrom", () => pelmora.distanceFrom(a[0], a[1], b[0], b[1]));
    const ab = call("Azimut", () => pelmora.azimut(a[0], a[1], b[0], b[1]));
    const ba = call("Azimut", () => pelmora.azimut(b[0], b[1], a[0], a[1]));
    $("distance-km").textContent = `${Math.trunc(km)} km`;
    $("distance").textContent = formatFloat(km);
    $("bearing-ab").textContent = formatFloat(ab);
    $("bearing-ba").textContent = formatFloat(ba);
    const locator = (p) => {
      try {
        return pelmora.gridFromLatLong(p[0], p[1]);
      } catch (e) {
        return e instanceof pelmora.PelmoraError ? `none (${e.description})` : String(e);
      }
    };
    $("locator-from").textContent = locator(a);
    $("locator-to").textContent = locator(b);
  } catch (e) {
    error.textContent = e.message;
  }
}

// ---- The chart ----

const RADIUS = 500;
const STEPS = [250, 500, 1000, 2000, 2500, 5000];

// The distance of the outer ring: a whole number of steps, four to eight
// rings.
function scaleOf(maxKm) {
  const step = STEPS.find((s) => maxKm / s <= 8) ?? 5000;
  return { step, outer: Math.max(step, Math.ceil(maxKm / step) * step) };
}

function drawGrid(outer, step, station) {
  const parts = [];
  for (let km = step; km <= outer; km += step) {
    const r = (km / outer) * RADIUS;
    parts.push(`<circle r="${r.toFixed(1)}"/>`,
      `<text x="${(r * Math.SQRT1_2 + 6).toFixed(1)}" y="${(-r * Math.SQRT1_2 - 6).toFixed(1)}">${km} km</text>`);
  }
  for (let deg = 0; deg < 360; deg += 30) {
    const s = Math.sin((deg * Math.PI) / 180);
    const c = Math.cos((deg * Math.PI) / 180);
    parts.push(`<line x1="0" y1="0" x2="${(RADIUS * s).toFixed(1)}" y2="${(-RADIUS * c).toFixed(1)}"/>`);
    const label = { 0: "N", 90: "E", 180: "S", 270: "W" }[deg] ?? `${deg}°`;
    parts.push(`<text x="${(530 * s).toFixed(1)}" y="${(-530 * c).toFixed(1)}">${label}</text>`);
  }
  parts.push(`<circle class="station" r="6"><title>${escape(station)}</title></circle>`);
  $("grid").innerHTML = parts.join("");
}

function escape(text) {
  return text.replace(/[&<>"]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" })[c]);
}

// One mark per contact, in the contacts' order: at its bearing clockwise
// from north, at its distance outward. The marks are the subpaths of one
// path ("M x y h0", a dot by its round cap): one element paints a hundred
// thousand of them at once, where as many elements would take seconds.
function drawMarks(columns) {
  const { km, bearing } = columns;
  let max = 0;
  for (let i = 0; i < km.length; i++) max = Math.max(max, km[i]);
  const { step, outer } = scaleOf(max);
  const chart = $("chart");
  chart.dataset.outerKm = String(outer);
  chart.dataset.radius = String(RADIUS);
  drawGrid(outer, step, columns.station);
  const parts = new Array(km.length);
  for (let i = 0; i < km.length; i++) {
    const r = (km[i] / outer) * RADIUS;
    const angle = (bearing[i] * Math.PI) / 180;
    parts[i] = `M${(r * Math.sin(angle)).toFixed(2)} ${(-r * Math.cos(angle)).toFixed(2)}h0`;
  }
  const marks = $("marks");
  marks.setAttribute("d", parts.join(""));
  marks.dataset.count = String(km.length);
}

// ---- The table ----

const PAGE = 100;
const table = { columns: null, order: null, key: "record", ascending: true, page: 0 };

function sortBy(key) {
  const { columns } = table;
  if (table.key === key) {
    table.ascending = !table.ascending;
  } else {
    table.key = key;
    table.ascending = true;
  }
  const values = columns[key];
  const order = Array.from({ length: values.length }, (_, i) => i);
  const sign = table.ascending ? 1 : -1;
  order.sort((i, j) => (values[i] < values[j] ? -sign : values[i] > values[j] ? sign : i - j));
  table.order = order;
  table.page = 0;
  for (const th of document.querySelectorAll("#contacts th")) {
    const k = th.querySelector("button").dataset.key;
    th.setAttribute("aria-sort", k === key ? (table.ascending ? "ascending" : "descending") : "none");
  }
  showPage();
}

function showPage() {
  const { columns, order } = table;
  const n = order.length;
  const first = table.page * PAGE;
  const last = Math.min(n, first + PAGE);
  const rows = [];
  for (let k = first; k < last; k++) {
    const i = order[k];
    rows.push(`<tr><td class="number">${columns.record[i] + 1}</td><td>${escape(columns.call[i])}</td>` +
      `<td>${escape(columns.date[i])}</td><td>${escape(columns.grid[i])}</td>` +
      `<td class="number">${Math.trunc(columns.km[i])}</td><td class="number">${formatFloat(columns.bearing[i])}°</td></tr>`);
  }
  document.querySelector("#contacts tbody").innerHTML = rows.join("");
  $("table-range").textContent = n === 0 ? "(none)" : `${first + 1} to ${last} of ${n}`;
  $("pages").hidden = n <= PAGE;
  $("previous").disabled = first === 0;
  $("next").disabled = last >= n;
}

// ---- The log ----

let worker = null;
let saveUrl = null;

function startWorker() {
  worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
  worker.onmessage = ({ data }) => {
    if (data.type === "progress") showProgress(data.done, data.total);
    else if (data.type === "done") showLog(data);
    else if (data.type === "error") failLog(data.message);
  };
}

function showProgress(done, total) {
  const bar = $("progress");
  bar.hidden = false;
  bar.value = total === 0 ? 1 : done / total;
  $("log-status").textContent = `Reading the log: ${Math.round(bar.value * 100)} % of ${total.toLocaleString("en")} bytes`;
}

function failLog(message) {
  $("progress").hidden = true;
  $("log-status").textContent = `The log could not be read: ${message}`;
  document.body.dataset.state = "failed";
}

let logName = "log";
let readStarted = 0;

function showLog(data) {
  const started = performance.now();
  const { columns } = data;
  columns.station = data.station;
  drawMarks(columns);
  table.columns = columns;
  table.key = null;
  sortBy("record");
  const list = document.querySelector("#problems ul");
  list.innerHTML = data.messages.map((m) => `<li>line ${escape(m)}</li>`).join("");
  $("problems").hidden = data.messages.length === 0;
  if (saveUrl !== null) URL.revokeObjectURL(saveUrl);
  saveUrl = URL.createObjectURL(data.blob);
  const save = $("save");
  save.href = saveUrl;
  save.download = `${logName.replace(/\.(adi|adif|txt)$/i, "")}.annotated.adi`;
  save.setAttribute("aria-disabled", "false");
  $("progress").hidden = true;
  $("log-status").textContent = `${columns.km.length.toLocaleString("en")} contacts on the chart from ` +
    `${data.records.toLocaleString("en")} records` +
    (data.failures > 0 ? `; ${data.failures.toLocaleString("en")} left as they are (see below)` : "") +
    (data.station ? `; station ${data.station}` : "") + ".";
  document.body.dataset.drawMs = (performance.now() - started).toFixed(1);
  document.body.dataset.workMs = data.workMs.toFixed(1);
  // Done once the chart has been painted: the time from the drop to then
  // is what a user waits (the page's benchmark reads it).
  requestAnimationFrame(() => setTimeout(() => {
    document.body.dataset.totalMs = (performance.now() - readStarted).toFixed(1);
    document.body.dataset.state = "done";
  }));
}

function readLog(file) {
  if (!file) return;
  logName = file.name || "log";
  readStarted = performance.now();
  document.body.dataset.state = "reading";
  $("save").setAttribute("aria-disabled", "true");
  showProgress(0, file.size);
  worker.postMessage({ file, overwrite: $("overwrite").checked, bearingField: $("bearing-field").value,
    myGrid: $("my-grid").value });
}

function setUp() {
  $("pair").addEventListener("submit", showPair);
  showPair();
  startWorker();
  $("file").addEventListener("change", (e) => readLog(e.target.files[0]));
  const drop = $("drop");
  drop.addEventListener("dragover", (e) => {
    e.preventDefault();
    drop.classList.add("over");
  });
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    readLog(e.dataTransfer.files[0]);
  });
  for (const button of document.querySelectorAll("#contacts th button")) {
    button.addEventListener("click", () => table.columns && sortBy(button.dataset.key));
  }
  $("previous").addEventListener("click", () => { table.page--; showPage(); });
  $("next").addEventListener("click", () => { table.page++; showPage(); });
  if ("serviceWorker" in navigator && location.protocol !== "file:") {
    navigator.serviceWorker.register("sw.js").catch(() => {});
  }
  document.body.dataset.state = "ready";
}

setUp();
