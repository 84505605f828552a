// Control page of the local publishing daemon: one WebSocket session on
// ws://<this host>/ws. The daemon greets with the working microphones and
// its version ("A$B$1.0.0", or "null$1.0.0"), answers each command with
// "start ok", "stop ok" or "preview ok", and names the push level while the
// page is silent. Closing a page that gave a command ends its session, which
// stops publishing; a page that only looked (or reconnected) stops nothing.
'use strict';

const LEVEL_WORDS = { '超清': 'Ultra', '高清': 'High', '标清': 'Standard', '极速': 'Fast' };
// The HD levels' words are their own English.
LEVEL_WORDS['720P'] = 'HD';
LEVEL_WORDS['1080P'] = 'Full HD';
const REPLIES = { 'start ok': '已开始 Started', 'stop ok': '已停止 Stopped', 'preview ok': '预览中 Previewing' };
const $ = (id) => document.getElementById(id);

let socket = null;
let greeted = false;

function setState(kind, zh, en) {
  const state = $('state');
  state.className = 'state ' + kind;
  state.innerHTML = '';
  state.append(zh + ' ');
  const span = document.createElement('span');
  span.className = 'en';
  span.textContent = en;
  state.append(span);
}

function log(direction, text) {
  const item = document.createElement('li');
  item.className = direction;
  const time = document.createElement('time');
  time.textContent = new Date().toLocaleTimeString();
  item.append(time, ' ', direction === 'out' ? '→ ' : '← ', text);
  $('log').prepend(item);
}

function showMicrophones(names) {
  const select = $('microphone');
  select.innerHTML = '';
  for (const name of names) select.add(new Option(name, name));
  if (names.length === 0) {
    const none = new Option('（无可用麦克风）No working microphone', '');
    none.disabled = true;
    select.add(none);
  }
}

function onGreeting(text) {
  const parts = text.split('$');
  const version = parts.pop();
  const names = parts.length === 1 && parts[0] === 'null' ? [] : parts;
  showMicrophones(names);
  $('version').textContent = version;
  greeted = true;
  setState('connected', '已连接', 'Connected');
  reconnected();
  QvPicture.ask(socket);
}

function onMessage(text) {
  if (greeted && (QvPicture.take(text) || takeDevices(text) || QvStatus.take(text))) return;
  log('in', text);
  if (!greeted) return onGreeting(text);
  if (text in LEVEL_WORDS) {
    $('level').textContent = text + ' · ' + LEVEL_WORDS[text];
  } else {
    $('reply').textContent = text + (REPLIES[text] ? ' · ' + REPLIES[text] : '');
  }
}

// At most one socket at a time, whoever asks: the reconnect timer and a page
// restored from the back/forward cache may both want one.
function connect() {
  if (reconnectTimer !== null) {
    clearInterval(reconnectTimer);
    reconnectTimer = null;
  }
  if (socket !== null) return;
  greeted = false;
  setState('connecting', '连接中', 'Connecting');
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  const own = new WebSocket(scheme + location.host + '/ws');
  socket = own;
  own.binaryType = 'blob';
  own.onmessage = (event) => {
    if (socket !== own) return;
    if (typeof event.data === 'string') onMessage(event.data);
    else QvPicture.show(event.data);
  };
  own.onclose = () => {
    // A socket this page already gave up (closed on leaving) is not ours.
    if (socket !== own) return;
    socket = null;
    QvPicture.reset();
    QvStatus.disconnected();
    scheduleReconnect();
  };
}

// Reconnecting after a drop (the daemon restarted, the machine slept). The
// new session only reads the greeting, so it never stops a publish.
const RECONNECT_FIRST_S = 1;
const RECONNECT_LAST_S = 10;
let reconnectDelayS = RECONNECT_FIRST_S;
let reconnectTimer = null;
let pageLeaving = false;

function scheduleReconnect() {
  if (pageLeaving || reconnectTimer !== null) return;
  const delayS = reconnectDelayS;
  reconnectDelayS = Math.min(delayS * 2, RECONNECT_LAST_S);
  let leftS = delayS;
  const tell = () => setState('closed', '已断开，' + leftS + ' 秒后重新连接',
                               'Disconnected, reconnecting in ' + leftS + ' s');
  tell();
  reconnectTimer = setInterval(() => {
    leftS -= 1;
    if (leftS > 0) return tell();
    clearInterval(reconnectTimer);
    reconnectTimer = null;
    connect();
  }, 1000);
}

