// Runs conversions off the page's thread. Messages in:
//   {type: "convert", id, source, ms2, name, target}  source: a File/Blob
//                                   or a Uint8Array, plain MGF or gzip;
//                                   ms2: spectra without an MS level are
//                                   MS2; name: the name of spectra without
//                                   one, "{KEY}" for a header line's value;
//                                   target: the layout, as --for names it
//   {type: "cancel", id}
// Messages out:
//   {type: "progress", id, done, total, records}
//   {type: "done", id, chunks: [Uint8Array...], tally, summary, written}
//   {type: "failed", id, reason: "read" | "memory", detail}
//   {type: "cancelled", id}
importScripts("mspforge_wasm.js");

const PIECE = 4 << 20;  // bytes fed to the conversion at a time
let modulePromise = createMspforgeModule();
const cancelled = new Set();

// The decompressed chunks of one gzip stream, the source's chunks counted
// by onInput as they go in.
async function* inflated(blob, onInput) {
  const reader = blob.stream().pipeThrough(new TransformStream({
    transform(chunk, controller) {
      onInput(chunk.length);
      controller.enqueue(chunk);
    },
  })).pipeThrough(new DecompressionStream("gzip")).getReader();
  for (;;) {
    const {done, value} = await reader.read();
    if (done) return;
    yield value;
  }
}

// The decompressed bytes of a gzip file, member after member. The
// browser's DecompressionStream takes one member and fails on what follows
// it ("junk"), dropping the output of the last piece it was given. The
// member's end then lies in the last pieces read: each place there where
// another member (1F 8B), zero padding or the file's end begins is tried
// by decompressing the member up to it alone. Every try gives a prefix of
// the member's output, of which only what is new goes out; the first that
// ends cleanly found the end.
async function* gunzipped(blob, counter) {
  for (let start = 0; start < blob.size;) {
    const head = new Uint8Array(await blob.slice(start, start + 2).arrayBuffer());
    if (head[0] !== 0x1f || head[1] !== 0x8b) {
      const rest = new Uint8Array(await blob.slice(start).arrayBuffer());
      if (rest.every((b) => b === 0)) return;  // padding after the last member
      throw new Error("the gzip data is followed by bytes that are not gzip");
    }
    let produced = 0;
    const pieces = [0];  // where the pieces read began, from start
    let consumed = 0;
    const count = (n) => {
      pieces.push(consumed);
      consumed += n;
      counter.done = start + consumed;
    };
    try {
      for await (const chunk of inflated(blob.slice(start), count)) {
        produced += chunk.length;
        yield chunk;
      }
      return;
    } catch (failure) {
      const from = start + Math.max(18, pieces[Math.max(0, pieces.length - 3)]);
      const to = Math.min(blob.size, start + consumed);
      const near = new Uint8Array(await blob.slice(from, to + 2).arrayBuffer());
      let end = -1;
      for (let p = from; p <= to && end < 0; p++) {
        const i = p - from;
        if (!(p === blob.size || near[i] === 0 ||
              (near[i] === 0x1f && near[i + 1] === 0x8b))) {
          continue;
        }
        let got = 0;
        try {
          for await (const chunk of inflated(blob.slice(start, p), () => {})) {
            if (got + chunk.length > produced) {
              yield chunk.subarray(Math.max(0, produced - got));
              produced = got + chunk.length;
            }
            got += chunk.length;
          }
          end = p;
        } catch {
          // Not the end: on to the next place.
        }
      }
      if (end < 0) throw failure;
      start = end;
    }
  }
}

async function* plain(blob, counter) {
  const reader = blob.stream().getReader();
  for (;;) {
    const {done, value} = await reader.read();
    if (done) return;
    counter.done += value.length;
    yield value;
  }
}

// The source's bytes, gzip decompressed when its first two bytes say gzip.
// The bytes of the source read so far are counted in counter.done.
async function chunksOf(source, counter) {
  const blob = source instanceof Uint8Array ? new Blob([source]) : source;
  const magic = new Uint8Array(await blob.slice(0, 2).arrayBuffer());
  const gzip = magic.length === 2 && magic[0] === 0x1f && magic[1] === 0x8b;
  return gzip ? gunzipped(blob, counter) : plain(blob, counter);
}

// Copies the MSP text made so far out of the WebAssembly memory.
function takeOutput(M, c, chunks) {
  const size = M._mspforge_output_size(c);
  if (size === 0) return;
  const at = M._mspforge_output(c);
  chunks.push(M.HEAPU8.slice(at, at + size));
  M._mspforge_output_taken(c);
}

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

async function convert(id, source, ms2, name, target) {
  const M = await modulePromise;
  const total = source instanceof Uint8Array ? source.length : source.size;
  const nameAt = textInMemory(M, name);
  const targetAt = textInMemory(M, target);
  const c = M._mspforge_new(ms2 ? 1 : 0, nameAt, targetAt);
  if (nameAt !== 0) M._free(nameAt);
  if (targetAt !== 0) M._free(targetAt);
  let buffer = 0;
  let room = 0;
  const chunks = [];
  const counter = {done: 0};
  let outcome = null;
  try {
    if (c === 0) {
      outcome = {type: "failed", id, reason: "memory"};
      return;
    }
    let reader;
    try {
      reader = await chunksOf(source, counter);
    } catch (e) {
      outcome = {type: "failed", id, reason: "read"};
      return;
    }
    // Pieces of up to PIECE bytes are fed at a time, so that progress and
    // cancelling come between them.
    let lastProgress = 0;
    for (;;) {
      if (cancelled.has(id)) {
        outcome = {type: "cancelled", id};
        return;
      }
      let next;
      try {
        next = await reader.next();
      } catch (e) {
        outcome = {type: "failed", id, reason: "read", detail: e.message};
        return;
      }
      if (next.done) break;
      for (let at = 0; at < next.value.length; at += PIECE) {
        const piece = next.value.subarray(at, at + PIECE);
        if (piece.length > room) {
          if (buffer !== 0) M._free(buffer);
          room = Math.max(piece.length, 1 << 16);
          buffer = M._malloc(room);
          if (buffer === 0) {
            outcome = {type: "failed", id, reason: "memory"};
            return;
          }
        }
        M.HEAPU8.set(piece, buffer);
        if (M._mspforge_feed(c, buffer, piece.length) !== 0) {
          outcome = {type: "failed", id, reason: "memory"};
          return;
        }
      }
      takeOutput(M, c, chunks);
      if (counter.done - lastProgress >= PIECE || counter.done === total) {
        lastProgress = counter.done;
        postMessage({type: "progress", id, done: counter.done, total,
                     records: M._mspforge_records(c)});
      }
    }
    const finished = M._mspforge_finish(c);
    if (finished === 4) {
      outcome = {type: "failed", id, reason: "memory"};
      return;
    }
    if (finished === 3) {
      outcome = {type: "failed", id, reason: "read",
                 detail: M.UTF8ToString(M._mspforge_failure(c))};
      return;
    }
    takeOutput(M, c, chunks);
    outcome = {type: "done", id, chunks,
               tally: M.UTF8ToString(M._mspforge_tally(c)),
               summary: M.UTF8ToString(M._mspforge_summary(c)),
               written: M._mspforge_written(c)};
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
    convert(message.id, message.source, message.ms2, message.name,
            message.target).catch(() => {
      modulePromise = createMspforgeModule();
      postMessage({type: "failed", id: message.id, reason: "memory"});
    });
  } else if (message.type === "cancel") {
    cancelled.add(message.id);
  }
};
