// The page around the viewer: it sizes the canvas, opens surfaces from drops,
// the file button, the gallery, a ?file= address or the page itself, keeps
// the address's #view= in step with the view, shows what went wrong, hands
// touches on to the viewer as drags, and keeps its controls in step with
// the view. The viewer's progress messages go to the console.
"use strict";

var Module = (function () {
  const canvas = document.getElementById("canvas");
  const message = document.getElementById("message");
  // How often the address catches up with the view, in milliseconds: the
  // browser limits how often a page may rewrite it.
  const followEvery = 250;
  // The longest view link or view text taken is the longest view file the
  // viewer reads, which every view it writes fits. A link reaches the viewer
  // on its stack, so a longer one is refused before it gets there.
  const longestLink = () => Module._longest_view_web();
  // Names and links from outside are cut to this many characters in a
  // message, which stays one short line.
  const longestEcho = 120;
  // Every surface reaches the viewer by this one path: a name from outside
  // may be "..", hold a NUL or run to a megabyte.
  const surfacePath = "/surface/shown.klein";
  let lastLink = "";
  // The name of the file on show, "" with none.
  let shownName = "";

  function say(text) {
    message.textContent = text;
    message.hidden = !text;
  }

  // Text from outside as a message shows it: control characters escaped,
  // and a long one cut in the middle.
  function echo(text) {
    const escaped = text.replace(/[\x00-\x1f\x7f]/g, (c) => "\\x" + c.charCodeAt(0).toString(16).padStart(2, "0"));
    return escaped.length <= longestEcho ? escaped : escaped.slice(0, longestEcho - 41) + "…" + escaped.slice(-40);
  }

  // Shows a surface from its bytes; says why not when it cannot, and the
  // surface on show stays.
  function showBytes(name, bytes) {
    let reason = "cannot be read";
    try {
      Module.FS.writeFile(surfacePath, bytes, { canOwn: true });
      try {
        reason = Module.ccall("show_file_web", "string", ["string", "number"], [surfacePath, 0]);
      } finally {
        Module.FS.unlink(surfacePath);
      }
    } catch (error) {
      console.warn(error);
    }
    say(reason ? echo(name) + ": " + reason : "");
    if (!reason)
      shownName = name.replace(/^.*\//, "");
    return !reason;
  }

  async function showFile(file) {
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      // A folder, or a file gone or too large for the browser.
      say(echo(file.name) + ": cannot be read");
      return false;
    }
    return showBytes(file.name, bytes);
  }

  async function showUrl(url) {
    let bytes;
    try {
      const response = await fetch(url);
      if (!response.ok) {
        say(echo(url) + ": cannot fetch: " + response.status + " " + echo(response.statusText));
        return false;
      }
      bytes = new Uint8Array(await response.arrayBuffer());
    } catch (error) {
      say(echo(url) + ": cannot fetch: the server cannot be reached or does not let this page read it");
      return false;
    }
    return showBytes(url, bytes);
  }

  function rewriteAddress(address) {
    try {
      history.replaceState(null, "", address);
    } catch (error) {
      // Some browsers refuse to rewrite the address of a page opened from disk.
    }
  }

  // The address names the file on show when it came from one, and no file
  // when the surface came from the user's disk.
  function setAddressFile(url) {
    // Slashes and colons may stand in a query as they are, and read better.
    const query = url ? "?file=" + encodeURIComponent(url).replace(/%2F/g, "/").replace(/%3A/g, ":") : "";
    rewriteAddress(location.pathname + query + location.hash);
    markGallery();
  }

  function markGallery() {
    const file = new URL(location.href).searchParams.get("file");
    for (const a of document.querySelectorAll("#gallery a")) {
      if (new URL(a.href).searchParams.get("file") === file)
        a.setAttribute("aria-current", "true");
      else
        a.removeAttribute("aria-current");
    }
  }

  function currentLink() {
    return Module.ccall("view_link_web", "string", [], []);
  }

  // Puts the view of link text on show. Returns what is wrong with it, ""
  // when nothing is; the view on show then stays.
  function showLink(link) {
    if (link.length > longestLink())
      return `view: not a view link: longer than ${longestLink()} characters`;
    // The viewer would read no further than a NUL.
    const fault = link.includes("\0") ? "not a view link"
      : Module.ccall("set_view_web", "string", ["string"], [link]);
    lastLink = currentLink();
    return fault ? "view " + echo(link) + ": " + fault : "";
  }

  // Puts the view of a view file's text on show, as a one-file page holds
  // it. Returns what is wrong with it, "" when nothing is.
  function showViewText(text) {
    if (text.length > longestLink() || text.includes("\0"))
      return "view: not a view file";
    const fault = Module.ccall("set_view_text_web", "string", ["string"], [text]);
    lastLink = currentLink();
    return fault ? "view: " + fault : "";
  }

  // Puts the view the address's #view= names on show, decoded here so that
  // only a link of bounded length reaches the viewer. Returns what is wrong
  // with it, "" when nothing is, null when the address names no view.
  function showAddressLink() {
    const encoded = location.hash.startsWith("#view=") ? location.hash.slice("#view=".length) : "";
    if (!encoded)
      return null;
    // A character takes at most nine escaped (three bytes of UTF-8): what
    // is longer still is too long however it decodes, and is refused as it
    // stands.
    let link = encoded;
    if (encoded.length <= 9 * longestLink()) {
      try {
        link = decodeURIComponent(encoded);
      } catch (error) {
        return "view " + echo(encoded) + ": not a view link: a broken % escape";
      }
    }
    return showLink(link);
  }

  function follow() {
    const link = currentLink();
    if (link === lastLink)
      return;
    lastLink = link;
    rewriteAddress("#view=" + link);
  }

  function fitCanvas() {
    const resize = (side) => Module._resize_web(Math.max(1, side));
    const observer = new ResizeObserver((entries) => {
      const entry = entries[0];
      if (entry.devicePixelContentBoxSize)
        resize(entry.devicePixelContentBoxSize[0].inlineSize);
      else
        resize(Math.round(entry.contentRect.width * devicePixelRatio));
    });
    try {
      observer.observe(canvas, { box: "device-pixel-content-box" });
    } catch (error) {
      observer.observe(canvas);
    }
  }

  function takeDrops() {
    let depth = 0;
    const dragging = (on) => document.body.classList.toggle("dragging", on);
    // Caught on the way down, before the canvas's own handler, so that every
    // drop on the page is shown here, with a message when refused.
    window.addEventListener("dragenter", (event) => {
      event.preventDefault();
      dragging(++depth > 0);
    }, true);
    window.addEventListener("dragleave", () => dragging(--depth > 0), true);
    window.addEventListener("dragover", (event) => event.preventDefault(), true);
    window.addEventListener("drop", (event) => {
      event.preventDefault();
      event.stopPropagation();
      depth = 0;
      dragging(false);
      const file = event.dataTransfer && event.dataTransfer.files[0];
      if (file)
        showFile(file).then((shown) => shown && setAddressFile(null));
    }, true);
  }

  function takeControls() {
    const input = document.getElementById("file");
    input.addEventListener("change", () => {
      if (input.files[0])
        showFile(input.files[0]).then((shown) => shown && setAddressFile(null));
      input.value = "";
    });
    for (const a of document.querySelectorAll("#gallery a")) {
      a.addEventListener("click", (event) => {
        event.preventDefault();
        const url = new URL(a.href).searchParams.get("file");
        showUrl(url).then((shown) => shown && setAddressFile(url));
        canvas.focus();
      });
    }
    canvas.addEventListener("pointerdown", () => canvas.focus());
    // The right button turns in four dimensions, not open a menu.
    canvas.addEventListener("contextmenu", (event) => event.preventDefault());
  }

  // Fingers on the canvas drag as the mouse does: one as the left button,
  // turning in 3-D, two as the right one at their middle, turning in 4-D,
  // and their spread zooms, by 1.1 for every 1.1 times farther apart. A
  // finger left over from two turns nothing until all are lifted, as a
  // pinch ends one finger at a time; a two-finger gesture that mostly
  // pinched leaves no spin behind.
  function takeTouches() {
    const [left, right, press, release] = [0, 1, 1, 0]; // GLFW's numbers
    let held = { fingers: "", button: -1 };
    let spent = false;
    let spread = 0, pinched = 0, moved = 0, middle = [0, 0];

    function place(touch) {
      const box = canvas.getBoundingClientRect();
      return [(touch.clientX - box.left) * canvas.width / box.width,
        (touch.clientY - box.top) * canvas.height / box.height];
    }

    function follow(event) {
      // Caught on the way down, before Emscripten's own handlers, which
      // would take a finger for a click; no scrolling or zooming of the page.
      event.preventDefault();
      event.stopPropagation();
      let touches = Array.from(event.targetTouches).slice(0, 2);
      if (touches.length > 1)
        spent = true;
      else if (touches.length === 0)
        spent = false;
      else if (spent)
        touches = [];
      const points = touches.map(place);
      const fingers = touches.map((t) => t.identifier).join(" ");
      const at = points.length ? [0, 1].map((k) => points.reduce((sum, p) => sum + p[k], 0) / points.length) : middle;
      const apart = points.length === 2 ? Math.hypot(points[0][0] - points[1][0], points[0][1] - points[1][1]) : 0;
      if (fingers !== held.fingers) {
        if (held.button >= 0) {
          Module._button_web(held.button, release);
          if (held.button === right && pinched > moved)
            Module._stop_spin_web();
        }
        held = { fingers: fingers, button: points.length === 1 ? left : points.length === 2 ? right : -1 };
        if (held.button >= 0) {
          Module._pointer_web(at[0], at[1]);
          Module._button_web(held.button, press);
        }
        pinched = moved = 0;
      } else if (held.button >= 0) {
        Module._pointer_web(at[0], at[1]);
        if (apart > 0 && spread > 0)
          Module._zoom_web(Math.log(apart / spread) / Math.log(1.1));
        pinched += Math.abs(apart - spread);
        moved += Math.hypot(at[0] - middle[0], at[1] - middle[1]);
      }
      spread = apart;
      middle = at;
    }

    for (const kind of ["touchstart", "touchmove", "touchend", "touchcancel"])
      window.addEventListener(kind, (event) => event.target === canvas && follow(event),
        { capture: true, passive: false });
  }

  // Keys typed into a control are its own where it has a use for them (Space
  // ticks a box, arrows move a slider, a list takes letters and digits); the
  // viewer's other keys still reach the view. Tab moves between the
  // controls, as on any page. Caught on the way down, and before the viewer
  // starts, so ahead of its own handlers on the window.
  function routeKeys() {
    const theirs = new Set(["Tab", " ", "Enter", "Escape", "ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown",
      "Home", "End", "PageUp", "PageDown"]);
    for (const kind of ["keydown", "keypress"]) {
      window.addEventListener(kind, (event) => {
        const control = event.target.closest && event.target.closest("#controls, #view");
        if (event.key === "Tab" || (control && (event.target.tagName === "SELECT" || theirs.has(event.key))))
          event.stopImmediatePropagation();
      }, true);
    }
  }

  // The controls beside the canvas show the viewer's state, read again each
  // frame since keys change it too, and set it as the keys do.
  function takeViewControls() {
    const $ = (id) => document.getElementById(id);
    const form = $("view");
    let state = JSON.parse(Module.ccall("state_web", "string", [], []));
    let text = "";
    let shownFor = "";
    // Widths and eye distances span a wide range: their sliders go evenly
    // in the logarithm between a least and a greatest share of s.
    const scales = { "slice-width": [1 / 256, 1], "eye4-at": [1 / 2, 32], "tint-scale": [1 / 16, 4] };
    const toValue = (id, t) => state.reach * scales[id][0] * Math.pow(scales[id][1] / scales[id][0], t);
    const toSlider = (id, value) =>
      Math.log(value / (state.reach * scales[id][0])) / Math.log(scales[id][1] / scales[id][0]);
    const figure = (value) => Number(value.toPrecision(3)).toString();

    function setCues(changes) {
      Object.assign(state, changes);
      Module._set_cues_web(state.tint, state.slice, state.slice_at, state.slice_width, state.eye4, state.eye4_at,
        state.gizmo, state.wire, state.scale, state.curve, state.broken);
    }

    function showSurface() {
      $("surface").hidden = !state.m;
      $("surface-name").textContent = echo(shownName) || "a surface";
      $("surface-size").textContent = `m ${state.m}, n ${state.n} vertices, ${Math.floor(state.n / 3)} triangles`;
      const key = state.m + ":" + state.show;
      if (key !== shownFor) {
        shownFor = key;
        const select = $("hidden");
        select.replaceChildren();
        for (let c = 0; c < state.m; c++) {
          const slot = state.show.indexOf(c);
          select.add(new Option(c + 1 + (slot >= 0 && slot < 3 ? " (" + "xyz"[slot] + ")" : ""), c));
          select.options[c].disabled = slot >= 0 && slot < 3;
        }
        select.value = state.m ? state.show[3] : "";
        $("shown").textContent = state.m ? `x ${state.show[0] + 1}, y ${state.show[1] + 1}, z ${state.show[2] + 1}, `
          + `w ${state.show[3] + 1} of ${state.m}` : "no surface";
        for (const id of ["turn-a", "turn-b"]) {
          const select = $(id), chosen = select.value;
          select.replaceChildren();
          for (let c = 0; c < state.m; c++)
            select.add(new Option(c + 1, c));
          select.value = chosen !== "" && Number(chosen) < state.m ? chosen : id === "turn-a" ? 0 : Math.min(4, state.m - 1);
        }
      }
      if (state.framed)
        $("shown").textContent = `a frame of R^${state.m}: each shown coordinate mixes several of the surface's`;
      for (const control of form.querySelectorAll("select, [name=swap]"))
        control.disabled = !state.m;
    }

    function showCues() {
      const s = state.reach;
      $("tint").checked = state.tint;
      $("legend").hidden = !state.tint;
      $("legend-low").textContent = s ? figure(-s) : "-s";
      $("legend-high").textContent = s ? "+" + figure(s) : "+s";
      for (const id of ["slice", "eye4", "gizmo", "wire", "curve", "broken"])
        $(id).checked = state[id];
      for (const row of form.querySelectorAll("[data-cue]"))
        row.hidden = !state[row.dataset.cue];
      // Each slider's place, and the value it shows.
      const sliders = {
        "slice-at": [state.slice_at, state.slice_at],
        "slice-width": [toSlider("slice-width", state.band), state.band],
        "eye4-at": [toSlider("eye4-at", state.eye), state.eye],
        "tint-scale": [toSlider("tint-scale", state.map), state.map],
      };
      $("slice-at").min = -s;
      $("slice-at").max = s;
      for (const [id, [position, value]] of Object.entries(sliders)) {
        $(id).disabled = !s;
        $(id).value = position;
        $(id).nextElementSibling.textContent = s ? figure(value) : "";
      }
    }

    // The tour's pace goes evenly in its logarithm, from 1 to 100 degrees a
    // second.
    function showTour() {
      const kinds = ["", "grand tour", "little tour"];
      $("tour-speed").value = Math.log10(state.speed);
      $("tour-speed").nextElementSibling.textContent = figure(state.speed) + "°/s";
      $("tour-run").textContent = state.running ? "pause" : "go on";
      $("tour-run").disabled = !state.tour;
      $("tour-state").textContent = state.tour ? `${kinds[state.tour]}${state.tour === 1 ? ", seed " + state.seed : ""}, `
        + `on the way to target ${state.target}${state.running ? "" : ", paused"}` : "";
      for (const id of ["turn-a", "turn-b", "turn-back", "turn-on", "tour-kind", "tour-seed", "tour-start"])
        $(id).disabled = !state.m;
    }

    function showView() {
      for (const radio of form.elements.light)
        radio.checked = Number(radio.value) === state.light;
      $("zoom").value = Math.log2(state.zoom);
      $("zoom").nextElementSibling.textContent = "×" + figure(state.zoom);
      $("stop-spin").disabled = !state.spin;
    }

    function showPicture() {
      $("aa").value = state.aa;
      $("opacity").value = state.opacity;
      $("opacity").nextElementSibling.textContent = figure(state.opacity);
      $("stereo").value = state.stereo;
      $("eyes").value = state.eyes;
      $("eyes").nextElementSibling.textContent = figure(state.eyes);
    }

    // The finish as the controls set it; -1 keeps a value as it is.
    const setFinish = (aa, opacity, stereo, eyes) => Module._set_finish_web(aa, opacity, stereo, eyes);

    function refresh() {
      const now = Module.ccall("state_web", "string", [], []);
      if (now !== text) {
        text = now;
        state = JSON.parse(now);
        showSurface();
        showCues();
        showTour();
        showView();
        showPicture();
      }
      requestAnimationFrame(refresh);
    }

    $("hidden").addEventListener("change", (event) => Module._choose_hidden_web(Number(event.target.value)));
    for (const button of form.elements.swap)
      button.addEventListener("click", () => Module._exchange_web(Number(button.value)));
    for (const id of ["tint", "slice", "eye4", "gizmo", "wire", "curve", "broken"])
      $(id).addEventListener("change", (event) => setCues({ [id]: event.target.checked ? 1 : 0 }));
    $("slice-at").addEventListener("input", (event) => setCues({ slice_at: Number(event.target.value) }));
    $("slice-width").addEventListener("input",
      (event) => setCues({ slice_width: toValue("slice-width", Number(event.target.value)) }));
    $("eye4-at").addEventListener("input",
      (event) => setCues({ eye4_at: toValue("eye4-at", Number(event.target.value)) }));
    $("tint-scale").addEventListener("input",
      (event) => setCues({ scale: toValue("tint-scale", Number(event.target.value)) }));
    for (const radio of form.elements.light)
      radio.addEventListener("change", () => Module._set_light_web(Number(radio.value)));
    $("aa").addEventListener("change", (event) => setFinish(Number(event.target.value), -1, -1, -1));
    $("opacity").addEventListener("input", (event) => setFinish(-1, Number(event.target.value), -1, -1));
    $("stereo").addEventListener("change", (event) => setFinish(-1, -1, Number(event.target.value), -1));
    $("eyes").addEventListener("input", (event) => setFinish(-1, -1, -1, Number(event.target.value)));
    $("zoom").addEventListener("input", (event) => {
      const zoom = Math.pow(2, Number(event.target.value));
      Module._zoom_web(Math.log(zoom / state.zoom) / Math.log(1.1));
      state.zoom = zoom;
    });
    for (const [id, degrees] of [["turn-back", -15], ["turn-on", 15]])
      $(id).addEventListener("click",
        () => Module._turn_coordinates_web(Number($("turn-a").value), Number($("turn-b").value), degrees));
    $("tour-start").addEventListener("click", () => {
      const seed = Math.floor(Number($("tour-seed").value));
      Module._tour_web(Number($("tour-kind").value), Number.isSafeInteger(seed) && seed >= 0 ? seed : 0,
        Math.pow(10, Number($("tour-speed").value)));
    });
    $("tour-run").addEventListener("click", () => Module._run_tour_web(state.running ? 0 : 1));
    $("stop-spin").addEventListener("click", () => Module._stop_spin_web());
    $("reset").addEventListener("click", () => Module._reset_web());
    form.addEventListener("submit", (event) => event.preventDefault());

    // After a click or a drag, the keys go back to the view.
    let pointing = false;
    form.addEventListener("pointerdown", () => pointing = true);
    form.addEventListener("keydown", () => pointing = false);
    for (const kind of ["change", "click"])
      form.addEventListener(kind,
        (event) => pointing && event.target.matches("input, button, select") && event.target.blur());

    // Below the canvas of an upright screen there is room for one section
    // at a time: they start closed, and opening one closes the others.
    const upright = matchMedia("(max-aspect-ratio: 1/1)");
    const sections = form.querySelectorAll("details");
    for (const section of sections) {
      section.open = !upright.matches;
      section.addEventListener("toggle", () => {
        if (section.open && upright.matches)
          sections.forEach((other) => other !== section && (other.open = false));
      });
    }

    const ramp = Module.ccall("ramp_web", "string", [], []);
    $("ramp").style.background = `linear-gradient(to right, ${ramp})`;
    refresh();
  }

  // A page that opens on a surface folds the controls that would hide much
  // of it, as in a small window or a page's frame.
  function foldOverCanvas() {
    const view = canvas.getBoundingClientRect();
    for (const panel of document.querySelectorAll("#controls, #view")) {
      const box = panel.getBoundingClientRect();
      const covered = Math.max(0, Math.min(box.right, view.right) - Math.max(box.left, view.left))
        * Math.max(0, Math.min(box.bottom, view.bottom) - Math.max(box.top, view.top));
      if (covered > 0.05 * view.width * view.height)
        panel.querySelectorAll("details").forEach((section) => section.open = false);
    }
  }

  // The keys as the viewer's table of keys gives them; a row with nothing
  // to say goes on with the row above.
  function listKeys() {
    const list = document.getElementById("keys");
    for (const [keys, help] of JSON.parse(Module.ccall("keys_web", "string", [], []))) {
      if (!help && list.lastElementChild) {
        list.lastElementChild.previousElementSibling.textContent += ", " + keys.trim();
        continue;
      }
      const term = document.createElement("dt"), description = document.createElement("dd");
      term.textContent = keys;
      description.textContent = help;
      list.append(term, description);
    }
  }

  async function start() {
    Module.FS.mkdir("/surface");
    listKeys();
    fitCanvas();
    takeDrops();
    takeControls();
    takeTouches();
    takeViewControls();
    markGallery();
    lastLink = currentLink();

    // A page written with a surface in it shows that one; any other page
    // shows what its address names.
    const embedded = document.getElementById("embedded-surface");
    const embeddedView = document.getElementById("embedded-view");
    const file = new URL(location.href).searchParams.get("file");
    // Past the browser's longest string, the page's surface cannot even be
    // read out of it.
    let held = "";
    try {
      held = embedded ? embedded.textContent.trim() : "";
    } catch (error) {
      say("the surface in this page is larger than this browser can read");
    }
    if (held) {
      const name = embedded.dataset.name || "surface.klein";
      let text = "";
      try {
        text = atob(held);
      } catch (error) {
        say(echo(name) + ": cannot be read: the page holds no base64");
      }
      // A plain loop: Uint8Array.from on a string of 100 MB brings the
      // renderer down.
      const bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; i++)
        bytes[i] = text.charCodeAt(i);
      if (text)
        showBytes(name, bytes);
    } else if (file) {
      await showUrl(file);
    }
    // A view that cannot be shown says so; one that can leaves what the
    // file's opening said.
    let fault = showAddressLink();
    const written = embeddedView ? embeddedView.textContent.trim() : "";
    if (fault === null && written)
      fault = written.startsWith("plexorama-view ") ? showViewText(written) : showLink(written);
    if (fault)
      say(fault);

    if (shownName)
      foldOverCanvas();
    // A later link says what is wrong with it, or takes away what was.
    window.addEventListener("hashchange", () => {
      const fault = showAddressLink();
      if (fault !== null)
        say(fault);
    });
    setInterval(follow, followEvery);
    // The viewer draws at the next frame of the display.
    requestAnimationFrame(() => requestAnimationFrame(() => document.getElementById("drawing").hidden = true));
    document.documentElement.dataset.ready = "true";
  }

  routeKeys();
  return {
    canvas: canvas,
    print: (text) => console.log(text),
    // The viewer's own failures (no WebGL 2, say) are one line each.
    printErr: (text) => {
      console.warn(text);
      say(text.replace(/^plexorama: /, ""));
    },
    postRun: [start],
  };
})();
