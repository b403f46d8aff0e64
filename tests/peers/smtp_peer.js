// A loopback SMTP server for the e-mail alert tests, built on the npm package
// `smtp-server`, plus a few faulty servers on plain sockets.
//
//   node smtp_peer.js MODE [--port N] [--key KEY --cert CERT]
//
// MODE: plain      no TLS, no authentication
//       starttls   STARTTLS required before AUTH LOGIN as alerts / pw
//       tls        TLS from the first byte, AUTH LOGIN as alerts / pw
//       silent     greets, then never answers
//       refuse     answers 554 to the connection
//       droprcpt   accepts up to RCPT TO, then closes the connection
//       longreply  answers EHLO/HELO with a 10,000-line reply, then accepts the message
// Prints "LISTENING <port>" once it listens on 127.0.0.1, then one line per event:
// "AUTH <user> ok|refused", "MAIL <address> secure=<yes|no>", "RCPT <address>",
// "MESSAGE <JSON text>". Recipients containing "reject" are refused.
'use strict';
const fs = require('fs');
const net = require('net');
const path = require('path');

const args = process.argv.slice(2);
const mode = args[0];
let port = 0;
let key = null;
let cert = null;
for (let i = 1; i < args.length; i += 2) {
  if (args[i] === '--port') port = Number(args[i + 1]);
  if (args[i] === '--key') key = fs.readFileSync(args[i + 1]);
  if (args[i] === '--cert') cert = fs.readFileSync(args[i + 1]);
}

function say(line) {
  process.stdout.write(line + '\n');
}

// smtp-server keeps its net.Server in .server.
function listening(server) {
  server.listen(port, '127.0.0.1', () => say('LISTENING ' + (server.server || server).address().port));
}

function realServer() {
  const { SMTPServer } = require(path.join(__dirname, 'node_modules', 'smtp-server'));
  const options = {
    logger: false,
    authMethods: ['LOGIN'],
    secure: mode === 'tls',
    authOptional: mode === 'plain',
    disabledCommands: mode === 'plain' ? ['STARTTLS', 'AUTH'] : [],
    onAuth(auth, session, done) {
      const ok = auth.username === 'alerts' && auth.password === 'pw';
      say('AUTH ' + auth.username + (ok ? ' ok' : ' refused'));
      if (!ok) return done(new Error('Invalid username or password'));
      return done(null, { user: auth.username });
    },
    onMailFrom(address, session, done) {
      say('MAIL ' + address.address + ' secure=' + (session.secure ? 'yes' : 'no'));
      done();
    },
    onRcptTo(address, session, done) {
      if (address.address.includes('reject')) return done(new Error('No such user'));
      say('RCPT ' + address.address);
      return done();
    },
    onData(stream, session, done) {
      const chunks = [];
      stream.on('data', (c) => chunks.push(c));
      stream.on('end', () => {
        say('MESSAGE ' + JSON.stringify(Buffer.concat(chunks).toString('latin1')));
        done();
      });
    },
  };
  if (key) {
    options.key = key;
    options.cert = cert;
  }
  const server = new SMTPServer(options);
  server.on('error', (e) => say('ERROR ' + e.message));
  listening(server);
}

// A line-based server whose answers the mode decides.
function faultyServer() {
  const server = net.createServer((socket) => {
    if (mode === 'refuse') {
      socket.end('554 No service here\r\n');
      return;
    }
    socket.write('220 faulty ESMTP\r\n');
    if (mode === 'silent') return;
    let pending = '';
    let message = null;  // the DATA lines while a message is coming
    socket.on('data', (data) => {
      pending += data.toString('latin1');
      let nl;
      while ((nl = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, nl).replace(/\r$/, '');
        pending = pending.slice(nl + 1);
        if (message !== null) {
          if (line === '.') {
            say('MESSAGE ' + JSON.stringify(message.join('\r\n') + '\r\n'));
            message = null;
            socket.write('250 queued\r\n');
          } else {
            message.push(line.startsWith('.') ? line.slice(1) : line);
          }
          continue;
        }
        const verb = line.split(' ')[0].toUpperCase();
        if (verb === 'HELO' || verb === 'EHLO') {
          let reply = '';
          if (mode === 'longreply') {
            for (let i = 0; i < 10000; ++i) reply += '250-line ' + i + ' of a long reply\r\n';
          }
          socket.write(reply + '250 hello\r\n');
        } else if (verb === 'MAIL') {
          say('MAIL ' + line.slice(10));
          socket.write('250 ok\r\n');
        } else if (verb === 'RCPT') {
          say('RCPT ' + line.slice(8));
          if (mode === 'droprcpt') {
            socket.destroy();
            return;
          }
          socket.write('250 ok\r\n');
        } else if (verb === 'DATA') {
          message = [];
          socket.write('354 go ahead\r\n');
        } else {
          socket.write('250 ok\r\n');
        }
      }
    });
    socket.on('error', () => {});
  });
  listening(server);
}

if (['plain', 'starttls', 'tls'].includes(mode)) realServer();
else faultyServer();
