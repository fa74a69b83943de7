// The web page in headless Chromium, against the native command.
//   - every corpus file and the bundled example, picked through the file
//     input: the downloaded MSP and the tally shown are byte for byte what
//     the native command writes and prints;
//   - window.mspforge.convert on the inputs the native end-to-end tests use;
//   - for each of them, the overview's counts, the table and its download,
//     and the viewer's peaks against the command's --report and library
//     (browse_checks.mjs); the options as the command's; names that are
//     markup stay text;
//   - a file without records, and a generated 200 MB file (tally, digest of
//     the output, progress shown while the page stayed responsive);
//   - a screenshot of the finished page (MSPFORGE_SCREENSHOT), and full-page
//     pictures after two corpus files (MSPFORGE_PAGE_SHOTS; docs/page-*.png
//     are these).
// It builds the page first (cmake --workflow --preset web, which does
// nothing when the page is current) and installs puppeteer-core from the
// lock file (npm ci in web/) when it is missing, so that the test command
// runs it on a fresh clone. Exits 77, saying why, when Emscripten,
// Chromium, npm or the native command is missing (CTest counts that as
// skipped; the configure step says so too).
import {spawnSync} from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import zlib from "node:zlib";
import path from "node:path";
import {fileURLToPath} from "node:url";
import {checkBrowsing, checkHostileNames, checkOptions} from "./browse_checks.mjs";
import {checkLargeFile, checkScriptConversions} from "./convert_checks.mjs";

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, "../..");
const site = process.env.MSPFORGE_WEB_DIR || path.join(root, "build/web/page");
const native = process.env.MSPFORGE_NATIVE ||
               path.join(root, "build/release/mspforge");
const chromium = process.env.MSPFORGE_CHROMIUM || "/usr/bin/chromium";
const generator = process.env.MAKE_MGF ||
                  path.join(root, "../shared/bench/make_mgf.py");
const bigMegabytes = Number(process.env.MSPFORGE_WEB_BIG_MB || 200);
const screenshot = process.env.MSPFORGE_SCREENSHOT ||
                   path.join(root, "build/web-test/screenshot.png");
// Where the pictures of the page for the README go (docs/ to renew them).
const shots = process.env.MSPFORGE_PAGE_SHOTS || path.join(root, "build/web-test");

function skip(why) {
  console.log(`web test skipped: ${why}`);
  process.exit(77);
}
function found(program) {
  return spawnSync("sh", ["-c", `command -v ${program}`]).status === 0;
}
// Runs a step that prepares the test, its output shown; false on failure.
function prepare(what, program, args, cwd) {
  console.log(`web test: ${what}: ${program} ${args.join(" ")}`);
  return spawnSync(program, args, {cwd, stdio: "inherit"}).status === 0;
}
if (!fs.existsSync(chromium)) skip(`no Chromium at ${chromium} (Debian: chromium)`);
if (!fs.existsSync(native)) skip(`no native mspforge at ${native}`);
if (!process.env.MSPFORGE_WEB_DIR) {
  if (found("emcc")) {
    if (!prepare("building the page", "cmake", ["--workflow", "--preset", "web"], root)) {
      console.log("FAILED: the page does not build");
      process.exit(1);
    }
  } else if (!fs.existsSync(path.join(site, "mspforge_wasm.wasm"))) {
    skip("the page is not built, and there is no emcc to build it (Debian: emscripten)");
  }
}
if (!fs.existsSync(path.join(site, "mspforge_wasm.wasm"))) {
  skip(`the page is not built (${site}); run cmake --workflow --preset web`);
}
const webDir = path.join(root, "web");
if (!fs.existsSync(path.join(webDir, "node_modules", "puppeteer-core"))) {
  if (!found("npm")) skip("puppeteer-core is not installed, and there is no npm to install it (Debian: npm)");
  if (!prepare("installing puppeteer-core from the lock file", "npm",
               ["ci", "--no-audit", "--no-fund", "--loglevel=error"], webDir)) {
    skip("npm ci in web/ failed (is the npm registry out of reach?)");
  }
}
let puppeteer;
try {
  puppeteer = (await import("puppeteer-core")).default;
} catch {
  skip("puppeteer-core is not installed (npm ci in web/)");
}

let failures = 0;
let passes = 0;
function check(ok, what) {
  if (ok) {
    passes++;
  } else {
    failures++;
    console.log(`FAILED: ${what}`);
  }
}

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "mspforge-web-"));

// What the native command writes and prints for the file at input, with
// options before the paths.
function nativeConversion(input, options = []) {
  const output = path.join(scratch, "native.msp");
  const run = spawnSync(native, [...options, input, output]);
  const msp = fs.readFileSync(output);
  let written = 0;  // records: "Name: " at the start of a line
  for (let at = 0; (at = msp.indexOf("Name: ", at)) >= 0; at += 6) {
    if (at === 0 || msp[at - 1] === 0x0a) written++;
  }
  return {msp, tally: run.stdout.toString("latin1"),
          summary: run.stderr.toString("latin1"), written};
}

