// The web backend's page side (linked with --js-library): windows drawn as
// HTML, the page's events queued for host_poll, the modal message box, the
// program's pauses, and mends to Emscripten's GL emulation (GL_POLYGON, and
// GL calls with no current context).
//
// The program runs as one long call that never returns to the browser by
// itself; Asyncify lets it pause (Asyncify.handleSleep) and be resumed from
// an event. Only the C++ side (web_*.cpp) calls these, and only it calls
// the layer. The page (web_page.html) styles what is made here.

var WebHost = {
  $Web__deps: ['$callUserCallback'],
  $Web: {
    // Classic Windows metrics for an overlapped window: a 4-pixel frame on
    // every side, and a caption of 18 pixels and a line under the top one.
    FRAME: 4,
    CAPTION: 19,
    // The smallest outer size a window can be dragged to.
    MIN_WIDTH: 136,
    MIN_HEIGHT: 39,

    windows: {},
    nextId: 1,
    events: [],      // [kind, window, field, field, field, code]
    waiting: null,   // resumes a program waiting for an event
    resume: null,    // resumes a program that let the browser run
    channel: null,
    frames: 0,

    // The program is resumed from an event of the page's, with nothing of
    // its own on the stack; its end (exit) is handled there.
    wake: function (resume) {
      if (resume)
        callUserCallback(resume);
    },

    queue: function (event) {
      Web.events.push(event);
      var resume = Web.waiting;
      Web.waiting = null;
      Web.wake(resume);
    },

    insets: function (w) {
      var f = w.frameless ? 0 : Web.FRAME;
      return {left: f, top: w.frameless ? 0 : f + Web.CAPTION, right: f, bottom: f};
    },

    // Puts the frame around the client area at (w.x, w.y).
    layout: function (w) {
      var i = Web.insets(w), c = w.canvas;
      w.frame.style.left = (w.x - i.left) + 'px';
      w.frame.style.top = (w.y - i.top) + 'px';
      w.frame.style.width = (c.width + i.left + i.right) + 'px';
      w.frame.style.height = (c.height + i.top + i.bottom) + 'px';
      c.style.left = i.left + 'px';
      c.style.top = i.top + 'px';
      // NOTE: one canvas pixel to a CSS pixel, whatever devicePixelRatio
      // is: a program that does not know about DPI is drawn at 96 DPI and
      // scaled, as Windows does it.
      c.style.width = c.width + 'px';
      c.style.height = c.height + 'px';
    },

    // Gives the client area a new size, as the window system does; setting
    // a canvas's size clears it, so only a change is made.
    setClient: function (w, width, height) {
      if (w.canvas.width != width)
        w.canvas.width = width;
      if (w.canvas.height != height)
        w.canvas.height = height;
      Web.layout(w);
    },

    // Dragging the frame's right or bottom edge, or the corner, resizes.
    startResize: function (w, e, horizontal, vertical) {
      e.preventDefault();
      w.canvas.focus({preventScroll: true});
      var i = Web.insets(w);
      var start = {x: e.clientX, y: e.clientY, width: w.canvas.width, height: w.canvas.height};
      var target = e.currentTarget;
      target.setPointerCapture(e.pointerId);
      var move = function (m) {
        var width = start.width, height = start.height;
        if (horizontal)
          width = Math.max(Web.MIN_WIDTH - i.left - i.right, start.width + Math.round(m.clientX - start.x));
        if (vertical)
          height = Math.max(Web.MIN_HEIGHT - i.top - i.bottom, start.height + Math.round(m.clientY - start.y));
        if (width == w.canvas.width && height == w.canvas.height)
          return;
        Web.setClient(w, width, height);
        Web.queue([2 /* WEB_SIZE */, w.id, width, height, 0]);
      };
      var end = function () {
        target.removeEventListener('pointermove', move);
        target.removeEventListener('pointerup', end);
        target.removeEventListener('pointercancel', end);
      };
      target.addEventListener('pointermove', move);
      target.addEventListener('pointerup', end);
      target.addEventListener('pointercancel', end);
    },

    // Which of the frame's edges a point is on: [right, bottom].
    edges: function (w, e) {
      var r = w.frame.getBoundingClientRect();
      return [e.clientX >= r.right - Web.FRAME, e.clientY >= r.bottom - Web.FRAME];
    },

    element: function (tag, className, parent) {
      var e = document.createElement(tag);
      if (className)
        e.className = className;
      if (parent)
        parent.appendChild(e);
      return e;
    },

    make: function (title, x, y, width, height, frameless) {
      var w = {id: Web.nextId++, x: x, y: y, frameless: frameless};
      var frame = w.frame = Web.element('div', frameless ? 'window frameless inactive' : 'window inactive');
      frame.setAttribute('role', 'application');
      frame.setAttribute('aria-label', title);
      frame.style.display = 'none';
      var canvas = w.canvas = Web.element('canvas', '', frame);
      canvas.tabIndex = 0;
      canvas.width = width;
      canvas.height = height;
      canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });

      // Every key the canvas gets is the program's: the browser's own use of
      // Tab, Backspace, F1 or the arrows would take it from the program.
      var key = function (down) {
        return function (e) {
          e.preventDefault();
          if (e.isComposing)
            return;
          Web.queue([1 /* WEB_KEY */, w.id, down, e.repeat ? 1 : 0, e.getModifierState('NumLock') ? 1 : 0, e.code]);
        };
      };
      canvas.addEventListener('keydown', key(1));
      canvas.addEventListener('keyup', key(0));
      var focus = function (gained) {
        return function () {
          frame.classList.toggle('inactive', !gained);
          Web.queue([4 /* WEB_FOCUS */, w.id, gained, 0, 0]);
        };
      };
      canvas.addEventListener('focus', focus(1));
      canvas.addEventListener('blur', focus(0));

      if (!frameless) {
        var caption = Web.element('div', 'caption', frame);
        Web.element('span', 'title', caption).textContent = title;
        var close = Web.element('button', 'close', caption);
        close.type = 'button';
        close.title = 'Close';
        close.setAttribute('aria-label', 'Close');
        close.textContent = '\u2715';
        close.addEventListener('click', function () { Web.queue([3 /* WEB_CLOSE */, w.id, 0, 0, 0]); });
        // Clicking the frame or the caption keeps the keyboard on the canvas.
        frame.addEventListener('mousedown', function (e) {
          if (e.target != canvas) {
            e.preventDefault();
            canvas.focus({preventScroll: true});
          }
        });
        frame.addEventListener('pointermove', function (e) {
          if (e.target != frame)
            return;
          var on = Web.edges(w, e);
          frame.style.cursor = on[0] && on[1] ? 'nwse-resize' : on[0] ? 'ew-resize' : on[1] ? 'ns-resize' : '';
        });
        frame.addEventListener('pointerdown', function (e) {
          var on = Web.edges(w, e);
          if (e.target == frame && (on[0] || on[1]))
            Web.startResize(w, e, on[0], on[1]);
        });
        var grip = Web.element('div', 'grip', frame);
        grip.addEventListener('pointerdown', function (e) { Web.startResize(w, e, true, true); });
      }
      Web.layout(w);
      (document.getElementById('desktop') || document.body).appendChild(frame);
      Web.windows[w.id] = w;
      return w.id;
    },

    box: function (caption, text, done) {
      var previous = document.activeElement;
      var modal = Web.element('div', 'modal', document.body);
      var box = Web.element('div', 'box', modal);
      box.setAttribute('role', 'alertdialog');
      box.setAttribute('aria-modal', 'true');
      var title = Web.element('div', 'caption', box);
      Web.element('span', 'title', title).textContent = caption;
      var message = Web.element('p', 'text', box);
      message.textContent = text;
      var ok = Web.element('button', 'ok', box);
      ok.type = 'button';
      ok.textContent = 'OK';
      box.setAttribute('aria-label', caption);
      var finish = function () {
        modal.remove();
        if (previous && previous.isConnected && previous.focus)
          previous.focus({preventScroll: true});
        done();
      };
      ok.addEventListener('click', finish);
      // With one OK button, Escape answers OK too.
      box.addEventListener('keydown', function (e) {
        if (e.key == 'Escape') {
          e.preventDefault();
          finish();
        }
      });
      ok.focus();
    },
  },

  web_open__deps: ['$Web'],
  web_open: function () {
    if (typeof document == 'undefined')
      return 0;
    if (!Web.channel) {
      // NOTE: a message to oneself runs as soon as the browser has done its
      // own work; setTimeout(0) would be held back to 4 ms.
      Web.channel = new MessageChannel();
      Web.channel.port1.onmessage = function () {
        var resume = Web.resume;
        Web.resume = null;
        Web.wake(resume);
      };
    }
    return 1;
  },

  web_close_all__deps: ['$Web'],
  web_close_all: function () {
    for (var id in Web.windows)
      Web.windows[id].frame.remove();
    Web.windows = {};
  },

  web_window_create__deps: ['$Web'],
  web_window_create: function (title, x, y, width, height, frameless) {
    return Web.make(UTF8ToString(title), x, y, width, height, !!frameless);
  },

  web_window_destroy__deps: ['$Web'],
  web_window_destroy: function (id) {
    var w = Web.windows[id];
    if (w) {
      w.frame.remove();
      delete Web.windows[id];
    }
  },

  web_window_show__deps: ['$Web'],
  web_window_show: function (id, shown) {
    var w = Web.windows[id];
    if (!w)
      return;
    w.frame.style.display = shown ? '' : 'none';
    // A window that is shown is activated and takes the keyboard.
    if (shown)
      w.canvas.focus({preventScroll: true});
    else if (document.activeElement == w.canvas)
      w.canvas.blur();
  },

  web_window_client_size__deps: ['$Web'],
  web_window_client_size: function (id, width, height) {
    var w = Web.windows[id];
    HEAP32[width >> 2] = w ? w.canvas.width : 0;
    HEAP32[height >> 2] = w ? w.canvas.height : 0;
  },

  web_window_frame__deps: ['$Web'],
  web_window_frame: function (id, left, top, right, bottom) {
    var w = Web.windows[id];
    var i = w ? Web.insets(w) : {left: 0, top: 0, right: 0, bottom: 0};
    HEAP32[left >> 2] = i.left;
    HEAP32[top >> 2] = i.top;
    HEAP32[right >> 2] = i.right;
    HEAP32[bottom >> 2] = i.bottom;
  },

  web_window_place__deps: ['$Web'],
  web_window_place: function (id, x, y, width, height) {
    var w = Web.windows[id];
    if (!w)
      return;
    w.x = x;
    w.y = y;
    Web.setClient(w, Math.max(width, 0), Math.max(height, 0));
  },

  web_window_select_canvas__deps: ['$Web'],
  web_window_select_canvas: function (id) {
    if (Web.windows[id])
      Module['canvas'] = Web.windows[id].canvas;
  },

  web_next_event__deps: ['$Web'],
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

  web_wait_event__deps: ['$Web'],
  web_wait_event: function () {
    Asyncify.handleSleep(function (resume) {
      if (Web.events.length)
        resume();
      else
        Web.waiting = resume;
    });
  },

  web_message_box__deps: ['$Web'],
  web_message_box: function (caption, text) {
    Asyncify.handleSleep(function (resume) {
      Web.box(UTF8ToString(caption), UTF8ToString(text), function () { Web.wake(resume); });
    });
  },

  web_frame_done__deps: ['$Web'],
  web_frame_done: function () {
    Asyncify.handleSleep(function (resume) {
      if (!Web.frames++)
        Module['firstFrame'] = performance.now();
      Module['frames'] = Web.frames;
      Web.resume = resume;
      Web.channel.port2.postMessage(0);
    });
  },

  web_webgl_available: function () {
    try {
      var gl = document.createElement('canvas').getContext('webgl');
      if (!gl)
        return 0;
      // Only a question: the context goes at once.
      var lose = gl.getExtension('WEBGL_lose_context');
      if (lose)
        lose.loseContext();
      return 1;
    } catch (e) {
      return 0;
    }
  },

  // The emulation draws no GL_POLYGON (9); a convex polygon is the same
  // picture as a triangle fan (6) of its vertices. The emulation's own
  // glBegin does the rest.
  $webEmulatedBegin: LibraryManager.library.glBegin,
  $webEmulatedBegin__deps: LibraryManager.library.glBegin__deps,
  glBegin__deps: ['$webEmulatedBegin'],
  glBegin: function (mode) {
    webEmulatedBegin(mode == 9 ? 6 : mode);
  },

  // The emulation always shades smoothly, which is GL's default.
  glShadeModel: function (mode) {
    if (mode != 0x1D01 /* GL_SMOOTH */)
      warnOnce('glShadeModel: only GL_SMOOTH is drawn');
  },
};

// NOTE: on Windows a GL call with no current context does nothing (the
// program's WM_SIZE reaches glViewport so after a failed set-up); the
// emulation's would throw. So every GL entry point is guarded: the original
// stays under a name of its own, and the entry point calls it only while
// there is a context.
(function () {
  var library = LibraryManager.library;
  for (var name in library) {
    if (!/^gl[A-Z][A-Za-z0-9]*$/.test(name))
      continue;
    var own = WebHost.hasOwnProperty(name);
    var entry = own ? WebHost[name] : library[name];
    if (typeof entry != 'function')
      continue;   // a synonym: it names an entry point that is guarded
    var original = '$webGL_' + name, params = [];
    for (var i = 0; i < entry.length; ++i)
      params.push('a' + i);
    WebHost[original] = entry;
    WebHost[original + '__deps'] = (own ? WebHost : library)[name + '__deps'] || [];
    WebHost[name] = eval('(function (' + params + ') { if (!GLctx) return 0; return webGL_' + name +
                         '(' + params + '); })');
    WebHost[name + '__deps'] = [original];
  }
})();

mergeInto(LibraryManager.library, WebHost);
