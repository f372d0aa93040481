// The control page: routes, pre-settings, power, audio and switches over
// /api/v1, kept up to date by the events.
"use strict";
(function () {
  const PORTS = [1, 2, 3, 4];
  const SWITCHES = [["ir", "IR control"], ["keys", "Panel keys"], ["apm", "APM"],
                    ["beeper", "Beeper"]];
  const SOURCES = ["Original", "Analog L/R In embedded", "Analog embedded when DVI"];
  const state = { routing: {}, power: null, audio: {}, switches: {}, link: "lost" };
  let tags = { inputs: {}, outputs: {} };
  let socket = null;
  const $ = (id) => document.getElementById(id);

  function token() { return sessionStorage.getItem("matrix-token") || ""; }

  async function api(method, path, body) {
    const headers = {};
    if (token()) headers.Authorization = "Bearer " + token();
    if (body !== undefined) headers["Content-Type"] = "application/json";
    const r = await fetch("/api/v1" + path, {
      method, headers, body: body === undefined ? undefined : JSON.stringify(body)
    });
    let data = null;
    try { data = await r.json(); } catch (e) { data = null; }
    if (r.status === 401) { askToken(); throw new Error("token"); }
    if (!r.ok) {
      const text = data && data.error ? data.error : "Request failed (" + r.status + ")";
      $("message").textContent = text;
      throw new Error(text);
    }
    $("message").textContent = "";
    return data;
  }

  function askToken(wrong) {
    if (socket) { socket.onclose = null; socket.close(); socket = null; }
    $("panel").hidden = true;
    $("link").hidden = true;
    $("login").hidden = false;
    $("login-error").textContent = token() ? "The token was not accepted." : "";
    sessionStorage.removeItem("matrix-token");
    $("token").focus();
  }

  function tag(kind, n) {
    const t = (tags[kind] || {})[n];
    const base = (kind === "inputs" ? "Input " : "Output ") + n;
    return t ? base + " (" + t + ")" : base;
  }

  // A header cell whose long name is cut short on screen after a few lines;
  // the whole name stays in the text that screen readers read.
  function headerCell(scope, kind, n) {
    const th = document.createElement("th");
    th.scope = scope;
    const span = document.createElement("span");
    span.className = "name";
    span.textContent = tag(kind, n);
    th.title = span.textContent;
    th.appendChild(span);
    return th;
  }

  function buildGrid() {
    const head = $("grid-head");
    while (head.children.length > 1) head.removeChild(head.lastChild);
    PORTS.forEach((i) => head.appendChild(headerCell("col", "inputs", i)));
    const body = $("grid-body");
    body.textContent = "";
    PORTS.forEach((o) => {
      const tr = document.createElement("tr");
      tr.appendChild(headerCell("row", "outputs", o));
      PORTS.forEach((i) => {
        const td = document.createElement("td");
        const b = document.createElement("button");
        b.type = "button";
        b.id = "route-" + o + "-" + i;
        b.textContent = String(i);
        b.setAttribute("aria-label", tag("inputs", i) + " to " + tag("outputs", o));
        b.addEventListener("click", () => api("PUT", "/routing/" + o, { input: i })
          .then((d) => { Object.assign(state.routing, d.routing); show(); }).catch(() => {}));
        td.appendChild(b);
        tr.appendChild(td);
      });
      body.appendChild(tr);
    });
  }

  function buildAudio() {
    const box = $("audio");
    box.textContent = "";
    PORTS.forEach((i) => {
      const label = document.createElement("label");
      label.textContent = tag("inputs", i);
      const sel = document.createElement("select");
      sel.id = "audio-" + i;
      SOURCES.forEach((name, k) => {
        const opt = document.createElement("option");
        opt.value = String(k + 1);
        opt.textContent = name;
        sel.appendChild(opt);
      });
      sel.addEventListener("change", () => api("PUT", "/audio/" + i, { source: Number(sel.value) })
        .catch(() => show()));
      label.appendChild(sel);
      box.appendChild(label);
    });
  }

  function buildSwitches() {
    const list = $("switches");
    list.textContent = "";
    SWITCHES.forEach(([name, label]) => {
      const li = document.createElement("li");
      const b = document.createElement("button");
      b.type = "button";
      b.id = "switch-" + name;
      b.textContent = label;
      b.addEventListener("click", () => api("PUT", "/switches/" + name,
        { on: state.switches[name] !== true })
        .then((d) => { Object.assign(state.switches, d); show(); }).catch(() => {}));
      li.appendChild(b);
      list.appendChild(li);
    });
  }

  async function loadPresets() {
    const list = $("presets");
    list.textContent = "";
    let data;
    try { data = await api("GET", "/presets"); } catch (e) { return; }
    (data.presets || []).forEach((p) => {
      const li = document.createElement("li");
      const b = document.createElement("button");
      b.type = "button";
      b.id = "preset-" + p.number;
      b.textContent = p.name || ("Pre-setting " + p.number);
      const routes = Object.keys(p.outputs || {});
      if (routes.length === 0) {
        b.disabled = true;
        b.textContent += " (empty)";
        b.setAttribute("aria-label", b.textContent);
      } else {
        b.setAttribute("aria-label", "Apply " + b.textContent + ": inputs " +
                       routes.map((o) => p.outputs[o]).join(", "));
      }
      b.addEventListener("click", () => api("POST", "/presets/" + p.number + "/apply")
        .then((d) => { Object.assign(state.routing, d.routing || {}); show(); }).catch(() => {}));
      li.appendChild(b);
      list.appendChild(li);
    });
  }

  function show() {
    PORTS.forEach((o) => PORTS.forEach((i) => {
      $("route-" + o + "-" + i).setAttribute("aria-pressed", String(state.routing[o] === i));
    }));
    const power = $("power");
    power.setAttribute("aria-pressed", String(state.power === true));
    power.textContent = state.power === true ? "Power: on" : state.power === false ? "Power: off"
                                                                                  : "Power: unknown";
    PORTS.forEach((i) => { if (state.audio[i]) $("audio-" + i).value = String(state.audio[i]); });
    SWITCHES.forEach(([name, label]) => {
      const b = $("switch-" + name);
      b.setAttribute("aria-pressed", String(state.switches[name] === true));
      b.textContent = label + (state.switches[name] === true ? ": on"
                                : state.switches[name] === false ? ": off" : "");
    });
    const link = $("link");
    const up = state.link === "connected" && socket !== null;
    link.textContent = up ? "Matrix connected" : "Link to the matrix lost";
    link.className = up ? "connected" : "lost";
    document.body.classList.toggle("offline", !up);
  }

  function onEvent(e) {
    switch (e.event) {
    case "hello":
      Object.assign(state, e.state);
      if (state.link === "connected") $("message").textContent = "";
      break;
    case "routing": state.routing[e.output] = e.input; break;
    case "power": state.power = e.on; break;
    case "audio": state.audio[e.input] = e.source; break;
    case "switch": state.switches[e.name] = e.on; break;
    case "link":
      state.link = e.state;
      // What failed while the link was down is no news once it is back.
      if (e.state === "connected") $("message").textContent = "";
      break;
    case "tags": tags = e.tags; buildGrid(); buildAudio(); break;
    case "presets": loadPresets(); break;
    default: return;
    }
    show();
  }

  function listen() {
    const url = (location.protocol === "https:" ? "wss://" : "ws://") + location.host +
                "/api/v1/events";
    socket = new WebSocket(url);
    socket.onopen = () => { if (token()) socket.send(JSON.stringify({ token: token() })); };
    socket.onmessage = (m) => { try { onEvent(JSON.parse(m.data)); } catch (e) { } };
    socket.onclose = () => {
      socket = null;
      state.link = "lost";
      show();
      setTimeout(listen, 2000);
    };
  }

  async function start() {
    try { tags = await api("GET", "/tags"); } catch (e) { return; }
    $("login").hidden = true;
    $("link").hidden = false;
    $("panel").hidden = false;
    buildGrid();
    buildAudio();
    buildSwitches();
    show();
    loadPresets();
    listen();
  }

  document.addEventListener("DOMContentLoaded", () => {
    $("power").addEventListener("click", () => api("PUT", "/power", { on: state.power !== true })
      .then((d) => { state.power = d.on; show(); }).catch(() => {}));
    $("login").addEventListener("submit", (ev) => {
      ev.preventDefault();
      sessionStorage.setItem("matrix-token", $("token").value);
      start();
    });
    start();
  });
})();
