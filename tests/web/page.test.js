// The page in Debian's chromium, headless, driven by playwright-core (no
// browser is downloaded): the worked example typed and its report's
// bytes; a data file chosen and dropped, and its table against the command
// line's; a long run cancelled; messages beside the fields; keyboard use;
// no request once loaded; axe-core.
//
// KALMIR_WEB: the build-web folder; KALMIR_PROGRAM: the native program.

'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { chromium } = require('playwright-core');

const root = path.resolve(__dirname, '..', '..');
const web = path.resolve(process.env.KALMIR_WEB || path.join(root, 'build-web'));
const program = path.resolve(process.env.KALMIR_PROGRAM || path.join(root, 'build', 'kalmir'));
const pageUrl = 'file://' + path.join(web, 'kalmir.html');
const examples = path.join(root, 'examples');

let browser;
let context;
let page;
const requests = [];  // every request the page or its worker makes
const problems = [];  // console errors, page errors, dialogs

// What the dialogue prints from the analysis heading to the report's end.
function dialogueReport(name) {
  const out = fs.readFileSync(path.join(root, 'tests', 'transcripts', name + '.out'), 'latin1');
  const begin = out.indexOf('ESTIMATING PARAMETERS...');
  const end = out.lastIndexOf('Press ENTER to input data...');
  return out.slice(begin, end);
}

function commandLine(args) {
  return execFileSync(program, args, { cwd: examples, encoding: 'latin1',
                                       stdio: ['ignore', 'pipe', 'ignore'] });
}

function commandLineTolerant(args) {
  try {
    return commandLine(args);
  } catch (e) {
    return e.stdout;  // status 1: some cases could not be analysed
  }
}

// page.waitForFunction evaluates text, which the page's content security
// policy forbids; page.evaluate calls a function, which it allows.
async function waitFor(predicate, arg, timeout = 30000) {
  const end = Date.now() + timeout;
  for (;;) {
    if (await page.evaluate(predicate, arg)) return;
    if (Date.now() > end) throw new Error('timed out waiting for ' + predicate);
    await new Promise((r) => setTimeout(r, 10));
  }
}

async function waitForIdle() {
  await waitFor(() => {
    const cancel = document.getElementById('cancel');
    const status = document.getElementById('run-status').textContent;
    return cancel.disabled && status !== '' && !/Loading|Analysing/.test(status);
  });
}

// Does what act does and waits until the page has answered it.
async function answered(act) {
  await page.evaluate(() => { document.getElementById('run-status').textContent = ''; });
  await act();
  await waitForIdle();
}

async function tableCells() {
  return page.$$eval('#table tbody tr', (rows) =>
    rows.map((tr) => Array.from(tr.children).map((c) => c.textContent)));
}

function parseCsv(text) {
  const rows = [];
  let row = [], field = '', quoted = false;
  for (let i = 0; i < text.length; ++i) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { field += '"'; ++i; }
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') { row.push(field); field = ''; }
    else if (c === '\n') { row.push(field); rows.push(row); row = []; field = ''; }
    else field += c;
  }
  return rows;
}

async function downloaded(buttonId) {
  const [download] = await Promise.all([
    page.waitForEvent('download'),
    page.click('#' + buttonId),
  ]);
  return fs.readFileSync(await download.path(), 'latin1');
}

test.before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.KALMIR_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu'],
  });
  context = await browser.newContext({ acceptDownloads: true });
  context.on('request', (r) => requests.push(r.url()));
  page = await context.newPage();
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('dialog', (d) => { problems.push('dialog: ' + d.message()); d.dismiss(); });
  page.on('worker', (w) => w.on('console', (m) => problems.push('worker: ' + m.text())));
  await page.goto(pageUrl);
  await waitFor(() => document.getElementById('run-status').textContent === 'Ready.');
});

test.after(async () => {
  if (browser) await browser.close();
});

test('the worked example, typed, gives the dialogue\'s report byte for byte', async () => {
  await page.fill('#phase-a', '');
  await page.fill('#phase-b', '');
  await page.locator('#phase-a').pressSequentially('3 5 4 6 5 7 6 8 7 9');
  await page.locator('#phase-b').pressSequentially('10 9 12 11 13 12 15 14');
  const times = [];
  const inWorker = [];
  for (let i = 0; i < 3; ++i) {
    await page.evaluate(() => { document.getElementById('report').textContent = ''; });
    const start = Date.now();
    await page.click('#analyse');
    await waitFor(() => document.getElementById('report').textContent !== '');
    times.push(Date.now() - start);
    await waitForIdle();
    inWorker.push(await page.getAttribute('#run-status', 'data-analysis-ms'));
  }
  const report = await page.textContent('#report');
  assert.equal(report, dialogueReport('worked_example'));
  // Logged, not asserted: times depend on what else the machine does.
  console.log(`# worked example in the page: ${times.join(', ')} ms ` +
              `(the analysis itself: ${inWorker.join(', ')} ms)`);
  // The table's row is the command line's for the same data as a file.
  const file = path.join(web, 'worked.csv');
  fs.writeFileSync(file, 'case,phase,values\n' +
    '3 5 4 6 5 7 6 8 7 9'.split(' ').map((v) => `x,A,${v}\n`).join('') +
    '10 9 12 11 13 12 15 14'.split(' ').map((v) => `x,B,${v}\n`).join(''));
  try {
    const cli = parseCsv(commandLine([file]));
    const cells = (await tableCells())[0];
    assert.equal(cells.length, cli[0].length);
    assert.deepEqual(cells.slice(1), cli[1].slice(1));
  } finally {
    fs.unlinkSync(file);
  }
  assert.equal(await page.locator('#plots svg').count(), 1);
});

