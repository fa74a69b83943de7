// Reads the file the page converts: its bytes as stored, gzip inflated
// with the browser's DecompressionStream, cut into slices that convert on
// their own. A slice ends just before a line that begins with "BEGIN IONS",
// which always begins a record, so no record of one slice runs on into the
// next, and the slices' libraries, joined in order, are the whole file's:
// the command's chunks are cut the same way.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  const SLICE_BYTES = 8 << 20;  // a slice holds at least this much, when it can
  const BEGIN_IONS = new TextEncoder().encode("BEGIN IONS");

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

  // Whether the source is gzip, by its first two bytes.
  async function isGzip(blob) {
    const magic = new Uint8Array(await blob.slice(0, 2).arrayBuffer());
    return magic.length === 2 && magic[0] === 0x1f && magic[1] === 0x8b;
  }

  // The start of the last line in bytes[from, to) that begins with "BEGIN
  // IONS" and lies whole before end, or -1.
  function lastRecordStart(bytes, from, to, end) {
    for (let at = to - 1; at >= from; at--) {
      at = bytes.lastIndexOf(0x42, at);  // "B"
      if (at < from) return -1;
      if (bytes[at - 1] !== 0x0a || end - at < BEGIN_IONS.length) continue;
      let same = true;
      for (let i = 1; i < BEGIN_IONS.length && same; i++) {
        same = bytes[at + i] === BEGIN_IONS[i];
      }
      if (same) return at;
    }
    return -1;
  }

  function isUtf16(bytes) {
    return bytes.length >= 2 && ((bytes[0] === 0xff && bytes[1] === 0xfe) ||
                                 (bytes[0] === 0xfe && bytes[1] === 0xff));
  }

  // Where a slice of bytes (a whole number of lines up to a record's start,
  // and all of them when more is to come) ends, or -1 when more bytes are
  // needed: before the last record start of at least SLICE_BYTES, cut
  // short at a 0x1A (then last).
  function sliceEnd(bytes, atEnd) {
    if (atEnd) return bytes.length;
    if (bytes.length < SLICE_BYTES) return -1;
    return lastRecordStart(bytes, 1, bytes.length, bytes.length);
  }

    // The start of the last record start in blob[from, to) after from, read
  // a window at a time from to backwards; failing that, the first after
  // to; failing that, the blob's end.
  async function recordStartNear(blob, from, to) {
    const WINDOW = 1 << 16;
    for (let high = to; high > from;) {
      const low = Math.max(from, high - WINDOW);
      const bytes = new Uint8Array(await blob.slice(low, high + BEGIN_IONS.length).arrayBuffer());
      const at = lastRecordStart(bytes, 1, high - low + 1, bytes.length);
      if (at > 0 && low + at > from) return low + at;
      high = low + 1 < high ? low + 1 : low;
      if (low === from) break;
    }
    for (let low = to; low < blob.size; low += WINDOW) {
      const bytes = new Uint8Array(
        await blob.slice(low - 1, low + WINDOW + BEGIN_IONS.length).arrayBuffer());
      for (let at = 1; at < bytes.length;) {
        at = bytes.indexOf(0x42, at);  // "B"
        if (at < 0 || at > WINDOW) break;
        if (bytes[at - 1] === 0x0a && lastRecordStart(bytes, at, at + 1, bytes.length) === at) {
          return low - 1 + at;
        }
        at++;
      }
    }
    return blob.size;
  }

  // The slices of a plain file: where each begins and ends, found from a
  // few kilobytes read around its end. The converting workers read their
  // slices themselves, so that the file's bytes never pass through the
  // page's own thread.
  async function* plainSlices(blob) {
    for (let at = 0; at < blob.size;) {
      const end = at + SLICE_BYTES >= blob.size
        ? blob.size : await recordStartNear(blob, at, at + SLICE_BYTES);
      yield {blob, start: at, end, whole: true, last: end >= blob.size};
      at = end;
    }
  }

