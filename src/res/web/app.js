"use strict";
// The live page: tiles from /api/meters, every reading from the /api/stream
// events, a rolling chart of the last minute per meter. No framework.
const WINDOW_MS = 60000;
const tiles = new Map();  // meter name -> {el, points: [[t, dBm]], fields}
const main = document.getElementById("meters");
const status = document.getElementById("status");
let received = 0;

function text(el, value) { if (el.textContent !== value) el.textContent = value; }

function formatWatts(w) {
  if (w === null || !isFinite(w)) return "–";
  const units = [[1, "W"], [1e-3, "mW"], [1e-6, "µW"], [1e-9, "nW"], [1e-12, "pW"]];
  for (const [scale, name] of units) {
    if (Math.abs(w) >= scale || scale === 1e-12) return (w / scale).toPrecision(4) + " " + name;
  }
  return "–";
}

function tileFor(name) {
  let t = tiles.get(name);
  if (t) return t;
  const el = document.getElementById("tile").content.firstElementChild.cloneNode(true);
  el.querySelector(".name").textContent = name;
  main.appendChild(el);
  t = { el, points: [], q: (s) => el.querySelector(s) };
  t.dbm = t.q(".dbm"); t.watt = t.q(".watt"); t.temp = t.q(".temp");
  t.battery = t.q(".battery"); t.limit = t.q(".limit"); t.link = t.q(".link");
  t.canvas = t.q(".chart");
  tiles.set(name, t);
  return t;
}

function showLink(t, lost) {
  t.el.classList.toggle("lost", lost);
  text(t.link, lost ? "lost" : "connected");
  t.link.className = "link" + (lost ? " lostword" : "");
}

function showLimit(t, limit) {
  text(t.limit, limit === null || limit === undefined ? "off" : limit);
  t.limit.className = "limit" + (limit ? " " + limit : "");
}

function onReading(r) {
  const t = tileFor(r.meter);
  if (r.event === "link_lost") { showLink(t, true); t.points.push([Date.now(), null]); return; }
  if (r.event === "reconnected") { showLink(t, false); return; }
  received++;
  showLink(t, false);
  text(t.dbm, isFinite(r.power_dbm) && r.power_dbm !== null ? r.power_dbm.toFixed(2) : "–");
  text(t.watt, formatWatts(r.power_w));
  text(t.temp, r.temperature_c === null ? "–" : r.temperature_c.toFixed(1) + " °C");
  text(t.battery, r.battery_percent === null ? "–" :
       r.battery_percent + " %" + (r.battery_low ? " (low)" : ""));
  if ("limit" in r) showLimit(t, r.limit);
  if (r.power_dbm !== null) t.points.push([Date.parse(r.time) || Date.now(), r.power_dbm]);
}

function draw(t, now) {
  const c = t.canvas, ctx = c.getContext("2d");
  const w = c.clientWidth, h = c.clientHeight, ratio = window.devicePixelRatio || 1;
  if (c.width !== Math.round(w * ratio)) { c.width = Math.round(w * ratio); c.height = Math.round(h * ratio); }
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, w, h);
  while (t.points.length && t.points[0][0] < now - WINDOW_MS) t.points.shift();
  const values = t.points.filter((p) => p[1] !== null).map((p) => p[1]);
  if (!values.length) return;
  let lo = Math.min(...values), hi = Math.max(...values);
  if (hi - lo < 1) { lo -= 0.5; hi += 0.5; }
  ctx.fillStyle = "#667"; ctx.font = "10px system-ui";
  ctx.fillText(hi.toFixed(1), 2, 10); ctx.fillText(lo.toFixed(1), 2, h - 2);
  ctx.strokeStyle = "#1565c0"; ctx.lineWidth = 1.5; ctx.beginPath();
  let pen = false;
  for (const [time, v] of t.points) {
    if (v === null) { pen = false; continue; }
    const x = w - (now - time) / WINDOW_MS * w;
    const y = h - 4 - (v - lo) / (hi - lo) * (h - 8);
    if (pen) ctx.lineTo(x, y); else ctx.moveTo(x, y);
    pen = true;
  }
  ctx.stroke();
}

function frame() {
  const now = Date.now();
  for (const t of tiles.values()) draw(t, now);
  requestAnimationFrame(frame);
}

async function refreshMeters() {
  try {
    const res = await fetch("api/meters", { cache: "no-store" });
    const body = await res.json();
    const select = document.getElementById("channel");
    for (const m of body.meters) {
      const t = tileFor(m.name);
      showLimit(t, m.limit);
      showLink(t, m.lost || m.state !== "connected");
      t.el.title = `${m.model} ${m.serial} · firmware ${m.firmware} · calibrated ${m.calibration_date}` +
                   ` · ${m.frequency_mhz} MHz · channel ${m.channel}`;
      if (!select.querySelector(`option[value="${m.channel}"]`)) {
        const o = document.createElement("option");
        o.value = m.channel; o.textContent = `${m.channel}: ${m.name}`;
        select.appendChild(o);
      }
    }
    document.getElementById("change").hidden = !body.writable;
  } catch (e) {
    text(status, "cannot read /api/meters");
  }
}

document.getElementById("settings").addEventListener("submit", async (ev) => {
  ev.preventDefault();
  const answer = document.getElementById("answer");
  const body = {};
  const num = (id) => document.getElementById(id).value;
  if (num("frequency") !== "") body.frequency_mhz = parseInt(num("frequency"), 10);
  if (num("offset") !== "") body.offset_db = parseFloat(num("offset"));
  if (num("count") !== "") body.average_count = parseInt(num("count"), 10);
  body.offset_on = document.getElementById("offsetOn").checked;
  body.average_on = document.getElementById("averageOn").checked;
  const channel = document.getElementById("channel").value;
  const password = document.getElementById("password").value;
  try {
    const res = await fetch(`api/meters/${channel}/settings`, {
      method: "POST",
      headers: { "Content-Type": "application/json",
                 "Authorization": "Basic " + btoa(unescape(encodeURIComponent("web:" + password))) },
      body: JSON.stringify(body),
    });
    answer.textContent = (await res.text()).trim();
  } catch (e) {
    answer.textContent = "the request failed";
  }
  refreshMeters();
});

function connect() {
  const source = new EventSource("api/stream");
  source.onopen = () => text(status, "live");
  source.onerror = () => text(status, "reconnecting…");
  source.onmessage = (ev) => { try { onReading(JSON.parse(ev.data)); } catch (e) { /* a torn line */ } };
  source.addEventListener("dropped", (ev) => text(status, `live (${ev.data} readings dropped)`));
}

refreshMeters();
setInterval(refreshMeters, 1000);
connect();
requestAnimationFrame(frame);
setInterval(() => { if (received) text(status, `live · ${received} readings`); }, 1000);
