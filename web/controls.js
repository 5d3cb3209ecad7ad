// The page's controls of the view: the coordinates, the cues, frames and
// tours, the view and the picture's finish, and the list of the shapes on
// show, each kept in step with the viewer's state and setting it as the
// keys do. The page (plexorama.js) calls takeViewControls once the viewer
// runs.
"use strict";

// The controls beside the canvas show the viewer's state, read again each
// frame since keys change it too, and set it as the keys do. page gives
// echo (text from outside as a message shows it) and the name of the file
// on show, shownName().
function takeViewControls(Module, page) {
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
      state.gizmo, state.wire, state.scale);
  }

  function showSurface() {
    $("surface").hidden = !state.m;
    $("surface-name").textContent = page.echo(page.shownName()) || "a surface";
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
    const kinds = ["", "grand tour", "little tour", "guided to the fewest crossings", "guided to the largest shadow"];
    $("tour-speed").value = Math.log10(state.speed);
    $("tour-speed").nextElementSibling.textContent = figure(state.speed) + "°/s";
    $("tour-run").textContent = state.running ? "pause" : "go on";
    $("tour-run").disabled = !state.tour;
    const guided = state.tour >= 3;
    $("tour-state").textContent = state.tour ? `${kinds[state.tour]}${state.tour !== 2 ? ", seed " + state.seed : ""}, `
      + `${guided ? "search" : "on the way to target"} ${state.target}${state.running ? "" : ", paused"}` : "";
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

  // Lines' width, their tubes and points' size, each shown where shapes of
  // its kind are. Widths and sizes go evenly in their logarithm, from 0.5 to
  // 64 pixels; the tubes' radius from s / 2000 to s / 10.
  const tubeScale = () => [(state.reach || 1) / 2000, 200];
  function showStrokes() {
    $("line-width").value = Math.log2(state.line_width);
    $("line-width").nextElementSibling.textContent = figure(state.line_width) + " px";
    $("point-size").value = Math.log2(state.point_size);
    $("point-size").nextElementSibling.textContent = figure(state.point_size) + " px";
    $("tubes").checked = state.tubes > 0;
    const [least, span] = tubeScale();
    $("tube-radius").value = state.tubes > 0 ? Math.log(state.tubes / least) / Math.log(span) : 0;
    $("tube-radius").nextElementSibling.textContent = state.tubes > 0 ? figure(state.tubes) : "";
    const lines = kinds.has("lines"), tubes = state.tubes > 0;
    const showing = { lines: lines, flat: lines && !tubes, tubes: lines && tubes, points: kinds.has("points") };
    for (const row of form.querySelectorAll("[data-strokes]"))
      row.hidden = !showing[row.dataset.strokes];
  }

  // The shapes on show, as the desktop's panel lists them: each shown or
  // hidden, in its file's colour, with its file and what it is made of. The
  // list is made again only when the shapes change, so that a colour being
  // picked keeps its picker; otherwise each item follows the viewer.
  const counted = { triangles: "triangles", lines: "segments", points: "points" };
  let shapesText = "", shapesFor = "", kinds = new Set();
  function showShapes() {
    const now = Module.ccall("shapes_web", "string", [], []);
    if (now === shapesText)
      return false;
    shapesText = now;
    const shapes = JSON.parse(now);
    kinds = new Set(shapes.map((shape) => shape.kind));
    const list = $("shapes");
    const key = JSON.stringify(shapes.map((shape) => [shape.name, shape.kind, shape.count]));
    if (key !== shapesFor) {
      shapesFor = key;
      list.replaceChildren(...shapes.map((shape, k) => {
        const item = document.createElement("li");
        const shown = document.createElement("input"), colour = document.createElement("input");
        shown.type = "checkbox";
        colour.type = "color";
        shown.setAttribute("aria-label", "shown");
        colour.setAttribute("aria-label", "colour");
        const set = () => Module._set_shape_web(k, shown.checked ? 1 : 0, parseInt(colour.value.slice(1), 16));
        shown.addEventListener("change", set);
        colour.addEventListener("input", set);
        const label = document.createElement("span");
        label.textContent = `${page.echo(shape.name || shape.kind)}: ${shape.count} ${shape.counted}`;
        item.append(shown, colour, label);
        return item;
      }));
      list.hidden = shapes.length < 2 && !kinds.has("lines") && !kinds.has("points");
    }
    shapes.forEach((shape, k) => {
      const [shown, colour] = list.children[k].children;
      shown.checked = Boolean(shape.shown);
      if (document.activeElement !== colour)
        colour.value = shape.color;
    });
    // What the shapes are made of, kind by kind.
    const sums = {};
    for (const shape of shapes)
      sums[shape.kind] = (sums[shape.kind] || 0) + shape.count;
    $("surface-size").textContent = [`m ${state.m}, n ${state.n} vertices`,
      ...Object.entries(sums).map(([kind, sum]) => `${sum} ${counted[kind] || kind}`)].join(", ");
    return true;
  }

  const setStrokes = (width, size, tubes) => Module._set_strokes_web(width, size, tubes);

  function refresh() {
    const now = Module.ccall("state_web", "string", [], []);
    const changed = now !== text;
    if (changed) {
      text = now;
      state = JSON.parse(now);
      showSurface();
      showCues();
      showTour();
      showView();
      showPicture();
    }
    if (showShapes() || changed)
      showStrokes();
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
  $("line-width").addEventListener("input", (event) => setStrokes(2 ** Number(event.target.value), -1, -1));
  $("point-size").addEventListener("input", (event) => setStrokes(-1, 2 ** Number(event.target.value), -1));
  $("tubes").addEventListener("change", (event) => setStrokes(-1, -1, event.target.checked ? tubeScale()[0] * 10 : 0));
  $("tube-radius").addEventListener("input", (event) => {
    const [least, span] = tubeScale();
    setStrokes(-1, -1, least * Math.pow(span, Number(event.target.value)));
  });
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