// The slices of a stream of pieces (gzip inflated), gathered into buffers
  // of a slice and more; only the bytes after a cut are copied again.
  async function* gatheredSlices(pieces) {
    let buffer = new Uint8Array(2 * SLICE_BYTES);
    let filled = 0;
    let start = 0;
    const cutAt = (end, last) => {
      const slice = {bytes: buffer.subarray(0, end), start, whole: true, last};
      const rest = buffer.subarray(end, filled);
      buffer = new Uint8Array(Math.max(2 * SLICE_BYTES, 2 * rest.length));
      buffer.set(rest);
      filled = rest.length;
      start += end;
      return slice;
    };
    for await (const piece of pieces) {
      if (filled + piece.length > buffer.length) {
        const larger = new Uint8Array(2 * (filled + piece.length));
        larger.set(buffer.subarray(0, filled));
        buffer = larger;
      }
      buffer.set(piece, filled);
      filled += piece.length;
      const end = sliceEnd(buffer.subarray(0, filled), false);
      if (end <= 0) continue;
      const last = buffer.subarray(0, end).indexOf(0x1a) >= 0;
      yield cutAt(end, last);
      if (last) return;
    }
    yield cutAt(filled, true);
  }

  // The slices of a source (a File, a Blob): {bytes, start (in the bytes
  // as decoded), whole, last}, bytes a Uint8Array over an ArrayBuffer of
  // its own; or, for a plain file, {blob, start, end, whole, last}, for the
  // worker to read. counter.done counts the gzip source's bytes read. A
  // UTF-16 input (its first bytes a byte-order mark) is not cut: its pieces
  // come with whole: false and must be converted one after the other, as
  // one input. A slice that holds a 0x1A byte (an old end-of-file mark)
  // ends the input there: the slices after it do not count.
  async function* slicesOf(blob, counter) {
    const gzip = await isGzip(blob);
    const pieces = gzip ? gunzipped(blob, counter) : null;
    if (!gzip) {
      const head = new Uint8Array(await blob.slice(0, 2).arrayBuffer());
      if (!isUtf16(head)) {
        yield* plainSlices(blob);
        return;
      }
    }
    // UTF-16 text, or gzip: its first piece tells.
    const source = gzip ? pieces : blob.stream();
    const reader = gzip ? null : source.getReader();
    const iterate = gzip ? pieces : (async function* () {
      for (;;) {
        const {done, value} = await reader.read();
        if (done) return;
        counter.done += value.length;
        yield value;
      }
    })();
    const first = await iterate.next();
    if (first.done) {
      yield {bytes: new Uint8Array(0), start: 0, whole: true, last: true};
      return;
    }
    if (isUtf16(first.value)) {
      let start = 0;
      for (let piece = first; !piece.done; piece = await iterate.next()) {
        yield {bytes: piece.value, start, whole: false, last: false};
        start += piece.value.length;
      }
      yield {bytes: new Uint8Array(0), start, whole: false, last: true};
      return;
    }
    yield* gatheredSlices((async function* () {
      yield first.value;
      yield* iterate;
    })());
  }

  // The bytes [start, end) of a source as decoded (gzip inflated); end
  // null for all after start. Gzip input is inflated from its start again.
  async function decodedRange(blob, start, end) {
    if (!(await isGzip(blob))) {
      return new Uint8Array(await blob.slice(start, end ?? blob.size).arrayBuffer());
    }
    const parts = [];
    let at = 0;
    for await (const piece of gunzipped(blob, {done: 0})) {
      const from = Math.max(start, at);
      const to = Math.min(end ?? Infinity, at + piece.length);
      if (from < to) parts.push(piece.slice(from - at, to - at));
      at += piece.length;
      if (end !== null && at >= end) break;
    }
    return joined(parts);
  }

  // Byte arrays joined into one.
  function joined(parts) {
    const bytes = new Uint8Array(parts.reduce((n, part) => n + part.length, 0));
    let offset = 0;
    for (const part of parts) {
      bytes.set(part, offset);
      offset += part.length;
    }
    return bytes;
  }

  self.mspforgeSource = {slicesOf, isGzip, decodedRange, joined, SLICE_BYTES};
}
