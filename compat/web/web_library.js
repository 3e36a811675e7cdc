// The web backend's page side (linked with --js-library): windows drawn as
// HTML, the page's events queued for host_poll, the modal message box, the
// program's pauses, and a lost WebGL context followed for web_gl.cpp.
//
// The program runs as one long call that never returns to the browser by
// itself; Asyncify lets it pause (Asyncify.handleSleep) and be resumed from
// an event. Only the C++ side (web_*.cpp) calls these, and only it calls
// the layer. The page (web_page.html) styles what is made here.
//
// The kinds of event (WEB_KEY ...) are web_host.h's, read from it as the
// library is built; a kind the header does not have fails the build.
{{{ [...read(JS_LIBRARIES.find((f) => f.endsWith('web_library.js')).replace(/[^/]*$/, 'web_host.h'))
      .matchAll(/\b(WEB_[A-Z]+) = (\d+)/g)].forEach((m) => global[m[1]] = m[2]), '' }}}

var WebHost = {
  $Web__deps: ['$callUserCallback'],
  $Web: {
    // Classic Windows metrics for an overlapped window: a 4-pixel border on
    // every side, and a caption of 18 pixels and a line under the top one.
    BORDER: 4,
    CAPTION: 19,
    // The smallest outer size a window can be dragged to.
    MIN_WIDTH: 136,
    MIN_HEIGHT: 39,
    // The taskbar's height with its top line (web_page.html's style).
    TASKBAR: 29,

    windows: {},
    nextId: 1,
    events: [],      // [kind, window, field, field, field, code]
    waiting: null,   // resumes a program waiting for an event
    resume: null,    // resumes a program that let the browser run
    animationRequest: 0,   // its requestAnimationFrame, or
    hiddenTimer: 0,        // its timer while the page is hidden
    framesShown: 0,
    opened: false,   // web_open has run
    restored: 0,     // WebGL contexts given back after a loss
    fit: 1,          // how much the desktop is scaled down to fit the screen
    ratio: 1,        // the devicePixelRatio the drawing buffers were sized for

    // The program is resumed from an event of the page's, with nothing of
    // its own on the stack; its end (exit) is handled there.
    wake: function (resume) {
      if (resume)
        callUserCallback(resume);
    },

    // Queues the events given and wakes the program once, for them all.
    queue: function () {
      Web.events.push.apply(Web.events, arguments);
      var resume = Web.waiting;
      Web.waiting = null;
      Web.wake(resume);
    },

    // Resumes a program that showed a frame: at the browser's next animation
    // frame while the page can be seen, from a timer while it cannot, as a
    // hidden page gets no animation frames. Called again when that changes.
    pace: function () {
      cancelAnimationFrame(Web.animationRequest);
      clearTimeout(Web.hiddenTimer);
      if (!Web.resume)
        return;
      var next = function () {
        var resume = Web.resume;
        Web.resume = null;
        Web.wake(resume);
      };
      if (document.hidden)
        Web.hiddenTimer = setTimeout(next, 16);
      else
        Web.animationRequest = requestAnimationFrame(next);
    },

    insets: function (w) {
      var b = w.frameless ? 0 : Web.BORDER;
      return {left: b, top: w.frameless ? 0 : b + Web.CAPTION, right: b, bottom: b};
    },

    // Puts the window's outer element around the client area at (w.x, w.y),
    // and gives the canvas a drawing buffer of the device pixels it covers.
    // NOTE: a fit (or a ratio such as 1.5) puts the client area's edges
    // between device pixels; the canvas is moved to the nearest ones, up to
    // half a device pixel, so that it shows its buffer pixel for pixel and
    // the browser resamples nothing. Setting a canvas's size clears it, so
    // only a change is made. True when that cleared the canvas of a window
    // whose client size is the same, which nothing else tells the program
    // of: the window must be exposed.
    layout: function (w) {
      var i = Web.insets(w), c = w.canvas, scale = Web.fit * Web.ratio;
      var left = Math.round(w.x * scale), top = Math.round(w.y * scale);
      var width = Math.round((w.x + w.width) * scale) - left, height = Math.round((w.y + w.height) * scale) - top;
      var size = w.width + 'x' + w.height, cleared = c.width != width || c.height != height;
      var exposed = cleared && w.laidOut == size;
      w.laidOut = size;
      if (cleared) {
        c.width = width;
        c.height = height;
      }
      w.outer.style.left = (w.x - i.left) + 'px';
      w.outer.style.top = (w.y - i.top) + 'px';
      w.outer.style.width = (w.width + i.left + i.right) + 'px';
      w.outer.style.height = (w.height + i.top + i.bottom) + 'px';
      // The desktop's pixels from the outer element's corner.
      c.style.left = left / scale - w.x + i.left + 'px';
      c.style.top = top / scale - w.y + i.top + 'px';
      c.style.width = width / scale + 'px';
      c.style.height = height / scale + 'px';
      // What web_gl.cpp scales window pixels by.
      c.scale = [width / w.width, height / w.height];
      return exposed;
    },

    // The event that has the program paint w again.
    expose: function (w) {
      return [{{{ WEB_EXPOSE }}}, w.id, 0, 0, 0];
    },

    // Scales the desktop down where its windows do not fit the screen above
    // the taskbar (a phone, a tablet), and lays every window out again, at
    // the present pixel ratio. A window keeps its size, and its canvas is
    // shown smaller; the program is told only that it must paint again.
    // NOTE: the viewport's size is read, not the page's layout: a read of
    // layout makes the browser lay the page out there and then, and in
    // WebKit the first two did so took longer than the program's start.
    refit: function () {
      var desktop = document.getElementById('desktop'), right = 0, bottom = 0;
      for (var id in Web.windows) {
        var w = Web.windows[id], i = Web.insets(w);
        right = Math.max(right, w.x + w.width + i.right);
        bottom = Math.max(bottom, w.y + w.height + i.bottom);
      }
      var fit = Math.min(1, innerWidth / right, (innerHeight - Web.TASKBAR) / bottom);
      Web.fit = fit > 0 ? fit : 1;
      Web.ratio = window.devicePixelRatio || 1;
      desktop.style.transform = Web.fit < 1 ? 'scale(' + Web.fit + ')' : '';
      desktop.style.setProperty('--fit', Web.fit);
      var exposed = [];
      for (var id in Web.windows)
        if (Web.layout(Web.windows[id]) && Web.windows[id].shown)
          exposed.push(Web.expose(Web.windows[id]));
      // Once all are laid out: a program waiting for a message runs on.
      if (exposed.length)
        Web.queue.apply(null, exposed);
    },

    // Dragging the right or bottom border, or the corner, resizes.
    startResize: function (w, e, horizontal, vertical) {
      e.preventDefault();
      w.canvas.focus({preventScroll: true});
      var i = Web.insets(w);
      var start = {x: e.clientX, y: e.clientY, width: w.width, height: w.height};
      var target = e.currentTarget;
      target.setPointerCapture(e.pointerId);
      // The pointer moves over the fitted page, in pixels the fit scales.
      var move = function (m) {
        var width = start.width, height = start.height;
        if (horizontal)
          width = Math.max(Web.MIN_WIDTH - i.left - i.right, start.width + Math.round((m.clientX - start.x) / Web.fit));
        if (vertical)
          height = Math.max(Web.MIN_HEIGHT - i.top - i.bottom, start.height + Math.round((m.clientY - start.y) / Web.fit));
        if (width == w.width && height == w.height)
          return;
        // NOTE: a drag is fitted once it ends, so that the pixels it moves
        // by stay; meanwhile the window alone is laid out.
        w.width = width;
        w.height = height;
        // Its new drawing buffer is a cleared one, whatever the class's
        // styles say about a smaller window.
        Web.layout(w);
        Web.queue([{{{ WEB_SIZE }}}, w.id, width, height, 0], Web.expose(w));
      };
      var end = function () {
        Web.refit();
        target.removeEventListener('pointermove', move);
        target.removeEventListener('pointerup', end);
        target.removeEventListener('pointercancel', end);
      };
      target.addEventListener('pointermove', move);
      target.addEventListener('pointerup', end);
      target.addEventListener('pointercancel', end);
    },

    // Which of the borders a point is on: [right, bottom].
    edges: function (w, e) {
      var r = w.outer.getBoundingClientRect();
      var border = Web.BORDER * Web.fit;
      return [e.clientX >= r.right - border, e.clientY >= r.bottom - border];
    },

    element: function (tag, className, parent) {
      var e = document.createElement(tag);
      if (className)
        e.className = className;
      if (parent)
        parent.appendChild(e);
      return e;
    },

    // The client area's canvas takes the keyboard and the context's events.
    wire: function (w) {
      var canvas = w.canvas;
      canvas.tabIndex = 0;
      canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });
      // NOTE: only a lost context whose loss is prevented is given back. The
      // program may be paused here, so it is not called: web_gl.cpp asks.
      canvas.addEventListener('webglcontextlost', function (e) { e.preventDefault(); });
      canvas.addEventListener('webglcontextrestored', function () { Web.restored++; });

      // Every key the canvas gets is the program's: the browser's own use of
      // Tab, Backspace, F1 or the arrows would take it from the program.
      var key = function (down) {
        return function (e) {
          e.preventDefault();
          if (e.isComposing)
            return;
          Web.queue([{{{ WEB_KEY }}}, w.id, down, e.repeat ? 1 : 0, e.getModifierState('NumLock') ? 1 : 0, e.code]);
        };
      };
      canvas.addEventListener('keydown', key(1));
      canvas.addEventListener('keyup', key(0));
      var focus = function (gained) {
        return function () {
          w.outer.classList.toggle('inactive', !gained);
          Web.queue([{{{ WEB_FOCUS }}}, w.id, gained, 0, 0]);
        };
      };
      canvas.addEventListener('focus', focus(1));
      canvas.addEventListener('blur', focus(0));
    },

    // The page made a context when it asked whether there is WebGL at all
    // (web_page.html), with the attributes the program's format asks for.
    // A window whose first context asks for those takes that canvas as its
    // client area, so the browser makes no second context, which is slow to
    // make; any other lets it go.
    adopt: function (w, attributes) {
      var spare = Module['webglCanvas'], made = Module['webglAttributes'];
      Module['webglCanvas'] = null;
      if (!spare)
        return;
      if (made.alpha != attributes.alpha || made.depth != attributes.depth || made.stencil != attributes.stencil) {
        var lose = spare.getContext('webgl').getExtension('WEBGL_lose_context');
        if (lose)
          lose.loseContext();
        return;
      }
      var focused = document.activeElement == w.canvas;
      w.canvas.replaceWith(spare);
      w.canvas = spare;
      var cleared = Web.layout(w);
      Web.wire(w);
      if (focused)
        spare.focus({preventScroll: true});
      if (cleared && w.shown)
        Web.queue(Web.expose(w));
    },

    // A hidden window: its outer element, the canvas for its client area
    // and, unless it is frameless, a caption and borders.
    make: function (title, x, y, width, height, frameless) {
      var w = {id: Web.nextId++, x: x, y: y, width: width, height: height, frameless: frameless};
      w.outer = Web.element('div', frameless ? 'window frameless inactive' : 'window inactive');
      w.outer.setAttribute('role', 'application');
      w.outer.setAttribute('aria-label', title);
      w.outer.style.display = 'none';
      w.canvas = Web.element('canvas', '', w.outer);
      Web.wire(w);
      if (!frameless) {
        Web.makeCaption(w, title);
        Web.makeBorders(w);
      }
      (document.getElementById('desktop') || document.body).appendChild(w.outer);
      Web.windows[w.id] = w;
      Web.refit();
      return w.id;
    },

    // The title, and a close button that asks the program to close.
    makeCaption: function (w, title) {
      var caption = Web.element('div', 'caption', w.outer);
      Web.element('span', 'title', caption).textContent = title;
      var close = Web.element('button', 'close', caption);
      close.type = 'button';
      close.title = 'Close';
      close.setAttribute('aria-label', 'Close');
      close.textContent = '\u2715';
      close.addEventListener('click', function () { Web.queue([{{{ WEB_CLOSE }}}, w.id, 0, 0, 0]); });
    },

    // The right and bottom borders and the grip in their corner resize; a
    // click on a border or the caption keeps the keyboard on the canvas.
    makeBorders: function (w) {
      var outer = w.outer;
      outer.addEventListener('mousedown', function (e) {
        if (e.target != w.canvas) {
          e.preventDefault();
          w.canvas.focus({preventScroll: true});
        }
      });
      outer.addEventListener('pointermove', function (e) {
        if (e.target != outer)
          return;
        var on = Web.edges(w, e);
        outer.style.cursor = on[0] && on[1] ? 'nwse-resize' : on[0] ? 'ew-resize' : on[1] ? 'ns-resize' : '';
      });
      outer.addEventListener('pointerdown', function (e) {
        var on = Web.edges(w, e);
        if (e.target == outer && (on[0] || on[1]))
          Web.startResize(w, e, on[0], on[1]);
      });
      var grip = Web.element('div', 'grip', outer);
      grip.addEventListener('pointerdown', function (e) { Web.startResize(w, e, true, true); });
    },

    box: function (caption, text, icon, done) {
      var previous = document.activeElement;
      var modal = Web.element('div', 'modal', document.body);
      var box = Web.element('div', 'box', modal);
      box.setAttribute('role', 'alertdialog');
      box.setAttribute('aria-modal', 'true');
      var title = Web.element('div', 'caption', box);
      Web.element('span', 'title', title).textContent = caption;
      var body = Web.element('div', 'body', box);
      if (icon) {
        var picture = Web.element('div', 'icon', body);
        picture.setAttribute('data-icon', icon);
        picture.setAttribute('role', 'img');
        picture.setAttribute('aria-label', icon);
      }
      var message = Web.element('p', 'text', body);
      message.textContent = text;
      var ok = Web.element('button', 'ok', box);
      ok.type = 'button';
      ok.textContent = 'OK';
      box.setAttribute('aria-label', caption);
      // Whatever else would take the focus (a click beside the button, the
      // page's own Tab order) leaves it on OK.
      var keep = function (e) {
        if (e.target != ok)
          ok.focus();
      };
      modal.addEventListener('mousedown', function (e) {
        if (e.target != ok)
          e.preventDefault();
      });
      document.addEventListener('focusin', keep);
      var finish = function () {
        document.removeEventListener('focusin', keep);
        modal.remove();
        if (previous && previous.isConnected && previous.focus)
          previous.focus({preventScroll: true});
        done();
      };
      ok.addEventListener('click', finish);
      // With one OK button, Escape answers OK too, and Tab stays on it: the
      // keyboard does not leave a modal box.
      box.addEventListener('keydown', function (e) {
        if (e.key == 'Escape') {
          e.preventDefault();
          finish();
        } else if (e.key == 'Tab') {
          e.preventDefault();
          ok.focus();
        }
      });
      ok.focus();
    },
  },

  web_open: function () {
    if (typeof document == 'undefined')
      return 0;
    if (!Web.opened) {
      Web.opened = true;
      document.addEventListener('visibilitychange', Web.pace);
      // A phone turned, a browser window resized or zoomed.
      window.addEventListener('resize', Web.refit);
    }
    return 1;
  },

  web_close_all: function () {
    for (var id in Web.windows)
      Web.windows[id].outer.remove();
    Web.windows = {};
    Web.refit();
  },

  web_window_create: function (title, x, y, width, height, frameless) {
    return Web.make(UTF8ToString(title), x, y, width, height, !!frameless);
  },

  web_window_destroy: function (id) {
    var w = Web.windows[id];
    if (w) {
      w.outer.remove();
      delete Web.windows[id];
      Web.refit();
    }
  },

  web_window_show: function (id, shown) {
    var w = Web.windows[id];
    if (!w)
      return;
    w.outer.style.display = shown ? '' : 'none';
    w.shown = !!shown;
    // A window that is shown is activated and takes the keyboard.
    if (shown)
      w.canvas.focus({preventScroll: true});
    else if (document.activeElement == w.canvas)
      w.canvas.blur();
  },

  web_window_client_size: function (id, width, height) {
    var w = Web.windows[id];
    HEAP32[width >> 2] = w ? w.width : 0;
    HEAP32[height >> 2] = w ? w.height : 0;
  },

  web_window_frame: function (id, left, top, right, bottom) {
    var w = Web.windows[id];
    var i = w ? Web.insets(w) : {left: 0, top: 0, right: 0, bottom: 0};
    HEAP32[left >> 2] = i.left;
    HEAP32[top >> 2] = i.top;
    HEAP32[right >> 2] = i.right;
    HEAP32[bottom >> 2] = i.bottom;
  },

  web_window_place: function (id, x, y, width, height) {
    var w = Web.windows[id];
    if (!w)
      return;
    w.x = x;
    w.y = y;
    w.width = Math.max(width, 0);
    w.height = Math.max(height, 0);
    Web.refit();   // which lays every window out
  },

  web_context_create: function (id, alpha, depth, stencil) {
    var w = Web.windows[id];
    if (!w)
      return 0;
    // What Windows' formats mean: no multisampling, and the drawing buffer
    // is only guaranteed until it is shown. The layer's GL needs no
    // extension, and asking for them all made Chromium wait for its GPU
    // process before the first frame (26 to 85 ms here).
    var attributes = {alpha: !!alpha, depth: !!depth, stencil: !!stencil, antialias: false, majorVersion: 1,
                      enableExtensionsByDefault: false};
    Web.adopt(w, attributes);
    return GL.createContext(w.canvas, attributes);
  },

  web_context_make_current: function (handle) {
    return GL.makeContextCurrent(handle) ? 1 : 0;
  },

  web_context_destroy: function (handle) {
    if (GL.currentContext == GL.contexts[handle])
      GL.makeContextCurrent(0);
    GL.deleteContext(handle);
  },

  web_next_event: function (window, fields, code, size) {
    var e = Web.events.shift();
    if (!e)
      return 0;
    HEAP32[window >> 2] = e[1];
    for (var i = 0; i < 3; ++i)
      HEAP32[(fields >> 2) + i] = e[2 + i] | 0;
    stringToUTF8(e[5] || '', code, size);
    return e[0];
  },

  web_wait_event: function () {
    Asyncify.handleSleep(function (resume) {
      if (Web.events.length)
        resume();
      else
        Web.waiting = resume;
    });
  },

  web_message_box: function (caption, text, icon) {
    Asyncify.handleSleep(function (resume) {
      Web.box(UTF8ToString(caption), UTF8ToString(text), UTF8ToString(icon), function () { Web.wake(resume); });
    });
  },

  web_frame_done: function () {
    Asyncify.handleSleep(function (resume) {
      if (!Web.framesShown++)
        Module['firstFrame'] = performance.now();
      Module['frames'] = Web.framesShown;
      // NOTE: a new ratio (another screen, a zoom) fires no event in every
      // browser, so it is looked for once a frame.
      if ((window.devicePixelRatio || 1) != Web.ratio)
        Web.refit();
      Web.resume = resume;
      Web.pace();
    });
  },

  // The page asks when it loads (web_page.html), before the program starts.
  web_webgl_available: function () {
    return Module['webgl'] ? 1 : 0;
  },

  web_gl_generation: function () {
    return !GLctx || GLctx.isContextLost() ? -1 : Web.restored;
  },

  web_gl_scale: function (x, y) {
    var scale = GLctx && GLctx.canvas.scale;
    HEAPF32[x >> 2] = scale && scale[0] || 1;
    HEAPF32[y >> 2] = scale && scale[1] || 1;
  },
};

// Every function here may use Web, and GL (library_webgl.js) for contexts.
autoAddDeps(WebHost, '$Web');
autoAddDeps(WebHost, '$GL');
mergeInto(LibraryManager.library, WebHost);
