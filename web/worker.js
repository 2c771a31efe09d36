// The analysis's thread. The page hands it the WebAssembly module's bytes
// once ("init"), then texts to analyse; it answers with progress and
// results. It runs one job at a time: the page stops a job by ending the
// worker, since a busy worker reads no messages.
/* global createKalmir */
'use strict';

let kalmir = null;

function progressTo(id, share, nShares) {
  let shown = -1;
  return (done) => {
    const percent = Math.floor(((share + done) / nShares) * 100);
    if (percent !== shown) {
      shown = percent;
      self.postMessage({ type: 'progress', id, done: (share + done) / nShares });
    }
    return true;  // the page cancels by ending the worker
  };
}

// Transfers a result's simulated means instead of copying them.
function meansOf(result) {
  return result ? [result.null_means.buffer, result.exp_means.buffer] : [];
}

function analyseTyped(m) {
  const start = performance.now();
  const out = kalmir.analyseText(m.name, m.a, m.b, progressTo(m.id, 0, 1));
  const ms = performance.now() - start;
  self.postMessage({ type: 'typed', id: m.id, out, ms }, meansOf(out.result));
}

function analyseFile(m) {
  const read = kalmir.readFile(m.bytes, m.name);
  if (read.error) {
    self.postMessage({ type: 'file', id: m.id, error: read.error });
    return;
  }
  const cases = [];
  const transfer = [];
  const nCases = read.cases.length;
  read.cases.forEach((c, i) => {
    if (c.message) {
      cases.push({ name: c.name, message: c.message, reason: c.reason,
                   row: c.row });
      return;
    }
    const out = kalmir.analyseCase(c.name, c.a, c.b, c.notes,
                                   progressTo(m.id, i, nCases));
    cases.push({ name: c.name, out });
    transfer.push(...meansOf(out.result));
  });
  self.postMessage({ type: 'file', id: m.id, cases }, transfer);
}

self.onmessage = async (event) => {
  const m = event.data;
  try {
    if (m.type === 'init') {
      kalmir = await createKalmir({
        wasmBinary: m.wasm,
        print: () => {},
        printErr: () => {},
      });
      self.postMessage({
        type: 'ready',
        columns: kalmir.tableColumns(),
        csvHeader: kalmir.csvHeader(),
        version: kalmir.version(),
      });
    } else if (m.type === 'count') {
      self.postMessage({ type: 'count', id: m.id, field: m.field,
                         out: kalmir.countValues(m.text, m.label) });
    } else if (m.type === 'typed') {
      analyseTyped(m);
    } else if (m.type === 'file') {
      analyseFile(m);
    }
  } catch (e) {
    self.postMessage({ type: 'failed', id: m.id, message: String(e && e.message || e) });
  }
};
