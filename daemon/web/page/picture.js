// The camera's picture on the page: the session asks the daemon for
// pictures (`picture rate="10" width="640"`) and gets binary messages, each
// one JPEG of what the virtual camera delivers, plus a text
// {"type":"picture","source":"camera"|"standby"} whenever the source
// changes. The page shows them while the camera bridge or a publish runs;
// idle, it shows a hint instead. No camera permission is involved.
'use strict';

const QvPicture = (() => {
  const RATE = 10;
  const WIDTH = 640;
  const RATE_WINDOW_MS = 2000;
  const ACTIVE_CAMERA = ['starting', 'delivering', 'retrying'];
  const ACTIVE_PUBLISH = ['starting', 'live', 'retrying'];
  const byId = (id) => document.getElementById(id);
  let cameraState = 'idle';
  let publishState = 'idle';
  let source = 'standby';
  let drawn = false;
  const arrivals = [];  // times of the pictures of the last RATE_WINDOW_MS

  const active = () => ACTIVE_CAMERA.includes(cameraState) || ACTIVE_PUBLISH.includes(publishState);

  function render() {
    const on = active();
    byId('pictureCanvas').hidden = !on || !drawn;
    byId('pictureHint').hidden = on;
    byId('pictureNotice').hidden = !on || source !== 'standby';
    const now = Date.now();
    while (arrivals.length && now - arrivals[0] > RATE_WINDOW_MS) arrivals.shift();
    byId('pictureRate').textContent = on ? (arrivals.length * 1000 / RATE_WINDOW_MS).toFixed(1) + ' fps' : '';
  }

  // Letterboxed into the 16:9 canvas, whatever the picture's own shape.
  function draw(bitmap) {
    const canvas = byId('pictureCanvas');
    const context = canvas.getContext('2d');
    const scale = Math.min(canvas.width / bitmap.width, canvas.height / bitmap.height);
    const width = bitmap.width * scale, height = bitmap.height * scale;
    context.fillStyle = '#000';
    context.fillRect(0, 0, canvas.width, canvas.height);
    context.drawImage(bitmap, (canvas.width - width) / 2, (canvas.height - height) / 2, width, height);
    drawn = true;
    render();
  }

  // A binary message: one JPEG.
  function show(blob) {
    arrivals.push(Date.now());
    createImageBitmap(blob).then((bitmap) => {
      draw(bitmap);
      if (bitmap.close) bitmap.close();
    }, () => {});
  }

  // Watches the status objects for whether the camera or a publish runs
  // (they stay QvStatus's to show) and takes the picture notices.
  function take(text) {
    if (!text.startsWith('{')) return false;
    let object;
    try {
      object = JSON.parse(text);
    } catch (error) {
      return false;
    }
    if (object.type === 'camera') cameraState = object.state;
    else if (object.type === 'publish') publishState = object.state;
    else if (object.type === 'picture') source = object.source;
    else return false;
    render();
    return object.type === 'picture';
  }

  function ask(socket) {
    socket.send('picture rate="' + RATE + '" width="' + WIDTH + '"');
  }

  function reset() {
    cameraState = publishState = 'idle';
    drawn = false;
    arrivals.length = 0;
    render();
  }

  setInterval(render, 500);
  return { show, take, ask, reset };
})();