test('a data file, chosen or dropped, gives the command line\'s table', async () => {
  const cli = commandLineTolerant(['study.csv']);
  const cliJson = commandLineTolerant(['-f', 'json', 'study.csv']);
  await answered(() => page.setInputFiles('#file', path.join(examples, 'study.csv')));
  const want = parseCsv(cli).slice(1);
  assert.deepEqual(await tableCells(), want);
  assert.match(await page.textContent('#file-error'), /study\.csv:5: case "Dev": no B phase/);
  assert.equal(await downloaded('download-csv'), cli);
  assert.equal(await downloaded('download-json'), cliJson);
  assert.equal(await page.locator('#plots svg').count(), 3);
  const [svgDownload] = await Promise.all([
    page.waitForEvent('download'),
    page.click('#plots figure:first-child figcaption button'),
  ]);
  assert.equal(svgDownload.suggestedFilename(), 'Ann.svg');
  const svg = fs.readFileSync(await svgDownload.path(), 'utf8');
  assert.match(svg, /^<svg xmlns="http:\/\/www.w3.org\/2000\/svg"[^]*<\/svg>$/);
  assert.match(svg, /D = 1\.495   d = 2\.771 \(SE 0\.662\)   r = 0\.809   p = 0\.001/);

  // Sorting by d puts the decrease first; the rows are the same.
  const dColumn = (await page.$$eval('#table thead button', (b) => b.map((x) => x.textContent))).indexOf('d');
  await page.click(`#table thead th:nth-child(${dColumn + 1}) button`);
  const sorted = await tableCells();
  assert.equal(sorted[0][0], 'Ben');
  assert.deepEqual([...sorted].sort(), [...want].sort());

  // The same file dropped on the page.
  await page.evaluate(() => { document.querySelector('#table tbody').innerHTML = ''; });
  const text = fs.readFileSync(path.join(examples, 'study.csv'), 'latin1');
  await answered(() => page.evaluate((content) => {
    const data = new DataTransfer();
    data.items.add(new File([content], 'study.csv', { type: 'text/csv' }));
    document.getElementById('drop').dispatchEvent(
      new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  }, text));
  assert.deepEqual(await tableCells(), want);
});

test('two pasted spreadsheet columns fill both phases; decimal commas are read', async () => {
  await page.fill('#phase-a', '');
  await page.fill('#phase-b', '');
  const a = [3, 5, 4, 6, 5, 7, 6, 8, 7, 9];
  const b = [10, 9, 12, 11, 13, 12, 15, 14];
  const rows = ['Baseline\tTreatment'];
  for (let i = 0; i < a.length; ++i) rows.push(`${a[i]}\t${i < b.length ? b[i] : ''}`);
  await page.evaluate((text) => {
    const data = new DataTransfer();
    data.setData('text/plain', text);
    document.getElementById('phase-b').dispatchEvent(new ClipboardEvent(
      'paste', { clipboardData: data, bubbles: true, cancelable: true }));
  }, rows.join('\r\n') + '\r\n');
  assert.equal(await page.inputValue('#phase-a'), a.join('\n'));
  assert.equal(await page.inputValue('#phase-b'), b.join('\n'));
  await answered(() => page.click('#analyse'));
  assert.equal(await page.textContent('#report'), dialogueReport('worked_example'));

  // Values apart by blanks, each with one comma between digits.
  await page.fill('#phase-a', a.map((v) => v + ',0').join(' '));
  await page.evaluate(() => { document.getElementById('report').textContent = ''; });
  await answered(() => page.click('#analyse'));
  assert.equal(await page.textContent('#report'), dialogueReport('worked_example'));
});

test('bad input gets the message beside its field, and nothing else', async () => {
  // "4,5,x" holds two commas: they separate values, so x is the fifth.
  await page.fill('#phase-a', '3 5 4,5,x 6');
  await page.fill('#phase-b', '10');
  await answered(() => page.click('#analyse'));
  assert.equal(await page.textContent('#phase-a-error'),
               'Value 5 of the A phase, "x", is not a number; enter numbers such as 4 or 2.5.');
  assert.equal(await page.textContent('#phase-b-error'),
               'The B phase has 1 value; 2 to 500 are needed.');
  assert.equal(await page.getAttribute('#phase-a', 'aria-invalid'), 'true');
  const file = path.join(web, 'unreadable.csv');
  fs.writeFileSync(file, 'case,phase,values\nAnn,A,"3\n');
  try {
    await answered(() => page.setInputFiles('#file', file));
    assert.match(await page.textContent('#file-error'), /^unreadable\.csv:\d+: .+\.$/);
  } finally {
    fs.unlinkSync(file);
  }
});

test('a long analysis can be cancelled, and the page goes on working', async () => {
  const values = (k) => Array.from({ length: 500 }, (_, i) => String((i * 7919 + k) % 101)).join(' ');
  await page.fill('#phase-a', values(1));
  await page.fill('#phase-b', values(50));
  await page.click('#analyse');
  await waitFor(() => document.getElementById('progress').value > 0);
  assert.equal(await page.isEnabled('#cancel'), true);
  await page.click('#cancel');
  await waitFor(() => document.getElementById('run-status').textContent.startsWith('Cancelled'));
  await waitFor(() => !document.getElementById('analyse').disabled);
  await page.fill('#phase-a', '3 5 4 6 5 7 6 8 7 9');
  await page.fill('#phase-b', '10 9 12 11 13 12 15 14');
  await answered(() => page.click('#analyse'));
  assert.equal(await page.textContent('#report'), dialogueReport('worked_example'));
});

test('the page is usable by keyboard alone', async () => {
  await page.fill('#phase-a', '');
  await page.fill('#phase-b', '');
  await page.evaluate(() => { document.getElementById('report').textContent = ''; });
  await page.focus('#case-name');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'phase-a');
  await page.keyboard.type('3 5 4 6 5 7 6 8 7 9');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'phase-b');
  await page.keyboard.type('10 9 12 11 13 12 15 14');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'analyse');
  await answered(() => page.keyboard.press('Enter'));
  assert.equal(await page.textContent('#report'), dialogueReport('worked_example'));
});

