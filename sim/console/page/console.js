// The console of pos-printer-sim: follows the printers through the server's pushed events
// (/api/events) and its JSON API. One printer is shown at a time; a printer's receipts and log are
// loaded when its tab is first opened and kept up to date from the events from then on.
"use strict";

const MAX_RECEIPTS = 200;  // receipts kept on the page for a printer (older ones: "Show older")
const MAX_LOG = 500;       // log lines kept for a printer
const PAGE = 50;           // receipts loaded at once

const $ = (id) => document.getElementById(id);

function el(tag, props, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props || {})) {
    if (value === undefined || value === null || value === false) continue;
    if (key === "class") node.className = value;
    else if (key === "text") node.textContent = value;
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value === true ? "" : String(value));
  }
  for (const child of children) {
    if (child !== null && child !== undefined) node.append(child);
  }
  return node;
}

async function api(path, options) {
  const answer = await fetch(path, Object.assign({ cache: "no-store" }, options));
  const type = answer.headers.get("Content-Type") || "";
  const body = type.startsWith("application/json") ? await answer.json() : null;
  if (!answer.ok && answer.status !== 202) {
    throw new Error((body && body.error) || `HTTP ${answer.status}`);
  }
  return body;
}

const state = {
  printers: [],          // from /api/printers
  current: 1,
  zoom: Number(localStorage.getItem("pos-sim-zoom")) === 2 ? 2 : 1,
  pages: new Map(),      // printer number -> Page
  pinned: null,          // { receipt, index } of the item clicked
  events: null,
  ready: false,
  queued: [],            // events that came before the first load ended
};

// What the page keeps of one printer.
class Page {
  constructor(number) {
    this.number = number;
    this.receipts = [];     // newest first
    this.more = false;      // older ones in the folder
    this.cleared = 0;
    this.log = [];
    this.printing = new Map();  // connection -> { link, width, height, sequence }
    this.data = new Map();      // receipt number -> Promise of its data file
    this.loaded = false;
    this.loading = null;
    this.pending = [];          // events that came while it loaded
  }

  dataOf(number) {
    if (!this.data.has(number)) {
      const promise = api(`/api/printers/${this.number}/receipts/${number}`).catch((e) => {
        this.data.delete(number);
        throw e;
      });
      this.data.set(number, promise);
      if (this.data.size > 400) this.data.delete(this.data.keys().next().value);
    }
    return this.data.get(number);
  }
}

function page(number) {
  if (!state.pages.has(number)) state.pages.set(number, new Page(number));
  return state.pages.get(number);
}

// ---- loading

async function loadPrinters() {
  const answer = await api("/api/printers");
  state.printers = answer.printers;
  renderTabs();
  renderFacts();
}

let refreshTimer = null;
let refreshing = false;
function refreshPrinters() {  // counters and status after something happened (at most ~2 a second)
  if (refreshTimer) return;
  refreshTimer = setTimeout(async () => {
    refreshTimer = null;
    if (refreshing) return refreshPrinters();
    refreshing = true;
    try { await loadPrinters(); } catch (e) { /* the event stream tells when the console is gone */ }
    refreshing = false;
  }, 500);
}

function load(number) {
  const p = page(number);
  if (p.loading) return p.loading;
  p.loading = (async () => {
    const [receipts, log, printing] = await Promise.all([
      api(`/api/printers/${number}/receipts?limit=${PAGE}`),
      api(`/api/printers/${number}/log`),
      api(`/api/printers/${number}/printing`),
    ]);
    p.receipts = receipts.receipts;
    p.more = receipts.more;
    p.cleared = receipts.clearedUpTo;
    p.log = log.lines;
    p.printing = new Map(printing.printing.map((x) => [x.connection, x]));
    p.loaded = true;
    const pending = p.pending;
    p.pending = [];
    for (const [kind, data] of pending) apply(kind, data);
    if (number === state.current) renderPrinter();
  })();
  p.loading.catch(() => { p.loading = null; });
  return p.loading;
}