function reconnected() {
  reconnectDelayS = RECONNECT_FIRST_S;
}

// A page kept in the back/forward cache closes its socket and forgets the
// pending reconnect; restored, it connects once.
addEventListener('pagehide', (event) => {
  pageLeaving = true;
  if (!event.persisted) return;
  if (reconnectTimer !== null) {
    clearInterval(reconnectTimer);
    reconnectTimer = null;
  }
  if (socket !== null) {
    const leaving = socket;
    socket = null;
    leaving.close();
  }
  QvStatus.disconnected();
});
addEventListener('pageshow', (event) => {
  pageLeaving = false;
  if (event.persisted) connect();
});

// Values travel between double quotes and cannot contain one.
const quoted = (value) => '"' + value.replace(/"/g, '').trim() + '"';

function send(command) {
  $('formError').textContent = '';
  if (!socket || socket.readyState !== WebSocket.OPEN) {
    $('formError').textContent = '未连接 · Not connected';
    return;
  }
  socket.send(command);
  log('out', command);
}

function needs(fields) {
  for (const [id, zh, en] of fields) {
    if ($(id).value.trim() === '') {
      $('formError').textContent = '请填写' + zh + ' · ' + en + ' is required';
      $(id).focus();
      return false;
    }
  }
  return true;
}

const CAMERA = ['camera', '摄像头', 'Camera'];
const MICROPHONE = ['microphone', '麦克风', 'Microphone'];
const URL_FIELD = ['streamUrl', '推流地址', 'Stream URL'];

$('preview').onclick = () => {
  if (!needs([CAMERA, MICROPHONE])) return;
  send('preview videoDevice=' + quoted($('camera').value) + ' audioDevice=' + quoted($('microphone').value));
};
$('start').onclick = () => {
  if (!needs([CAMERA, MICROPHONE, URL_FIELD])) return;
  send('start videoDevice=' + quoted($('camera').value) + ' audioDevice=' + quoted($('microphone').value) +
       ' streamUrl=' + quoted($('streamUrl').value) + ' pushLevel=' + quoted($('pushLevel').value));
};
$('stop').onclick = () => send('stop');

// The daemon lists the cameras as capture programs see them (no camera
// permission needed, our own virtual camera left out) right after the
// greeting and whenever devices come or go: {"type":"devices",...}. Two
// cameras of one name are offered as "Name #1", "Name #2", which is how the
// daemon tells them apart. A name can still be typed.
function showCameras(cameras) {
  const list = $('cameras');
  list.innerHTML = '';
  const names = cameras.map((camera) => camera.name);
  names.forEach((name, index) => {
    const shared = names.filter((other) => other === name).length > 1;
    const value = shared ? name + ' #' + (names.slice(0, index).filter((other) => other === name).length + 1) : name;
    const best = (camera) => camera.formats.reduce((a, f) => (f.width * f.height > a.width * a.height ? f : a),
                                                   { width: 0, height: 0 });
    const top = best(cameras[index]);
    list.append(new Option(top.width ? top.width + 'x' + top.height + ' ' + top.pixelFormat + ' ' + top.maxFrameRate +
                                       ' fps' : '', value));
  });
  const values = Array.from(list.options).map((option) => option.value);
  if (values.length > 0 && !$('camera').value) $('camera').value = values[0];
  $('cameraHint').textContent = values.length > 0
    ? '已列出 ' + values.length + ' 个摄像头 · ' + values.length + ' camera(s) listed'
    : '未找到摄像头，请输入名称 · No camera found; type the name.';
}

function takeDevices(text) {
  if (!text.startsWith('{"type":"devices"')) return false;
  let devices;
  try {
    devices = JSON.parse(text);
  } catch (error) {
    return false;
  }
  showCameras(devices.cameras || []);
  const chosen = $('microphone').value;
  showMicrophones(devices.microphones || []);
  if ((devices.microphones || []).includes(chosen)) $('microphone').value = chosen;
  return true;
}

showMicrophones([]);
connect();
