// Converts a file on every core: the input is cut into slices (source.js),
// a worker per core converts them side by side, and their libraries,
// rows, tallies and counts are joined in input order, so that the result
// is the command's, byte for byte.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  // The tally's numbers, in the order the workers give them.
  const TALLY = {total: 0, ignored: 1, unrecognized: 2, withoutName: 3,
                 withoutMsLevel: 4, withoutPrecursorMz: 5, unterminated: 11,
                 firstUnterminatedLine: 12};
  const WORKERS = Math.max(1, Math.min(8, navigator.hardwareConcurrency || 2));
  const workers = [];
  const listeners = new Map();  // job -> its handler of worker messages
  let nextJob = 1;

  function workerAt(i) {
    while (workers.length <= i) {
      const worker = new Worker("worker.js");
      worker.onmessage = (event) => {
        const handle = listeners.get(event.data.job);
        if (handle) handle(event.data, workers.indexOf(worker));
      };
      workers.push(worker);
    }
    return workers[i];
  }

  // The written spectra's counts of a slice, added to those of the slices
  // before (maps from a key to a count).
  function addCounts(sum, counts) {
    for (const key of ["ionModes", "precursorTypes", "spectrumTypes",
                       "precursorMzBins", "peakBins"]) {
      sum[key] = sum[key] || new Map();
      for (const [what, n] of counts[key]) sum[key].set(what, (sum[key].get(what) || 0) + n);
    }
    sum.peakBinLabels = counts.peakBinLabels;
  }

  function addTally(sum, tally, lineOffset) {
    if (sum[TALLY.unterminated] === 0 && tally[TALLY.unterminated] !== 0) {
      sum[TALLY.firstUnterminatedLine] = lineOffset + tally[TALLY.firstUnterminatedLine];
    }
    for (let i = 0; i < tally.length; i++) {
      if (i !== TALLY.firstUnterminatedLine) sum[i] += tally[i];
    }
  }

  // Converts source (a File or Blob) with options {ms2, name, target}.
  // onUpdate(state) is called as slices join, state holding
  // {done, total, records, tally, counts, rows}. Returns {promise, cancel};
  // the promise resolves to the state with chunks (the library), tally and
  // summary (the command's words) and written, or rejects with
  // {reason: "read" | "memory" | "cancelled", detail}.
  function convertSource(source, options, onUpdate) {
    const job = nextJob++;
    const counter = {done: 0};
    const state = {done: 0, total: source.size, records: 0, chunks: [],
                   tally: null, counts: {}, rows: new self.mspforgeRows.RowStore()};
    let cancelled = false;
    let settle = null;
    const promise = new Promise((resolve, reject) => { settle = {resolve, reject}; });
    const results = new Map();  // slice index -> its result, until joined
    const ends = [];            // each plain slice's end in the file
    let limit = Infinity;       // slices from this index on do not count
    const load = new Array(WORKERS).fill(0);
    let wake = null;            // resumes the reading when a slice joined
    let joined = 0;             // slices joined
    let sent = 0;               // slices sent
    let readingDone = false;
    let lineOffset = 0;
    let mspOffset = 0;
    const starts = [];          // each slice's start in the input as decoded

    const fail = (failure) => {
      if (cancelled) return;
      cancelled = true;
      listeners.delete(job);
      settle.reject(failure);
    };
    const joinReady = () => {
      while (results.has(joined)) {
        const done = results.get(joined);
        results.delete(joined);
        if (!state.tally) state.tally = new Float64Array(done.tally.length);
        state.rows.add(done, lineOffset, mspOffset, {start: starts[joined]});
        addTally(state.tally, done.tally, lineOffset);
        addCounts(state.counts, done.counts);
        if (done.msp.length > 0) state.chunks.push(done.msp);
        lineOffset += done.lines;
        mspOffset += done.msp.length;
        state.records = state.tally[TALLY.total] + state.tally[TALLY.unterminated];
        if (ends[joined] !== undefined) counter.done = ends[joined];
        joined++;
        if (done.endMark) {
          // A 0x1A ended the input: what follows it does not count.
          limit = joined;
          readingDone = true;
          sent = joined;
          results.clear();
          counter.done = state.total;
        }
      }
      state.done = counter.done;
      onUpdate(state);
      if (wake) wake();
      if (readingDone && joined === sent) finishUp();
    };
    let finishing = false;
    const finishUp = async () => {
      if (finishing) return;
      finishing = true;
      listeners.set(job, (message) => {
        if (message.type !== "formatted") return fail(message);
        listeners.delete(job);
        state.tallyLine = message.tally;
        state.summary = message.summary;
        state.written = state.tally[TALLY.total] - state.tally[TALLY.ignored] -
                        state.tally[TALLY.unrecognized];
        settle.resolve(state);
      });
      const head = new Uint8Array(await source.slice(0, 64).arrayBuffer());
      if (!state.tally) state.tally = new Float64Array(17);
      workerAt(0).postMessage({type: "format", job, tally: state.tally, head});
    };
    listeners.set(job, (message, worker) => {
      if (cancelled) return;
      load[worker]--;
      if (message.index >= limit) {
        if (wake) wake();
        return;
      }
      if (message.type === "failed") return fail(message);
      if (message.type === "fed") {
        if (wake) wake();
        return;
      }
      results.set(message.index, message);
      joinReady();
    });

    (async () => {
      try {
        for await (const slice of self.mspforgeSource.slicesOf(source, counter)) {
          if (cancelled || limit !== Infinity) return;
          // A few slices per worker at most are read ahead; the pieces of
          // an input that cannot be cut go to one worker, one at a time.
          const most = slice.whole ? 2 * WORKERS : 1;
          while (!cancelled && load.reduce((a, b) => a + b, 0) + results.size >= most) {
            await new Promise((resume) => { wake = resume; });
            wake = null;
          }
          if (cancelled || limit !== Infinity) return;
          let worker = 0;
          if (slice.whole) {
            for (let i = 1; i < WORKERS; i++) if (load[i] < load[worker]) worker = i;
          }
          load[worker]++;
          const index = sent;
          if (starts.length === index) starts.push(slice.start);
          if (slice.blob) ends[index] = slice.end;
          if (slice.whole || slice.last) sent++;
          workerAt(worker).postMessage(
            {type: "slice", job, index, bytes: slice.bytes, blob: slice.blob,
             start: slice.start, end: slice.end, whole: slice.whole, last: slice.last,
             ms2: Boolean(options.ms2), name: options.name || "",
             target: options.target || "nist"},
            slice.bytes ? [slice.bytes.buffer] : []);
        }
        if (limit === Infinity) readingDone = true;
        if (joined === sent && !cancelled && readingDone) finishUp();
      } catch (e) {
        fail({reason: "read", detail: e && e.message});
      }
    })();
    return {
      promise,
      cancel() { fail({reason: "cancelled"}); },
    };
  }

  self.mspforgeConversion = {convertSource, TALLY, WORKERS};
}
