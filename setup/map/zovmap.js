// The map of the player's pages: a Leaflet map with raster tiles over an
// offline basemap, the track lines, start and end marks and a turning marker.
//
// The player calls the global functions at the end of this file (their names
// and argument orders are fixed: longitude before latitude). The page answers
// only through the player's channel object, window.zovPlayer (set by the
// browser host when the page runs in the player): a click on a drive's track
// asks it to seek there.
//
// Following: the view follows the marker (the player's Center calls) until
// the user pans or zooms; then a button in the corner turns following back
// on. Moves of the view made by the page itself never stop following.
//
// Offline basemap: land, coastlines and country borders from Natural Earth
// (public domain) at three scales, the coarser for the wider views, shipped
// beside the page in lib/basemap.js and lib/basemap-10m.js (projected and
// packed at build time), and
// a graticule, all drawn into canvas tiles under the raster tiles. With no
// network the raster tiles fail quietly and the basemap is what shows; a track
// is then fitted at most at OFFLINE_MAX_ZOOM (the basemap has no street
// detail), and the overview inset in the corner shows the coasts and borders
// around the view.
(function () {
  "use strict";

  var OFFLINE_MAX_ZOOM = 15;
  var ONLINE_MAX_ZOOM = 18;
  var FIT_PADDING = 40;               // pixels kept free around a fitted track
  var DIALS_PX = 120;                 // the player's dials cover this much of the right edge
  var TRACK_COLORS = ["#1565c0", "#8e24aa", "#ef6c00", "#00897b", "#c62828", "#5d4037"];
  var SEA = "#aad3df", LAND = "#f2efe9", COAST = "#5b8aa6", BORDER = "#9e6fa8", GRID = "#7f8c99";
  // A transparent pixel for tiles that cannot load (no broken-image squares).
  var EMPTY_TILE = "data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7";

  var state = {
    tilesLoaded: 0,       // raster tiles that loaded
    tileErrors: 0,        // raster tiles that failed (hidden)
    basemapTiles: 0,      // basemap tiles drawn
    basemapScaleAt: {},   // zoom -> the scale its last basemap tile was drawn from
    tracks: {},           // track number -> array of [lat, lng] by point number
    lines: {},            // track number -> polyline
    current: null,        // track number of the playing file (its first point is the start mark)
    angle: 0,             // marker angle last sent by the player
    rotation: 0,          // turn of the drawn arrow
    drive: false,         // the lines are the segments of one drive (clickable)
    follow: true,         // the view follows the marker
    lastSeek: null        // [lng, lat] last sent to the player by a click on the track
  };

  // --- Offline basemap -----------------------------------------------------
  // Land rings and border lines are projected once to Web Mercator world
  // units (0..1 across the world). A tile draws the land clipped to its box;
  // each tile's clipped rings are kept and a tile is clipped from its parent's
  // rings, so the big continents are cut down once per level instead of being
  // walked whole for every tile.

  var basemap = { levels: [] };
  var clipCache = new Map();
  var CLIP_CACHE_MAX = 3000;      // tiles whose clipped rings are kept
  var TILE_MARGIN = 4 / 256;      // part of a tile drawn beyond each edge (no seams)

  function mercX(lng) { return (lng + 180) / 360; }
  function mercY(lat) {
    var phi = Math.max(-85.05112878, Math.min(85.05112878, lat)) * Math.PI / 180;
    return (1 - Math.log(Math.tan(phi) + 1 / Math.cos(phi)) / Math.PI) / 2;
  }

  // Decodes one set of lib/basemap.js (made at build time by
  // map/web/make-basemap.js): per ring or line, its points as zigzag-varint
  // deltas of Web Mercator world units times `scale`, starting from 0.
  function decodeSet(set, scale) {
    var bin = atob(set.data), pos = 0, out = [];
    function next() {
      var v = 0, mul = 1, b;
      do {
        b = bin.charCodeAt(pos++);
        v += (b & 127) * mul;
        mul *= 128;
      } while (b & 128 && pos < bin.length);
      return v % 2 ? -(v + 1) / 2 : v / 2;
    }
    for (var r = 0; r < set.counts.length; r++) {
      var n = set.counts[r], xy = new Float64Array(2 * n), x = 0, y = 0;
      var box = [Infinity, Infinity, -Infinity, -Infinity];
      for (var i = 0; i < n; i++) {
        x += next();
        y += next();
        var wx = x / scale, wy = y / scale;
        xy[2 * i] = wx;
        xy[2 * i + 1] = wy;
        if (wx < box[0]) box[0] = wx;
        if (wy < box[1]) box[1] = wy;
        if (wx > box[2]) box[2] = wx;
        if (wy > box[3]) box[3] = wy;
      }
      out.push({ xy: xy, box: box });
    }
    return out;
  }

  // The scales of lib/basemap.js, coarsest first; each is decoded the first
  // time a tile of its zooms is drawn. A scale kept in a script of its own
  // (the finest) is loaded then.
  function loadBasemap() {
    var data = window.ZOV_BASEMAP;
    if (!data || !data.levels) return;
    basemap.levels = data.levels.map(function (level, index) {
      return { index: index, name: level.source, maxZoom: level.maxZoom, source: level, scale: data.scale,
               rings: null, borders: null, waiting: null, failed: false };
    });
  }

  function decodeLevel(level) {
    if (!level.rings && level.source.land) {
      level.rings = decodeSet(level.source.land, level.scale);
      level.borders = decodeSet(level.source.borders, level.scale);
    }
    return !!level.rings;
  }

  // Adds the script of a scale to the page once; `then` runs when it has run
  // or failed to load.
  function loadLevelScript(level, then) {
    if (level.waiting) { level.waiting.push(then); return; }
    level.waiting = [then];
    var script = document.createElement("script");
    function settle(ok) {
      var data = window.ZOV_BASEMAP_LEVEL;
      window.ZOV_BASEMAP_LEVEL = undefined;
      if (ok && data && data.land && data.borders) level.source = data;
      else level.failed = true;
      var waiting = level.waiting;
      level.waiting = null;
      waiting.forEach(function (fn) { fn(); });
    }
    script.onload = function () { settle(true); };
    script.onerror = function () { settle(false); };
    script.src = "lib/" + level.source.script;
    document.head.appendChild(script);
  }

  // Calls `fn` with the scale a tile of zoom z is drawn from: at once when it
  // is at hand, else once its script has loaded. A scale whose script cannot
  // load gives way to the next coarser one.
  function withBasemapLevel(z, fn) {
    var levels = basemap.levels, chosen = -1;
    for (var i = 0; i < levels.length && chosen < 0; i++) {
      if (levels[i].maxZoom === null || z <= levels[i].maxZoom) chosen = i;
    }
    while (chosen >= 0 && levels[chosen].failed) chosen--;
    if (chosen < 0) { fn(null); return; }
    var level = levels[chosen];
    if (decodeLevel(level)) { fn(level); return; }
    if (!level.source.script) { level.failed = true; withBasemapLevel(z, fn); return; }
    loadLevelScript(level, function () { withBasemapLevel(z, fn); });
  }

  function decodedLevels() { return basemap.levels.filter(function (l) { return !!l.rings; }); }

  function intersects(a, b) { return a[0] <= b[2] && a[2] >= b[0] && a[1] <= b[3] && a[3] >= b[1]; }
  function contains(outer, inner) {
    return inner[0] >= outer[0] && inner[2] <= outer[2] && inner[1] >= outer[1] && inner[3] <= outer[3];
  }

  // Sutherland-Hodgman clipping of a closed ring to a box; null when nothing
  // of it is left. Points made on the box's edges lie exactly on them.
  function clipRing(xy, box) {
    var cur = xy;
    for (var edge = 0; edge < 4; edge++) {
      var n = cur.length / 2;
      if (n < 3) return null;
      var out = [], axis = edge < 2 ? 0 : 1, c = box[edge === 0 ? 0 : edge === 1 ? 2 : edge === 2 ? 1 : 3];
      var keepAbove = edge === 0 || edge === 2;
      var px = cur[2 * n - 2], py = cur[2 * n - 1];
      var pin = keepAbove ? (axis ? py : px) >= c : (axis ? py : px) <= c;
      for (var i = 0; i < n; i++) {
        var x = cur[2 * i], y = cur[2 * i + 1];
        var cin = keepAbove ? (axis ? y : x) >= c : (axis ? y : x) <= c;
        if (cin !== pin) {
          if (axis === 0) out.push(c, py + (c - px) / (x - px) * (y - py));
          else out.push(px + (c - py) / (y - py) * (x - px), c);
        }
        if (cin) out.push(x, y);
        px = x; py = y; pin = cin;
      }
      cur = out;
    }
    if (cur.length < 6) return null;
    var box2 = [Infinity, Infinity, -Infinity, -Infinity];
    for (var j = 0; j < cur.length; j += 2) {
      if (cur[j] < box2[0]) box2[0] = cur[j];
      if (cur[j + 1] < box2[1]) box2[1] = cur[j + 1];
      if (cur[j] > box2[2]) box2[2] = cur[j];
      if (cur[j + 1] > box2[3]) box2[3] = cur[j + 1];
    }
    return { xy: Float64Array.from(cur), box: box2 };
  }

  function tileBox(z, x, y) {
    var n = Math.pow(2, z), m = TILE_MARGIN / n;
    return [x / n - m, y / n - m, (x + 1) / n + m, (y + 1) / n + m];
  }

  // The land rings of one scale for tile z/x/y (x already wrapped into the world).
  function tileRings(level, z, x, y) {
    if (z === 0) return level.rings;
    var key = level.index + ":" + z + "/" + x + "/" + y;
    var cached = clipCache.get(key);
    if (cached) return cached;
    var source = tileRings(level, z - 1, x >> 1, y >> 1), box = tileBox(z, x, y), out = [];
    for (var i = 0; i < source.length; i++) {
      var r = source[i];
      if (!intersects(r.box, box)) continue;
      if (contains(box, r.box)) { out.push(r); continue; }
      var clipped = clipRing(r.xy, box);
      if (clipped) out.push(clipped);
    }
    if (clipCache.size >= CLIP_CACHE_MAX) clipCache.clear();
    clipCache.set(key, out);
    return out;
  }

  // Traces world-unit points as tile pixels, leaving out points closer than
  // half a pixel to the last one drawn. With `box`, a step along one of the
  // box's edges is a cut made by clipping and is not stroked.
  function traceXY(ctx, xy, n, ox, oy, box) {
    var lastX = 0, lastY = 0, count = xy.length / 2;
    for (var i = 0; i < count; i++) {
      var wx = xy[2 * i], wy = xy[2 * i + 1];
      var x = (wx * n - ox) * 256, y = (wy * n - oy) * 256;
      if (i === 0) { ctx.moveTo(x, y); lastX = x; lastY = y; continue; }
      if (box) {
        var qx = xy[2 * i - 2], qy = xy[2 * i - 1];
        if ((wx === qx && (wx === box[0] || wx === box[2])) || (wy === qy && (wy === box[1] || wy === box[3]))) {
          ctx.moveTo(x, y); lastX = x; lastY = y; continue;
        }
      }
      if (Math.abs(x - lastX) + Math.abs(y - lastY) < 0.5 && i < count - 1) continue;
      ctx.lineTo(x, y);
      lastX = x; lastY = y;
    }
  }

  // Web Mercator: degrees to world pixels at a scale (world width in pixels).
  function projectX(lng, scale) { return mercX(lng) * scale; }
  function projectY(lat, scale) { return mercY(lat) * scale; }
  function unprojectLng(x, scale) { return x / scale * 360 - 180; }
  function unprojectLat(y, scale) {
    var n = Math.PI - 2 * Math.PI * y / scale;
    return 180 / Math.PI * Math.atan(Math.sinh(n));
  }

  // Graticule step in degrees: about three lines across a tile.
  var GRID_STEPS = [30, 10, 5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001];
  function gridStep(tileDegrees) {
    for (var i = 0; i < GRID_STEPS.length; i++) {
      if (GRID_STEPS[i] <= tileDegrees / 2) return GRID_STEPS[i];
    }
    return GRID_STEPS[GRID_STEPS.length - 1];
  }
  function gridLabel(value, positive, negative) {
    var text = Math.abs(value).toFixed(3).replace(/\.?0+$/, "");
    return text + "\u00b0" + (value > 0 ? positive : value < 0 ? negative : "");
  }

  function drawGrid(ctx, box, scale, ox, oy, size) {
    var step = gridStep(box[2] - box[0]);
    ctx.strokeStyle = GRID;
    ctx.globalAlpha = 0.55;
    ctx.lineWidth = 1;
    ctx.setLineDash([4, 4]);
    ctx.beginPath();
    var lng, lat, x, y;
    for (lng = Math.ceil(box[0] / step) * step; lng <= box[2]; lng += step) {
      x = Math.round(projectX(lng, scale) - ox) + 0.5;
      ctx.moveTo(x, 0); ctx.lineTo(x, size);
    }
    for (lat = Math.ceil(box[1] / step) * step; lat <= box[3]; lat += step) {
      y = Math.round(projectY(lat, scale) - oy) + 0.5;
      ctx.moveTo(0, y); ctx.lineTo(size, y);
    }
    ctx.stroke();
    ctx.setLineDash([]);
    ctx.globalAlpha = 1;
  }

  function drawBasemapTile(canvas, coords, level) {
    var size = 256, ratio = window.devicePixelRatio || 1;
    canvas.width = size * ratio;
    canvas.height = size * ratio;
    var ctx = canvas.getContext("2d");
    ctx.scale(ratio, ratio);
    var n = Math.pow(2, coords.z), box = tileBox(coords.z, coords.x, coords.y);
    ctx.fillStyle = SEA;
    ctx.fillRect(0, 0, size, size);
    var rings = level ? tileRings(level, coords.z, coords.x, coords.y) : [], i;
    ctx.beginPath();
    for (i = 0; i < rings.length; i++) { traceXY(ctx, rings[i].xy, n, coords.x, coords.y, null); ctx.closePath(); }
    ctx.fillStyle = LAND;
    ctx.fill("evenodd");
    ctx.beginPath();
    for (i = 0; i < rings.length; i++) traceXY(ctx, rings[i].xy, n, coords.x, coords.y, box);
    ctx.strokeStyle = COAST;
    ctx.lineWidth = coords.z > 8 ? 2 : 1;
    ctx.stroke();
    ctx.beginPath();
    (level ? level.borders : []).forEach(function (line) {
      if (intersects(line.box, box)) traceXY(ctx, line.xy, n, coords.x, coords.y, null);
    });
    ctx.strokeStyle = BORDER;
    ctx.lineWidth = coords.z > 6 ? 2 : 1;
    ctx.setLineDash([6, 3]);
    ctx.stroke();
    ctx.setLineDash([]);
    var scale = size * n, ox = coords.x * size, oy = coords.y * size;
    drawGrid(ctx, [unprojectLng(ox, scale), unprojectLat(oy + size, scale),
                   unprojectLng(ox + size, scale), unprojectLat(oy, scale)], scale, ox, oy, size);
    state.basemapTiles++;
    state.basemapScaleAt[coords.z] = level ? level.name : "none";
  }

  // Degree labels of the graticule along the top and left edges of the view
  // (drawn once per line, not once per tile).
  function updateGridLabels() {
    var box = labelBox;
    if (!box) return;
    var z = map.getZoom(), bounds = map.getBounds();
    var step = gridStep(360 / Math.pow(2, z));
    var html = [], lng, lat, p;
    for (lng = Math.ceil(bounds.getWest() / step) * step; lng <= bounds.getEast(); lng += step) {
      p = map.latLngToContainerPoint([bounds.getNorth(), lng]);
      if (p.x < 50) continue;  // the zoom buttons sit there
      html.push('<span class="zov-top" style="left:' + Math.round(p.x + 3) + 'px;top:2px">' +
                gridLabel(+L.Util.wrapNum(lng, [-180, 180], true).toFixed(6), "E", "W") + "</span>");
    }
    for (lat = Math.ceil(bounds.getSouth() / step) * step; lat <= bounds.getNorth(); lat += step) {
      p = map.latLngToContainerPoint([lat, bounds.getWest()]);
      if (p.y > 16) {
        html.push('<span style="left:52px;top:' + Math.round(p.y - 14) + 'px">' +
                  gridLabel(+lat.toFixed(6), "N", "S") + "</span>");
      }
    }
    box.innerHTML = html.join("");
    // The player's dials cover the top of the right edge: a label along the
    // top that would end under them is left out.
    var clearRight = map.getSize().x - DIALS_PX;
    Array.prototype.slice.call(box.getElementsByClassName("zov-top")).forEach(function (span) {
      if (span.offsetLeft + span.offsetWidth > clearRight) box.removeChild(span);
    });
  }
  var labelBox = null;

  // A tile whose scale is at hand is drawn at once and reported ready on the
  // next frame, as Leaflet does with tiles made in one go (it does not know
  // the tile yet while createTile runs); one waiting for its scale's script
  // is drawn and reported when the script has run.
  var BasemapLayer = L.GridLayer.extend({
    createTile: function (coords, done) {
      var canvas = document.createElement("canvas"), sync = true;
      withBasemapLevel(coords.z, function (level) {
        drawBasemapTile(canvas, coords, level);
        if (sync) L.Util.requestAnimFrame(function () { done(null, canvas); });
        else done(null, canvas);
      });
      sync = false;
      return canvas;
    }
  });

  // --- Map ---------------------------------------------------------------

  var map, tiles, trackLayer, markLayer, marker, startMark, endMark;

  function markIcon(cls, text) {
    return L.divIcon({ className: "zov-mark " + cls, html: text, iconSize: [22, 22], iconAnchor: [11, 11] });
  }

  // The marker's arrow points down (south) when not turned, and a rotation r
  // turns it counter-clockwise: it then points, clockwise from north, at
  // 180 - r. Headings in the player count clockwise from north (due east is
  // 90), and the angle sent is that heading turned by half a circle, so a
  // heading h arrives as h + 180 and is drawn with r = 360 - angle.
  var ARROW_SVG =
    '<svg width="30" height="30" viewBox="-15 -15 30 30">' +
    '<circle r="13" fill="rgba(255,255,255,0.85)" stroke="#0d47a1" stroke-width="1.5"/>' +
    '<path d="M0,11 L-8,-8 L0,-3 L8,-8 Z" fill="#d32f2f" stroke="#7f0000" stroke-width="1"/>' +
    '<circle class="zov-tip" cx="0" cy="11" r="0.5" fill="none"/></svg>';

  function ensureMarker(latlng) {
    if (!marker) {
      marker = L.marker(latlng, {
        icon: L.divIcon({ className: "zov-car", html: '<div class="zov-arrow">' + ARROW_SVG + "</div>",
                          iconSize: [30, 30], iconAnchor: [15, 15] }),
        interactive: false, keyboard: false, zIndexOffset: 1000
      }).addTo(map);
    } else {
      marker.setLatLng(latlng);
      if (!map.hasLayer(marker)) marker.addTo(map);
    }
    turnMarker(state.rotation);
  }

  function turnMarker(rotation) {
    state.rotation = rotation;
    var el = marker && marker.getElement();
    var arrow = el && el.querySelector(".zov-arrow");
    if (arrow) arrow.style.transform = "rotate(" + (-rotation) + "deg)";
  }

  // --- Longitudes across 180 ----------------------------------------------
  // A drive over the 180th meridian arrives as longitudes jumping from +180
  // to -180. Each track is drawn with continuous longitudes (a point may lie
  // beyond +-180), and every other position is drawn on the copy of the world
  // nearest the tracks (or the view), so lines, marks and marker stay together
  // instead of spanning the whole world.

  function nearLng(lng, ref) { return lng + 360 * Math.round((ref - lng) / 360); }

  function referenceLng() {
    var keys = Object.keys(state.lines);
    for (var i = 0; i < keys.length; i++) {
      var pts = state.lines[keys[i]].getLatLngs();
      if (pts.length) return pts[0].lng;
    }
    return map.getCenter().lng;
  }

  // --- Direction of travel -------------------------------------------------
  // A camera's heading lags the track, some cameras write a heading that is
  // not the direction of travel, and the last point of a track carries none
  // at all. Where the marker stands on the playing file's track, the arrow
  // therefore points along the track; elsewhere it follows the angle the
  // player sent.
  var NEAR_TRACK_M = 30;    // the marker counts as on the track within this distance
  var MIN_STEP_M = 1;       // a step shorter than this shows no direction
  var LOOK_POINTS = 5;      // points looked at either side for a step

  function metres(a, b) {
    var dy = (b[0] - a[0]) * 111320, dx = (b[1] - a[1]) * 111320 * Math.cos(a[0] * Math.PI / 180);
    return Math.sqrt(dx * dx + dy * dy);
  }

  function bearing(a, b) {
    var r = Math.PI / 180, dl = (b[1] - a[1]) * r;
    var y = Math.sin(dl) * Math.cos(b[0] * r);
    var x = Math.cos(a[0] * r) * Math.sin(b[0] * r) - Math.sin(a[0] * r) * Math.cos(b[0] * r) * Math.cos(dl);
    return (Math.atan2(y, x) / r + 360) % 360;
  }

  // Bearing (clockwise from north) of the track at [lat, lng], or null.
  function trackBearing(at) {
    var best = null, bestD = Infinity, bestI = 0;
    Object.keys(state.tracks).forEach(function (k) {
      if (state.current !== null && +k !== state.current) return;
      var list = state.tracks[k].filter(function (p) { return p; });
      for (var i = 0; i < list.length; i++) {
        var d = metres(at, list[i]);
        if (d < bestD) { bestD = d; best = list; bestI = i; }
      }
    });
    if (!best || bestD > NEAR_TRACK_M) return null;
    var j;
    for (j = bestI + 1; j < best.length && j <= bestI + LOOK_POINTS; j++) {
      if (metres(best[bestI], best[j]) >= MIN_STEP_M) return bearing(best[bestI], best[j]);
    }
    for (j = bestI - 1; j >= 0 && j >= bestI - LOOK_POINTS; j--) {
      if (metres(best[j], best[bestI]) >= MIN_STEP_M) return bearing(best[j], best[bestI]);
    }
    return null;
  }

  function isOnline() { return state.tilesLoaded > 0; }

  function fitTracks() {
    var bounds = null;
    Object.keys(state.lines).forEach(function (k) {
      var b = state.lines[k].getBounds();
      if (b.isValid()) bounds = bounds ? bounds.extend(b) : L.latLngBounds(b.getSouthWest(), b.getNorthEast());
    });
    if (!bounds) return;
    var right = map.getSize().x > 3 * DIALS_PX ? DIALS_PX : 0;
    own(function () {
      map.fitBounds(bounds, { paddingTopLeft: [FIT_PADDING, FIT_PADDING],
                              paddingBottomRight: [FIT_PADDING + right, FIT_PADDING], animate: false,
                              maxZoom: isOnline() ? ONLINE_MAX_ZOOM : OFFLINE_MAX_ZOOM });
    });
    state.fitted = true;
    // A new drawing shows the whole track and follows its marker again.
    setFollow(true);
  }

  // --- Following -----------------------------------------------------------
  // Every move of the view the page makes itself runs inside own(); a move or
  // zoom that starts outside it is the user's (drag, wheel, zoom buttons,
  // keys, box zoom) and stops following.
  var ownMoves = 0, followControl = null, followLabel = null;
  function own(fn) {
    ownMoves++;
    try { return fn(); } finally { ownMoves--; }
  }

  function setFollow(on) {
    state.follow = on;
    if (followControl) followControl.style.display = on ? "none" : "";
  }

  function panToMarker() {
    if (marker && map.hasLayer(marker)) own(function () { map.panTo(marker.getLatLng(), { animate: false }); });
  }

  // The button that turns following back on: a target symbol and the
  // player's text for it (SetTexts), shown only while the view does not follow.
  var FOLLOW_SVG =
    '<svg width="16" height="16" viewBox="-8 -8 16 16" aria-hidden="true">' +
    '<circle r="5" fill="none" stroke="currentColor" stroke-width="2"/><circle r="1.8" fill="currentColor"/>' +
    '<path d="M0,-8V-5M0,5V8M-8,0H-5M5,0H8" stroke="currentColor" stroke-width="2"/></svg>';
  var FollowControl = L.Control.extend({
    options: { position: "topleft" },
    onAdd: function () {
      var button = L.DomUtil.create("button", "zov-follow");
      button.type = "button";
      button.innerHTML = FOLLOW_SVG;
      followLabel = L.DomUtil.create("span", "zov-follow-text", button);
      L.DomEvent.disableClickPropagation(button);
      L.DomEvent.disableScrollPropagation(button);
      L.DomEvent.on(button, "click", function () {
        setFollow(true);
        panToMarker();
      });
      followControl = button;
      return button;
    }
  });

  function startFollowing() {
    new FollowControl().addTo(map);
    setFollow(true);
    map.on("movestart zoomstart", function () {
      if (!ownMoves && state.follow) setFollow(false);
    });
    // A change of the page's size (the window's, or the player's SetMaxXY)
    // keeps the centre without a move start: following goes on.
  }

  // --- Clicks on a drive's track -------------------------------------------
  // A click within CLICK_PX pixels of a drive's line asks the player to seek
  // to the drive time nearest the point of the line closest to the click.
  var CLICK_PX = 12;

  // The point of the drive's lines nearest a container point, with its
  // distance in pixels; null when no line is drawn.
  function nearestOnDrive(at) {
    var best = null;
    Object.keys(state.lines).forEach(function (k) {
      var pts = state.lines[k].getLatLngs().map(function (p) { return map.latLngToContainerPoint(p); });
      for (var i = 0; i < pts.length; i++) {
        var q = i + 1 < pts.length ? L.LineUtil.closestPointOnSegment(at, pts[i], pts[i + 1]) : pts[i];
        var d = at.distanceTo(q);
        if (!best || d < best.px) best = { px: d, point: q };
      }
    });
    return best;
  }

  function onMapClick(e) {
    if (!state.drive) return;
    var hit = nearestOnDrive(e.containerPoint);
    if (!hit || hit.px > CLICK_PX) return;
    var at = map.containerPointToLatLng(hit.point);
    var lng = L.Util.wrapNum(at.lng, [-180, 180], true);
    state.lastSeek = [lng, at.lat];
    if (window.zovPlayer && window.zovPlayer.seekNear) window.zovPlayer.seekNear(at.lat, lng);
  }

  function start(options) {
    var begin = performance.now();
    loadBasemap();
    state.basemapMs = performance.now() - begin;
    // No zoom animation: a zoom is done when its event has fired, so the
    // page's own moves (centring on the marker, the follow button) never run
    // into one half done and leave the view stuck in it.
    map = L.map("map", { zoomControl: true, attributionControl: false, worldCopyJump: true,
                         minZoom: 1, maxZoom: ONLINE_MAX_ZOOM, fadeAnimation: false,
                         zoomAnimation: false })
      .setView([25, 110], 3);
    L.control.attribution({ prefix: false }).addTo(map);
    map.createPane("basemap");
    map.getPane("basemap").style.zIndex = 150;
    new BasemapLayer({ pane: "basemap", attribution: "Natural Earth", keepBuffer: 1 }).addTo(map);
    tiles = L.tileLayer(options.tiles, {
      subdomains: options.subdomains || "abc",
      maxZoom: ONLINE_MAX_ZOOM,
      maxNativeZoom: options.maxNativeZoom || ONLINE_MAX_ZOOM,
      attribution: options.attribution || "",
      errorTileUrl: EMPTY_TILE,
      crossOrigin: false
    });
    tiles.on("tileload", function (e) {
      // A failed tile loads the empty picture afterwards; that is no success.
      if (e.tile && e.tile.src !== EMPTY_TILE) state.tilesLoaded++;
    });
    tiles.on("tileerror", function (e) {
      state.tileErrors++;
      if (e.tile) e.tile.style.visibility = "hidden";
    });
    // Also hidden when the layer no longer follows the tile (it was pruned
    // while its request failed).
    tiles.on("tileloadstart", function (e) {
      e.tile.addEventListener("error", function () { this.style.visibility = "hidden"; });
    });
    // The raster tiles join once the page has loaded: the player's calls wait
    // for the load, and a tile request that hangs (a network that drops
    // packets, a slow name lookup) must not hold it back.
    if (document.readyState === "complete") tiles.addTo(map);
    else window.addEventListener("load", function () { setTimeout(function () { tiles.addTo(map); }, 0); });
    trackLayer = L.layerGroup().addTo(map);
    markLayer = L.layerGroup().addTo(map);
    L.control.scale({ imperial: false }).addTo(map);
    labelBox = L.DomUtil.create("div", "zov-grid-labels", map.getContainer());
    map.on("move zoomend resize", updateGridLabels);
    updateGridLabels();
    startInset();
    startFollowing();
    map.on("click", onMapClick);
    state.startedAtMs = performance.now();
  }

  // --- Overview inset ------------------------------------------------------
  // A small map in the corner, INSET_ZOOM_STEPS levels further out, with the
  // basemap only: where on earth the main view is, even when the main view is
  // zoomed in further than the basemap has detail.
  var INSET_ZOOM_STEPS = 6;
  var inset = null, insetFrame = null, insetDot = null;

  function startInset() {
    var box = L.DomUtil.create("div", "zov-inset", map.getContainer());
    L.DomEvent.disableClickPropagation(box);
    inset = L.map(box, { zoomControl: false, attributionControl: false, dragging: false,
                         scrollWheelZoom: false, doubleClickZoom: false, boxZoom: false,
                         keyboard: false, touchZoom: false, fadeAnimation: false,
                         zoomAnimation: false, inertia: false });
    new BasemapLayer({ keepBuffer: 0 }).addTo(inset);
    insetFrame = L.rectangle(map.getBounds(), { color: "#d32f2f", weight: 1, fill: false,
                                                interactive: false }).addTo(inset);
    insetDot = L.circleMarker(map.getCenter(), { radius: 3, color: "#d32f2f", fillOpacity: 1,
                                                 interactive: false });
    map.on("moveend zoomend resize", updateInset);
    updateInset();
  }

  function updateInset(e) {
    if (!inset) return;
    if (e && e.type === "resize") inset.invalidateSize({ animate: false });
    inset.setView(map.getCenter(), Math.max(0, map.getZoom() - INSET_ZOOM_STEPS), { animate: false });
    insetFrame.setBounds(map.getBounds());
    if (marker && map.hasLayer(marker)) {
      insetDot.setLatLng(marker.getLatLng());
      if (!inset.hasLayer(insetDot)) insetDot.addTo(inset);
    } else if (inset.hasLayer(insetDot)) {
      inset.removeLayer(insetDot);
    }
  }

  // --- Functions the player calls (longitude first) ----------------------

  // The player centres the first point right after drawing a track; the
  // fitted view already shows it, and panning would push the rest of the
  // track (and its end mark) out of the view or under the dials. Any other
  // Center pans.
  // While the user has stopped following, Center leaves the view alone.
  window.Center = function (lng, lat) {
    var at = L.latLng(lat, nearLng(lng, referenceLng()));
    var keep = state.fitted && map.getBounds().contains(at);
    state.fitted = false;
    if (!keep && state.follow) own(function () { map.panTo(at, { animate: false }); });
  };

  window.Move = function (lng, lat, angle) {
    var at = [lat, nearLng(lng, referenceLng())];
    state.fitted = false;
    state.angle = angle;
    var b = trackBearing(at);
    ensureMarker(at);
    turnMarker(b === null ? (360 - angle) % 360 : 180 - b);  // the arrow points at 180 - rotation
    updateInset(null);
  };

  // Two-position move: the marker goes to the second position, turned along
  // the way from the first.
  window.MoveTow = function (lng1, lat1, lng2, lat2) {
    var y = Math.sin((lng2 - lng1) * Math.PI / 180) * Math.cos(lat2 * Math.PI / 180);
    var x = Math.cos(lat1 * Math.PI / 180) * Math.sin(lat2 * Math.PI / 180) -
            Math.sin(lat1 * Math.PI / 180) * Math.cos(lat2 * Math.PI / 180) * Math.cos((lng2 - lng1) * Math.PI / 180);
    var way = (Math.atan2(y, x) * 180 / Math.PI + 360) % 360;
    var lng = nearLng(lng2, referenceLng());
    state.fitted = false;
    state.angle = (way + 180) % 360;  // the angle the player sends for that heading
    ensureMarker([lat2, lng]);
    turnMarker((540 - way) % 360);  // the arrow then points along the way
    if (state.follow) own(function () { map.panTo([lat2, lng], { animate: false }); });
  };

  window.ClearLine = function () {
    trackLayer.clearLayers();
    state.lines = {};
    state.drive = false;
  };

  window.Clear = function () {
    state.tracks = {};
    state.current = null;
    markLayer.clearLayers();
    startMark = endMark = null;
    if (marker) map.removeLayer(marker);
    updateInset(null);  // nor its dot in the overview
  };

  window.SetPoistion = function (track, point, lng, lat) {
    var list = state.tracks[track] || (state.tracks[track] = []);
    list[point] = [lat, lng];
  };

  // Draws the stored points of a track as its line (without fitting).
  function drawLine(track, color, className) {
    var list = state.tracks[track] || [];
    if (state.lines[track]) trackLayer.removeLayer(state.lines[track]);
    delete state.lines[track];
    // Continuous longitudes, starting on the copy of the world of the tracks
    // already drawn (kept in the stored track too, for the direction lookup).
    var ref = Object.keys(state.lines).length ? referenceLng() : null;
    for (var i = 0; i < list.length; i++) {
      if (list[i] && ref === null) ref = list[i][1];
      if (!list[i]) continue;
      list[i] = [list[i][0], nearLng(list[i][1], ref)];
      ref = list[i][1];
    }
    var points = list.filter(function (p) { return p; });
    state.lines[track] = L.polyline(points, {
      color: color, weight: 5, opacity: 0.85, lineJoin: "round", interactive: false, className: className
    }).addTo(trackLayer);
  }

  window.Line = function (track) {
    drawLine(track, TRACK_COLORS[Math.abs(track) % TRACK_COLORS.length], "zov-line");
    fitTracks();
  };

  // The whole track of a drive: one array per segment, each of
  // longitude, latitude pairs in a row. Segments are drawn as separate
  // lines of one colour, so a gap in the drive shows as a gap; a click on
  // them seeks the drive.
  window.DriveTrack = function (segments) {
    window.ClearLine();
    state.tracks = {};
    for (var k = 0; k < segments.length; k++) {
      var flat = segments[k], list = [];
      for (var i = 0; i + 1 < flat.length; i += 2) list.push([flat[i + 1], flat[i]]);
      state.tracks[k] = list;
      drawLine(k, TRACK_COLORS[0], "zov-drive");
    }
    state.drive = true;
    fitTracks();
  };

  // Texts of the page in the player's language: {follow: "..."}.
  window.SetTexts = function (texts) {
    var follow = texts && texts.follow ? String(texts.follow) : "";
    if (followLabel) followLabel.textContent = follow;
    if (followControl) followControl.title = follow;
  };

  window.SetStartPoistion = function (lng, lat) {
    lng = nearLng(lng, referenceLng());
    // The playing file's track is the one that starts here; every segment of
    // a drive is the playing drive's.
    state.current = null;
    if (!state.drive) Object.keys(state.tracks).forEach(function (k) {
      var first = state.tracks[k].filter(function (p) { return p; })[0];
      if (state.current === null && first && Math.abs(first[0] - lat) < 1e-6 && Math.abs(first[1] - lng) < 1e-6) {
        state.current = +k;
      }
    });
    if (startMark) markLayer.removeLayer(startMark);
    startMark = L.marker([lat, lng], { icon: markIcon("zov-start", "S"), interactive: false }).addTo(markLayer);
  };

  window.SetEndPoistion = function (lng, lat) {
    lng = nearLng(lng, referenceLng());
    if (endMark) markLayer.removeLayer(endMark);
    endMark = L.marker([lat, lng], { icon: markIcon("zov-end", "E"), interactive: false }).addTo(markLayer);
  };

  // The browser area changed size (the page fills it).
  window.SetMaxXY = function (width, height) {
    state.size = [width, height];
    map.invalidateSize({ animate: false });
  };

  // The panel was shown, or the window maximised or restored.
  window.Test = function () {
    map.invalidateSize({ animate: false });
  };

  // --- For tests and diagnostics ------------------------------------------

  // Where the drawn arrow points, in degrees clockwise from north, or null.
  function arrowDirection() {
    var el = marker && map.hasLayer(marker) && marker.getElement();
    var tip = el && el.querySelector(".zov-tip"), box = el && el.querySelector(".zov-arrow");
    if (!tip || !box) return null;
    var t = tip.getBoundingClientRect(), b = box.getBoundingClientRect();
    var dx = t.left + t.width / 2 - (b.left + b.width / 2), dy = t.top + t.height / 2 - (b.top + b.height / 2);
    return (Math.atan2(dx, -dy) * 180 / Math.PI + 360) % 360;
  }

  window.ZovMap = {
    start: start,
    // Where a position is drawn, in pixels of the page.
    pixel: function (lng, lat) {
      var p = map.latLngToContainerPoint([lat, nearLng(lng, referenceLng())]);
      return [p.x, p.y];
    },
    state: function () {
      var m = marker && map.hasLayer(marker) ? marker.getLatLng() : null;
      var s = startMark ? startMark.getLatLng() : null, e = endMark ? endMark.getLatLng() : null;
      var c = map.getCenter();
      function px(mark) {
        if (!mark) return null;
        var p = map.latLngToContainerPoint(mark.getLatLng());
        return [p.x, p.y];
      }
      return {
        zoom: map.getZoom(),
        center: [c.lng, c.lat],
        marker: m ? [m.lng, m.lat] : null,
        angle: state.angle,
        rotation: state.rotation,
        arrowPointsTo: arrowDirection(),
        start: s ? [s.lng, s.lat] : null,
        end: e ? [e.lng, e.lat] : null,
        startPx: px(startMark),
        endPx: px(endMark),
        size: [map.getSize().x, map.getSize().y],
        insetDot: !!(inset && inset.hasLayer(insetDot)),
        lines: Object.keys(state.lines).map(function (k) { return [+k, state.lines[k].getLatLngs().length]; }),
        drive: state.drive,
        drawnDriveLines: document.querySelectorAll("#map .leaflet-overlay-pane path.zov-drive").length,
        follow: state.follow,
        followButton: followControl && followControl.style.display !== "none" ? (function () {
          var r = followControl.getBoundingClientRect();
          return { text: followLabel.textContent, x: r.left + r.width / 2, y: r.top + r.height / 2 };
        })() : null,
        lastSeek: state.lastSeek,
        // The finest scale drawn so far.
        landRings: decodedLevels().reduce(function (n, l) { return Math.max(n, l.rings.length); }, 0),
        borderLines: decodedLevels().reduce(function (n, l) { return Math.max(n, l.borders.length); }, 0),
        basemapScales: decodedLevels().map(function (l) { return l.name; }),
        basemapTiles: state.basemapTiles,
        basemapScaleAt: state.basemapScaleAt,
        basemapMs: state.basemapMs,
        startedAtMs: state.startedAtMs,
        tilesLoaded: state.tilesLoaded,
        tileErrors: state.tileErrors,
        visibleBrokenTiles: Array.prototype.filter.call(
          document.querySelectorAll(".leaflet-tile-pane img.leaflet-tile"),
          function (img) {
            return img.complete && img.naturalWidth === 0 && img.getAttribute("src") !== EMPTY_TILE &&
                   getComputedStyle(img).visibility !== "hidden";
          }).length
      };
    }
  };
})();
