// The page around the viewer: it sizes the canvas, opens surfaces from drops,
// the file button, the gallery, a ?file= address or the page itself, keeps
// the address's #view= in step with the view, and shows what went wrong.
// The viewer's progress messages go to the console.
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

  async function start() {
    Module.FS.mkdir("/surface");
    fitCanvas();
    takeDrops();
    takeControls();
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