// The summary as the page shows it: the command's, without its prefixes
// and its command-line remedies.
function summaryText(summary) {
  return summary.split("\n").filter((line) => line && !line.includes(" --"))
    .map((line) => line.replace(/^mspforge: /, "")).join(" ");
}

// The page, served as plain files from 127.0.0.1.
const types = {".html": "text/html", ".js": "text/javascript",
               ".css": "text/css", ".wasm": "application/wasm"};
const server = http.createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, "http://x").pathname);
  const file = path.join(site, name === "/" ? "index.html" : name);
  if (!file.startsWith(site) || !fs.existsSync(file) ||
      !fs.statSync(file).isFile()) {
    response.writeHead(404);
    response.end();
    return;
  }
  response.writeHead(200, {"Content-Type":
                           types[path.extname(file)] || "application/octet-stream"});
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update",
         "--disable-sync", `--user-data-dir=${path.join(scratch, "profile")}`],
});

try {
  const page = await browser.newPage();
  page.setDefaultTimeout(600000);
  await page.goto(url);

  // Picks a file through the file input and waits for the page to finish.
  async function pick(file, ms2 = false) {
    await page.evaluate((on) => { document.getElementById("ms2").checked = on; }, ms2);
    const before = await page.evaluate(() => window.mspforge.finished);
    await (await page.$("#file")).uploadFile(file);
    await page.waitForFunction((n) => window.mspforge.finished > n, {}, before);
    return shownResult();
  }

  // What the page shows after a conversion: the library downloaded.
  function shownResult() {
    return page.evaluate(async () => {
      const result = !document.getElementById("result").hidden;
      const out = {result, problem: document.getElementById("problem-text").textContent};
      if (result) {
        const link = document.getElementById("download");
        const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
        let binary = "";
        for (let i = 0; i < bytes.length; i += 0x8000) {
          binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
        }
        out.msp = btoa(binary);
        out.tally = document.getElementById("tally").textContent;
        out.summary = document.getElementById("summary").textContent;
        out.name = link.download;
      }
      return out;
    });
  }

  const t = {page, check, pick, shownResult, nativeConversion, scratch, root,
             corpus: path.join(root, "tests/data/corpus")};
  // Full-page pictures of the page after a conversion, for the README.
  async function screenshotPage(name) {
    fs.mkdirSync(shots, {recursive: true});
    await page.setViewport({width: 1100, height: 900});
    await page.screenshot({path: path.join(shots, name), fullPage: true});
  }

  const inputs = [path.join(root, "examples/library.mgf")];
  const corpus = path.join(root, "tests/data/corpus");
  for (const name of fs.readdirSync(corpus).sort()) {
    if (name.endsWith(".mgf")) inputs.push(path.join(corpus, name));
  }
  // Saved by Notepad: a byte-order mark before the first record.
  const marked = path.join(scratch, "marked-pesticides.mgf");
  fs.writeFileSync(marked, Buffer.concat([
    Buffer.from([0xEF, 0xBB, 0xBF]),
    fs.readFileSync(path.join(corpus, "gnps-library-pesticides.mgf"))]));
  inputs.push(marked);
  // Shipped compressed: one gzip member, and two.
  const pesticides = fs.readFileSync(path.join(corpus, "gnps-library-pesticides.mgf"));
  const gzipped = path.join(scratch, "pesticides.mgf.gz");
  fs.writeFileSync(gzipped, zlib.gzipSync(pesticides));
  const twoMembers = path.join(scratch, "two-members.mgf.gz");
  const half = pesticides.indexOf("BEGIN IONS", pesticides.length >> 1);
  fs.writeFileSync(twoMembers, Buffer.concat([
    zlib.gzipSync(pesticides.subarray(0, half)), zlib.gzipSync(pesticides.subarray(half))]));
  for (const input of inputs) {
    const expected = nativeConversion(input);
    const shown = await pick(input);
    const name = path.basename(input);
    if (expected.written === 0) {
      // No download of an empty library: what was not written, and why.
      check(!shown.result && shown.problem.includes(summaryText(expected.summary)
                                                     .replace(/^.*BEGIN IONS; /, "")),
            `${name}: nothing written, but the page said ${JSON.stringify(shown.problem)}`);
      if (!/no line begins with BEGIN IONS/.test(expected.summary)) {
        await checkBrowsing(t, input);
      }
      if (name === "fbmn-feature-export-openms.mgf") await screenshotPage("page-features.png");
      continue;
    }
    check(shown.result, `${name}: no result shown (${shown.problem})`);
    if (!shown.result) continue;
    check(shown.summary === summaryText(expected.summary),
          `${name}: summary ${JSON.stringify(shown.summary)}`);
    check(Buffer.from(shown.msp, "base64").equals(expected.msp),
          `${name}: the downloaded MSP differs from the command's`);
    check(shown.tally === expected.tally,
          `${name}: tally ${JSON.stringify(shown.tally)}, command printed ` +
          JSON.stringify(expected.tally));
    check(shown.name === name.replace(/\.mgf$/, ".msp"),
          `${name}: download named ${shown.name}`);
    await checkBrowsing(t, input);
    const shot = {"gnps-library-pesticides.mgf": "pesticides",
                  "fbmn-feature-export-openms.mgf": "features"}[name];
    if (shot) await screenshotPage(`page-${shot}.png`);
    if (input === inputs[0]) {
      fs.mkdirSync(path.dirname(screenshot), {recursive: true});
      await page.screenshot({path: screenshot});
    }
  }
  console.log(`${inputs.length} files picked and converted as the command does`);

  const padded = path.join(scratch, "padded.mgf.gz");
  fs.writeFileSync(padded, Buffer.concat([zlib.gzipSync(pesticides), Buffer.alloc(512)]));
  for (const input of [gzipped, twoMembers, padded]) {
    const expected = nativeConversion(path.join(corpus, "gnps-library-pesticides.mgf"));
    const shown = await pick(input);
    check(shown.result && Buffer.from(shown.msp, "base64").equals(expected.msp) &&
          shown.tally === expected.tally &&
          shown.name === path.basename(input).replace(/\.mgf\.gz$/, ".msp"),
          `${path.basename(input)}: the gzip file converts otherwise than the plain one`);
  }
  // The MS level remedy, as --default MSLEVEL=2.
  const tmt = path.join(corpus, "proteomics-tmt-msconvert-style.mgf");
  const withMs2 = nativeConversion(tmt, ["--default", "MSLEVEL=2"]);
  const ms2 = await pick(tmt, true);
  check(ms2.result && Buffer.from(ms2.msp, "base64").equals(withMs2.msp) &&
        ms2.tally === withMs2.tally,
        "\"Spectra without an MS level are MS2\" differs from --default MSLEVEL=2");
  console.log("gzip files and the MS2 remedy converted as the command does");

  await checkHostileNames(t);
  await checkOptions(t, path.join(corpus, "fbmn-feature-export-openms.mgf"));
  console.log("the overview, the table, the viewer and the options checked; markup stays text");

  // Names for a feature export's spectra, as --name gives them: offered by
  // the page, and through window.mspforge.convert.
  const features = path.join(corpus, "fbmn-feature-export-openms.mgf");
  const named = nativeConversion(features, ["--name", "Feature {FEATURE_ID}"]);
  const unnamed = await pick(features);
  check(!unnamed.result && await page.evaluate(() =>
          !document.getElementById("name-remedy").hidden &&
          document.getElementById("name-suggested").textContent ===
            "Feature {FEATURE_ID}"),
        "a feature export is not offered its names");
  const finishedBefore = await page.evaluate(() => window.mspforge.finished);
  await page.click("#name-again");
  await page.waitForFunction((n) => window.mspforge.finished > n, {}, finishedBefore);
  const renamed = await page.evaluate(() => ({
    result: !document.getElementById("result").hidden,
    tally: document.getElementById("tally").textContent,
  }));
  check(renamed.result && renamed.tally === named.tally,
        `naming a feature export's spectra: ${JSON.stringify(renamed)}`);
  const byScript = await page.evaluate(async (b64) => {
    const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const {msp} = await window.mspforge.convert(bytes, {name: "Feature {FEATURE_ID}"});
    let binary = "";
    for (const byte of msp) binary += String.fromCharCode(byte);
    return btoa(binary);
  }, fs.readFileSync(features).toString("base64"));
  check(Buffer.from(byScript, "base64").equals(named.msp),
        "window.mspforge.convert with a name differs from --name");
  await page.evaluate(() => { document.getElementById("name").value = ""; });

  await checkScriptConversions(t);

  // A file without any record says so and shows what MGF looks like.
  const empty = path.join(scratch, "notes.mgf");
  fs.writeFileSync(empty, "just some text\n");
  const none = await pick(empty);
  check(!none.result && /holds no MGF record/.test(none.problem),
        `a file without records: ${JSON.stringify(none.problem)}`);

  // A large generated file: converted in slices, the page responsive,
  // and its overview, table and viewer as for the corpus files.
  if (bigMegabytes > 0 && fs.existsSync(generator)) {
    await checkBrowsing(t, await checkLargeFile(t, bigMegabytes, generator));
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(scratch, {recursive: true, force: true});
}

console.log(`${passes} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
