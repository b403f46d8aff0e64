// A loopback SMSC for the Gateway service's tests and benchmarks, built on the npm
// package `smpp`. Accepts any bind with password "password".
//
//   node gateway_smsc.js [--port N] [--delay MS] [--refuse] [--temporary] [--throttle N]
//                        [--silent] [--drop-after N] [--garbage-after N] [--receipts]
//                        [--mo TEXT] [--count-only] [--tls KEY CERT] [--mark-first] [--log FILE]
//
// Prints "LISTENING <port>", then one line per PDU it received:
//   BIND <command> <system_id>
//   SUBMIT <src_ton> <src> <dst_ton> <dst> <data_coding> <esm_class> <registered_delivery> <hex> [sar ref total seq]
//   UNBIND
// --refuse answers every submit with ESME_RINVDSTADR, --temporary with ESME_RSYSERR,
// --throttle N the first N submits with ESME_RTHROTTLED; --silent never answers a submit;
// --drop-after N closes the connection when the Nth submit arrives (unanswered);
// --garbage-after N sends bytes that are no PDU instead of the Nth answer; --receipts sends
// a delivery receipt for every accepted submit; --mo TEXT delivers TEXT from +4470000001
// once a receiver or transceiver is bound; --count-only prints "SUBMITTED <n> <ms>" every
// 1000 submits (ms since the first submit) instead of a line each; --mark-first prints
// "FIRST" when the first submit arrives (a benchmark starts its clocks there); --log FILE
// appends each submit's destination_addr as a line to FILE, written before the submit is
// answered, so a benchmark can count what reached the SMSC even across restarts.
'use strict';
const fs = require('fs');
const path = require('path');
const smpp = require(path.join(__dirname, 'node_modules', 'smpp'));

const args = process.argv.slice(2);
const opt = {port: 0, delay: 0, throttle: 0, dropAfter: 0, garbageAfter: 0};
for (let i = 0; i < args.length; ++i) {
  const a = args[i];
  if (a === '--port') opt.port = Number(args[++i]);
  else if (a === '--delay') opt.delay = Number(args[++i]);
  else if (a === '--throttle') opt.throttle = Number(args[++i]);
  else if (a === '--drop-after') opt.dropAfter = Number(args[++i]);
  else if (a === '--garbage-after') opt.garbageAfter = Number(args[++i]);
  else if (a === '--mo') opt.mo = args[++i];
  else if (a === '--tls') { opt.key = args[++i]; opt.cert = args[++i]; }
  else if (a === '--log') opt.log = args[++i];
  else opt[a.replace(/^--/, '').replace(/-(.)/g, (m, c) => c.toUpperCase())] = true;
}

let submits = 0;
let firstAt = 0;
let nextId = 1;
function say(line) { process.stdout.write(line + '\n'); }
function hex(value) {
  if (Buffer.isBuffer(value)) return value.toString('hex');
  if (value && value.message !== undefined) return hex(value.message);
  if (value && value.udh !== undefined) return hex(value.message);
  return Buffer.from(String(value || '')).toString('hex');
}

function later(fn) { if (opt.delay > 0) setTimeout(fn, opt.delay); else fn(); }

const serverOptions = opt.key ? {key: fs.readFileSync(opt.key), cert: fs.readFileSync(opt.cert)} : {};
const server = smpp.createServer(serverOptions, (session) => {
  session.on('error', () => session.destroy());
  for (const command of ['bind_transmitter', 'bind_receiver', 'bind_transceiver']) {
    session.on(command, (pdu) => {
      say('BIND ' + command + ' ' + pdu.system_id);
      const ok = pdu.password === 'password';
      session.send(pdu.response(ok ? {system_id: 'gw-peer'} : {command_status: smpp.ESME_RINVPASWD}));
      if (ok && opt.mo && command !== 'bind_transmitter') {
        session.deliver_sm({source_addr: '4470000001', source_addr_ton: 1, destination_addr: '4470000002',
                            short_message: opt.mo}, (resp) => say('MO_RESP ' + resp.command_status));
      }
    });
  }
  session.on('submit_sm', (pdu) => {
    submits += 1;
    const n = submits;
    if (n === 1) firstAt = Date.now();
    if (n === 1 && opt.markFirst) say('FIRST');
    if (opt.log) fs.appendFileSync(opt.log, pdu.destination_addr + '\n');
    if (opt.countOnly) {
      if (n % 1000 === 0) say('SUBMITTED ' + n + ' ' + (Date.now() - firstAt));
    } else {
      let sar = '';
      if (pdu.sar_msg_ref_num !== undefined)
        sar = ' sar ' + pdu.sar_msg_ref_num + ' ' + pdu.sar_total_segments + ' ' + pdu.sar_segment_seqnum;
      const raw = pdu.short_message && pdu.short_message.udh
        ? Buffer.concat([Buffer.concat(pdu.short_message.udh.map((u) => Buffer.concat([Buffer.from([u.length]), u]))), Buffer.from(pdu.short_message.message)])
        : pdu.short_message;
      say(['SUBMIT', pdu.source_addr_ton, pdu.source_addr || '-', pdu.dest_addr_ton, pdu.destination_addr,
           pdu.data_coding, pdu.esm_class, pdu.registered_delivery, hex(raw)].join(' ') + sar);
    }
    if (opt.dropAfter && n === opt.dropAfter) { session.close(); return; }
    if (opt.garbageAfter && n === opt.garbageAfter) { session.socket.write('garbage that is no PDU at all..'); return; }
    if (opt.silent) return;
    later(() => {
      if (opt.refuse) return session.send(pdu.response({command_status: smpp.ESME_RINVDSTADR}));
      if (opt.temporary) return session.send(pdu.response({command_status: smpp.ESME_RSYSERR}));
      if (n <= opt.throttle) return session.send(pdu.response({command_status: smpp.ESME_RTHROTTLED}));
      const id = 'm' + (nextId++);
      session.send(pdu.response({message_id: id}));
      if (opt.receipts) {
        session.deliver_sm({source_addr: pdu.destination_addr, destination_addr: pdu.source_addr, esm_class: 4,
                            short_message: 'id:' + id + ' sub:001 dlvrd:001 submit date:2601011200 done date:2601011201 stat:DELIVRD err:000 text:'},
                           () => {});
      }
    });
  });
  session.on('enquire_link', (pdu) => session.send(pdu.response()));
  session.on('unbind', (pdu) => { say('UNBIND'); session.send(pdu.response()); });
});
server.on('tlsClientError', () => {});
server.listen(opt.port, '127.0.0.1', () => say('LISTENING ' + server.address().port));
process.on('SIGTERM', () => { if (opt.countOnly) say('SUBMITTED ' + submits); process.exit(0); });