async function loadOlder() {
  const p = page(state.current);
  const oldest = p.receipts[p.receipts.length - 1];
  if (!oldest) return;
  const answer = await api(
      `/api/printers/${p.number}/receipts?before=${oldest.number}&limit=${PAGE}`);
  p.receipts.push(...answer.receipts);
  p.more = answer.more;
  if (p.number === state.current) {
    for (const r of answer.receipts) $("paper").append(receiptCard(p, r, false, false));
    renderPaperState();
  }
}

// ---- the events

function connect() {
  const source = new EventSource("/api/events");
  state.events = source;
  const live = $("live");
  source.onopen = () => { live.textContent = "live"; live.className = "live on"; };
  source.onerror = () => {
    live.textContent = source.readyState === EventSource.CLOSED ? "disconnected" : "reconnecting…";
    live.className = "live off";
  };
  for (const kind of ["log", "receipt", "status", "printing", "cleared", "missed"]) {
    source.addEventListener(kind, (e) => {
      const data = JSON.parse(e.data);
      if (!state.ready) state.queued.push([kind, data]);
      else apply(kind, data);
    });
  }
}

function apply(kind, data) {
  if (kind === "missed") return reloadAll();
  const p = state.pages.get(data.printer);
  if (kind === "status") {
    const printer = state.printers.find((x) => x.number === data.printer);
    if (printer) printer.status = data.status;
    renderTabs();
    if (data.printer === state.current) renderStatus();
  }
  if (!p || (!p.loaded && !p.loading)) {
    if (kind === "receipt" || kind === "log") refreshPrinters();
    return;
  }
  if (!p.loaded) return p.pending.push([kind, data]);
  const shown = p.number === state.current;
  switch (kind) {
    case "log": {
      const last = p.log[p.log.length - 1];
      if (last && last.sequence >= data.sequence) return;  // loaded already
      p.log.push(data);
      if (p.log.length > MAX_LOG) p.log.shift();
      if (shown) appendLog(data);
      if (/^(connection from|job)/.test(data.text)) refreshPrinters();
      break;
    }
    case "receipt": {
      for (const line of p.log) {  // the lines of its job so far belong to it
        if (!line.receipt && line.link === data.link && line.connection === data.connection) {
          line.receipt = data.number;
        }
      }
      p.printing.delete(data.connection);
      if (data.number > p.cleared && !p.receipts.some((r) => r.number === data.number)) {
        p.receipts.unshift(data);
        if (p.receipts.length > MAX_RECEIPTS) { p.receipts.pop(); p.more = true; }
        if (shown) addReceipt(p, data);
      }
      if (shown) renderLog();
      refreshPrinters();
      break;
    }
    case "printing":
      if (data.height === 0) p.printing.delete(data.connection);
      else p.printing.set(data.connection, data);
      if (shown) renderGrowing(p);
      break;
    case "cleared":
      p.cleared = Math.max(p.cleared, data.upTo);
      p.receipts = p.receipts.filter((r) => r.number > p.cleared);
      p.more = false;
      if (shown) renderPaper();
      break;
  }
}

function reloadAll() {
  for (const p of state.pages.values()) {
    if (!p.loaded) continue;
    p.loaded = false;
    p.loading = null;
    p.data.clear();
    load(p.number);
  }
  refreshPrinters();
}

// ---- the bar

function renderTabs() {
  const tabs = $("tabs");
  if (tabs.children.length !== state.printers.length) {
    tabs.replaceChildren(...state.printers.map((p) => el("button", {
      type: "button", role: "tab", class: "tab", id: `tab-${p.number}`,
      "aria-controls": "printer", onclick: () => select(p.number),
    }, el("span", { class: "dot", "aria-hidden": "true" }), el("span", { class: "name" }),
       el("span", { class: "badge" }))));
  }
  for (const p of state.printers) {
    const tab = $(`tab-${p.number}`);
    tab.setAttribute("aria-selected", p.number === state.current ? "true" : "false");
    tab.tabIndex = p.number === state.current ? 0 : -1;
    tab.querySelector(".name").textContent = `Printer ${p.number}`;
    tab.querySelector(".badge").textContent = `${p.address} · ${p.counters.receipts}`;
    tab.querySelector(".dot").classList.toggle("stopped", !p.status.printing);
    tab.title = `${p.address}, ${p.status.text}, ${p.counters.receipts} receipts`;
  }
}

