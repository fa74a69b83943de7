// The page: picks or takes a dropped MGF file, converts it on every core
// (conversion.js), shows progress, the overview, the table of spectra and
// the viewer, and offers the MSP file and the table for download.
// window.mspforge.convert(bytes, {ms2, name, target}) converts for scripts
// and tests: a Promise of {msp: Uint8Array, tally: string, summary:
// string}, the command's output, tally line and summary;
// window.mspforge.viewed is what the viewer shows last: {row, peaks, text,
// written}.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  const {convertSource} = self.mspforgeConversion;
  const $ = (id) => document.getElementById(id);
  let current = null;     // the conversion under way: {cancel}
  let lastFile = null;    // the file picked last
  let lastState = null;   // the last conversion that finished
  const urls = [];        // object URLs of the downloads offered

  function options() {
    return {ms2: $("ms2").checked,
            name: $("name").value.trim() ? $("name").value : "",
            target: $("target").value};
  }

  window.mspforge = {
    progressEvents: 0,  // progress updates shown so far
    finished: 0,        // conversions of picked files ended, however
    workers: self.mspforgeConversion.WORKERS,
    convert(bytes, chosen = {}) {
      return convertSource(new Blob([bytes]), chosen, () => {}).promise.then(
        (state) => ({msp: self.mspforgeSource.joined(state.chunks), tally: state.tallyLine,
                     summary: state.summary}));
    },
  };

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

  // A word for a POSIX shell, quoted when it needs to be.
  function shellWord(word) {
    return /^[A-Za-z0-9_./:=@%+-]+$/.test(word) ? word : `'${word.replace(/'/g, "'\\''")}'`;
  }

  // The command that does what the page does with the options chosen.
  function commandLine() {
    const chosen = options();
    const words = ["mspforge"];
    if (chosen.ms2) words.push("--default", "MSLEVEL=2");
    if (chosen.name) words.push("--name", chosen.name);
    if (chosen.target !== "nist") words.push("--for", chosen.target);
    const input = lastFile ? lastFile.name : "IN.mgf";
    words.push(input, lastFile ? mspName(lastFile.name) : "OUT.msp");
    return words.map(shellWord).join(" ");
  }

  function showCommand() {
    $("command-line").textContent = commandLine();
    $("copied").textContent = "";
  }

  // The command's summary as the page says it: without its "mspforge: "
  // prefixes, and without the command-line remedies (the page offers its
  // own).
  function summaryText(summary) {
    return summary.split("\n").filter((line) => line && !line.includes(" --"))
      .map((line) => line.replace(/^mspforge: /, "")).join(" ");
  }

  function offer(link, parts, name, type) {
    const url = URL.createObjectURL(new Blob(parts, {type}));
    urls.push(url);
    link.href = url;
    link.download = name;
  }

  const table = new self.mspforgeTable.SpectrumTable({
    head: $("table-head"), body: $("table-body"), scroll: $("table-scroll"),
    spacer: $("table-spacer"), count: $("table-count"),
    outcome: $("filter-outcome"), name: $("filter-name"),
  }, (index) => viewSpectrum(index));

  // Draws the overview and the table of a conversion, during and after it.
  let drawn = 0;
  function showProgress(state, final) {
    const now = performance.now();
    if (!final && now - drawn < 1000) return;
    drawn = now;
    $("overview").hidden = false;
    $("spectra").hidden = false;
    self.mspforgeOverview.drawOverview($("overview"), state);
    table.show(state.rows);
    $("table-limit").hidden = !state.rows.truncated;
    $("table-limit").textContent = state.rows.truncated
      ? `The file holds ${state.rows.seen.toLocaleString("en")} spectra or more: ` +
        `the table keeps the first ${state.rows.size.toLocaleString("en")}.` : "";
  }

  async function viewSpectrum(index) {
    const state = lastState || current?.state;
    if (!state) return;
    const rows = state.rows;
    const nextStart = (slice) => {
      const at = rows.slices.indexOf(slice);
      return at + 1 < rows.slices.length ? rows.slices[at + 1].source.start : null;
    };
    $("viewer").hidden = false;
    const shown = await self.mspforgeViewer.showSpectrum({
      title: $("viewer-name"), state: $("viewer-state"), plot: $("viewer-plot"),
      record: $("viewer-record"),
    }, rows, index, (start, end) => self.mspforgeSource.decodedRange(state.source, start, end),
    nextStart);
    window.mspforge.viewed = shown;
  }

  function convertFile(file) {
    lastFile = file;
    showCommand();
    $("problem-remedy").hidden = true;
    $("name-remedy").hidden = true;
    if (current) current.cancel();
    while (urls.length > 0) URL.revokeObjectURL(urls.pop());
    $("download-table").setAttribute("href", "#");
    lastState = null;
    $("viewer").hidden = true;
    $("work-name").textContent = file.name;
    $("progress").value = 0;
    $("progress-text").textContent = "Starting";
    show("work");
    $("cancel").focus();
    const started = performance.now();
    // The first drawing waits a second too: charts and table made at the
    // first slice would hold up the slices handed to the workers.
    drawn = started;
    const job = convertSource(file, options(), (state) => {
      window.mspforge.progressEvents++;
      $("progress").value = state.total ? state.done / state.total : 1;
      $("progress-text").textContent =
        `${state.records.toLocaleString("en")} records read, ` +
        `${megabytes(state.done)} of ${megabytes(state.total)} MB`;
      showProgress(state, false);
    });
    current = job;
    job.promise.then((state) => {
      if (current !== job) return;
      current = null;
      state.source = file;
      lastState = state;
      window.mspforge.finished++;
      window.mspforge.lastSeconds = (performance.now() - started) / 1000;
      showProgress(state, true);
      const {tallyLine: tally, summary, written} = state;
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
      const name = mspName(file.name);
      offer($("download"), state.chunks, name, "text/plain");
      $("download").textContent = `Download ${name}`;
      $("tally").textContent = tally;
      $("summary").textContent = summaryText(summary);
      $("summary").hidden = summary === "";
      show("result");
      $("download").focus();
    }, (failure) => {
      if (current !== job) return;
      current = null;
      window.mspforge.finished++;
      if (failure.reason === "cancelled") {
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
    if (current) current.cancel();
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

  // Each option converts the file again, as the command would with it.
  for (const [id, event] of [["ms2", "change"], ["name", "change"], ["target", "change"]]) {
    $(id).addEventListener(event, () => {
      showCommand();
      if (lastFile) convertFile(lastFile);
    });
  }
  $("name").addEventListener("input", showCommand);

  $("copy-command").addEventListener("click", async () => {
    try {
      await navigator.clipboard.writeText(commandLine());
      $("copied").textContent = "Copied.";
    } catch {
      $("copied").textContent = "Select the command and copy it.";
    }
  });

  // The table as the command's --report writes it, made when first asked
  // for: the link then downloads it.
  $("download-table").addEventListener("click", (event) => {
    const link = $("download-table");
    if (!lastState) {
      event.preventDefault();
      return;
    }
    if (link.getAttribute("href") !== "#") return;
    const base = mspName(lastFile.name).replace(/\.msp$/, "");
    offer(link, lastState.rows.reportBytes(), `${base}-report.tsv`, "text/tab-separated-values");
  });

  // The remedy offered when spectra lack an MS level: tick the box and
  // convert the same file again.
  $("again").addEventListener("click", () => {
    $("ms2").checked = true;
    showCommand();
    if (lastFile) convertFile(lastFile);
  });

  // The remedy offered when spectra lack a name: name them as the summary
  // suggests, from a header line every one of them has.
  $("name-again").addEventListener("click", () => {
    $("name").value = $("name-suggested").textContent || "Spectrum {SCANS}";
    showCommand();
    if (lastFile) convertFile(lastFile);
  });

  showCommand();
}
