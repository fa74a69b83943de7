// What the page shows besides the library, checked against the command:
// the overview's counts, the table and its download (the command's
// --report), the viewer's peaks, the options as the command's, and a file
// whose names are markup, which must stay text.
import fs from "node:fs";
import path from "node:path";

// The command's --report of input, as bytes and as rows of columns.
function nativeReport(t, input, options = []) {
  const report = path.join(t.scratch, "native-report.tsv");
  t.nativeConversion(input, ["--report", report, ...options]);
  const bytes = fs.readFileSync(report);
  const rows = bytes.toString("latin1").split("\n").slice(1, -1).map((line) => {
    const [number, lineNo, name, outcome, missing, type, from] = line.split("\t");
    return {number, line: Number(lineNo), name, outcome, missing, type, from};
  });
  return {bytes, rows};
}

function counted(pairs) {
  const map = new Map();
  for (const key of pairs) map.set(key, (map.get(key) || 0) + 1);
  return map;
}

// A chart's numbers as the page lists them: label -> count.
async function chartNumbers(page, id) {
  const items = await page.$$eval(`#${id} .numbers li`, (lis) => lis.map((li) => li.textContent));
  return new Map(items.map((text) => {
    const at = text.lastIndexOf(": ");
    return [text.slice(0, at), Number(text.slice(at + 2).replace(/,/g, ""))];
  }));
}

function sameCounts(shown, expected) {
  for (const [key, n] of shown) {
    if (key === "other") continue;
    if ((expected.get(key) || 0) !== n) return false;
  }
  const shownTotal = [...shown.values()].reduce((a, b) => a + b, 0);
  const expectedTotal = [...expected.values()].reduce((a, b) => a + b, 0);
  return shownTotal === expectedTotal;
}

// The peak lines' first two numbers: [[m/z, intensity]...].
function peaksOf(lines) {
  return lines.map((line) => line.trim().split(/[ \t]+/).map(Number).slice(0, 2))
    .filter(([mz, intensity]) => Number.isFinite(mz) && Number.isFinite(intensity));
}

// Buffers are searched, not made into strings: a library or an MGF file
// of a gigabyte is longer than a string may be.
function countOf(buffer, text) {
  let n = 0;
  for (let at = buffer.indexOf(text); at !== -1; at = buffer.indexOf(text, at + 1)) n++;
  return n;
}

// The k-th record of an MSP library, its peak lines.
function mspPeakLines(msp, k) {
  let start = 0;
  for (let i = 0; i < k; i++) start = msp.indexOf("\n\n", start) + 2;
  const end = msp.indexOf("\n\n", start);
  const record = msp.subarray(start, end === -1 ? msp.length : end)
    .toString("latin1").split("\n");
  const at = record.findIndex((line) => /^num peaks:/i.test(line));
  return record.slice(at + 1).filter((line) => line !== "");
}

// The peak lines of the MGF record whose BEGIN IONS is at line (from 1).
function mgfPeakLines(mgf, line) {
  let start = 0;
  for (let i = 1; i < line; i++) start = mgf.indexOf("\n", start) + 1;
  const next = mgf.indexOf("\nBEGIN IONS", start);
  const lines = [""].concat(mgf.subarray(start, next === -1 ? mgf.length : next)
    .toString("latin1").split("\n").map((l) => l.replace(/\r$/, "")));
  const peaks = [];
  for (let i = 2; i < lines.length && !lines[i].startsWith("BEGIN IONS"); i++) {
    if (/^END IONS/.test(lines[i])) break;
    if (!lines[i].includes("=") && /^[ \t]*[-+]?(\d|\.\d)/.test(lines[i])) peaks.push(lines[i]);
  }
  return peaks;
}

async function chooseRow(page, outcome) {
  await page.select("#filter-outcome", outcome);
  const row = await page.$("#table-body tr");
  if (!row) return null;
  await page.evaluate(() => { window.mspforge.viewed = null; });
  await row.click();
  await page.waitForFunction(() => window.mspforge.viewed);
  const viewed = await page.evaluate(() => window.mspforge.viewed);
  await page.select("#filter-outcome", "all");
  return viewed;
}

const closeTo = (a, b) => a.length === b.length &&
  a.every(([m, i], k) => Math.abs(m - b[k][0]) < 1e-9 * Math.max(1, m) &&
                         Math.abs(i - b[k][1]) < 1e-9 * Math.max(1, i));

