'use strict';
// The browser handheld's page: the command bar, the dialogs and the canvas around
// the tablet surface, which runs in WebAssembly (penvale.js). Pointer samples go
// to the surface as they come; the surface decides what they mean.

const PvPage = (() => {
    // CSS pixels: the client area begins here, as the work area does. A finger needs 44 pixels to hit a button.
    const TOUCH_SCREEN = window.matchMedia('(pointer: coarse)').matches;
    const BAR_HEIGHT = TOUCH_SCREEN ? 44 : 40;
    const {kSettings: SETTINGS, kAppAbout: ABOUT, kAppExit: EXIT} = PvCommands;
    const ACTION_KEY = 0x86, HELP_KEY = 0x70;

    let canvas = null;
    let context = null;
    let image = null;  // an ImageData over the framebuffer in WebAssembly memory
    let started = false;
    let closed = false;
    let pointerId = null;  // the pointer that is down on the surface
    let pointerKind = null;  // its pointerType
    let modalDepth = 0;
    const boxes = [];  // texts of message boxes waiting behind the one shown
    let firstPresent = null;
    let presented = 0;

    const $ = (id) => document.getElementById(id);
    const wasm = () => Module;

    // The surface's connection is the browser's WebSocket: watched here, so that the bar shows its state and a
    // page the desktop turned away says why in words (the close code the server chose), before the first touch.
    const CLOSE_WRONG_TOKEN = 4001, CLOSE_FOREIGN_PAGE = 4002, CLOSE_BUSY = 4003;
    const sockets = new Set();
    let linkState = 'disconnected';
    let refusal = null;
    const NativeWebSocket = window.WebSocket;
    window.WebSocket = class extends NativeWebSocket {
        constructor(...args) {
            super(...args);
            watchSocket(this);
        }
    };

    function watchSocket(socket) {
        sockets.add(socket);
        socket.addEventListener('open', showLink);
        socket.addEventListener('close', (event) => {
            sockets.delete(socket);
            if (event.code === CLOSE_WRONG_TOKEN || event.code === CLOSE_FOREIGN_PAGE || event.code === CLOSE_BUSY) {
                showRefusal(event.code, event.reason);
            }
            showLink();
        });
        showLink();
    }

    const LINK_WORDS = {
        connected: 'Connected to the desktop',
        reconnecting: 'Connecting to the desktop...',
        disconnected: 'Not connected to the desktop',
    };
    function showLink() {
        const states = [...sockets].map((socket) => socket.readyState);
        linkState = states.includes(NativeWebSocket.OPEN) ? 'connected'
            : states.includes(NativeWebSocket.CONNECTING) ? 'reconnecting' : 'disconnected';
        const link = $('link');
        if (link) {
            link.dataset.state = linkState;
            link.title = LINK_WORDS[linkState];
            link.setAttribute('aria-label', LINK_WORDS[linkState]);
        }
    }

    function refusalWords(code, reason) {
        if (code === CLOSE_WRONG_TOKEN) {
            return ['The desktop did not accept this page',
                'This page\'s key is missing or out of date (the desktop may have made a new one). ' +
                'Scan the code the desktop shows again, or open the address it printed.'];
        }
        if (code === CLOSE_FOREIGN_PAGE) {
            return ['This page was not opened at the desktop\'s address',
                'Open the address the desktop printed (or scan the code it shows) instead of this one.'];
        }
        const who = /^[0-9.]{7,15}$/.test(reason) ? reason : 'another device';
        return ['Another handheld is in use: ' + who,
            'Only one handheld can drive the desktop at a time. Close Penvale on ' + who +
            ' or wait until it disconnects, then tap Try again.'];
    }
    function showRefusal(code, reason) {
        if (closed) {
            return;
        }
        refusal = {code, reason};
        const [title, text] = refusalWords(code, reason);
        $('notice-title').textContent = title;
        $('notice-text').textContent = text;
        $('notice').hidden = false;
    }

    // The first touch of the surface asks for the whole screen and keeps it awake, where the browser offers that.
    // Not a touch of a control: the page's resizing would lose its click.
    let fullscreenRequests = 0;
    let wakeLock = null;  // the lock, or the promise of it
    let awake = false;    // the page wants the screen kept on
    function keepAwake() {
        if (closed || !awake || wakeLock !== null || document.visibilityState !== 'visible' || !navigator.wakeLock) {
            return;
        }
        wakeLock = navigator.wakeLock.request('screen').then((lock) => {
            lock.addEventListener('release', () => (wakeLock = null));
            return lock;
        }, () => (wakeLock = null));
    }
    function onFirstTouch() {
        canvas.removeEventListener('pointerdown', onFirstTouch, true);
        const root = document.documentElement;
        if (!document.fullscreenElement && typeof root.requestFullscreen === 'function') {
            ++fullscreenRequests;
            root.requestFullscreen({navigationUI: 'hide'}).catch(() => {});
        }
        awake = true;
        keepAwake();
    }

    function token() {
        const fromUrl = new URLSearchParams(location.search).get('t');
        try {
            // A home-screen start opens the page without it: the last one seen still holds.
            if (fromUrl) {
                localStorage.setItem('WebToken', fromUrl);
                // Kept: out of the address bar and the history, where others may see it.
                const url = new URL(location.href);
                url.searchParams.delete('t');
                history.replaceState(history.state, '', url.pathname + url.search + url.hash);
                return fromUrl;
            }
            return localStorage.getItem('WebToken') || '';
        } catch (e) {
            return fromUrl || '';
        }
    }

    function socketUrl() {
        const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
        return scheme + location.host + '/ws?t=' + encodeURIComponent(token());
    }

    function geometry() {
        const width = Math.max(1, window.innerWidth);
        const height = Math.max(1, window.innerHeight);
        return {width, height, surfaceHeight: Math.max(1, height - BAR_HEIGHT)};
    }

    function layout() {
        if (!started || closed) {
            return;
        }
        const g = geometry();
        canvas.style.width = g.width + 'px';
        canvas.style.height = g.surfaceHeight + 'px';
        if (canvas.width !== g.width || canvas.height !== g.surfaceHeight) {
            canvas.width = g.width;
            canvas.height = g.surfaceHeight;
        }
        wasm()._pv_layout(g.width, g.height, BAR_HEIGHT, g.width, g.surfaceHeight);
    }

    const KINDS = {mouse: 0, pen: 1, touch: 2};

    // A sample as the surface's recogniser takes it: the pointer, its kind, the point on the surface, the
    // time, and what a pen adds (pressure, tilt, buttons).
    function sample(call, event, id) {
        const pressure = event.pointerType === 'pen' ? event.pressure : -1;
        call(id, KINDS[event.pointerType] ?? 0, event.clientX, event.clientY - BAR_HEIGHT, event.timeStamp,
            pressure, event.tiltX || 0, event.tiltY || 0, event.buttons);
    }

    // The recogniser decides which pointer drives the surface (a pen takes over from a touch, a touch may give
    // way to a pen); the page follows it.
    function followTracked() {
        const tracked = wasm()._pv_pointer_tracked();
        pointerId = tracked >= 0 ? tracked : null;
    }
    let penRemembered = false;
    function rememberPen() {
        if (!penRemembered && wasm()._pv_pen_seen()) {
            penRemembered = true;
            try {
                localStorage.setItem('PenSeen', '1');
            } catch (e) {
                // Private browsing: known for this visit only.
            }
        }
    }

    function onPointerDown(event) {
        event.preventDefault();
        const penOverTouch = event.pointerType === 'pen' && pointerId !== null && pointerKind === 'touch';
        if (closed || modalDepth > 0 || (pointerId !== null && !penOverTouch) || !event.isPrimary ||
            event.button !== 0) {
            return;
        }
        sample(wasm()._pv_pointer_down, event, event.pointerId);
        followTracked();
        rememberPen();
        if (pointerId === event.pointerId) {
            pointerKind = event.pointerType;
            canvas.setPointerCapture(event.pointerId);
        }
    }

    // A pen in range: hovering over the surface, or gone from the page (its leaving the surface the recogniser
    // hears from onPointerLeave).
    function onPenHover(event) {
        if (event.pointerType === 'pen' && event.target === canvas && event.pointerId !== pointerId && started &&
            !closed) {
            wasm()._pv_pen(1, event.timeStamp);
            followTracked();
            rememberPen();
        }
    }
    function onPenLeave(event) {
        if (event.pointerType === 'pen' && event.relatedTarget === null && started && !closed) {
            wasm()._pv_pen(0, event.timeStamp);
        }
    }

    // The page goes away (hidden, another app, focus lost, the capture taken): the gesture ends as a lift
    // would, at once; the same pointer later starts a new one.
    function endGesture() {
        if (pointerId !== null && started && !closed) {
            pointerId = null;
            wasm()._pv_pointer_end();
        }
    }

    // Every sample since the last event, oldest first; outside a secure context only the event itself.
    function coalesced(event) {
        const samples = typeof event.getCoalescedEvents === 'function' ? event.getCoalescedEvents() : [];
        return samples.length > 0 ? samples : [event];
    }

    function onPointerMove(event) {
        if (pointerId === null && event.pointerType === 'pen' && !closed) {
            // A pen in range over the surface: the desktop's tablet pen follows it where it takes samples.
            for (const one of coalesced(event)) {
                sample(wasm()._pv_pointer_hover, one, event.pointerId);
            }
            return;
        }
        if (event.pointerId !== pointerId) {
            return;
        }
        for (const one of coalesced(event)) {
            sample(wasm()._pv_pointer_move, one, event.pointerId);
        }
        wasm()._pv_pointer_flush();
    }

    function onPointerUp(event) {
        if (event.pointerId !== pointerId) {
            return;
        }
        pointerId = null;
        sample(wasm()._pv_pointer_up, event, event.pointerId);
    }

    // A pen that leaves the surface (out of range, or off it) is out of the tablet's range.
    function onPointerLeave(event) {
        if (event.pointerType === 'pen' && event.pointerId !== pointerId && !closed) {
            wasm()._pv_pointer_leave(event.pointerId);
        }
    }

    function onPointerCancel(event) {
        if (event.pointerId !== pointerId) {
            return;
        }
        pointerId = null;
        wasm()._pv_pointer_cancel(event.pointerId);
    }

    // Boxes, dialogs and the open menu keep the pen from the surface.
    function openModal() {
        if (modalDepth++ === 0 && started) {
            wasm()._pv_modal(1, 0);
        }
    }
    function closeModal() {
        if (--modalDepth === 0 && started && !closed) {
            wasm()._pv_modal(0, pointerId !== null ? 1 : 0);
        }
    }

    function showScrim(dim, onTap) {
        const scrim = $('scrim');
        scrim.className = dim ? 'dim' : '';
        scrim.hidden = false;
        scrim.onpointerdown = (event) => {
            event.preventDefault();
            if (onTap) {
                onTap();
            }
        };
    }
    function hideScrim() {
        $('scrim').hidden = true;
        $('scrim').onpointerdown = null;
    }

    // The Tools menu.
    function openMenu() {
        if (!$('menu').hidden) {
            return;
        }
        openModal();
        showScrim(false, closeMenu);
        $('menu').hidden = false;
        $('tools').setAttribute('aria-expanded', 'true');
    }
    function closeMenu() {
        if ($('menu').hidden) {
            return;
        }
        $('menu').hidden = true;
        $('submenu').hidden = true;
        $('tools').setAttribute('aria-expanded', 'false');
        hideScrim();
        closeModal();
    }
    function openSubmenu() {
        const item = $('orientation').getBoundingClientRect();
        const submenu = $('submenu');
        submenu.hidden = false;
        const left = Math.min(item.right - 4, window.innerWidth - submenu.offsetWidth);
        submenu.style.left = Math.max(0, left) + 'px';
        submenu.style.top = item.top + 'px';
    }

    // Commands go to the surface first, then to the page.
    function command(id) {
        closeMenu();
        if (closed) {
            return;
        }
        if (wasm()._pv_command(id)) {
            return;
        }
        if (id === SETTINGS) {
            openSettings();
        } else if (id === ABOUT) {
            openDialog('about', 'about-ok');
        } else if (id === EXIT) {
            exit();
        }
    }

    // Message boxes, one at a time, in the order they were raised.
    function messageBox(text) {
        if (closed) {
            return;
        }
        boxes.push(text);
        if (boxes.length === 1) {
            openModal();
            showBox();
        }
    }
    function showBox() {
        $('box-text').textContent = boxes[0];
        showScrim(true, null);
        $('box').hidden = false;
        $('box-ok').focus();
    }
    function closeBox() {
        if (boxes.length === 0) {
            return;
        }
        boxes.shift();
        if (boxes.length > 0) {
            showBox();
            return;
        }
        $('box').hidden = true;
        hideScrim();
        closeModal();
    }

    let openDialogId = null;
    function openDialog(id, focus) {
        openModal();
        showScrim(true, null);
        openDialogId = id;
        $(id).hidden = false;
        $(focus).focus();
    }
    function closeDialog() {
        if (openDialogId === null) {
            return;
        }
        $(openDialogId).hidden = true;
        openDialogId = null;
        hideScrim();
        closeModal();
    }

    function openSettings() {
        // The slider keeps the stored number inside its range.
        $('slider').value = String(wasm()._pv_read_extended_drawing_time());
        openDialog('settings', 'slider');
    }
    function settingsOk() {
        wasm()._pv_write_extended_drawing_time(Number($('slider').value));
        closeDialog();
    }

    function exit() {
        closed = true;
        wasm()._pv_exit();
        if (document.fullscreenElement && document.exitFullscreen) {
            document.exitFullscreen().catch(() => {});
        }
        Promise.resolve(wakeLock).then((lock) => lock?.release()).catch(() => {});
        document.title = 'Penvale (closed)';
        document.body.innerHTML = '<main class="closed"><h1>Penvale is closed</h1>' +
            '<p>The connection to the desktop has ended. Reload this page to start Penvale again.</p></main>';
    }

    function onKey(event) {
        if (closed) {
            return;
        }
        const down = event.type === 'keydown';
        if (boxes.length > 0) {
            if (down && (event.key === 'Enter' || event.key === 'Escape')) {
                event.preventDefault();
                closeBox();
            }
            return;
        }
        if (openDialogId !== null) {
            if (down && event.key === 'Escape') {
                event.preventDefault();
                closeDialog();
            } else if (down && event.key === 'Enter') {
                event.preventDefault();
                openDialogId === 'settings' ? settingsOk() : closeDialog();
            } else if (down && event.key === 'F1' && openDialogId === 'settings') {
                event.preventDefault();
                wasm()._pv_help(1);
            }
            return;
        }
        if (!$('menu').hidden) {
            if (down && event.key === 'Escape') {
                closeMenu();
            }
            return;
        }
        if (event.key === 'F23' || event.code === 'F23') {
            event.preventDefault();
            wasm()._pv_key(down ? 1 : 0, ACTION_KEY, event.repeat ? 1 : 0);
        } else if (down && event.key === 'F1') {
            event.preventDefault();
            wasm()._pv_key(1, HELP_KEY, 0);
        }
    }

    function wire() {
        // The markup names its commands; their ids come from the program's table.
        for (const element of document.querySelectorAll('[data-command]')) {
            const id = PvCommands[element.dataset.command];
            if (id === undefined) {
                throw new Error('unknown command ' + element.dataset.command);
            }
            element.dataset.command = String(id);
        }
        canvas = $('surface');
        context = canvas.getContext('2d', {alpha: false});
        canvas.addEventListener('pointerdown', onPointerDown);
        // A move's samples go out as soon as the browser has them. pointermove waits for the next animation
        // frame; pointerrawupdate does not, but browsers offer it only in a secure context (the page on 127.x
        // or over TLS, not over plain HTTP on a LAN). Where it exists it carries every sample and pointermove
        // is left to the browser.
        canvas.addEventListener('onpointerrawupdate' in window ? 'pointerrawupdate' : 'pointermove', onPointerMove);
        canvas.addEventListener('pointerup', onPointerUp);
        canvas.addEventListener('pointercancel', onPointerCancel);
        canvas.addEventListener('pointerleave', onPointerLeave);
        canvas.addEventListener('lostpointercapture', (event) => {
            if (event.pointerId === pointerId) {
                endGesture();
            }
        });
        document.addEventListener('visibilitychange', () => {
            if (document.visibilityState === 'hidden' && started && !closed) {
                endGesture();
                wasm()._pv_pen(0, performance.now());
            }
        });
        window.addEventListener('pagehide', endGesture);
        window.addEventListener('blur', endGesture);
        window.addEventListener('pointerover', onPenHover);
        window.addEventListener('pointermove', onPenHover);
        window.addEventListener('pointerout', onPenLeave);
        // A pointer that ends anywhere (under a box, off the canvas) is no longer down.
        window.addEventListener('pointerup', (event) => {
            if (event.pointerId === pointerId && event.target !== canvas) {
                onPointerUp(event);
            }
        }, true);
        // No context menu, selection, scrolling or zooming anywhere on the page.
        for (const type of ['contextmenu', 'selectstart', 'dragstart', 'gesturestart', 'dblclick']) {
            document.addEventListener(type, (event) => event.preventDefault(), {passive: false});
        }
        document.addEventListener('touchmove', (event) => event.preventDefault(), {passive: false});
        canvas.addEventListener('pointerdown', onFirstTouch, true);
        // The browser lets a wake lock go while the page is hidden.
        document.addEventListener('visibilitychange', keepAwake);
        $('notice-retry').addEventListener('click', () => location.reload());
        document.addEventListener('keydown', onKey);
        document.addEventListener('keyup', onKey);

        $('tools').addEventListener('click', () => ($('menu').hidden ? openMenu() : closeMenu()));
        $('orientation').addEventListener('click', openSubmenu);
        $('orientation').addEventListener('pointerenter', (event) => {
            if (event.pointerType === 'mouse') {
                openSubmenu();
            }
        });
        for (const item of document.querySelectorAll('#menu [data-command], #submenu [data-command], .tb')) {
            item.addEventListener('click', () => command(Number(item.dataset.command)));
        }
        $('close').addEventListener('click', () => command(EXIT));
        $('box-ok').addEventListener('click', closeBox);
        $('settings-ok').addEventListener('click', settingsOk);
        $('settings-cancel').addEventListener('click', closeDialog);
        $('settings-close').addEventListener('click', closeDialog);
        $('settings-help').addEventListener('click', () => wasm()._pv_help(1));
        $('about-ok').addEventListener('click', closeDialog);
        window.addEventListener('resize', layout);
        window.addEventListener('orientationchange', layout);
    }

    function drawButtons() {
        for (const button of document.querySelectorAll('.tb')) {
            const id = Number(button.dataset.command);
            const pixels = wasm()._pv_button_image(id);
            if (!pixels) {
                continue;
            }
            const target = button.querySelector('canvas');
            const size = target.width * target.height * 4;
            const data = new Uint8ClampedArray(wasm().HEAPU8.buffer, pixels, size).slice();
            target.getContext('2d').putImageData(new ImageData(data, target.width, target.height), 0, 0);
        }
    }

    function start() {
        wire();
        started = true;
        document.documentElement.style.setProperty('--bar', BAR_HEIGHT + 'px');
        showLink();
        const g = geometry();
        canvas.width = g.width;
        canvas.height = g.surfaceHeight;
        canvas.style.width = g.width + 'px';
        canvas.style.height = g.surfaceHeight + 'px';
        drawButtons();
        const url = socketUrl();
        const size = wasm().lengthBytesUTF8(url) + 1;
        const text = wasm()._malloc(size);
        wasm().stringToUTF8(url, text, size);
        wasm()._pv_start(text, g.width, g.height, BAR_HEIGHT, g.width, g.surfaceHeight);
        try {
            wasm()._pv_pen_known(localStorage.getItem('PenSeen') === '1' ? 1 : 0);
        } catch (e) {
            // No storage: a pen is known once it shows itself.
        }
        wasm()._free(text);
        // The layout may have changed while the module loaded.
        layout();
    }

    // Called by the surface: the framebuffer's changed rectangle reaches the canvas.
    function present(pixels, width, height, left, top, right, bottom) {
        const buffer = wasm().HEAPU8.buffer;
        if (image === null || image.width !== width || image.height !== height || image.data.buffer !== buffer ||
            image.data.byteOffset !== pixels) {
            image = new ImageData(new Uint8ClampedArray(buffer, pixels, width * height * 4), width, height);
        }
        if (canvas.width !== width || canvas.height !== height) {
            canvas.width = width;
            canvas.height = height;
            left = 0, top = 0, right = width, bottom = height;
        }
        context.putImageData(image, 0, 0, left, top, right - left, bottom - top);
        ++presented;
        if (firstPresent === null) {
            firstPresent = performance.now();
            performance.mark('penvale-first-paint');
        }
    }

    function check(commandId, checked) {
        const item = document.querySelector('#submenu [data-command="' + commandId + '"]');
        if (item) {
            item.setAttribute('aria-checked', checked ? 'true' : 'false');
        }
    }

    function openHelp(url) {
        window.open(url, '_blank', 'noopener');
    }

    return {
        start, present, check, messageBox, openHelp,
        // For tests and measurements.
        get barHeight() { return BAR_HEIGHT; },
        get firstPresent() { return firstPresent; },
        get presented() { return presented; },
        get closed() { return closed; },
        get link() { return linkState; },
        get refusal() { return refusal; },
        get fullscreenRequests() { return fullscreenRequests; },
        get modal() { return modalDepth > 0; },
        boxText: () => (boxes.length > 0 ? boxes[0] : null),
    };
})();

var Module = {
    onRuntimeInitialized: () => PvPage.start(),
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
};
