// The page's side of the web backend (web.cpp): the canvas, its pixels and text, the visitor's click and the
// page's size, the animation frames, and what the page shows when the program ends. window.coppertrowel says
// where the program is, for the page and its tests: state ("loading", "running", "ended", "refused"), the
// message the program left, the animation frames run since it started, and the main thread's time of each of
// the last thousand (steps, composition, conversion and the copy to the canvas), in milliseconds.
mergeInto(LibraryManager.library, {
    $webPage: { canvas: null, context: null, listening: false, status: null },

    web_connect__deps: ['$webPage', 'web_left_button', 'web_resized'],
    web_connect: function () {
        var canvas = document.getElementById('screen');
        if (!canvas) {
            return false;
        }
        webPage.canvas = canvas;
        webPage.context = canvas.getContext('2d', { alpha: false });
        webPage.status = window.coppertrowel;
        webPage.status.state = 'running';
        webPage.status.message = '';
        webPage.status.frames = 0;
        webPage.status.frameTimes = [];
        document.getElementById('ended').classList.remove('shown');
        if (!webPage.listening) {
            webPage.listening = true;
            canvas.addEventListener('mousedown', function (event) {
                if (event.button === 0 && webPage.status.state === 'running') {
                    _web_left_button(Math.round(event.offsetX * devicePixelRatio),
                                     Math.round(event.offsetY * devicePixelRatio));
                }
            });
            window.addEventListener('resize', function () {
                if (webPage.status.state === 'running' &&
                    (_web_canvas_width() !== canvas.width || _web_canvas_height() !== canvas.height)) {
                    _web_resized();
                }
            });
        }
        return true;
    },

    // The canvas's size in device pixels: its size on the page times the device's pixels per CSS pixel.
    web_canvas_width__deps: ['$webPage'],
    web_canvas_width: function () {
        return Math.round(webPage.canvas.getBoundingClientRect().width * devicePixelRatio);
    },
    web_canvas_height__deps: ['$webPage'],
    web_canvas_height: function () {
        return Math.round(webPage.canvas.getBoundingClientRect().height * devicePixelRatio);
    },

    web_size_canvas__deps: ['$webPage'],
    web_size_canvas: function (width, height) {
        webPage.canvas.width = width;
        webPage.canvas.height = height;
    },

    web_put_pixels__deps: ['$webPage'],
    web_put_pixels: function (rgba, x, y, width, height) {
        var pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
        webPage.context.putImageData(new ImageData(pixels, width, height), x, y);
    },

    web_fill__deps: ['$webPage'],
    web_fill: function (x, y, width, height, colour) {
        webPage.context.fillStyle =
            'rgb(' + (colour & 255) + ',' + ((colour >> 8) & 255) + ',' + ((colour >> 16) & 255) + ')';
        webPage.context.fillRect(x, y, width, height);
    },

    // The platform's default text: black on an opaque white box, a small monospace font.
    web_text__deps: ['$webPage'],
    web_text: function (x, y, text, length) {
        var context = webPage.context;
        var line = UTF8ToString(text, length);
        context.font = '13px monospace';
        context.textBaseline = 'top';
        context.fillStyle = '#fff';
        context.fillRect(x, y, Math.ceil(context.measureText(line).width), 15);
        context.fillStyle = '#000';
        context.fillText(line, x, y + 1);
    },

    // The visitor's decimal separator, '.' where the language's is not a single plain character.
    web_decimal_separator: function () {
        var separator = (1.5).toLocaleString(navigator.language).charAt(1);
        return separator.length === 1 && separator.charCodeAt(0) < 128 ? separator.charCodeAt(0) : 46;
    },

    web_report__deps: ['$webPage'],
    web_report: function (text) {
        webPage.status.state = 'refused';
        webPage.status.message = UTF8ToString(text);
        document.getElementById('ended-text').textContent = webPage.status.message;
        document.getElementById('ended').classList.add('shown');
    },

    web_animate__deps: ['$webPage'],
    web_animate: function (frame) {
        var status = webPage.status;
        function run() {
            var start = performance.now();
            var more = {{{ makeDynCall('i', 'frame') }}}();
            status.frameTimes.push(performance.now() - start);
            if (status.frameTimes.length > 1000) {
                status.frameTimes.shift();
            }
            status.frames++;
            if (more) {
                requestAnimationFrame(run);
            } else if (status.state === 'running') {
                status.state = 'ended';
                document.getElementById('ended-text').textContent = 'coppertrowel has ended.';
                document.getElementById('ended').classList.add('shown');
            }
        }
        requestAnimationFrame(run);
    },
});