function select(number) {
  if (!state.printers.some((p) => p.number === number)) number = 1;
  state.current = number;
  state.pinned = null;
  history.replaceState(null, "", `#printer-${number}`);
  $("printer").setAttribute("aria-labelledby", `tab-${number}`);
  renderTabs();
  renderFacts();
  const p = page(number);
  if (p.loaded) renderPrinter();
  else {
    $("paper").replaceChildren();
    $("log").replaceChildren();
    load(number);
  }
}

function setZoom(zoom) {
  state.zoom = zoom;
  localStorage.setItem("pos-sim-zoom", String(zoom));
  $("zoom-1").setAttribute("aria-pressed", zoom === 1 ? "true" : "false");
  $("zoom-2").setAttribute("aria-pressed", zoom === 2 ? "true" : "false");
  renderPaper();
}

// ---- the printer's facts, status and counters

function currentPrinter() {
  return state.printers.find((p) => p.number === state.current);
}

function renderFacts() {
  const p = currentPrinter();
  if (!p) return;
  $("printer-title").textContent = `Printer ${p.number}`;
  $("fact-address").textContent = p.address;
  $("fact-mac").textContent = p.mac;
  $("fact-port").textContent = p.port ? `${p.port}${p.listening ? "" : " (not listening)"}` : "none";
  $("count-connections").textContent = p.counters.connections.toLocaleString();
  $("count-bytes").textContent = p.counters.bytes.toLocaleString();
  $("count-receipts").textContent = p.counters.receipts.toLocaleString();
  renderStatus();
}

function renderStatus() {
  const p = currentPrinter();
  if (!p) return;
  const s = p.status;
  for (const level of ["ok", "near-end", "out"]) {
    $(`paper-${level}`).setAttribute("aria-pressed", s.paper === level ? "true" : "false");
  }
  for (const flag of ["coverOpen", "offline", "cutterError", "drawerOpen"]) {
    $(flag).setAttribute("aria-checked", s[flag] ? "true" : "false");
  }
  const line = $("state");
  line.textContent = s.printing ? `Printing (${s.text})` : `Not printing: ${s.text}`;
  line.className = "state" + (s.printing ? (s.paper === "near-end" ? " warn" : "") : " stopped");
}

async function changeStatus(change) {
  const number = state.current;
  try {
    const answer = await api(`/api/printers/${number}/status`, {
      method: "PUT",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(change),
    });
    const printer = state.printers.find((x) => x.number === number);
    if (printer) printer.status = answer.status;
    renderTabs();
    if (number === state.current) renderStatus();
  } catch (e) {
    note(`Status not changed: ${e.message}`, true);
  }
}

// ---- printing a file, clearing

function note(text, bad) {
  const n = $("print-result");
  n.textContent = text;
  n.className = "note" + (bad ? " bad" : " good");
}

async function printFile(file) {
  if (!file) return;
  const number = state.current;
  note(`Printing ${file.name} (${file.size.toLocaleString()} bytes)…`);
  try {
    const answer = await api(
        `/api/printers/${number}/print?name=${encodeURIComponent(file.name)}`,
        { method: "POST", headers: { "Content-Type": "application/octet-stream" }, body: file });
    if (answer.waiting) return note(answer.error, true);
    const made = answer.receipts.filter((r) => r.number).map((r) => `#${r.number}`);
    note(made.length ? `${file.name}: receipt ${made.join(", ")}`
                     : `${file.name}: printed, no receipt (nothing on paper)`);
  } catch (e) {
    note(`${file.name} not printed: ${e.message}`, true);
  }
}

