// The console's inspector and log: what drew an item on a receipt (its bytes and the log's words
// for them), and the printer's log lines, each leading to what it drew. Loaded before console.js,
// whose state and helpers these use once the page has started.

// ---- the inspector

function overlapping(events, from, to) {
  return events.filter((e) => e.from < to && e.to > from);
}

function eventList(events) {
  if (!events.length) {
    return el("p", { class: "note", text: "No events recorded for these bytes." });
  }
  return el("ol", { class: "events" }, ...events.map((e) => el("li", {},
      el("div", { class: "words", text: e.text }),
      el("div", { class: "hex", text: e.bytes + (e.to - e.from > 64 ? " …" : "") }),
      el("div", { class: "at", text: `bytes ${e.from}–${e.to}` }))));
}

function inspect(r, data, index, pinned) {
  const item = data.items[index];
  const events = overlapping(data.events || [], item.from, item.to);
  if (item.storedFrom !== undefined) {
    events.unshift(...overlapping(data.events || [], item.storedFrom, item.storedTo));
  }
  const parts = [
    el("h3", { text: itemName(item) }),
    el("div", { class: "meta", text:
        `Receipt #${r.number} · ${item.type}` +
        (item.box ? ` at ${item.box.x},${item.box.y}, ${item.box.width} × ${item.box.height} dots` : "") +
        ` · bytes ${item.from}–${item.to}` + (pinned ? " · pinned" : "") }),
  ];
  if (item.type === "text") {
    parts.push(el("div", { class: "meta", text:
        `font ${item.font}, size ${item.size.width}×${item.size.height}` +
        (item.bold ? ", bold" : "") + (item.underline ? `, underline ${item.underline}` : "") +
        (item.reverse ? ", reverse" : "") + (item.upsideDown ? ", upside down" : "") +
        (item.rotated ? ", rotated" : "") }));
  }
  if (item.dataHex) parts.push(el("div", { class: "said", text: `data: ${item.dataHex}` }));
  parts.push(eventList(events));
  $("inspector").replaceChildren(...parts);
  for (const node of document.querySelectorAll(".item.hover")) node.classList.remove("hover");
  const box = document.querySelector(`#receipt-${r.number} .item[data-index="${index}"]`);
  if (box) box.classList.add("hover");
}

function pick(r, data, index) {
  for (const node of document.querySelectorAll(".item.picked")) node.classList.remove("picked");
  state.pinned = { r, data, index };
  const box = document.querySelector(`#receipt-${r.number} .item[data-index="${index}"]`);
  if (box) box.classList.add("picked");
  inspect(r, data, index, true);
}

function restorePinned() {
  for (const node of document.querySelectorAll(".item.hover")) node.classList.remove("hover");
  if (state.pinned) inspect(state.pinned.r, state.pinned.data, state.pinned.index, true);
}

function showHint() {
  $("inspector").replaceChildren(el("p", { class: "note", text:
      "Hover or click something on a receipt to see the bytes that drew it; click a log line " +
      "to find what it drew." }));
}

// ---- the log

function logLine(line) {
  const linked = line.receipt && line.from !== undefined;
  const kind = /^status now/.test(line.text) ? " is-status" : /^paper: /.test(line.text) ? " is-paper" : "";
  const item = el("li", {
    class: (linked ? "linked" : "") + kind, "data-sequence": line.sequence,
    tabindex: linked ? 0 : null, role: linked ? "button" : null,
  }, el("span", { class: "src", text: line.connection ? `${line.link}#${line.connection}` : line.link }),
     el("span", { class: "txt", text: line.text }),
     line.receipt ? el("span", { class: "rc", text: `#${line.receipt}` }) : null);
  if (linked) {
    item.addEventListener("click", () => findLine(line, item));
    item.addEventListener("keydown", (e) => {
      if (e.key === "Enter" || e.key === " ") { e.preventDefault(); findLine(line, item); }
    });
  }
  return item;
}

function renderLog() {
  const p = page(state.current);
  const log = $("log");
  log.replaceChildren(...p.log.map(logLine));
  log.scrollTop = log.scrollHeight;
}

function appendLog(line) {
  const log = $("log");
  const atEnd = log.scrollHeight - log.scrollTop - log.clientHeight < 24;
  log.append(logLine(line));
  while (log.children.length > MAX_LOG) log.firstChild.remove();
  if (atEnd) log.scrollTop = log.scrollHeight;
}

// A log line clicked: the item its bytes drew, highlighted on its receipt.
async function findLine(line, node) {
  for (const n of document.querySelectorAll(".log li.picked")) n.classList.remove("picked");
  node.classList.add("picked");
  const p = page(state.current);
  let data;
  try { data = await p.dataOf(line.receipt); } catch (e) { return; }
  const r = p.receipts.find((x) => x.number === line.receipt) ||
            { number: line.receipt, link: line.link, connection: line.connection };
  const card = $(`receipt-${line.receipt}`);
  const index = data.items.findIndex((item) => item.from < line.to && item.to > line.from ||
      (item.storedFrom !== undefined && item.storedFrom < line.to && item.storedTo > line.from));
  if (card) {
    const sheet = card.querySelector(".sheet");
    await addItems(p, r, sheet);
    const box = sheet.querySelector(`.item[data-index="${index}"]`);
    (box || card).scrollIntoView({ block: "center", behavior: "smooth" });
    if (box) {
      box.classList.remove("flash");
      void box.offsetWidth;
      box.classList.add("flash");
    }
  }
  if (index >= 0) return pick(r, data, index);
  $("inspector").replaceChildren(
      el("h3", { text: line.text }),
      el("div", { class: "meta", text:
          `Receipt #${line.receipt} · bytes ${line.from}–${line.to} · drew nothing of its own` }),
      eventList(overlapping(data.events || [], line.from, line.to)));
}
