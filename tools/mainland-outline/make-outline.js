#!/usr/bin/env node
// Makes the mainland outline table of the datum shift (gps/zov_track_outline_data.cpp)
// from the public-domain Natural Earth borders packaged as TopoJSON in the npm
// package "world-atlas" (countries-50m), read with "topojson-client".
//
//   cd tools/mainland-outline && npm install        (the versions of package.json)
//   node make-outline.js > ../../gps/zov_track_outline_data.cpp
//
// Steps: the largest ring of the feature "China" (the mainland; islands and
// the separate features of Taiwan, Hong Kong and Macao are left out), turned
// so that it starts at the four fixed vertices the table has always begun
// with (the stretch of the ring between them is replaced by them), reduced by
// repeatedly dropping the vertex whose triangle with its neighbours has the
// smallest area until 342 edges remain, and closed by repeating the first
// vertex. The script then checks cities on both sides with the same crossing
// rule the program uses and fails when one is misplaced.
'use strict';
const topo = require('topojson-client');
const world = require('world-atlas/countries-50m.json');

const kVertices = 343;  // closed: the last repeats the first
const kFixed = [
  [27.320829, 88.916931],
  [27.542431, 88.764641],
  [28.008051, 88.835747],
  [28.116800, 88.624352],
];

function mainlandRing() {
  const fc = topo.feature(world, world.objects.countries);
  const china = fc.features.find((f) => f.properties.name === 'China');
  const polys = china.geometry.type === 'Polygon' ? [china.geometry.coordinates]
                                                 : china.geometry.coordinates;
  const ring = polys.map((p) => p[0]).sort((a, b) => b.length - a.length)[0];
  const open = ring.slice(0, ring.length - 1);  // TopoJSON rings repeat the first point
  return open.map(([lon, lat]) => [lat, lon]);
}

function nearest(ring, point) {
  let best = 0, bestDist = Infinity;
  ring.forEach(([lat, lon], i) => {
    const d = Math.hypot(lat - point[0], lon - point[1]);
    if (d < bestDist) { bestDist = d; best = i; }
  });
  return best;
}

// The ring starting with the fixed vertices, running the way they run.
function startAtFixed(ring) {
  let r = ring.slice();
  const a = nearest(r, kFixed[0]);
  r = r.slice(a).concat(r.slice(0, a));
  const ahead = nearest(r, kFixed[kFixed.length - 1]);
  if (ahead > r.length / 2) r = [r[0]].concat(r.slice(1).reverse());
  const last = nearest(r, kFixed[kFixed.length - 1]);
  return { fixed: kFixed.slice(), rest: r.slice(last + 1) };
}

function triangleArea(a, b, c) {
  return Math.abs((b[1] - a[1]) * (c[0] - a[0]) - (c[1] - a[1]) * (b[0] - a[0])) / 2;
}

// Drops the vertex of least triangle area (never a fixed one) until `keep`
// vertices of the open ring remain.
function reduce(fixed, rest, keep) {
  const ring = fixed.concat(rest);
  const alive = ring.map(() => true);
  let count = ring.length;
  const prev = (i) => { do { i = (i - 1 + ring.length) % ring.length; } while (!alive[i]); return i; };
  const next = (i) => { do { i = (i + 1) % ring.length; } while (!alive[i]); return i; };
  while (count > keep) {
    let best = -1, bestArea = Infinity;
    for (let i = fixed.length; i < ring.length; ++i) {
      if (!alive[i]) continue;
      const area = triangleArea(ring[prev(i)], ring[i], ring[next(i)]);
      if (area < bestArea) { bestArea = area; best = i; }
    }
    alive[best] = false;
    --count;
  }
  return ring.filter((_, i) => alive[i]);
}

// The program's crossing rule (gps/zov_track_outline.cpp), in float32.
function inside(table, lat, lon) {
  const f = Math.fround;
  lat = f(lat); lon = f(lon);
  if (lat < f(3) || lat > f(55.8271) || lon < f(72.004) || lon > f(137.8347)) return false;
  let odd = false;
  for (let i = 0; i + 1 < table.length; ++i) {
    const [lat0, lon0] = table[i], [lat1] = table[i + 1];
    const between = (lat0 < lat && lat < lat1) || (lat1 < lat && lat < lat0);
    if (lon < lon0 && between) odd = !odd;
  }
  return odd;
}

const { fixed, rest } = startAtFixed(mainlandRing());
const open = reduce(fixed, rest, kVertices - 1);
const table = open.concat([open[0]]).map(([lat, lon]) => [Math.fround(+lat.toFixed(6)), Math.fround(+lon.toFixed(6))]);

const checks = [
  ['Beijing', 39.9042, 116.4074, true], ['Shanghai', 31.2304, 121.4737, true],
  ['Guangzhou', 23.1291, 113.2644, true], ['Chengdu', 30.5728, 104.0668, true],
  ['Urumqi', 43.8256, 87.6168, true], ['Harbin', 45.8038, 126.5349, true],
  ['Lhasa', 29.6520, 91.1721, true], ['Kunming', 25.0389, 102.7183, true],
  ['Seoul', 37.5665, 126.9780, false], ['Hanoi', 21.0278, 105.8342, false],
  ['Ulaanbaatar', 47.8864, 106.9057, false], ['Taipei', 25.0330, 121.5654, false],
  ['Kaohsiung', 22.6273, 120.3014, false], ['Tokyo', 35.6762, 139.6503, false],
  ['Kathmandu', 27.7172, 85.3240, false], ['Pyongyang', 39.0392, 125.7625, false],
];
for (const [name, lat, lon, want] of checks) {
  if (inside(table, lat, lon) !== want) {
    process.stderr.write(`${name} (${lat}, ${lon}) lands on the wrong side\n`);
    process.exit(1);
  }
}

const rows = table.map(([lat, lon]) => `    {${lat.toFixed(6)}f, ${lon.toFixed(6)}f},`);
process.stdout.write(`// Generated by tools/mainland-outline/make-outline.js; do not edit by hand.
//
// The mainland outline of the datum shift: a closed polygon of ${table.length} vertices
// (latitude, longitude in degrees; the last repeats the first), reduced to
// ${table.length - 1} edges from the public-domain Natural Earth 1:50m borders as
// packaged in the npm package "world-atlas" (countries-50m, feature "China",
// its largest ring). Run the script again to remake it.
#include "gps/zov_track_outline.h"

const std::array<ZovOutlineVertex, kZovOutlineVertices> kZovMainlandOutline = {{
${rows.join('\n')}
}};
`);