async function clearPaper() {
  try {
    await api(`/api/printers/${state.current}/receipts`, { method: "DELETE" });
  } catch (e) {
    note(`Not cleared: ${e.message}`, true);
  }
}

// ---- the paper

function renderPrinter() {
  renderPaper();
  renderLog();
  showHint();
}

function renderPaper() {
  const p = page(state.current);
  const paper = $("paper");
  paper.replaceChildren(...p.receipts.map((r, i) => receiptCard(p, r, false, i < 8)));
  renderGrowing(p);
  renderPaperState();
}

function renderPaperState() {
  const p = page(state.current);
  $("paper-empty").hidden = p.receipts.length > 0 || p.printing.size > 0;
  $("older").hidden = !p.more;
}

function addReceipt(p, receipt) {
  const paper = $("paper");
  const growing = paper.querySelectorAll(".receipt.growing");
  const card = receiptCard(p, receipt, true, true);
  paper.insertBefore(card, growing.length ? growing[growing.length - 1].nextSibling
                                          : paper.firstChild);
  const cards = paper.querySelectorAll(".receipt:not(.growing)");
  if (cards.length > MAX_RECEIPTS) cards[cards.length - 1].remove();
  renderGrowing(p);
  renderPaperState();
}

function sized(img, width, height) {
  img.width = width;
  img.height = height;
  img.style.width = `${width * state.zoom}px`;
  img.style.height = `${height * state.zoom}px`;
}

function receiptCard(p, r, fresh, eager) {
  const time = new Date(r.time);
  const img = el("img", { src: r.picture, alt: `Receipt ${r.number}`,
                          loading: fresh || eager ? "eager" : "lazy", decoding: "async" });
  sized(img, r.width || 576, r.height || 64);
  const sheet = el("div", { class: "sheet" }, img);
  const card = el("article", {
    class: "receipt" + (fresh ? " new" : ""), id: `receipt-${r.number}`,
    "aria-label": `Receipt ${r.number}`, "data-number": r.number,
  }, el("header", {},
        el("span", { class: "number", text: `#${r.number}` }),
        el("time", { datetime: r.time, text: time.toLocaleTimeString() }),
        el("span", { text: r.link ? `${r.link}#${r.connection}` : "earlier run" }),
        el("span", { text: r.end }),
        el("span", { text: `${r.width} × ${r.height}` }),
        r.data ? el("a", { href: r.data, target: "_blank", rel: "noopener", text: "data" }) : null,
        el("a", { href: r.picture, target: "_blank", rel: "noopener", text: "png" })),
     sheet);
  if (r.data) {
    const overlay = () => addItems(p, r, sheet);
    sheet.addEventListener("pointerenter", overlay, { once: true });
    img.addEventListener("load", () => { if (sheet.matches(":hover")) overlay(); }, { once: true });
  }
  return card;
}

function itemName(item) {
  switch (item.type) {
    case "text": return `text “${item.text}”`;
    case "barcode": return `barcode ${item.kind} ${item.data || item.text || ""}`.trim();
    case "symbol": return `${item.kind} ${item.data || ""}`.trim();
    case "image": return `image: ${item.kind}${item.label ? " " + item.label : ""}`;
    case "note": return `note: ${item.what}, ${item.why}`;
  }
  return item.type;
}

// The receipt's items as boxes over its picture, each a button the inspector follows.
async function addItems(p, r, sheet) {
  if (sheet.dataset.items) return;
  sheet.dataset.items = "loading";
  let data;
  try { data = await p.dataOf(r.number); } catch (e) { sheet.dataset.items = ""; return; }
  sheet.dataset.items = "shown";
  const z = state.zoom;
  data.items.forEach((item, index) => {
    if (!item.box || item.box.width <= 0 || item.box.height <= 0) return;
    const box = el("button", {
      type: "button", class: "item", "data-index": index, "data-type": item.type,
      "aria-label": `${itemName(item)}, bytes ${item.from} to ${item.to}`,
      title: itemName(item),
    });
    box.style.left = `${item.box.x * z}px`;
    box.style.top = `${item.box.y * z}px`;
    box.style.width = `${item.box.width * z}px`;
    box.style.height = `${item.box.height * z}px`;
    box.addEventListener("pointerenter", () => inspect(r, data, index, false));
    box.addEventListener("focus", () => inspect(r, data, index, false));
    box.addEventListener("pointerleave", restorePinned);
    box.addEventListener("click", () => pick(r, data, index));
    sheet.append(box);
  });
}

