// Every spectrum in a table: sortable, filtered by outcome and by text in
// the name, drawn a screenful at a time so that a million rows scroll as
// smoothly as ten. Cells are set as text only.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  const ROW_HEIGHT = 28;  // pixels; style.css gives the rows this height
  const COLUMNS = [
    {key: "number", title: "#"},
    {key: "line", title: "Line"},
    {key: "name", title: "Name"},
    {key: "precursorMz", title: "Precursor m/z"},
    {key: "precursorType", title: "Precursor_type"},
    {key: "ionMode", title: "Ion mode"},
    {key: "peaks", title: "Peaks"},
    {key: "outcome", title: "Outcome"},
  ];

  // What became of a row's spectrum, in words.
  function outcomeText(row) {
    if (row.fate === 2) return `lacks ${row.missing}`;
    return row.outcome;
  }

  function cellTexts(row) {
    return [row.number.toLocaleString("en"), String(row.line), row.name,
            row.precursorMz, row.precursorType ? `${row.precursorType} (${row.from})` : "",
            row.ionMode, String(row.peaks), outcomeText(row)];
  }

  class SpectrumTable {
    // elements: {head, body, scroll, spacer, count, outcome, name}
    constructor(elements, onChoose) {
      this.e = elements;
      this.onChoose = onChoose;
      this.rows = null;
      this.view = new Int32Array(0);
      this.sort = {key: "number", descending: false};
      this.chosen = -1;  // a row index of the store
      this.sortCache = new Map();
      const headRow = document.createElement("tr");
      for (const column of COLUMNS) {
        const th = document.createElement("th");
        th.scope = "col";
        const button = document.createElement("button");
        button.type = "button";
        button.className = "sort";
        button.textContent = column.title;
        button.addEventListener("click", () => this.sortBy(column.key));
        th.append(button);
        th.dataset.key = column.key;
        headRow.append(th);
      }
      elements.head.replaceChildren(headRow);
      elements.scroll.addEventListener("scroll", () => this.draw());
      elements.scroll.addEventListener("keydown", (event) => this.key(event));
      elements.outcome.addEventListener("change", () => this.refilter());
      elements.name.addEventListener("input", () => this.refilter());
      elements.body.addEventListener("click", (event) => {
        const tr = event.target.closest("tr");
        if (tr && tr.dataset.row) this.choose(Number(tr.dataset.row));
      });
    }

    // A new store of rows (a new conversion), or more rows in the same.
    show(rows) {
      if (rows !== this.rows) {
        this.rows = rows;
        this.chosen = -1;
        this.e.scroll.scrollTop = 0;
      }
      this.sortCache.clear();
      this.refilter();
    }

    matches(index, outcome, text) {
      const fate = this.rows.number(index, 3);
      if (outcome === "written" && fate !== 0) return false;
      if (outcome === "left" && fate === 0) return false;
      if (outcome === "no peaks" && fate !== 1) return false;
      if (outcome === "rejected" && fate !== 2) return false;
      if (outcome === "no END IONS" && fate !== 3) return false;
      return !text || this.rows.nameOf(index).toLowerCase().includes(text);
    }

    refilter() {
      const rows = this.rows;
      if (!rows) return;
      const outcome = this.e.outcome.value;
      const text = this.e.name.value.trim().toLowerCase();
      let view = new Int32Array(rows.size);
      let n = 0;
      for (let i = 0; i < rows.size; i++) {
        if (outcome === "all" && !text) view[n++] = i;
        else if (this.matches(i, outcome, text)) view[n++] = i;
      }
      view = view.subarray(0, n);
      this.view = this.sorted(view);
      this.e.count.textContent = `${n.toLocaleString("en")} of ` +
        `${rows.size.toLocaleString("en")} spectra`;
      this.e.spacer.style.height = `${n * ROW_HEIGHT}px`;
      this.draw();
    }

    // The key of a row for sorting by the column key: a number or a text.
    sortKeys(key) {
      if (this.sortCache.has(key)) return this.sortCache.get(key);
      const rows = this.rows;
      let keys;
      if (key === "precursorMz" || key === "peaks") {
        const which = key === "precursorMz" ? 1 : 2;
        keys = new Float64Array(rows.size);
        for (let i = 0; i < rows.size; i++) {
          const value = rows.number(i, which);
          keys[i] = Number.isNaN(value) ? Infinity : value;
        }
      } else if (key === "name") {
        keys = Array.from({length: rows.size}, (_, i) => rows.nameOf(i));
      } else {
        keys = Array.from({length: rows.size}, (_, i) => {
          const row = rows.row(i);
          return key === "outcome" ? outcomeText(row) : (row[key] || "");
        });
      }
      this.sortCache.set(key, keys);
      return keys;
    }

    sorted(view) {
      const {key, descending} = this.sort;
      if (key === "number" || key === "line") {
        return descending ? view.slice().reverse() : view;
      }
      const keys = this.sortKeys(key);
      const order = Array.from(view);
      order.sort((a, b) => {
        const x = keys[a];
        const y = keys[b];
        const c = x < y ? -1 : x > y ? 1 : a - b;
        return descending ? -c : c;
      });
      return Int32Array.from(order);
    }

    sortBy(key) {
      this.sort = {key, descending: this.sort.key === key && !this.sort.descending};
      for (const th of this.e.head.querySelectorAll("th")) {
        th.setAttribute("aria-sort", th.dataset.key !== key ? "none"
          : this.sort.descending ? "descending" : "ascending");
      }
      this.refilter();
    }

    draw() {
      const scroll = this.e.scroll;
      const first = Math.floor(scroll.scrollTop / ROW_HEIGHT);
      const count = Math.ceil((scroll.clientHeight || 400) / ROW_HEIGHT) + 2;
      const trs = [];
      for (let at = first; at < Math.min(this.view.length, first + count); at++) {
        const index = this.view[at];
        const row = this.rows.row(index);
        const tr = document.createElement("tr");
        tr.dataset.row = String(index);
        if (index === this.chosen) tr.setAttribute("aria-selected", "true");
        if (row.fate !== 0) tr.className = "left-out";
        for (const text of cellTexts(row)) {
          const td = document.createElement("td");
          td.textContent = text;
          tr.append(td);
        }
        trs.push(tr);
      }
      this.e.body.replaceChildren(...trs);
      this.e.body.parentElement.style.transform = `translateY(${first * ROW_HEIGHT}px)`;
    }

    choose(index) {
      this.chosen = index;
      this.draw();
      this.onChoose(index);
    }

    // Up and down choose the row before or after the one chosen.
    key(event) {
      if (event.key !== "ArrowDown" && event.key !== "ArrowUp") return;
      event.preventDefault();
      let at = this.view.indexOf(this.chosen);
      at = Math.max(0, Math.min(this.view.length - 1, at + (event.key === "ArrowDown" ? 1 : -1)));
      if (this.view.length === 0) return;
      const scroll = this.e.scroll;
      if (at * ROW_HEIGHT < scroll.scrollTop) scroll.scrollTop = at * ROW_HEIGHT;
      const bottom = scroll.scrollTop + scroll.clientHeight - ROW_HEIGHT;
      if (at * ROW_HEIGHT > bottom) scroll.scrollTop += at * ROW_HEIGHT - bottom;
      this.choose(this.view[at]);
    }
  }

  self.mspforgeTable = {SpectrumTable, outcomeText, cellTexts};
}
