// The overview of a conversion, drawn with uPlot: what became of the
// spectra read, and the written ones by ion mode, Precursor_type and MS
// level, with histograms of their precursor m/z and their peaks. Every
// chart lists its numbers beside it, and shows them on hover. Labels come
// from the file and are only ever set as text.
"use strict";

// Its own scope: the page's scripts share one global scope.
{
  const TOP_TYPES = 15;
  const charts = new Map();  // chart id -> its uPlot

  function chartWidth(box) {
    return Math.max(260, Math.min(560, box.clientWidth || 360));
  }

  // Replaces the chart in box: bars of values at x (numbers). Categories
  // (labels given) label their bars and list their numbers beside (in
  // words, full); a histogram labels its axis with axisLabel(x) and its
  // bar on hover with label(x).
  function drawBars(id, box, title, xs, values, chart) {
    if (charts.has(id)) charts.get(id).destroy();
    box.replaceChildren();
    const heading = document.createElement("h3");
    heading.textContent = title;
    box.append(heading);
    const plot = document.createElement("div");
    box.append(plot);
    const labels = chart.labels;
    const label = labels ? (x) => labels[Math.round(x)] ?? "" : chart.label;
    const crowded = labels && labels.join("").length > 28;
    const opts = {
      width: chartWidth(box), height: crowded ? 220 : 180,
      legend: {show: true, live: true},
      cursor: {drag: {x: !labels, y: false}, points: {show: false}},
      scales: {x: {time: false, range: labels ? () => [-0.5, xs.length - 0.5] : undefined},
               y: {range: (u, min, max) => [0, Math.max(1, max * 1.1)]}},
      axes: [
        {values: (u, splits) => splits.map((x) => (labels ? label(x) : chart.axisLabel(x))),
         splits: labels ? () => xs : undefined,
         rotate: crowded ? -40 : 0, size: crowded ? 80 : 40},
        {size: 56},
      ],
      series: [
        {label: chart.what, value: (u, x) => (x == null ? "" : label(x))},
        {label: "spectra", fill: "rgba(29, 95, 168, 0.55)", stroke: "#1d5fa8",
         paths: uPlot.paths.bars({size: [0.8, 64]}), points: {show: false}},
      ],
    };
    charts.set(id, new uPlot(opts, [xs, values], plot));
    if (labels) {
      const numbers = document.createElement("ul");
      numbers.className = "numbers";
      xs.forEach((x, i) => {
        const item = document.createElement("li");
        item.textContent = `${(chart.words || labels)[i]}: ${values[i].toLocaleString("en")}`;
        numbers.append(item);
      });
      box.append(numbers);
    }
  }

  // Categories by count, the largest first; past most, the rest as "other".
  function ranked(map, most, name) {
    const entries = [...map.entries()].sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : 1));
    const shown = entries.slice(0, most).map(([key, n]) => [name(key), n]);
    const rest = entries.slice(most).reduce((sum, [, n]) => sum + n, 0);
    if (rest > 0) shown.push(["other", rest]);
    return shown;
  }

  // pairs: [label, count] or [label, count, words].
  function drawCategories(id, box, title, what, pairs) {
    drawBars(id, box, title, pairs.map((_, i) => i), pairs.map(([, n]) => n),
             {labels: pairs.map(([label]) => label), what,
              words: pairs.map(([label, , words]) => words || label)});
  }

  // The outcome of every spectrum read: written, or the reasons left out
  // (a spectrum lacking several counts under each), as the summary says.
  function outcomes(tally, T) {
    const written = tally[T.total] - tally[T.ignored] - tally[T.unrecognized];
    return [
      ["written", written],
      ["no name", tally[T.withoutName], "without a compound name"],
      ["no MS level", tally[T.withoutMsLevel], "without an MS level"],
      ["no m/z", tally[T.withoutPrecursorMz], "without a precursor m/z"],
      ["no peaks", tally[T.ignored], "without peaks"],
      ["no END IONS", tally[T.unterminated], "without END IONS"],
    ];
  }

  // Draws the overview of state (see convertSource) into element.
  function drawOverview(element, state) {
    const T = self.mspforgeConversion.TALLY;
    const tally = state.tally || new Float64Array(17);
    const read = tally[T.total] + tally[T.unterminated];
    const written = tally[T.total] - tally[T.ignored] - tally[T.unrecognized];
    element.querySelector("#overview-text").textContent =
      `${read.toLocaleString("en")} spectra read: ${written.toLocaleString("en")} ` +
      `written, ${(read - written).toLocaleString("en")} left out.`;
    const box = (id) => element.querySelector(`#${id}`);
    drawCategories("outcomes", box("chart-outcomes"), "Spectra read", "outcome",
                   outcomes(tally, T));
    const counts = state.counts;
    const none = (key) => (key === "" ? "none" : key);
    drawCategories("ion-modes", box("chart-ion-modes"), "Written, by ion mode", "ion mode",
                   ranked(counts.ionModes || new Map(), 10, none));
    drawCategories("types", box("chart-types"), "Written, by Precursor_type",
                   "Precursor_type", ranked(counts.precursorTypes || new Map(), TOP_TYPES, none));
    drawCategories("levels", box("chart-levels"), "Written, by MS level", "MS level",
                   ranked(counts.spectrumTypes || new Map(), 10, none));
    const bins = [...(counts.precursorMzBins || new Map()).entries()].sort((a, b) => a[0] - b[0]);
    drawBars("mz", box("chart-mz"), "Written, by precursor m/z", bins.map(([bin]) => bin * 10 + 5),
             bins.map(([, n]) => n),
             {what: "m/z", axisLabel: (x) => String(Math.round(x)),
              label: (x) => `${Math.round(x - 5)} to ${Math.round(x + 5)}`});
    const labels = counts.peakBinLabels || [];
    const peakBins = counts.peakBins || new Map();
    drawCategories("peaks", box("chart-peaks"), "Written, by peaks per spectrum", "peaks",
                   labels.map((label, i) => [label, peakBins.get(i) || 0]));
  }

  self.mspforgeOverview = {drawOverview};
}