// ---- receipts still being printed

function renderGrowing(p) {
  const paper = $("paper");
  const present = new Set();
  for (const [connection, g] of p.printing) {
    present.add(String(connection));
    let card = paper.querySelector(`.receipt.growing[data-connection="${connection}"]`);
    const src = `/api/printers/${p.number}/printing/${connection}.png?v=${g.sequence}`;
    if (!card) {
      const img = el("img", { alt: `Receipt being printed on ${g.link}#${connection}` });
      card = el("article", {
        class: "receipt growing", "data-connection": connection,
        "aria-label": `Receipt being printed on ${g.link}#${connection}`,
      }, el("header", {}, el("span", { class: "number", text: "printing…" }),
            el("span", { text: `${g.link}#${connection}` }), el("span", { class: "size" })),
         el("div", { class: "sheet" }, img));
      paper.prepend(card);
    }
    const img = card.querySelector("img");
    // The next picture replaces the last once it has loaded, so the paper does not flicker.
    const next = new Image();
    next.onload = () => { img.src = src; sized(img, g.width, g.height); };
    next.src = src;
    card.querySelector(".size").textContent = `${g.width} × ${g.height}`;
  }
  for (const card of paper.querySelectorAll(".receipt.growing")) {
    if (!present.has(card.dataset.connection)) card.remove();
  }
  renderPaperState();
}

// ---- start

function wire() {
  $("zoom-1").addEventListener("click", () => setZoom(1));
  $("zoom-2").addEventListener("click", () => setZoom(2));
  for (const b of document.querySelectorAll("[data-paper]")) {
    b.addEventListener("click", () => changeStatus({ paper: b.dataset.paper }));
  }
  for (const b of document.querySelectorAll("[data-flag]")) {
    b.addEventListener("click", () =>
        changeStatus({ [b.dataset.flag]: b.getAttribute("aria-checked") !== "true" }));
  }
  $("tabs").addEventListener("keydown", (e) => {
    const step = e.key === "ArrowRight" ? 1 : e.key === "ArrowLeft" ? -1 : 0;
    if (!step) return;
    const i = state.printers.findIndex((p) => p.number === state.current);
    const next = state.printers[(i + step + state.printers.length) % state.printers.length];
    select(next.number);
    $(`tab-${next.number}`).focus();
  });
  const drop = $("drop");
  drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    printFile(e.dataTransfer.files[0]);
  });
  drop.addEventListener("keydown", (e) => {
    if (e.key === "Enter" || e.key === " ") { e.preventDefault(); $("file").click(); }
  });
  $("file").addEventListener("change", (e) => {
    printFile(e.target.files[0]);
    e.target.value = "";
  });
  $("clear").addEventListener("click", clearPaper);
  $("older").addEventListener("click", loadOlder);
}

async function start() {
  wire();
  setZoom(state.zoom);
  connect();
  const wanted = Number((location.hash.match(/^#printer-(\d+)$/) || [])[1]) || 1;
  for (;;) {
    try {
      await loadPrinters();
      break;
    } catch (e) {
      $("live").textContent = "cannot reach the console";
      $("live").className = "live off";
      await new Promise((resolve) => setTimeout(resolve, 2000));
    }
  }
  select(wanted);
  try { await page(state.current).loading; } catch (e) { /* shown as empty; events still come */ }
  state.ready = true;
  const queued = state.queued;
  state.queued = [];
  for (const [kind, data] of queued) apply(kind, data);
}

start();
