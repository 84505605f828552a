// The daemon's status objects on the page: JSON texts beginning with "{",
// {"type":"publish",...} and {"type":"camera",...}, sent after the greeting,
// on every change and every 2 s while live. QvStatus.take(text) shows one
// and says whether the text was one; QvStatus.disconnected() says that the
// connection dropped: what the page showed is no longer known.
'use strict';

const QvStatus = (() => {
  const PUBLISH_WORDS = {
    idle: ['未推流', 'Idle'], starting: ['正在连接', 'Starting'], live: ['直播中', 'Live'],
    stalled: ['已卡住', 'Stalled'], retrying: ['重试中', 'Retrying'], failed: ['已失败', 'Failed'],
    disconnected: ['未连接', 'Not connected'],
  };
  const CAMERA_WORDS = {
    idle: ['未预览', 'Idle'], starting: ['正在打开', 'Starting'], delivering: ['画面正常', 'Delivering'],
    retrying: ['重试中', 'Retrying'], failed: ['已失败', 'Failed'], disconnected: ['未连接', 'Not connected'],
  };
  const CHART_SECONDS = 60;
  const byId = (id) => document.getElementById(id);
  const samples = [];  // [time ms, kbps] of the last 60 s while live
  let liveSince = 0;   // local time the encoder went live, from its uptime
  let retryAt = 0;     // local time of the next start, from retryIn
  let publishState = 'idle';

  function badge(id, words, state) {
    const element = byId(id);
    const [zh, en] = words[state] || [state, state];
    element.className = 'badge ' + state;
    element.textContent = zh + ' ';
    const span = document.createElement('span');
    span.className = 'en';
    span.textContent = en;
    element.append(span);
  }

  const clock = (seconds) => {
    const s = Math.max(0, Math.floor(seconds));
    const two = (n) => String(n).padStart(2, '0');
    return (s >= 3600 ? Math.floor(s / 3600) + ':' : '') + two(Math.floor(s / 60) % 60) + ':' + two(s % 60);
  };

  function drawChart() {
    const canvas = byId('bitrateChart');
    if (!canvas || !canvas.getContext) return;
    const context = canvas.getContext('2d');
    const width = canvas.width, height = canvas.height;
    context.clearRect(0, 0, width, height);
    context.strokeStyle = '#d9dee8';
    context.strokeRect(0.5, 0.5, width - 1, height - 1);
    const now = Date.now();
    while (samples.length && now - samples[0][0] > CHART_SECONDS * 1000) samples.shift();
    if (samples.length === 0) return;
    const top = Math.max(50, ...samples.map((s) => s[1])) * 1.2;
    context.fillStyle = '#5d6678';
    context.font = '11px sans-serif';
    context.fillText(Math.round(top) + ' kbit/s', 4, 12);
    context.fillText('60 s', 4, height - 4);
    context.strokeStyle = '#2563eb';
    context.lineWidth = 2;
    context.beginPath();
    samples.forEach(([time, kbps], index) => {
      const x = width - ((now - time) / (CHART_SECONDS * 1000)) * width;
      const y = height - (kbps / top) * (height - 4) - 2;
      if (index === 0) context.moveTo(x, y); else context.lineTo(x, y);
    });
    context.stroke();
  }

  function tick() {
    const now = Date.now();
    if (publishState === 'live') byId('liveTime').textContent = clock((now - liveSince) / 1000);
    if (publishState === 'retrying') {
      byId('retryIn').textContent = Math.max(0, Math.ceil((retryAt - now) / 1000)) + ' 秒后重试 · retry in ' +
        Math.max(0, Math.ceil((retryAt - now) / 1000)) + ' s';
    }
  }

  function showPublish(status) {
    publishState = status.state;
    badge('publishBadge', PUBLISH_WORDS, status.state);
    const live = status.state === 'live';
    // Stalled: the encoder runs but no frame goes out; its figures are zero.
    const running = live || status.state === 'stalled';
    byId('fps').textContent = running ? status.fps.toFixed(1) : '—';
    byId('kbps').textContent = running ? status.kbps.toFixed(1) + ' kbit/s' : '—';
    byId('dropped').textContent = running ? String(status.dropped) : '—';
    // Only the HD levels choose an encoder; the others always use libx264.
    byId('encoder').textContent = running ? (status.encoder || 'libx264') : '—';
    if (running) {
      liveSince = Date.now() - status.uptime * 1000;
      samples.push([Date.now(), status.kbps]);
    } else {
      byId('liveTime').textContent = '—';
      if (status.state !== 'retrying') samples.length = 0;
    }
    const reason = byId('publishReason');
    if (status.state === 'retrying') {
      retryAt = Date.now() + status.retryIn * 1000;
      reason.textContent = '第 ' + status.attempt + ' 次重试 · attempt ' + status.attempt + ': ' + status.reason;
    } else if (status.state === 'failed') {
      reason.textContent = '错误码 ' + status.code + ' · code ' + status.code + ': ' + status.reason;
    } else {
      reason.textContent = '';
    }
    if (status.state !== 'retrying') byId('retryIn').textContent = '';
    tick();
    drawChart();
  }

  function showCamera(status) {
    badge('cameraBadge', CAMERA_WORDS, status.state);
    byId('cameraDevice').textContent = status.device || '—';
    byId('cameraFormat').textContent = status.format || '—';
    const reason = status.reason
      ? (status.state === 'retrying' ? '第 ' + status.attempt + ' 次重试，' + status.retryIn + ' 秒后 · attempt ' +
         status.attempt + ', in ' + status.retryIn + ' s: ' : '') + status.reason
      : '';
    byId('cameraReason').textContent = reason;
  }

  // The daemon may be gone: no state is shown as if it were known, and the
  // clock stops where it was (the last time the page knew it live).
  function disconnected() {
    publishState = 'disconnected';
    badge('publishBadge', PUBLISH_WORDS, 'disconnected');
    badge('cameraBadge', CAMERA_WORDS, 'disconnected');
    for (const id of ['fps', 'kbps', 'dropped', 'encoder']) byId(id).textContent = '—';
    byId('publishReason').textContent = '';
    byId('retryIn').textContent = '';
    byId('cameraReason').textContent = '';
  }

  function take(text) {
    if (!text.startsWith('{')) return false;
    let status;
    try {
      status = JSON.parse(text);
    } catch (error) {
      return false;
    }
    if (status.type === 'publish') showPublish(status);
    else if (status.type === 'camera') showCamera(status);
    else return false;
    return true;
  }

  setInterval(tick, 250);
  return { take, disconnected };
})();
