// Converts slices of the page's input, one worker per core. Messages in:
//   {type: "slice", job, index, bytes | blob, start, end, whole, last, ms2,
//    name, target}
//       bytes: a Uint8Array of MGF text, or blob: a file of which the
//       worker reads [start, end); whole: a slice that converts on its
//       own (else the pieces of one input, fed in order until last);
//       ms2, name, target: the options, as --default MSLEVEL=2, --name and
//       --for give them
//   {type: "format", job, tally, head}  words a summed tally (Float64Array)
//       as the command would, head: the input's first bytes as stored
// Messages out:
//   {type: "fed", job, index}  a piece of an input that is not whole
//   {type: "slice-done", job, index, msp, recordEnds, rowNumbers, rowTexts,
//    rowStarts, tally, counts, lines, endMark}  endMark: the slice holds a
//       0x1A byte, which ends the input
//   {type: "formatted", job, tally, summary}
//   {type: "failed", job, index, reason: "read" | "memory", detail}
importScripts("mspforge_wasm.js");

const ROW_NUMBERS = 4;  // numbers per row: line, precursor m/z, peaks, fate
let modulePromise = createMspforgeModule();
let open = null;  // the conversion of an input fed in pieces: {job, c, ...}

// A copy of text in the WebAssembly memory, UTF-8 and NUL-ended; 0 for
// none. The caller frees it.
function textInMemory(M, text) {
  if (!text) return 0;
  const bytes = new TextEncoder().encode(text);
  const at = M._malloc(bytes.length + 1);
  if (at !== 0) {
    M.HEAPU8.set(bytes, at);
    M.HEAPU8[at + bytes.length] = 0;
  }
  return at;
}

function newConversion(M, message) {
  const nameAt = textInMemory(M, message.name);
  const targetAt = textInMemory(M, message.target);
  const c = M._mspforge_new(message.ms2 ? 1 : 0, nameAt, targetAt);
  if (nameAt !== 0) M._free(nameAt);
  if (targetAt !== 0) M._free(targetAt);
  if (c === 0) throw {reason: "memory"};
  return {c, chunks: [], job: message.job};
}

function copyOut(M, at, size) {
  return M.HEAPU8.slice(at, at + size);
}

// Feeds bytes through a buffer in the WebAssembly memory, and takes the
// MSP text they made.
function feed(M, conversion, bytes) {
  if (bytes.length > 0) {
    const at = M._malloc(bytes.length);
    if (at === 0) throw {reason: "memory"};
    M.HEAPU8.set(bytes, at);
    const fed = M._mspforge_feed(conversion.c, at, bytes.length);
    M._free(at);
    if (fed !== 0) throw {reason: "memory"};
  }
  const size = M._mspforge_output_size(conversion.c);
  if (size > 0) {
    conversion.chunks.push(copyOut(M, M._mspforge_output(conversion.c), size));
    M._mspforge_output_taken(conversion.c);
  }
}

function joined(chunks) {
  if (chunks.length === 1) return chunks[0];
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

// Ends a conversion and gathers all it made, for the page.
function finish(M, conversion, index) {
  const c = conversion.c;
  const finished = M._mspforge_finish(c);
  if (finished === 4) throw {reason: "memory"};
  if (finished === 3) {
    throw {reason: "read", detail: M.UTF8ToString(M._mspforge_failure(c))};
  }
  feed(M, conversion, new Uint8Array(0));
  const numbers = (at, count) =>
    new Float64Array(M.HEAPF64.buffer, at, count).slice();
  const rows = M._mspforge_rows(c);
  const rowTexts = copyOut(M, M._mspforge_row_texts(c), M._mspforge_row_texts_size(c));
  const rowStarts = new Uint32Array(rows + 1);
  for (let row = 0, at = 0; row < rows; row++) {
    rowStarts[row] = at;
    at = rowTexts.indexOf(0x0a, at) + 1;
    rowStarts[row + 1] = at;
  }
  return {
    type: "slice-done", job: conversion.job, index,
    msp: joined(conversion.chunks),
    recordEnds: numbers(M._mspforge_record_ends(c), M._mspforge_record_ends_count(c)),
    rowNumbers: numbers(M._mspforge_row_numbers(c), rows * ROW_NUMBERS),
    rowTexts, rowStarts,
    tally: numbers(M._mspforge_tally_numbers(c), M._mspforge_tally_size(c)),
    counts: JSON.parse(M.UTF8ToString(M._mspforge_counts(c))),
    lines: M._mspforge_lines(c),
    endMark: M._mspforge_end_mark(c) === 1,
  };
}

function post(outcome) {
  const transfer = [];
  for (const key of ["msp", "recordEnds", "rowNumbers", "rowTexts", "rowStarts", "tally"]) {
    if (outcome[key]) transfer.push(outcome[key].buffer);
  }
  postMessage(outcome, transfer);
}

async function convertSlice(message) {
  const M = await modulePromise;
  let conversion = null;
  try {
    if (message.whole) {
      conversion = newConversion(M, message);
    } else {
      if (!open || open.job !== message.job) {
        if (open) M._mspforge_delete(open.c);
        open = newConversion(M, message);
      }
      conversion = open;
    }
    const bytes = message.bytes ||
      new Uint8Array(await message.blob.slice(message.start, message.end).arrayBuffer());
    if (message.whole) {
      // A slice that converts on its own, in one call.
      const at = M._mspforge_slice_buffer(conversion.c, bytes.length);
      if (at === 0) throw {reason: "memory"};
      M.HEAPU8.set(bytes, at);
      if (M._mspforge_convert_slice(conversion.c, bytes.length) !== 0) {
        throw {reason: "memory"};
      }
    } else {
      feed(M, conversion, bytes);
    }
    if (!message.whole && !message.last) {
      conversion = null;  // kept open for the next piece
      postMessage({type: "fed", job: message.job, index: message.index});
      return;
    }
    post(finish(M, conversion, message.index));
  } catch (failure) {
    if (failure instanceof Error) throw failure;
    postMessage({type: "failed", job: message.job, index: message.index,
                 reason: failure.reason, detail: failure.detail});
  } finally {
    if (conversion) {
      M._mspforge_delete(conversion.c);
      if (conversion === open) open = null;
    }
  }
}

async function format(message) {
  const M = await modulePromise;
  const tallyAt = M._malloc(message.tally.length * 8);
  const headAt = M._malloc(Math.max(1, message.head.length));
  M.HEAPF64.set(message.tally, tallyAt / 8);
  M.HEAPU8.set(message.head, headAt);
  const failed = M._mspforge_format(tallyAt, headAt, message.head.length);
  M._free(tallyAt);
  M._free(headAt);
  if (failed !== 0) {
    postMessage({type: "failed", job: message.job, reason: "memory"});
    return;
  }
  postMessage({type: "formatted", job: message.job,
               tally: M.UTF8ToString(M._mspforge_formatted_tally()),
               summary: M.UTF8ToString(M._mspforge_formatted_summary())});
}

onmessage = (event) => {
  const message = event.data;
  const work = message.type === "format" ? format(message) : convertSlice(message);
  // An exception out of WebAssembly (memory exhausted past its limit)
  // leaves the module unusable: the next conversion gets a fresh one.
  work.catch(() => {
    modulePromise = createMspforgeModule();
    open = null;
    postMessage({type: "failed", job: message.job, index: message.index,
                 reason: "memory"});
  });
};