test('axe-core finds no critical violation', async () => {
  const axe = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
  await page.addScriptTag({ content: axe });
  const violations = await page.evaluate(async () => {
    const result = await window.axe.run(document);
    return result.violations.map((v) => ({ id: v.id, impact: v.impact, n: v.nodes.length }));
  });
  for (const v of violations) console.log(`# axe: ${v.impact} ${v.id} (${v.n})`);
  assert.deepEqual(violations.filter((v) => v.impact === 'critical'), []);
});

test('no request leaves the page once loaded, and nothing went to the console', () => {
  // The page itself, then the worker's code and downloads as blob: URLs
  // made in the page; nothing else.
  const outside = requests.filter((u) => !u.startsWith('blob:') && u !== pageUrl);
  // (The served copy's test comes after this one: its page asks for files.)
  assert.ok(requests.includes(pageUrl), 'the recorder saw the page load');
  assert.deepEqual(outside, []);
  assert.deepEqual(problems, []);
});

test('the served copy loads its files once, then asks for nothing more', async () => {
  const http = require('node:http');
  const site = path.join(web, 'site');
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                  '.wasm': 'application/wasm' };
  const server = http.createServer((req, res) => {
    const name = req.url === '/' ? 'index.html' : path.basename(req.url);
    const file = path.join(site, name);
    if (!fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'application/octet-stream' });
    res.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const served = await context.newPage();
  const asked = [];
  served.on('request', (r) => asked.push(r.url()));
  served.on('console', (m) => { if (m.type() === 'error') problems.push('served: ' + m.text()); });
  try {
    const origin = `http://127.0.0.1:${server.address().port}/`;
    await served.goto(origin);
    const poll = async (predicate) => {
      for (let i = 0; i < 3000 && !(await served.evaluate(predicate)); ++i) {
        await new Promise((r) => setTimeout(r, 10));
      }
    };
    await poll(() => document.getElementById('run-status').textContent === 'Ready.');
    const atLoad = asked.filter((u) => !u.startsWith('blob:'));
    assert.deepEqual(atLoad.map((u) => u.slice(origin.length)).sort(),
                     ['', 'app.js', 'kalmir-core.js', 'kalmir-core.wasm', 'plot.js',
                      'style.css', 'worker.js']);
    await served.click('#example');
    await served.click('#analyse');
    await poll(() => document.getElementById('report').textContent !== '');
    assert.equal(await served.textContent('#report'), dialogueReport('worked_example'));
    assert.deepEqual(asked.filter((u) => !u.startsWith('blob:')), atLoad);
  } finally {
    await served.close();
    server.close();
  }
});
