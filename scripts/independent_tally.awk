# An independent count of what mspforge should report for an MGF file,
# written from the documented rules without sharing any code with it:
# total records, those without peaks, those rejected, those written.
# Peak lines are recognised by a plain leading decimal number, which is
# what generated benchmark files hold (no hex, inf or nan).
# Usage: LC_ALL=C awk -f independent_tally.awk FILE.mgf
BEGIN { inside = 0; total = 0; ignored = 0; rejected = 0 }

function startRecord() {
  inside = 1; peaks = 0
  split("", have); split("", value)
}

function endRecord(    name) {
  total++
  if (peaks == 0) { ignored++; return }
  name = ""
  if ("NAME" in have) name = value["NAME"]
  else if ("COMPOUND_NAME" in have) name = value["COMPOUND_NAME"]
  if (name == "" && ("TITLE" in have)) name = value["TITLE"]
  if (name == "" || !(("MSLEVEL" in have) || ("MS_LEVEL" in have)) ||
      !(("PEPMASS" in have) || ("PRECURSOR_MZ" in have))) rejected++
}

{
  sub(/\r$/, "")
  if (!inside) {
    if (index($0, "BEGIN IONS") == 1) startRecord()
    next
  }
  eq = index($0, "=")
  if (eq > 0) {
    key = substr($0, 1, eq - 1); val = substr($0, eq + 1)
    if (key == "USI" || key == "EXACTMASS" || val == "N/A") next
    have[key] = 1; value[key] = val
    next
  }
  if (index($0, "END IONS") == 1) { endRecord(); inside = 0; next }
  if ($0 ~ /^[ \t]*\+?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?/ && $0 + 0 >= 1) peaks++
}

END { printf "%d %d %d %d\n", total, ignored, rejected, total - ignored - rejected }
