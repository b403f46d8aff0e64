// A loopback SMSC for the SMPP link tests, built on the npm package `smpp`.
//
//   node smpp_smsc.js [--tls KEY CERT]
//
// Prints "LISTENING <port>" once it listens on 127.0.0.1, then one line per request it
// received (BIND, SUBMIT, UNBIND, ENQUIRE_LINK_RESP), so a test can check what reached
// the wire. The system_id chooses how the bind is answered:
//   smppclient1 / password   accepted; any other password: ESME_RINVPASWD
//   silent      never answered          midpdu    half a response, then a close
//   garbage     an HTTP error page      oversized a header claiming 2 GB
//   enquire     enquire_link first, the bind answered after its response
//   badseq      a response with another sequence number
//   nack        generic_nack with ESME_RINVCMDID
//   malformed   a successful response whose system_id lacks its terminating NUL
'use strict';
const fs = require('fs');
const path = require('path');
const smpp = require(path.join(__dirname, 'node_modules', 'smpp'));

const args = process.argv.slice(2);
const options = {};
if (args[0] === '--tls') {
  options.key = fs.readFileSync(args[1]);
  options.cert = fs.readFileSync(args[2]);
}

function say(line) {
  process.stdout.write(line + '\n');
}

function header(length, id, status, sequence) {
  const b = Buffer.alloc(16);
  b.writeUInt32BE(length, 0);
  b.writeUInt32BE(id >>> 0, 4);
  b.writeUInt32BE(status, 8);
  b.writeUInt32BE(sequence, 12);
  return b;
}

function text(value) {
  if (Buffer.isBuffer(value)) return value.toString('hex');
  if (value && value.message !== undefined) return text(value.message);
  return String(value);
}

function answerBind(session, pdu) {
  const id = (pdu.command_id | 0x80000000) >>> 0;
  const seq = pdu.sequence_number;
  const raw = session.socket;
  switch (pdu.system_id) {
    case 'silent':
      return;
    case 'midpdu':
      raw.write(header(33, id, 0, seq).subarray(0, 10), () => raw.destroy());
      return;
    case 'garbage':
      raw.write('HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n');
      return;
    case 'oversized':
      raw.write(header(0x7ffffff0, id, 0, seq));
      return;
    case 'badseq':
      raw.write(Buffer.concat([header(21, id, 0, seq + 1000), Buffer.from('peer\0')]));
      return;
    case 'nack':
      raw.write(header(16, 0x80000000, 0x03, seq));
      return;
    case 'malformed':
      raw.write(Buffer.concat([header(20, id, 0, seq), Buffer.from('peer')]));
      return;
    case 'enquire':
      session.enquire_link({}, () => {
        say('ENQUIRE_LINK_RESP');
        session.send(pdu.response({system_id: 'zella-peer'}));
      });
      return;
  }
  const ok = pdu.system_id === 'smppclient1' && pdu.password === 'password';
  session.send(pdu.response(ok ? {system_id: 'zella-peer'} : {command_status: smpp.ESME_RINVPASWD}));
}

const server = smpp.createServer(options, (session) => {
  session.on('error', () => session.destroy());
  for (const command of ['bind_transmitter', 'bind_receiver', 'bind_transceiver']) {
    session.on(command, (pdu) => {
      say(['BIND', command, pdu.interface_version.toString(16), pdu.system_id,
           pdu.system_type || '-', pdu.addr_ton, pdu.addr_npi, pdu.address_range || '-'].join(' '));
      answerBind(session, pdu);
    });
  }
  session.on('submit_sm', (pdu) => {
    say(['SUBMIT', pdu.source_addr_ton, pdu.source_addr, pdu.dest_addr_ton, pdu.destination_addr,
         pdu.data_coding, text(pdu.short_message)].join(' '));
    session.send(pdu.response({message_id: 'm-' + pdu.sequence_number}));
  });
  session.on('enquire_link', (pdu) => session.send(pdu.response()));
  session.on('unbind', (pdu) => {
    say('UNBIND');
    session.send(pdu.response());
  });
});
server.on('tlsClientError', () => {});
server.listen(0, '127.0.0.1', () => say('LISTENING ' + server.address().port));
