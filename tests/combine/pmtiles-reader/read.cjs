// Reads a PMTiles archive back through the reference reader, the npm
// package "pmtiles", so the combiner's tests check our writer against it.
//
// usage: node read.cjs ARCHIVE OUT_FOLDER [Z/X/Y ...]
// Writes OUT_FOLDER/header.json and metadata.json as the reader gives them,
// and every asked tile it finds as OUT_FOLDER/Z_X_Y (a missing tile: no file).
"use strict";
const fs = require("fs");
const path = require("path");
const { PMTiles } = require("pmtiles");

class LocalFile {
  constructor(file) {
    this.file = file;
    this.fd = fs.openSync(file, "r");
  }
  getKey() {
    return this.file;
  }
  async getBytes(offset, length) {
    const buffer = Buffer.alloc(length);
    const read = fs.readSync(this.fd, buffer, 0, length, offset);
    const bytes = buffer.subarray(0, read);
    return { data: bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length) };
  }
}

async function main() {
  const [archive, out, ...tiles] = process.argv.slice(2);
  const reader = new PMTiles(new LocalFile(archive));
  fs.mkdirSync(out, { recursive: true });
  fs.writeFileSync(path.join(out, "header.json"), JSON.stringify(await reader.getHeader()));
  fs.writeFileSync(path.join(out, "metadata.json"), JSON.stringify(await reader.getMetadata()));
  for (const tile of tiles) {
    const [z, x, y] = tile.split("/").map(Number);
    const found = await reader.getZxy(z, x, y);
    if (found) fs.writeFileSync(path.join(out, `${z}_${x}_${y}`), Buffer.from(found.data));
  }
}

main().catch((error) => {
  console.error(error.stack || String(error));
  process.exit(1);
});
