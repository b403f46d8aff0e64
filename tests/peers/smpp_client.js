// An SMPP client for the Gateway service's SMPP server tests, built on the npm package
// `smpp`: binds, submits what it is told, and reports everything the server sends.
//
//   node smpp_client.js --port N --user U --password P [--bind transceiver|transmitter|receiver]
//                       [--submit TO TEXT]... [--receipt] [--count N] [--tls]
//
// Prints one line per event:
//   BIND_RESP <status>
//   SUBMIT_RESP <status> <message_id>   (one per submit, unless --window is given)
//   DONE <accepted> <refused> <ms>      (--window: after the last answer; ms from the first submit)
//   DELIVER <esm_class> <source_addr> <destination_addr> <receipted_message_id or -> <text>
//   UNBIND          (the server asked to end the session)
//   CLOSED
// Each deliver_sm is answered with success. --count N submits the first message N times;
// with --window W at most W are unanswered at a time and only DONE is printed.
'use strict';
const path = require('path');
const smpp = require(path.join(__dirname, 'node_modules', 'smpp'));

const args = process.argv.slice(2);
const opt = {port: 0, user: '', password: '', bind: 'transceiver', submits: [], receipt: false, count: 1};
for (let i = 0; i < args.length; ++i) {
  const a = args[i];
  if (a === '--port') opt.port = Number(args[++i]);
  else if (a === '--user') opt.user = args[++i];
  else if (a === '--password') opt.password = args[++i];
  else if (a === '--bind') opt.bind = args[++i];
  else if (a === '--submit') opt.submits.push([args[++i], args[++i]]);
  else if (a === '--receipt') opt.receipt = true;
  else if (a === '--count') opt.count = Number(args[++i]);
  else if (a === '--window') opt.window = Number(args[++i]);
  else if (a === '--tls') opt.tls = true;
}

function say(line) { process.stdout.write(line + '\n'); }
function text(value) {
  if (value && value.message !== undefined) return String(value.message);
  return String(value === undefined ? '' : value);
}

const url = (opt.tls ? 'ssmpp' : 'smpp') + '://127.0.0.1:' + opt.port;
const session = smpp.connect({url, auto_enquire_link_period: 0, rejectUnauthorized: false});
session.on('connect', () => {
  session['bind_' + opt.bind]({system_id: opt.user, password: opt.password}, (pdu) => {
    say('BIND_RESP ' + pdu.command_status);
    if (pdu.command_status !== 0) return;
    if (opt.window) return windowed();
    for (const [to, message] of opt.submits) {
      for (let n = 0; n < opt.count; ++n) {
        session.submit_sm({destination_addr: to, short_message: message, registered_delivery: opt.receipt ? 1 : 0},
                          (resp) => say('SUBMIT_RESP ' + resp.command_status + ' ' + (resp.message_id || '-')));
      }
    }
  });
});
// The first message --count times, --window at a time.
function windowed() {
  const [to, message] = opt.submits[0];
  const started = Date.now();
  let sent = 0, answered = 0, accepted = 0;
  const next = () => {
    while (sent < opt.count && sent - answered < opt.window) {
      sent += 1;
      session.submit_sm({destination_addr: to, short_message: message}, (resp) => {
        answered += 1;
        if (resp.command_status === 0) accepted += 1;
        if (answered === opt.count) say('DONE ' + accepted + ' ' + (answered - accepted) + ' ' + (Date.now() - started));
        else next();
      });
    }
  };
  next();
}

session.on('deliver_sm', (pdu) => {
  const receipted = pdu.receipted_message_id || '-';
  say(['DELIVER', pdu.esm_class, pdu.source_addr || '-', pdu.destination_addr || '-', receipted,
       text(pdu.short_message || pdu.message_payload)].join(' '));
  session.send(pdu.response());
});
session.on('enquire_link', (pdu) => session.send(pdu.response()));
session.on('unbind', (pdu) => { say('UNBIND'); session.send(pdu.response()); });
session.on('close', () => { say('CLOSED'); process.exit(0); });
session.on('error', (e) => say('ERROR ' + e.message));
process.on('SIGTERM', () => process.exit(0));
