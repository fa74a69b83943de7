// Runs conversions off the page's thread. Messages in:
//   {type: "convert", id, source}  source: a File/Blob (read a slice at a
//                                   time) or a Uint8Array
//   {type: "cancel", id}
// Messages out:
//   {type: "progress", id, done, total, records}
//   {type: "done", id, chunks: [Uint8Array...], tally}
//   {type: "failed", id, reason: "read" | "memory"}
//   {type: "cancelled", id}
importScripts("mspforge_wasm.js");

const PIECE = 4 << 20;  // bytes fed to the conversion at a time
let modulePromise = createMspforgeModule();
const cancelled = new Set();

async function readPiece(source, from, to) {
  if (source instanceof Uint8Array) return source.subarray(from, to);
  return new Uint8Array(await source.slice(from, to).arrayBuffer());
}

// Copies the MSP text made so far out of the WebAssembly memory.
function takeOutput(M, c, chunks) {
  const size = M._mspforge_output_size(c);
  if (size === 0) return;
  const at = M._mspforge_output(c);
  chunks.push(M.HEAPU8.slice(at, at + size));
  M._mspforge_output_taken(c);
}

async function convert(id, source) {
  const M = await modulePromise;
  const total = source instanceof Uint8Array ? source.length : source.size;
  const c = M._mspforge_new();
  const buffer = M._malloc(PIECE);
  const chunks = [];
  let outcome = null;
  try {
    if (c === 0 || buffer === 0) {
      outcome = {type: "failed", id, reason: "memory"};
      return;
    }
    for (let done = 0; done < total;) {
      if (cancelled.has(id)) {
        outcome = {type: "cancelled", id};
        return;
      }
      let piece;
      try {
        piece = await readPiece(source, done, Math.min(total, done + PIECE));
      } catch (e) {
        outcome = {type: "failed", id, reason: "read"};
        return;
      }
      M.HEAPU8.set(piece, buffer);
      if (M._mspforge_feed(c, buffer, piece.length) !== 0) {
        outcome = {type: "failed", id, reason: "memory"};
        return;
      }
      takeOutput(M, c, chunks);
      done += piece.length;
      postMessage({type: "progress", id, done, total,
                   records: M._mspforge_records(c)});
    }
    if (M._mspforge_finish(c) !== 0) {
      outcome = {type: "failed", id, reason: "memory"};
      return;
    }
    takeOutput(M, c, chunks);
    outcome = {type: "done", id, chunks,
               tally: M.UTF8ToString(M._mspforge_tally(c))};
  } finally {
    if (buffer !== 0) M._free(buffer);
    if (c !== 0) M._mspforge_delete(c);
    cancelled.delete(id);
    if (outcome !== null) {
      const transfer = outcome.chunks ? outcome.chunks.map((b) => b.buffer) : [];
      postMessage(outcome, transfer);
    }
  }
}

onmessage = (event) => {
  const message = event.data;
  if (message.type === "convert") {
    // An exception out of WebAssembly (memory exhausted past its limit)
    // leaves the module unusable: the next conversion gets a fresh one.
    convert(message.id, message.source).catch(() => {
      modulePromise = createMspforgeModule();
      postMessage({type: "failed", id: message.id, reason: "memory"});
    });
  } else if (message.type === "cancel") {
    cancelled.add(message.id);
  }
};
