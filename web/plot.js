// The plot of one analysis as SVG text, from the result the worker sends:
// above, the series with each phase's line and the baseline carried on;
// below, the simulated B-phase means of both models and the observed one.
// The command line draws its plots from a layout of its own (src/plot);
// once the library offers that layout's SVG, drawPlot is the one place to
// call it instead.
'use strict';

// eslint-disable-next-line no-unused-vars
function drawPlot(r, id) {
  const W = 640, H = 620;
  const esc = (s) => String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;')
    .replace(/>/g, '&gt;').replace(/"/g, '&quot;');
  // The figures as the report rounds them (C's "%.3f", which JavaScript's
  // toFixed does not always match), taken from the report itself.
  const figure = (pattern) => {
    const m = r.report.match(pattern);
    return m ? m[1] : '?';
  };
  const fD = figure(/^D \(unstd\) \t ?(\S+)/m);
  const fd = figure(/^d \(std\)   \t ?(\S+)/m);
  const fdSE = figure(/^d \(std\)   \t ?\S+\t\((\S+)\)/m);
  const fr = figure(/^r         \t ?(\S+)/m);
  const fp = figure(/^p         \t ?(\S+)/m);
  const caption = `D = ${fD}   d = ${fd} (SE ${fdSE})   r = ${fr}   p = ${fp}`;
  const nA = r.n_a, nB = r.n_b, n = nA + nB;
  const ys = Array.from(r.values);

  function niceStep(lo, hi, maxTicks) {
    const span = hi - lo;
    if (!(span > 0)) return 1;
    let step = Math.pow(10, Math.floor(Math.log10(span / maxTicks)));
    for (const m of [1, 2, 5, 10]) {
      if (span / (step * m) <= maxTicks) return step * m;
    }
    return step * 10;
  }
  function padded(lo, hi) {
    if (!Number.isFinite(lo) || !Number.isFinite(hi)) return [0, 1];
    if (lo === hi) { const d = Math.abs(lo) > 0 ? Math.abs(lo) * 0.1 : 1; return [lo - d, hi + d]; }
    const pad = (hi - lo) * 0.06;
    return [lo - pad, hi + pad];
  }
  function ticks(lo, hi, step) {
    const out = [];
    for (let t = Math.ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) {
      out.push(Math.abs(t) < step * 1e-9 ? 0 : t);
    }
    return out;
  }
  function label(t, step) {
    const digits = Math.max(0, -Math.floor(Math.log10(step) + 1e-9));
    const plain = t.toFixed(Math.min(digits, 10));
    const exp = Number(t.toPrecision(3)).toExponential().replace('e+', 'e');
    return Math.abs(t) >= 1e6 || (t !== 0 && Math.abs(t) < 1e-4) ? exp : plain;
  }
  const parts = [];
  const text = (x, y, s, opts = {}) => parts.push(
    `<text x="${x.toFixed(1)}" y="${y.toFixed(1)}"` +
    (opts.anchor ? ` text-anchor="${opts.anchor}"` : '') +
    (opts.size ? ` font-size="${opts.size}"` : '') +
    (opts.bold ? ' font-weight="bold"' : '') +
    (opts.rotate ? ` transform="rotate(-90 ${x.toFixed(1)} ${y.toFixed(1)})"` : '') +
    `>${esc(s)}</text>`);
  const line = (x1, y1, x2, y2, style) => parts.push(
    `<line x1="${x1.toFixed(1)}" y1="${y1.toFixed(1)}" x2="${x2.toFixed(1)}" y2="${y2.toFixed(1)}" ${style}/>`);

  // The series panel.
  const S = { x: 70, y: 50, w: 540, h: 230 };
  const lineA = (t) => r.null_model.intercept + r.null_model.slope * t;
  const lineB = (t) => r.exp_model.intercept + r.exp_model.slope * (t - nA);
  const fitted = [lineA(1), lineA(n), lineB(nA + 1), lineB(n)];
  const finite = ys.concat(fitted).filter(Number.isFinite);
  const [vLo, vHi] = padded(Math.min(...finite), Math.max(...finite));
  const tx = (t) => S.x + ((t - 0.5) / n) * S.w;
  const vy = (v) => S.y + S.h - ((v - vLo) / (vHi - vLo)) * S.h;
  const clampY = (v) => Math.min(S.y + S.h, Math.max(S.y, vy(v)));

  text(W / 2, 28, r.name || 'Analysis', { anchor: 'middle', size: 16, bold: true });
  parts.push(`<rect x="${S.x}" y="${S.y}" width="${S.w}" height="${S.h}" fill="none" stroke="#444"/>`);
  const vStep = niceStep(vLo, vHi, 6);
  for (const t of ticks(vLo, vHi, vStep)) {
    line(S.x - 5, vy(t), S.x, vy(t), 'stroke="#444"');
    text(S.x - 8, vy(t) + 4, label(t, vStep), { anchor: 'end', size: 11 });
  }
  const tStep = Math.max(1, niceStep(0.5, n + 0.5, 12));
  for (const t of ticks(1, n, tStep)) {
    line(tx(t), S.y + S.h, tx(t), S.y + S.h + 5, 'stroke="#444"');
    text(tx(t), S.y + S.h + 18, String(t), { anchor: 'middle', size: 11 });
  }
  text(S.x + S.w / 2, S.y + S.h + 36, 'Measurement occasion', { anchor: 'middle', size: 12 });
  text(20, S.y + S.h / 2, 'Value', { anchor: 'middle', size: 12, rotate: true });
  const xPhase = tx(nA + 0.5);
  line(xPhase, S.y, xPhase, S.y + S.h, 'stroke="#777" stroke-dasharray="2 3"');
  text(tx((nA + 1) / 2), S.y + 16, r.label_a || 'A', { anchor: 'middle', size: 12, bold: true });
  text(tx(nA + (nB + 1) / 2), S.y + 16, r.label_b || 'B', { anchor: 'middle', size: 12, bold: true });
  parts.push(`<g clip-path="url(#${id}-clip)">`);
  line(tx(1), vy(lineA(1)), tx(nA), vy(lineA(nA)), 'stroke="#1f5fa8" stroke-width="2"');
  line(tx(nA), vy(lineA(nA)), tx(n), vy(lineA(n)), 'stroke="#1f5fa8" stroke-width="2" stroke-dasharray="6 4"');
  line(tx(nA + 1), vy(lineB(nA + 1)), tx(n), vy(lineB(n)), 'stroke="#c0392b" stroke-width="2"');
  parts.push('</g>');
  ys.forEach((v, i) => {
    if (!Number.isFinite(v)) return;
    const a = i < nA;
    parts.push(`<circle cx="${tx(i + 1).toFixed(1)}" cy="${clampY(v).toFixed(1)}" r="3.5" ` +
      (a ? 'fill="#1f5fa8"' : 'fill="#fff" stroke="#c0392b" stroke-width="1.5"') + '/>');
  });

  // The simulated means.
  const M = { x: 70, y: 350, w: 540, h: 170 };
  const nullM = r.null_means, expM = r.exp_means;
  let lo = Infinity, hi = -Infinity;
  for (const set of [nullM, expM]) {
    for (let i = 0; i < set.length; ++i) {
      const v = set[i];
      if (Number.isFinite(v)) { if (v < lo) lo = v; if (v > hi) hi = v; }
    }
  }
  const observed = ys.slice(nA).reduce((s, v) => s + v, 0) / nB;
  if (Number.isFinite(observed)) { lo = Math.min(lo, observed); hi = Math.max(hi, observed); }
  const [mLo, mHi] = padded(lo, hi);
  const nBins = 60;
  const width = (mHi - mLo) / nBins;
  const counts = [new Array(nBins).fill(0), new Array(nBins).fill(0)];
  [nullM, expM].forEach((set, k) => {
    for (let i = 0; i < set.length; ++i) {
      const v = set[i];
      if (!Number.isFinite(v)) continue;
      const b = Math.min(nBins - 1, Math.max(0, Math.floor((v - mLo) / width)));
      ++counts[k][b];
    }
  });
  const cMax = Math.max(1, ...counts[0], ...counts[1]);
  const mx = (v) => M.x + ((v - mLo) / (mHi - mLo)) * M.w;
  const cy = (c) => M.y + M.h - (c / cMax) * M.h * 0.95;
  parts.push(`<rect x="${M.x}" y="${M.y}" width="${M.w}" height="${M.h}" fill="none" stroke="#444"/>`);
  counts.forEach((bins, k) => {
    const fill = k === 0 ? 'fill="#1f5fa8" fill-opacity="0.45"' : 'fill="#c0392b" fill-opacity="0.45"';
    bins.forEach((c, b) => {
      if (c === 0) return;
      const x0 = mx(mLo + b * width);
      parts.push(`<rect x="${x0.toFixed(1)}" y="${cy(c).toFixed(1)}" width="${(M.w / nBins).toFixed(2)}" height="${(M.y + M.h - cy(c)).toFixed(1)}" ${fill}/>`);
    });
  });
  if (Number.isFinite(observed)) {
    line(mx(observed), M.y, mx(observed), M.y + M.h, 'stroke="#000" stroke-width="2"');
  }
  const mStep = niceStep(mLo, mHi, 7);
  for (const t of ticks(mLo, mHi, mStep)) {
    line(mx(t), M.y + M.h, mx(t), M.y + M.h + 5, 'stroke="#444"');
    text(mx(t), M.y + M.h + 18, label(t, mStep), { anchor: 'middle', size: 11 });
  }
  text(M.x + M.w / 2, M.y + M.h + 36, 'Simulated B-phase mean', { anchor: 'middle', size: 12 });
  text(20, M.y + M.h / 2, 'Cases', { anchor: 'middle', size: 12, rotate: true });

  // Legend and the report's figures.
  const L = 592;
  const key = (x, swatch, words) => { parts.push(swatch(x)); text(x + 22, L + 4, words, { size: 11 }); };
  key(70, (x) => `<circle cx="${x + 8}" cy="${L}" r="3.5" fill="#1f5fa8"/>`, 'A values, line');
  key(190, (x) => `<circle cx="${x + 8}" cy="${L}" r="3.5" fill="#fff" stroke="#c0392b" stroke-width="1.5"/>`, 'B values, line');
  key(310, (x) => `<rect x="${x}" y="${L - 6}" width="16" height="12" fill="#1f5fa8" fill-opacity="0.45"/>`, 'null model');
  key(420, (x) => `<rect x="${x}" y="${L - 6}" width="16" height="12" fill="#c0392b" fill-opacity="0.45"/>`, 'experimental');
  key(530, (x) => `<line x1="${x + 8}" y1="${L - 7}" x2="${x + 8}" y2="${L + 7}" stroke="#000" stroke-width="2"/>`, 'observed');
  text(W / 2, 338, caption, { anchor: 'middle', size: 12 });

  const title = `Plot of ${r.name || 'the analysis'}: ${nA} A and ${nB} B values with their lines; ` +
    `simulated B-phase means of the null and experimental models; d = ${fd}, p = ${fp}`;
  return `<svg xmlns="http://www.w3.org/2000/svg" width="${W}" height="${H}" viewBox="0 0 ${W} ${H}" ` +
    `role="img" aria-labelledby="${id}-title" font-family="DejaVu Sans, Verdana, sans-serif" fill="#000">` +
    `<title id="${id}-title">${esc(title)}</title>` +
    `<rect width="${W}" height="${H}" fill="#fff"/>` +
    `<defs><clipPath id="${id}-clip"><rect x="${S.x}" y="${S.y}" width="${S.w}" height="${S.h}"/></clipPath></defs>` +
    parts.join('') + '</svg>';
}
