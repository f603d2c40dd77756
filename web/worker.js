// The page's worker: reads a dropped log and annotates it away from the
// page's thread, telling how far it is, and hands back the annotated log as
// a Blob and the contacts in columns (typed arrays for the numbers).
import * as pelmora from "./pelmora/index.js";
import { annotateLog } from "./adif.js";

self.onmessage = async ({ data }) => {
  const { file, overwrite, bearingField, myGrid } = data;
  try {
    const started = performance.now();
    const bytes = new Uint8Array(await file.arrayBuffer());
    const total = bytes.length;
    self.postMessage({ type: "progress", done: 0, total });
    const result = annotateLog(bytes, pelmora, { overwrite, bearingField, myGrid },
      (done) => self.postMessage({ type: "progress", done, total }));
    const { contacts } = result;
    const km = Float32Array.from(contacts.km);
    const bearing = Float32Array.from(contacts.bearing);
    const record = Uint32Array.from(contacts.record);
    self.postMessage({
      type: "done",
      blob: new Blob([result.output], { type: "text/plain" }),
      records: result.records,
      workMs: performance.now() - started,
      failures: result.failures,
      messages: result.messages.slice(0, 500),
      station: contacts.myGrid.length > 0 ? contacts.myGrid[0] : "",
      columns: { record, km, bearing, call: contacts.call, date: contacts.date, grid: contacts.grid },
    }, [km.buffer, bearing.buffer, record.buffer]);
  } catch (e) {
    self.postMessage({ type: "error", message: String(e && e.message ? e.message : e) });
  }
};
self.postMessage({ type: "ready" });
