// Builds the offline basemap of the map pages from Natural Earth's countries
// at three scales (world-atlas, TopoJSON: 1:110m, 1:50m and 1:10m): the land
// rings and the borders between countries of each, projected to Web Mercator
// world units (0..1 across the world), quantised to 2^24 units (about 2.4 m
// at the equator) and written as zigzag-varint deltas in base64, so the page
// decodes them in a few milliseconds instead of parsing and converting a
// 3.6 MB topology.
//
//   node make-basemap.js NODE_MODULES OUT_DIR
//
// Output: OUT_DIR/basemap.js sets window.ZOV_BASEMAP = { scale, levels:
// [{ source, maxZoom, land: {counts, data}, borders: {counts, data} }, ...] },
// coarsest first. A tile of zoom z is drawn from the first level whose
// maxZoom (null: no limit) is at least z, so the world view walks about
// 5 000 points and a country about 60 000 instead of the 400 000 of the
// finest scale, which only a closer view needs. The finest level is written
// to a script of its own (its `script`, beside basemap.js, which sets
// window.ZOV_BASEMAP_LEVEL to the level), so the page loads the 2 MB of it
// only when a closer view is first drawn. counts[i] is the number of points of ring (or
// line) i and data holds their coordinate deltas (x then y), starting from 0
// at each ring. A ring that crosses the date line is kept in one piece: after
// a jump of more than half the world its points continue beyond 0..1.
"use strict";
const fs = require("fs");
const path = require("path");

const [modules, out] = process.argv.slice(2);
if (!modules || !out) {
  console.error("usage: node make-basemap.js NODE_MODULES OUT_DIR");
  process.exit(2);
}
// A relative folder is taken from the current one (require alone would look
// among its own modules).
const topojson = require(path.resolve(modules, "topojson-client"));
// Natural Earth's scales and the zooms each is drawn at: 1:110m for the
// whole world (zoom 0 to 2), 1:50m for a continent or a country (3 to 5),
// 1:10m closer in.
const LEVELS = [{ source: "110m", maxZoom: 2 }, { source: "50m", maxZoom: 5 },
                { source: "10m", maxZoom: null, script: "basemap-10m.js" }];

const SCALE = 1 << 24;
const MAX_LATITUDE = 85.05112878;

function mercX(lng) { return (lng + 180) / 360; }
function mercY(lat) {
  const phi = Math.max(-MAX_LATITUDE, Math.min(MAX_LATITUDE, lat)) * Math.PI / 180;
  return (1 - Math.log(Math.tan(phi) + 1 / Math.cos(phi)) / Math.PI) / 2;
}

function encodeSet(lines) {
  const counts = [];
  const bytes = [];
  const put = (v) => {
    let z = v >= 0 ? 2 * v : -2 * v - 1;
    while (z >= 128) {
      bytes.push((z % 128) | 128);
      z = Math.floor(z / 128);
    }
    bytes.push(z);
  };
  for (const points of lines) {
    let shift = 0, px = 0, py = 0;
    points.forEach(([lng, lat], i) => {
      if (i > 0) {
        const d = lng - points[i - 1][0];
        if (d > 180) shift -= 1; else if (d < -180) shift += 1;
      }
      const x = Math.round((mercX(lng) + shift) * SCALE), y = Math.round(mercY(lat) * SCALE);
      put(x - px);
      put(y - py);
      px = x;
      py = y;
    });
    counts.push(points.length);
  }
  return { counts, data: Buffer.from(bytes).toString("base64") };
}

function encodeLevel({ source, maxZoom }) {
  const file = path.join(modules, "world-atlas", "countries-" + source + ".json");
  const world = JSON.parse(fs.readFileSync(file, "utf8"));
  const land = topojson.feature(world, world.objects.land);
  const rings = [];
  for (const f of land.features || [land]) {
    const g = f.geometry;
    const polygons = g.type === "Polygon" ? [g.coordinates] : g.coordinates;
    for (const polygon of polygons) for (const ring of polygon) rings.push(ring);
  }
  const borders = topojson.mesh(world, world.objects.countries, (a, b) => a !== b).coordinates;
  return { source, maxZoom, land: encodeSet(rings), borders: encodeSet(borders) };
}

// Written beside and then renamed, so an interrupted build leaves no half file.
function write(name, text) {
  fs.writeFileSync(path.join(out, name + ".tmp"), text);
  fs.renameSync(path.join(out, name + ".tmp"), path.join(out, name));
}

const header = (scales) =>
  "// Natural Earth " + scales + " land and country borders (public domain), see make-basemap.js.\n";
const levels = LEVELS.map((level) => {
  const encoded = encodeLevel(level);
  if (!level.script) return encoded;
  write(level.script, header("1:" + level.source) +
    "window.ZOV_BASEMAP_LEVEL = " + JSON.stringify(encoded) + ";\n");
  return { source: level.source, maxZoom: level.maxZoom, script: level.script };
});
write("basemap.js", header(LEVELS.map((l) => "1:" + l.source).join(", ")) +
  "window.ZOV_BASEMAP = " + JSON.stringify({ scale: SCALE, levels }) + ";\n");
