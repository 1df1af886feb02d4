// Prints the text layer of a PDF as PDF.js (Firefox's viewer) reads it: the items of each page in
// the order the content streams give them, a line break where PDF.js ends a line or the baseline
// moves.
import { readFileSync } from 'node:fs';
import { getDocument } from 'pdfjs-dist/legacy/build/pdf.mjs';

const data = new Uint8Array(readFileSync(process.argv[2]));
const pdf = await getDocument({ data, verbosity: 0, useSystemFonts: false }).promise;
let out = '';
for (let number = 1; number <= pdf.numPages; ++number) {
  const page = await pdf.getPage(number);
  const content = await page.getTextContent();
  let lastY = null;
  for (const item of content.items) {
    if (item.str === undefined) continue;
    const y = item.transform[5];
    if (lastY !== null && Math.abs(y - lastY) > 1 && !out.endsWith('\n')) out += '\n';
    out += item.str;
    if (item.hasEOL) out += '\n';
    lastY = y;
  }
  if (!out.endsWith('\n')) out += '\n';
}
process.stdout.write(out);
