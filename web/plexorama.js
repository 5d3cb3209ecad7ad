// The page around the viewer: it sizes the canvas, opens surfaces from drops,
// the file button, the gallery, a ?file= address or the page itself, keeps
// the address's #view= in step with the view, shows what went wrong, and
// hands touches on to the viewer as drags. The viewer's progress messages go
// to the console.
"use strict";

var Module = (function () {
  const canvas = document.getElementById("canvas");
  const message = document.getElementById("message");
  // How often the address catches up with the view, in milliseconds: the
  // browser limits how often a page may rewrite it.
  const followEvery = 250;
  let lastLink = "";

  function say(text) {
    message.textContent = text;
    message.hidden = !text;
  }

  // Shows a surface from its bytes; says why not when it cannot, and the
  // surface on show stays.
  function showBytes(name, bytes) {
    const path = "/surface/" + name.replace(/\//g, "_");
    Module.FS.writeFile(path, bytes, { canOwn: true });
    const reason = Module.ccall("show_file_web", "string", ["string"], [path]);
    Module.FS.unlink(path);
    say(reason ? name + ": " + reason : "");
    return !reason;
  }

  async function showFile(file) {
    return showBytes(file.name, new Uint8Array(await file.arrayBuffer()));
  }

  async function showUrl(url) {
    let response;
    try {
      response = await fetch(url);
    } catch (error) {
      say(url + ": cannot fetch: the server cannot be reached or does not let this page read it");
      return false;
    }
    if (!response.ok) {
      say(url + ": cannot fetch: " + response.status + " " + response.statusText);
      return false;
    }
    return showBytes(url, new Uint8Array(await response.arrayBuffer()));
  }

  // The address names the file on show when it came from one, and no file
  // when the surface came from the user's disk.
  function setAddressFile(url) {
    // Slashes and colons may stand in a query as they are, and read better.
    const query = url ? "?file=" + encodeURIComponent(url).replace(/%2F/g, "/").replace(/%3A/g, ":") : "";
    history.replaceState(null, "", location.pathname + query + location.hash);
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

  function showLink(link) {
    const fault = Module.ccall("set_view_web", "string", ["string"], [link]);
    if (fault)
      say("view " + link + ": " + fault);
    lastLink = currentLink();
  }

  function hashLink() {
    const match = /^#view=(.*)$/.exec(location.hash);
    return match ? decodeURIComponent(match[1]) : "";
  }

  function follow() {
    const link = currentLink();
    if (link === lastLink)
      return;
    lastLink = link;
    try {
      history.replaceState(null, "", "#view=" + link);
    } catch (error) {
      // Some browsers refuse to rewrite the address of a page opened from disk.
    }
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

  async function start() {
    Module.FS.mkdir("/surface");
    fitCanvas();
    takeDrops();
    takeControls();
    takeTouches();
    markGallery();
    lastLink = currentLink();

    // A page written with a surface in it shows that one; any other page
    // shows what its address names.
    const embedded = document.getElementById("embedded-surface");
    const embeddedView = document.getElementById("embedded-view");
    const file = new URL(location.href).searchParams.get("file");
    if (embedded && embedded.textContent.trim()) {
      const bytes = Uint8Array.from(atob(embedded.textContent.trim()), (c) => c.charCodeAt(0));
      showBytes(embedded.dataset.name || "surface.klein", bytes);
    } else if (file) {
      await showUrl(file);
    }
    if (hashLink())
      showLink(hashLink());
    else if (embeddedView && embeddedView.textContent.trim())
      showLink(embeddedView.textContent.trim());

    window.addEventListener("hashchange", () => hashLink() && showLink(hashLink()));
    setInterval(follow, followEvery);
    document.documentElement.dataset.ready = "true";
  }

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
