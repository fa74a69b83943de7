// The page: picks or takes a dropped MGF file, has the worker convert it a
// slice at a time, shows progress, and offers the MSP file for download.
// window.mspforge.convert(bytes, {ms2, name, target}) does the same for
// scripts and tests: a Promise of {msp: Uint8Array, tally: string, summary:
// string}, the command's output, tally line and summary.
"use strict";

const worker = new Worker("worker.js");
const pending = new Map();  // conversion id -> {onProgress, resolve, reject}
let nextId = 1;

worker.onmessage = (event) => {
  const message = event.data;
  const job = pending.get(message.id);
  if (!job) return;
  if (message.type === "progress") {
    job.onProgress(message);
    return;
  }
  pending.delete(message.id);
  if (message.type === "done") {
    job.resolve({chunks: message.chunks, tally: message.tally,
                 summary: message.summary, written: message.written});
  } else {
    job.reject(message);
  }
};

// Converts a File, Blob or Uint8Array with options {ms2, name, target};
// resolves to {chunks, tally, summary, written}.
function startConversion(source, options, onProgress) {
  const id = nextId++;
  const promise = new Promise((resolve, reject) => {
    pending.set(id, {onProgress, resolve, reject});
  });
  worker.postMessage({type: "convert", id, source, ms2: Boolean(options.ms2),
                      name: options.name || "", target: options.target || "nist"});
  return {id, promise};
}

function joined(chunks) {
  let size = 0;
  for (const chunk of chunks) size += chunk.length;
  const bytes = new Uint8Array(size);
  let at = 0;
  for (const chunk of chunks) {
    bytes.set(chunk, at);
    at += chunk.length;
  }
  return bytes;
}

window.mspforge = {
  progressEvents: 0,  // progress messages shown so far
  finished: 0,        // conversions of picked files ended, however
  convert(bytes, options = {}) {
    return startConversion(new Uint8Array(bytes), options,
                           () => {}).promise.then(
      (result) => ({msp: joined(result.chunks), tally: result.tally,
                    summary: result.summary}));
  },
};

const $ = (id) => document.getElementById(id);
let current = null;     // the conversion under way
let lastFile = null;    // the file picked last
let downloadUrl = null;

function show(section) {
  for (const id of ["work", "result", "problem"]) $(id).hidden = id !== section;
}

function megabytes(bytes) {
  return (bytes / 1e6).toFixed(bytes < 1e7 ? 1 : 0);
}

// "lib.mgf.gz" gives "lib.msp", as the command's --output-dir names it.
function mspName(fileName) {
  const base = fileName.replace(/\.gz$/i, "").replace(/\.mgf$/i, "");
  return (base || fileName) + ".msp";
}

// The command's summary as the page says it: without its "mspforge: "
// prefixes, and without the command-line remedies (the page offers its
// own).
function summaryText(summary) {
  return summary.split("\n").filter((line) => line && !line.includes(" --"))
    .map((line) => line.replace(/^mspforge: /, "")).join(" ");
}

function convertFile(file) {
  lastFile = file;
  $("problem-remedy").hidden = true;
  $("name-remedy").hidden = true;
  if (current) worker.postMessage({type: "cancel", id: current});
  if (downloadUrl) URL.revokeObjectURL(downloadUrl);
  downloadUrl = null;
  $("work-name").textContent = file.name;
  $("progress").value = 0;
  $("progress-text").textContent = "Starting";
  show("work");
  $("cancel").focus();
  const started = performance.now();
  const options = {ms2: $("ms2").checked,
                   name: $("name").value.trim() ? $("name").value : "",
                   target: $("target").value};
  const job = startConversion(file, options, (p) => {
    window.mspforge.progressEvents++;
    $("progress").value = p.total ? p.done / p.total : 1;
    $("progress-text").textContent =
      `${p.records.toLocaleString("en")} records read, ` +
      `${megabytes(p.done)} of ${megabytes(p.total)} MB`;
  });
  current = job.id;
  job.promise.then(({chunks, tally, summary, written}) => {
    if (current !== job.id) return;
    current = null;
    window.mspforge.finished++;
    window.mspforge.lastSeconds = (performance.now() - started) / 1000;
    if (/^Total spectra = 0\b/.test(tally) && /no line begins with BEGIN IONS/.test(summary)) {
      $("problem-text").textContent =
        `${file.name} holds no MGF record: no line begins with "BEGIN IONS". ` +
        summaryText(summary).replace(/^.*BEGIN IONS; /, "") + ".";
      $("problem-help").hidden = false;
      show("problem");
      return;
    }
    if (written === 0) {
      // An empty library is no result: say why, and what would help.
      $("problem-text").textContent =
        `No spectrum of ${file.name} could be written. ${summaryText(summary)}`;
      $("problem-help").hidden = true;
      $("problem-remedy").hidden = !/MS level/.test(summary) || $("ms2").checked;
      $("name-remedy").hidden = !/--name/.test(summary) || $("name").value !== "";
      const suggested = /--name '([^']*)'/.exec(summary);
      $("name-suggested").textContent = suggested ? suggested[1] : "";
      show("problem");
      return;
    }
    const blob = new Blob(chunks, {type: "text/plain"});
    downloadUrl = URL.createObjectURL(blob);
    const name = mspName(file.name);
    const link = $("download");
    link.href = downloadUrl;
    link.download = name;
    link.textContent = `Download ${name}`;
    $("tally").textContent = tally;
    $("summary").textContent = summaryText(summary);
    $("summary").hidden = summary === "";
    show("result");
    link.focus();
  }, (failure) => {
    if (current !== job.id) return;
    current = null;
    window.mspforge.finished++;
    if (failure.type === "cancelled") {
      show(null);
      $("file").focus();
      return;
    }
    $("problem-text").textContent = failure.reason === "read"
      ? "This file could not be read" + (failure.detail ? `: ${failure.detail}.` : ".")
      : "Out of memory: the file holds a record too large for this browser.";
    $("problem-help").hidden = true;
    $("problem-remedy").hidden = true;
    $("name-remedy").hidden = true;
    show("problem");
  });
}

$("file").addEventListener("change", () => {
  const file = $("file").files[0];
  if (file) convertFile(file);
  $("file").value = "";
});

$("cancel").addEventListener("click", () => {
  if (current) worker.postMessage({type: "cancel", id: current});
});

const drop = $("drop");
drop.addEventListener("dragover", (event) => {
  event.preventDefault();
  drop.classList.add("over");
});
drop.addEventListener("dragleave", () => drop.classList.remove("over"));
drop.addEventListener("drop", (event) => {
  event.preventDefault();
  drop.classList.remove("over");
  const file = event.dataTransfer.files[0];
  if (file) convertFile(file);
});

// The remedy offered when spectra lack an MS level: tick the box and
// convert the same file again.
$("again").addEventListener("click", () => {
  $("ms2").checked = true;
  if (lastFile) convertFile(lastFile);
});

// The remedy offered when spectra lack a name: name them as the summary
// suggests, from a header line every one of them has.
$("name-again").addEventListener("click", () => {
  $("name").value = $("name-suggested").textContent || "Spectrum {SCANS}";
  if (lastFile) convertFile(lastFile);
});
