// The page's worker: reads a dropped log and annotates it away from the
// page's thread, telling how far it is, and hands back the annotated log as
// a Blob and the contacts in columns (typed arrays for the numbers).
import * as pelmora from "./pelmora/index.js";
import { annotateLog } from "./adif.js";

self.onmessage = async ({ data }) => {
  const { file, overwrite, bearingField } = data;
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const total = bytes.length;
    self.postMessage({ type: "progress", done: 0, total });
    const result = annotateLog(bytes, pelmora, { overwrite, bearingField },
      (done) => self.postMessage({ type: "progress", done, total }));
    const contacts = result.contacts;
    const n = contacts.length;
    const km = new Float32Array(n);
    const bearing = new Float32Array(n);
    const record = new Uint32Array(n);
    for (let i = 0; i < n; i++) {
      km[i] = contacts[i].km;
      bearing[i] = contacts[i].bearing;
      record[i] = contacts[i].record;
    }
    self.postMessage({
      type: "done",
      blob: new Blob(result.parts, { type: "text/plain" }),
      records: result.records,
      failures: result.failures,
      messages: result.messages.slice(0, 500),
      station: n > 0 ? contacts[0].myGrid : "",
      columns: {
        record, km, bearing,
        call: contacts.map((c) => c.call), date: contacts.map((c) => c.date), grid: contacts.map((c) => c.grid),
      },
    }, [km.buffer, bearing.buffer, record.buffer]);
  } catch (e) {
    self.postMessage({ type: "error", message: String(e && e.message ? e.message : e) });
  }
};
self.postMessage({ type: "ready" });
