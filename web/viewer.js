// The spectrum viewer: a stick plot of the chosen spectrum, m/z against
// intensity relative to its highest peak (drag across to zoom, double-
// click to zoom out), beside its MSP record as the library holds it; a
// spectrum that was left out is drawn from the peak lines of its MGF
// record, shown beside instead. Texts from the file are set as text only.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  let plot = null;

  // The first two numbers of each peak line: [[m/z, intensity]...].
  function peaksOf(lines) {
    const peaks = [];
    for (const line of lines) {
      const [mz, intensity] = line.trim().split(/[ \t]+/).map(Number);
      if (Number.isFinite(mz) && Number.isFinite(intensity)) peaks.push([mz, intensity]);
    }
    return peaks;
  }

  // An MSP record's peak lines: those after its "Num Peaks" line.
  function mspPeakLines(text) {
    const lines = text.split("\n");
    const at = lines.findIndex((line) => /^num peaks:/i.test(line));
    return at < 0 ? [] : lines.slice(at + 1).filter((line) => line !== "");
  }

  // An MGF record's peak lines: those that begin with a number and hold no
  // "=", as the converter reads them.
  function mgfPeakLines(lines) {
    return lines.filter((line) => !line.includes("=") &&
                                  /^[ \t]*[-+]?(\d|\.\d)/.test(line));
  }

  // The lines of the MGF record that begins at line (from 1) of bytes: to
  // its END IONS line, or up to the next BEGIN IONS line.
  function mgfRecord(bytes, line) {
    const utf16 = bytes.length >= 2 && ((bytes[0] === 0xff && bytes[1] === 0xfe) ||
                                        (bytes[0] === 0xfe && bytes[1] === 0xff));
    const text = new TextDecoder(utf16 ? (bytes[0] === 0xff ? "utf-16le" : "utf-16be")
                                       : "utf-8").decode(bytes);
    const lines = text.split("\n").map((l) => l.replace(/\r$/, ""));
    const record = [lines[line - 1]];
    for (let i = line; i < lines.length; i++) {
      if (lines[i].startsWith("BEGIN IONS")) break;
      record.push(lines[i]);
      if (/^END IONS[ \t]*$/.test(lines[i])) break;
    }
    return record;
  }

  function drawSticks(box, peaks) {
    if (plot) plot.destroy();
    plot = null;
    box.replaceChildren();
    if (peaks.length === 0) {
      box.textContent = "No peaks to draw.";
      return;
    }
    const sorted = peaks.slice().sort((a, b) => a[0] - b[0]);
    const top = Math.max(...sorted.map(([, i]) => i), 0) || 1;
    const xs = sorted.map(([mz]) => mz);
    const ys = sorted.map(([, i]) => (100 * i) / top);
    const sticks = (u, seriesIdx, idx0, idx1) => {
      const path = new Path2D();
      const zero = u.valToPos(0, "y", true);
      for (let i = idx0; i <= idx1; i++) {
        const x = u.valToPos(xs[i], "x", true);
        path.moveTo(x, zero);
        path.lineTo(x, u.valToPos(ys[i], "y", true));
      }
      return {stroke: path};
    };
    const pad = Math.max(1, (xs[xs.length - 1] - xs[0]) * 0.03);
    plot = new uPlot({
      width: Math.max(280, Math.min(640, box.clientWidth || 480)), height: 260,
      cursor: {drag: {x: true, y: false}, points: {show: false}},
      scales: {x: {time: false, range: (u, min, max) => [min - pad, max + pad]},
               y: {range: [0, 105]}},
      axes: [{label: "m/z"}, {label: "relative intensity (%)", size: 56}],
      series: [{label: "m/z"},
               {label: "intensity %", stroke: "#1d5fa8", width: 1.5, paths: sticks,
                points: {show: false}, value: (u, v) => (v == null ? "" : v.toFixed(1))}],
    }, [xs, ys], box);
  }

  // Shows spectrum index of rows; readSource(start, end) gives the bytes of
  // the input as decoded (for the MGF record of one left out).
  async function showSpectrum(elements, rows, index, readSource, nextStart) {
    const row = rows.row(index);
    elements.title.textContent = row.name || `Spectrum ${row.number}`;
    elements.state.textContent = row.fate === 0
      ? `written, line ${row.line}`
      : `not written (${self.mspforgeTable.outcomeText(row)}), line ${row.line}: its MGF record`;
    let peakLines;
    let text;
    const msp = rows.mspRecord(index);
    if (msp) {
      text = new TextDecoder().decode(msp);
      peakLines = mspPeakLines(text);
    } else {
      const bytes = await readSource(row.slice.source.start, nextStart(row.slice));
      const record = mgfRecord(bytes, row.localLine);
      text = record.join("\n");
      peakLines = mgfPeakLines(record.slice(1));
    }
    elements.record.textContent = text;
    const peaks = peaksOf(peakLines);
    drawSticks(elements.plot, peaks);
    return {row: index, peaks, text, written: Boolean(msp)};
  }

  self.mspforgeViewer = {showSpectrum};
}