// The overview, the table and the viewer of one picked file.
export async function checkBrowsing(t, input) {
  const {page, check} = t;
  const name = path.basename(input);
  const report = nativeReport(t, input);
  const msp = t.nativeConversion(input).msp;
  const written = report.rows.filter((r) => r.outcome === "written");
  // The overview: outcomes and reasons, ion modes, Precursor_types.
  const lacking = (what) => report.rows.filter((r) => r.outcome === "rejected" &&
                                                      r.missing.includes(what)).length;
  const outcomes = await chartNumbers(page, "chart-outcomes");
  const expected = new Map([
    ["written", written.length], ["without a compound name", lacking("compound name")],
    ["without an MS level", lacking("MS level")],
    ["without a precursor m/z", lacking("precursor m/z")],
    ["without peaks", report.rows.filter((r) => r.outcome === "no peaks").length],
    ["without END IONS", report.rows.filter((r) => r.outcome === "no END IONS").length]]);
  check([...expected].every(([key, n]) => outcomes.get(key) === n),
        `${name}: the overview's outcomes ${JSON.stringify([...outcomes])}`);
  const types = counted(written.map((r) => r.type || "none"));
  check(sameCounts(await chartNumbers(page, "chart-types"), types),
        `${name}: the overview's Precursor_types differ from the report's`);
  const ionModes = new Map([["N", countOf(msp, "\nIon_mode: N\n")],
                            ["P", countOf(msp, "\nIon_mode: P\n")]]);
  const modes = ionModes.get("N") + ionModes.get("P");
  for (const [mode, n] of [...ionModes]) if (n === 0) ionModes.delete(mode);
  if (written.length > modes) ionModes.set("none", written.length - modes);
  check(sameCounts(await chartNumbers(page, "chart-ion-modes"), ionModes),
        `${name}: the overview's ion modes differ from the library's`);
  // The table: its download is the command's report, its rows the report's.
  const table = await page.evaluate(async () => {
    const link = document.getElementById("download-table");
    link.click();
    const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    let binary = "";
    for (const byte of bytes) binary += String.fromCharCode(byte);
    const cells = [...document.querySelectorAll("#table-body tr")].slice(0, 5)
      .map((tr) => [...tr.cells].map((td) => td.textContent));
    return {report: btoa(binary), cells};
  });
  check(Buffer.from(table.report, "base64").equals(report.bytes),
        `${name}: the table's download differs from the command's --report`);
  check(table.cells.every((cells, i) => cells[1] === String(report.rows[i].line) &&
                                        cells[2] === report.rows[i].name),
        `${name}: the table's first rows differ from the report's`);
  // The viewer: a written spectrum's peaks as the library holds them, and
  // a left-out one's as its MGF record holds them.
  if (written.length > 0) {
    const viewed = await chooseRow(page, "written");
    const k = report.rows.filter((r) => r.outcome === "written")
      .findIndex((r) => Number(r.number) === viewed.row + 1);
    check(viewed.written && closeTo(viewed.peaks, peaksOf(mspPeakLines(msp, k))),
          `${name}: the viewer's peaks differ from the library's record`);
  }
  if (written.length < report.rows.length) {
    const viewed = await chooseRow(page, "left");
    const row = report.rows[viewed.row];
    check(!viewed.written &&
          closeTo(viewed.peaks, peaksOf(mgfPeakLines(fs.readFileSync(input), row.line))),
          `${name}: the viewer's peaks differ from the MGF record's peak lines`);
  }
}

// Names, fields and peak lines that are markup reach the page as text:
// converted and browsed, no script of theirs runs and each shows as written.
export async function checkHostileNames(t) {
  const {page, check} = t;
  const names = ['<img src=x onerror="window.hacked=1">', "</script><script>window.hacked=2</script>",
                 '"><svg onload="window.hacked=3">', "javascript:window.hacked=4"];
  const mgf = names.map((n, i) => `BEGIN IONS\nNAME=${n}\nMSLEVEL=2\nPEPMASS=${100 + i}\n` +
                                  `ADDUCT=${n}\nSMILES=${n}\n${50 + i} 10\nEND IONS\n`).join("") +
              `BEGIN IONS\nTITLE=${names[0]}\n<b>1</b> 2\nEND IONS\n`;
  const file = path.join(t.scratch, "markup.mgf");
  fs.writeFileSync(file, mgf);
  const errors = [];
  const onConsole = (m) => { if (m.type() === "error") errors.push(m.text()); };
  const onError = (e) => errors.push(e.message);
  page.on("console", onConsole);
  page.on("pageerror", onError);
  await t.pick(file);
  for (let row = 0; row < names.length + 1; row++) {
    await page.evaluate((i) => {
      window.mspforge.viewed = null;
      document.querySelector(`#table-body tr[data-row="${i}"]`).click();
    }, row);
    await page.waitForFunction(() => window.mspforge.viewed);
  }
  const shown = await page.evaluate(() => ({
    hacked: window.hacked,
    names: [...document.querySelectorAll("#table-body tr")].map((tr) => tr.cells[2].textContent),
    images: document.querySelectorAll("main img, main svg:not(.u-wrap svg)").length,
    viewer: document.getElementById("viewer-name").textContent,
  }));
  page.off("console", onConsole);
  page.off("pageerror", onError);
  check(shown.hacked === undefined, `markup in a name ran as script (${shown.hacked})`);
  check(shown.images === 0, "markup in a name made elements");
  check(names.every((n, i) => shown.names[i] === n) && shown.viewer === names[0],
        `names that are markup show otherwise than written: ${JSON.stringify(shown.names)}`);
  check(errors.length === 0, `console errors while browsing markup: ${errors.join("; ")}`);
}

// The layout and name options re-convert the file as the command would,
// and the command line shown is theirs.
export async function checkOptions(t, features) {
  const {page, check} = t;
  await t.pick(features);
  const before = await page.evaluate(() => window.mspforge.finished);
  await page.evaluate(() => {
    const name = document.getElementById("name");
    name.value = "Feature {FEATURE_ID}";
    name.dispatchEvent(new Event("change"));
  });
  await page.waitForFunction((n) => window.mspforge.finished > n, {}, before);
  const again = await page.evaluate(() => window.mspforge.finished);
  await page.select("#target", "msdial");
  await page.waitForFunction((n) => window.mspforge.finished > n, {}, again);
  const shown = await t.shownResult();
  const expected = t.nativeConversion(features, ["--name", "Feature {FEATURE_ID}", "--for", "msdial"]);
  check(shown.result && Buffer.from(shown.msp, "base64").equals(expected.msp),
        "--name and --for chosen on the page differ from the command's");
  const command = await page.evaluate(() => document.getElementById("command-line").textContent);
  check(command === "mspforge --name 'Feature {FEATURE_ID}' --for msdial " +
                    "fbmn-feature-export-openms.mgf fbmn-feature-export-openms.msp",
        `the command shown: ${command}`);
  await page.evaluate(() => {
    document.getElementById("name").value = "";
    document.getElementById("target").value = "nist";
  });
}
