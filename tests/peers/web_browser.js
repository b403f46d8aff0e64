// Drives the Gateway service's web pages in a real browser (Debian's chromium through
// puppeteer-core): log in, send a message, look at the queue.
//
//   node web_browser.js BASE_URL USER PASSWORD TO TEXT
//
// Prints one line per step, for the calling test to check:
//   LOGIN <name shown on the home page>
//   COOKIE httpOnly=<bool> sameSite=<value>
//   SENT <outcome table text>
//   QUEUE <queue table text>
//   SCRIPTS <script elements in the page> INJECTED <whether a script of the text ran>
//   ERROR <message> (and exit code 1) when a step failed
'use strict';
const path = require('path');
const puppeteer = require(path.join(__dirname, 'node_modules', 'puppeteer-core'));

const [base, user, password, to, text] = process.argv.slice(2);

let page = null;

async function main() {
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // The sandbox needs user namespaces that containers and root lack.
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-dev-shm-usage'],
  });
  try {
    page = await browser.newPage();
    page.setDefaultTimeout(20000);
    await page.goto(base + '/', {waitUntil: 'load'});
    await page.type('#user', user);
    await page.type('#password', password);
    await Promise.all([page.waitForNavigation({waitUntil: 'load'}), page.click('#login')]);
    console.log('LOGIN ' + (await page.$eval('#who', (e) => e.textContent)));
    const cookie = (await page.cookies()).find((c) => c.name === 'zsession');
    console.log('COOKIE httpOnly=' + (cookie && cookie.httpOnly) + ' sameSite=' + (cookie && cookie.sameSite));
    await page.goto(base + '/send', {waitUntil: 'load'});
    await page.type('#to', to);
    await page.type('#text', text);
    await Promise.all([page.waitForNavigation({waitUntil: 'load'}), page.click('#send')]);
    console.log('SENT ' + (await page.$eval('#outcome', (e) => e.innerText.replace(/\s+/g, ' '))));
    await page.goto(base + '/queue', {waitUntil: 'load'});
    console.log('QUEUE ' + (await page.$eval('#queue', (e) => e.innerText.replace(/\s+/g, ' '))));
    const scripts = await page.evaluate(() => document.querySelectorAll('script').length);
    const injected = await page.evaluate(() => window.injected === true);
    console.log('SCRIPTS ' + scripts + ' INJECTED ' + injected);
  } catch (e) {
    let where = '';
    try {
      where = ' at ' + page.url() + ': ' + (await page.evaluate(() => document.body.innerText)).slice(0, 300);
    } catch (ignored) {
    }
    throw new Error(String(e && e.message ? e.message : e) + where);
  } finally {
    await browser.close();
  }
}

main().catch((e) => {
  console.log('ERROR ' + String(e && e.message ? e.message : e).replace(/\s+/g, ' '));
  process.exit(1);
});
