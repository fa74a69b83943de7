// What the page's window.mspforge.convert gives, and a large file picked,
// against the command: every layout, the byte sequences of the native
// end-to-end tests and the fuzz seeds, and a generated file of many
// slices converted while the page stays responsive.
import {execFileSync} from "node:child_process";
import {createHash} from "node:crypto";
import fs from "node:fs";
import path from "node:path";

export async function checkScriptConversions(t) {
  const {page, check, nativeConversion, scratch, root, corpus} = t;
  // Each layout, as --for writes it.
  const pesticidesFile = path.join(corpus, "gnps-library-pesticides.mgf");
  for (const target of ["msdial", "matchms", "openms"]) {
    const expected = nativeConversion(pesticidesFile, ["--for", target]);
    const got = await page.evaluate(async (b64, target) => {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const {msp} = await window.mspforge.convert(bytes, {target});
      let binary = "";
      for (const byte of msp) binary += String.fromCharCode(byte);
      return btoa(binary);
    }, fs.readFileSync(pesticidesFile).toString("base64"), target);
    check(Buffer.from(got, "base64").equals(expected.msp),
          `window.mspforge.convert with target ${target} differs from --for ${target}`);
  }

  // window.mspforge.convert on the byte sequences the end-to-end tests use.
  const record = "BEGIN IONS\nNAME=Glycine\nMSLEVEL=2\nPEPMASS=76.0393\n" +
                 "30.0338 100\nEND IONS\n";
  const texts = [
    "", record, record + record.slice(0, 40), record.replace(/\n/g, "\r\n"),
    record + "\x1A" + record, "BEGIN IONS\nNAME=Gly\0cine\nMSLEVEL=2\n" +
    "PEPMASS=1\n30\0 100\nEND IONS\n",
    "BEGIN IONS\rNAME=x\rEND IONS\r",
    "\xEF\xBB\xBF" + record + record, "\xEF\xBB\xBF\xEF\xBB\xBF" + record,
    "\xEF\xBB\xBF", "\xFF\xFEB\0E\0G\0I\0N\0 \0I\0O\0N\0S\0\n\0E\0N\0D\0 \0I\0O\0N\0S\0\n\0",
  ].map((text) => Buffer.from(text, "latin1"));
  const seeds = path.join(root, "fuzz/seeds");
  for (const name of fs.readdirSync(seeds).sort()) {
    texts.push(fs.readFileSync(path.join(seeds, name)));
  }
  for (const [i, bytes] of texts.entries()) {
    const file = path.join(scratch, `input${i}.mgf`);
    fs.writeFileSync(file, bytes);
    const expected = nativeConversion(file);
    const got = await page.evaluate(async (b64) => {
      const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
      const {msp, tally, summary} = await window.mspforge.convert(bytes);
      let binary = "";
      for (const byte of msp) binary += String.fromCharCode(byte);
      return {msp: btoa(binary), tally, summary};
    }, bytes.toString("base64"));
    check(Buffer.from(got.msp, "base64").equals(expected.msp) &&
          got.tally === expected.tally && got.summary === expected.summary,
          `window.mspforge.convert differs from the command on input ${i}`);
  }
  console.log(`${texts.length} inputs converted by window.mspforge.convert`);
}

export async function checkLargeFile(t, bigMegabytes, generator) {
  const {page, check, nativeConversion, scratch} = t;
  const big = path.join(scratch, `big${bigMegabytes}.mgf`);
  execFileSync("python3", [generator, big, String(bigMegabytes), "1"]);
  const expected = nativeConversion(big);
  const before = await page.evaluate(() => window.mspforge.progressEvents);
  const finished = await page.evaluate(() => window.mspforge.finished);
  await (await page.$("#file")).uploadFile(big);
  // The page answers while the worker converts.
  let slowest = 0;
  while (await page.evaluate((n) => window.mspforge.finished === n, finished)) {
    const asked = Date.now();
    await page.evaluate(() => document.getElementById("progress").value);
    slowest = Math.max(slowest, Date.now() - asked);
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
  const shown = await page.evaluate(async () => {
    const link = document.getElementById("download");
    const bytes = await (await fetch(link.href)).arrayBuffer();
    const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
    return {tally: document.getElementById("tally").textContent,
            digest: Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join(""),
            progress: window.mspforge.progressEvents,
            seconds: window.mspforge.lastSeconds};
  });
  check(shown.tally === expected.tally, `large file: tally ${shown.tally}`);
  check(shown.digest === createHash("sha256").update(expected.msp).digest("hex"),
        "large file: the MSP differs from the command's");
  // A progress message for every 8 MiB slice converted.
  const slices = Math.ceil(fs.statSync(big).size / (8 << 20));
  check(shown.progress - before >= Math.min(slices, 10),
        `large file: only ${shown.progress - before} progress events`);
  check(slowest < 2000, `large file: the page took ${slowest} ms to answer`);
  console.log(`${bigMegabytes} MB converted in the browser in ` +
              `${shown.seconds.toFixed(2)} s, ${shown.progress - before} ` +
              `progress events, page answered within ${slowest} ms`);
  return big;
}
