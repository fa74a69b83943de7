// The spectra of a conversion, a row each, as the slices that converted
// them report them: for the table, the viewer and the report download.
// Only the first ROW_LIMIT are kept.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  const ROW_LIMIT = 1000000;
  const FATES = ["written", "no peaks", "rejected", "no END IONS"];
  const textDecoder = new TextDecoder();

  class RowStore {
    constructor() {
      this.slices = [];   // in input order, each with the rows it holds
      this.size = 0;      // rows kept
      this.seen = 0;      // rows reported, kept or not
      this.names = null;  // every kept row's name, made when first needed
    }

    get truncated() { return this.seen > this.size; }

    // Adds a converted slice's rows: lineOffset and mspOffset place its
    // lines and its MSP text in the whole input and library.
    add(done, lineOffset, mspOffset, source) {
      const count = done.rowStarts.length - 1;
      this.seen += count;
      const kept = Math.min(count, ROW_LIMIT - this.size);
      if (kept <= 0) return;
      // The k-th written row of the slice is its k-th MSP record.
      const ordinal = new Int32Array(kept);
      for (let row = 0, k = 0; row < kept; row++) {
        ordinal[row] = done.rowNumbers[4 * row + 3] === 0 ? k++ : -1;
      }
      this.slices.push({from: this.size, count: kept, texts: done.rowTexts,
                        starts: done.rowStarts, numbers: done.rowNumbers,
                        ordinal, lineOffset, msp: done.msp, mspOffset,
                        recordEnds: done.recordEnds, source});
      this.size += kept;
      this.names = null;
    }

    sliceOf(row) {
      let low = 0;
      let high = this.slices.length - 1;
      while (low < high) {
        const middle = (low + high + 1) >> 1;
        if (this.slices[middle].from <= row) low = middle; else high = middle - 1;
      }
      return this.slices[low];
    }

    // A row's columns: its texts as the report has them, and its numbers.
    row(index) {
      const slice = this.sliceOf(index);
      const local = index - slice.from;
      const text = textDecoder.decode(
        slice.texts.subarray(slice.starts[local], slice.starts[local + 1] - 1));
      const [name, outcome, missing, precursorType, from, precursorMz, ionMode,
             spectrumType] = text.split("\t");
      const n = slice.numbers;
      return {number: index + 1, line: slice.lineOffset + n[4 * local],
              localLine: n[4 * local], name, outcome, missing, precursorType,
              from, precursorMz, ionMode, spectrumType, mz: n[4 * local + 1],
              peaks: n[4 * local + 2], fate: n[4 * local + 3], slice};
    }

    // A number of a row: 1 precursor m/z, 2 peaks, 3 fate.
    number(index, which) {
      const slice = this.sliceOf(index);
      return slice.numbers[4 * (index - slice.from) + which];
    }

    nameOf(index) {
      if (!this.names) {
        this.names = new Array(this.size);
        for (const slice of this.slices) {
          for (let local = 0; local < slice.count; local++) {
            const from = slice.starts[local];
            const tab = slice.texts.indexOf(0x09, from);
            this.names[slice.from + local] = textDecoder.decode(slice.texts.subarray(from, tab));
          }
        }
      }
      return this.names[index];
    }

    // The MSP record of a written row, as the library holds it: bytes.
    mspRecord(index) {
      const slice = this.sliceOf(index);
      const k = slice.ordinal[index - slice.from];
      if (k < 0) return null;
      return slice.msp.subarray(k === 0 ? 0 : slice.recordEnds[k - 1], slice.recordEnds[k]);
    }

    // The report of the rows kept, byte for byte the command's --report.
    reportBytes() {
      const encoder = new TextEncoder();
      const parts = [encoder.encode("spectrum\tline\tname\toutcome\tmissing\t" +
                                    "precursor_type\tprecursor_type_from\n")];
      for (const slice of this.slices) {
        let size = 0;
        const ends = new Uint32Array(slice.count);
        for (let local = 0; local < slice.count; local++) {
          let at = slice.starts[local];
          for (let tab = 0; tab < 5; tab++) at = slice.texts.indexOf(0x09, at) + 1;
          ends[local] = at - 1;  // the fifth column's end
          size += 44 + ends[local] - slice.starts[local];  // two numbers, two tabs, LF
        }
        const bytes = new Uint8Array(size);
        let at = 0;
        for (let local = 0; local < slice.count; local++) {
          const head = encoder.encode(`${slice.from + local + 1}\t` +
                                      `${slice.lineOffset + slice.numbers[4 * local]}\t`);
          bytes.set(head, at);
          at += head.length;
          bytes.set(slice.texts.subarray(slice.starts[local], ends[local]), at);
          at += ends[local] - slice.starts[local];
          bytes[at++] = 0x0a;
        }
        parts.push(bytes.subarray(0, at));
      }
      return parts;
    }
  }

  self.mspforgeRows = {RowStore, FATES, ROW_LIMIT};
}
