// The page: reads what the user gives it, hands it to the worker, shows
// the report, the notes, the table and the plots. Everything stays in the
// page: no request goes out once it is loaded, and nothing is stored.
/* global drawPlot */
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const ui = {
    form: $('typed'), name: $('case-name'), a: $('phase-a'), b: $('phase-b'),
    analyse: $('analyse'), example: $('example'), file: $('file'),
    drop: $('drop'), fileError: $('file-error'), progress: $('progress'),
    cancel: $('cancel'), status: $('run-status'), results: $('results'),
    report: $('report'), notes: $('notes'), table: $('table'),
    plots: $('plots'), csv: $('download-csv'), json: $('download-json'),
  };
  const fields = {
    a: { area: ui.a, status: $('phase-a-status'), error: $('phase-a-error'), label: 'A' },
    b: { area: ui.b, status: $('phase-b-status'), error: $('phase-b-error'), label: 'B' },
  };

  let assets = null;      // the module's code and bytes, for each new worker
  let worker = null;
  let ready = false;
  let everReady = false;
  let columns = [];
  let csvHeader = '';
  let jobId = 0;
  let running = null;     // {id, kind}
  let shown = null;       // what the results show: {rows, baseName}
  let sort = { column: -1, ascending: true };

  // ---- the worker ----------------------------------------------------

  function base64Bytes(text) {
    const binary = atob(text.replace(/\s+/g, ''));
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // In kalmir.html everything is in the page; the served copy fetches its
  // files once, at load, and never again.
  async function loadAssets() {
    const wasm = document.getElementById('kalmir-wasm');
    if (wasm) {
      return {
        code: $('kalmir-glue').textContent + '\n' + $('kalmir-worker').textContent,
        wasm: base64Bytes(wasm.textContent),
      };
    }
    const text = (url) => fetch(url).then((r) => {
      if (!r.ok) throw new Error('cannot load ' + url);
      return r.text();
    });
    const [glue, code, bytes] = await Promise.all([
      text('kalmir-core.js'), text('worker.js'),
      fetch('kalmir-core.wasm').then((r) => {
        if (!r.ok) throw new Error('cannot load kalmir-core.wasm');
        return r.arrayBuffer();
      }),
    ]);
    return { code: glue + '\n' + code, wasm: new Uint8Array(bytes) };
  }

  function startWorker() {
    ready = false;
    const url = URL.createObjectURL(new Blob([assets.code], { type: 'text/javascript' }));
    worker = new Worker(url);
    URL.revokeObjectURL(url);
    worker.onmessage = onWorkerMessage;
    worker.onerror = (event) => {
      event.preventDefault();
      finishRun('The analysis stopped unexpectedly: ' + (event.message || 'unknown error') + '.');
      restartWorker();
    };
    worker.postMessage({ type: 'init', wasm: assets.wasm.slice() });
  }

  function restartWorker() {
    if (worker) worker.terminate();
    startWorker();
  }

  function onWorkerMessage(event) {
    const m = event.data;
    if (m.type === 'ready') {
      ready = true;
      columns = m.columns;
      csvHeader = m.csvHeader;
      // A worker started again after a cancel leaves the status be.
      if (!running && !everReady) setStatus('Ready.');
      everReady = true;
      updateControls();
      return;
    }
    if (m.type === 'count') {
      showCount(fields[m.field], m.out);
      return;
    }
    if (m.type === 'failed' && !ready) {
      // The module could not start (a browser without WebAssembly's
      // exception handling, say): say so rather than load for ever.
      setStatus('The analysis could not be loaded: ' + m.message + '.');
      return;
    }
    if (!running || m.id !== running.id) return;
    if (m.type === 'progress') {
      ui.progress.value = m.done;
      ui.progress.textContent = Math.round(m.done * 100) + '%';
    } else if (m.type === 'typed') {
      running.workerMs = m.ms;
      showTyped(m.out);
    } else if (m.type === 'file') {
      showFile(m);
    } else if (m.type === 'failed') {
      finishRun('The analysis failed: ' + m.message + '.');
    }
  }

  // ---- running -------------------------------------------------------

  function setStatus(text) { ui.status.textContent = text; }

  function updateControls() {
    const busy = running !== null;
    ui.analyse.disabled = !ready || busy;
    ui.file.disabled = !ready || busy;
    ui.cancel.disabled = !busy;
  }

  function startRun(kind, message) {
    running = { id: ++jobId, kind, name: message.name, started: performance.now() };
    ui.progress.value = 0;
    ui.progress.textContent = '0%';
    setStatus(kind === 'file' ? 'Analysing the data file…' : 'Analysing…');
    updateControls();
    worker.postMessage(Object.assign({ id: running.id }, message));
  }

  function finishRun(statusText, done = 1) {
    running = null;
    ui.progress.value = done;
    ui.progress.textContent = Math.round(done * 100) + '%';
    setStatus(statusText);
    updateControls();
  }

  ui.cancel.addEventListener('click', () => {
    if (!running) return;
    // A busy worker reads no messages: ending it is the one sure stop.
    restartWorker();
    finishRun('Cancelled: nothing was analysed.', 0);
    ui.analyse.focus();
  });

  // ---- typed data ----------------------------------------------------

  function clearFieldErrors() {
    for (const f of Object.values(fields)) {
      f.error.textContent = '';
      f.area.removeAttribute('aria-invalid');
    }
  }

  function showFieldError(f, message) {
    f.error.textContent = message ? capitalised(message) + '.' : '';
    if (message) f.area.setAttribute('aria-invalid', 'true');
    else f.area.removeAttribute('aria-invalid');
  }

  function capitalised(text) {
    return text.charAt(0).toUpperCase() + text.slice(1);
  }

  function showCount(f, out) {
    if (!f.area.value.trim()) {
      f.status.textContent = '';
    } else if (out.error) {
      f.status.textContent = '';
    } else {
      f.status.textContent = out.count + ' values' +
        (out.decimal_comma ? ', commas read as decimal marks' : '');
    }
  }

  const countTimers = {};
  function countSoon(key) {
    clearTimeout(countTimers[key]);
    countTimers[key] = setTimeout(() => {
      const f = fields[key];
      if (f.error.textContent) showFieldError(f, '');
      if (!ready || running) return;
      worker.postMessage({ type: 'count', field: key, text: f.area.value, label: f.label });
    }, 200);
  }
  ui.a.addEventListener('input', () => countSoon('a'));
  ui.b.addEventListener('input', () => countSoon('b'));

  // Two columns copied from a spreadsheet arrive as lines of two cells
  // apart by a tab; the phases differ in length, so cells may be empty.
  function splitColumns(text) {
    const lines = text.split(/\r\n|\n|\r/).filter((l) => l.trim() !== '');
    if (lines.length < 2 || !lines.every((l) => l.split('\t').length === 2)) return null;
    const a = [], b = [];
    lines.forEach((line, i) => {
      const [x, y] = line.split('\t').map((c) => c.trim());
      // A heading row ("A", "Baseline") is left out.
      if (i === 0 && /[^0-9.,eE+\-\s]/.test(x + y)) return;
      if (x) a.push(x);
      if (y) b.push(y);
    });
    return { a: a.join('\n'), b: b.join('\n') };
  }

  function onPaste(event) {
    const text = event.clipboardData && event.clipboardData.getData('text/plain');
    const columns2 = text ? splitColumns(text) : null;
    if (!columns2) return;
    event.preventDefault();
    ui.a.value = columns2.a;
    ui.b.value = columns2.b;
    countSoon('a');
    countSoon('b');
    setStatus('Pasted two columns: the first into the A phase, the second into the B phase.');
  }
  ui.a.addEventListener('paste', onPaste);
  ui.b.addEventListener('paste', onPaste);

  ui.example.addEventListener('click', () => {
    ui.name.value = '';
    ui.a.value = '3 5 4 6 5 7 6 8 7 9';
    ui.b.value = '10 9 12 11 13 12 15 14';
    countSoon('a');
    countSoon('b');
    ui.a.focus();
  });

  ui.form.addEventListener('submit', (event) => {
    event.preventDefault();
    if (!ready || running) return;
    clearFieldErrors();
    ui.fileError.textContent = '';
    startRun('typed', { type: 'typed', name: ui.name.value, a: ui.a.value, b: ui.b.value });
  });

  function showTyped(out) {
    const seconds = (performance.now() - running.started) / 1000;
    if (out.fields) {
      showFieldError(fields.a, out.a);
      showFieldError(fields.b, out.b);
      finishRun('Nothing was analysed: see the message under the field.');
      (out.a ? ui.a : ui.b).focus();
      return;
    }
    if (!out.result) {
      finishRun('Nothing was analysed: ' + out.error + '.');
      return;
    }
    const r = out.result;
    ui.status.dataset.analysisMs = running.workerMs.toFixed(0);
    finishRun('Analysed in ' + seconds.toFixed(2) + ' s.');
    showResults({
      report: 'ESTIMATING PARAMETERS...\n\n' + r.report,
      notes: r.notes,
      rows: [r.row],
      plots: [r],
      baseName: r.name || 'kalmir',
    });
  }

  // ---- data files ----------------------------------------------------

  function printable(text) {
    return text.replace(/[\u0000-\u001f\u007f]/g, '?');
  }

  async function analyseFileObject(file) {
    if (!file || !ready || running) return;
    ui.fileError.textContent = '';
    clearFieldErrors();
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (e) {
      ui.fileError.textContent = 'Cannot read ' + file.name + ': ' + e.message + '.';
      return;
    }
    startRun('file', { type: 'file', name: file.name, bytes });
  }

  function showFile(m) {
    const seconds = (performance.now() - running.started) / 1000;
    const fileName = running.name;
    if (m.error) {
      ui.fileError.textContent = m.error + '.';
      finishRun('Nothing was analysed: see the message under the file.');
      return;
    }
    const messages = [];
    const notes = [];
    const rows = [];
    const plots = [];
    let report = '';
    let nFailed = 0;
    for (const c of m.cases) {
      report += '== ' + printable(c.name) + '\n';
      if (c.message) {
        ++nFailed;
        messages.push(c.message);
        rows.push(c.row);
        report += 'Not analysed: ' + c.reason + '.\n\n\n';
      } else if (!c.out.result) {
        ++nFailed;
        messages.push(c.name + ': ' + c.out.error);
        report += 'Not analysed: ' + c.out.error + '.\n\n\n';
      } else {
        const r = c.out.result;
        report += r.report;
        for (const note of r.notes) {
          report += 'Note: ' + note + '.\n';
          notes.push(printable(c.name) + ': ' + note);
        }
        rows.push(r.row);
        plots.push(r);
      }
    }
    ui.fileError.innerHTML = '';
    if (messages.length) {
      const list = document.createElement('ul');
      for (const text of messages) {
        const item = document.createElement('li');
        item.textContent = text;
        list.appendChild(item);
      }
      ui.fileError.appendChild(list);
    }
    finishRun('Analysed ' + (m.cases.length - nFailed) + ' of ' + m.cases.length +
              (m.cases.length === 1 ? ' case' : ' cases') + ' in ' + seconds.toFixed(2) + ' s.');
    showResults({ report, notes, rows, plots, baseName: fileName.replace(/\.[^.]*$/, '') || 'kalmir' });
  }

  ui.file.addEventListener('change', () => {
    analyseFileObject(ui.file.files[0]);
  });

  for (const target of [document.documentElement]) {
    target.addEventListener('dragover', (event) => {
      if (!event.dataTransfer || !Array.from(event.dataTransfer.types).includes('Files')) return;
      event.preventDefault();
      ui.drop.classList.add('dragging');
    });
    target.addEventListener('dragleave', () => ui.drop.classList.remove('dragging'));
    target.addEventListener('drop', (event) => {
      ui.drop.classList.remove('dragging');
      if (!event.dataTransfer || event.dataTransfer.files.length === 0) return;
      event.preventDefault();
      analyseFileObject(event.dataTransfer.files[0]);
    });
  }

  // ---- results -------------------------------------------------------

  function showResults(view) {
    shown = view;
    ui.results.hidden = false;
    ui.report.textContent = view.report;
    ui.notes.innerHTML = '';
    const notes = view.notes.length ? view.notes : ['None'];
    for (const note of notes) {
      const item = document.createElement('li');
      item.textContent = note + '.';
      ui.notes.appendChild(item);
    }
    sort = { column: -1, ascending: true };
    renderTable();
    renderPlots(view.plots);
  }

  function cellClass(cell) {
    return cell.kind === 'text' || cell.kind === 'empty' ? 'text' : 'number';
  }

  function renderTable() {
    const thead = ui.table.tHead;
    const tbody = ui.table.tBodies[0];
    thead.innerHTML = '';
    tbody.innerHTML = '';
    const head = document.createElement('tr');
    columns.forEach((name, i) => {
      const th = document.createElement('th');
      th.scope = 'col';
      const kinds = shown.rows.map((r) => r.cells[i] && r.cells[i].kind);
      th.className = kinds.some((k) => k === 'figure' || k === 'integer' || k === 'number') ? 'number' : 'text';
      if (sort.column === i) th.setAttribute('aria-sort', sort.ascending ? 'ascending' : 'descending');
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = name;
      button.addEventListener('click', () => {
        sort = { column: i, ascending: sort.column === i ? !sort.ascending : true };
        renderTable();
        thead.querySelectorAll('button')[i].focus();
      });
      th.appendChild(button);
      head.appendChild(th);
    });
    thead.appendChild(head);
    for (const row of sortedRows()) {
      const tr = document.createElement('tr');
      row.cells.forEach((cell, i) => {
        // The case's name heads its row, when it has one.
        const heads = i === 0 && cell.text !== '';
        const td = document.createElement(heads ? 'th' : 'td');
        if (heads) td.scope = 'row';
        td.className = cellClass(cell);
        td.textContent = cell.text;
        tr.appendChild(td);
      });
      tbody.appendChild(tr);
    }
  }

  function sortKey(cell) {
    if (!cell || cell.kind === 'empty') return null;
    if (cell.kind === 'text') return cell.text;
    return Number.isNaN(cell.number) ? null : cell.number;
  }

  // Stable, with empty and not-a-number cells last either way.
  function sortedRows() {
    const rows = shown.rows.map((row, order) => ({ row, order }));
    if (sort.column >= 0) {
      const c = sort.column;
      const sign = sort.ascending ? 1 : -1;
      rows.sort((x, y) => {
        const a = sortKey(x.row.cells[c]);
        const b = sortKey(y.row.cells[c]);
        if (a === null || b === null) {
          if (a === b) return x.order - y.order;
          return a === null ? 1 : -1;
        }
        let d;
        if (typeof a === 'number' && typeof b === 'number') d = a - b;
        else d = String(a).localeCompare(String(b));
        return d !== 0 ? sign * d : x.order - y.order;
      });
    }
    return rows.map((r) => r.row);
  }

  function renderPlots(results) {
    ui.plots.innerHTML = '';
    results.forEach((r, i) => {
      const figure = document.createElement('figure');
      const svg = drawPlot(r, 'plot-' + i);
      figure.innerHTML = svg;
      const caption = document.createElement('figcaption');
      const button = document.createElement('button');
      button.type = 'button';
      const title = r.name || 'the analysis';
      button.textContent = 'Download the plot of ' + title + ' as SVG';
      button.addEventListener('click', () => {
        download(fileStem(r.name || shown.baseName) + '.svg', svg, 'image/svg+xml');
      });
      caption.appendChild(button);
      figure.appendChild(caption);
      ui.plots.appendChild(figure);
    });
  }

  function fileStem(name) {
    const stem = name.replace(/[^A-Za-z0-9._-]+/g, '_').replace(/^[._]+/, '');
    return stem || 'kalmir';
  }

  function download(name, text, type) {
    const url = URL.createObjectURL(new Blob([text], { type }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }

  // The tables as the command line writes them: all rows in case order.
  ui.csv.addEventListener('click', () => {
    const text = csvHeader + shown.rows.map((r) => r.csv).join('');
    download(fileStem(shown.baseName) + '.csv', text, 'text/csv');
  });
  ui.json.addEventListener('click', () => {
    const text = shown.rows.length === 0 ? '[]\n'
      : '[\n' + shown.rows.map((r) => r.json).join(',\n') + '\n]\n';
    download(fileStem(shown.baseName) + '.json', text, 'application/json');
  });

  // ---- start ---------------------------------------------------------

  updateControls();
  loadAssets().then((loaded) => {
    assets = loaded;
    startWorker();
  }).catch((e) => {
    setStatus('The analysis could not be loaded: ' + e.message + '.');
  });
})();
