// The viewer page in Debian's chromium, headless, as a member of the maker's staff uses it.
// Needs a receiver holding a serviced chair (VIEWER_SERIAL, two service runs, the first paired) and
// a chair whose customer name is markup (VIEWER_HOSTILE_SERIAL). With VIEWER_SCREENSHOTS set, saves
// the three pages there.
import assert from 'node:assert/strict';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const base = process.env.VIEWER_URL;
const token = process.env.VIEWER_TOKEN;
const serial = process.env.VIEWER_SERIAL;
const hostileSerial = process.env.VIEWER_HOSTILE_SERIAL;
const shots = process.env.VIEWER_SCREENSHOTS;

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--lang=pt-BR'],
  defaultViewport: { width: 1180, height: 860 },
});
let passed = 0;
let failed = 0;
async function step(name, body) {
  try {
    await body();
    passed += 1;
    console.log(`ok - ${name}`);
  } catch (error) {
    failed += 1;
    console.log(`not ok - ${name}\n  ${String(error.stack || error).replace(/\n/g, '\n  ')}`);
  }
}

try {
  const page = await browser.newPage();
  const dialogs = [];
  page.on('dialog', async (dialog) => { dialogs.push(dialog.message()); await dialog.dismiss(); });
  const visible = (selector) => page.$eval(selector, (element) => !element.closest('[hidden]'));
  const texts = (selector) => page.$$eval(selector, (all) => all.map((element) => element.textContent));
  const apiStatus = () => page.evaluate(async () => (await fetch('/viewer/api/chairs')).status);
  async function signIn(key) {
    await page.goto(`${base}/viewer/`);
    await page.waitForSelector('#entrar:not([hidden])');
    await page.type('#chave', key);
    await Promise.all([page.waitForNavigation(), page.click('#entrar button')]);
  }

  await step('a wrong token is refused', async () => {
    await signIn(`wrong-${token}`);
    await page.waitForSelector('#recusado:not([hidden])');
    assert.equal(await visible('#cadeiras'), false);
    assert.equal(await apiStatus(), 401);
    assert.deepEqual(await page.cookies(), []);
  });

  await step('the token signs in with a cookie that scripts cannot read', async () => {
    await signIn(token);
    await page.waitForSelector('#cadeiras:not([hidden]) tbody tr');
    const [cookie] = await page.cookies();
    assert.equal(cookie.httpOnly, true);
    assert.equal(cookie.sameSite, 'Strict');
    assert.equal(await page.evaluate(() => document.cookie), '');
    assert.ok(!page.url().includes(token));
    if (shots) await page.screenshot({ path: path.join(shots, 'viewer-chairs.png') });
  });

  await step('a customer name holding markup shows as text', async () => {
    await page.type('#termo', hostileSerial);
    await page.click('#busca button');
    await page.waitForFunction((s) => {
      const rows = document.querySelectorAll('#cadeiras tbody tr');
      return rows.length === 1 && rows[0].cells[0].textContent === s;
    }, {}, hostileSerial);
    const [name] = await texts('#cadeiras tbody tr td:nth-child(3)');
    assert.match(name, /<script>/);
    assert.equal(await page.$$eval('main script, main img', (found) => found.length), 0);
    assert.deepEqual(dialogs, []);
  });

  await step('a chair is found by its serial and shows its services', async () => {
    await page.$eval('#termo', (input) => { input.value = ''; });
    await page.type('#termo', serial.slice(0, 8));
    await page.click('#busca button');
    await page.waitForFunction((s) => [...document.querySelectorAll('#cadeiras tbody tr td:first-child')]
      .some((cell) => cell.textContent === s), {}, serial);
    await Promise.all([page.waitForSelector('#cadeira:not([hidden]) tbody tr'),
      page.click(`#cadeiras tbody a[href="#cadeira/${encodeURIComponent(serial)}"]`)]);
    assert.equal(await page.$eval('#cadeira .serial', (element) => element.textContent), serial);
    const situations = await texts('#cadeira tbody tr td:last-child');
    assert.ok(situations.length >= 2, situations.join());
    assert.ok(situations.includes('Serviço concluído'), situations.join());
    if (shots) await page.screenshot({ path: path.join(shots, 'viewer-chair.png') });
  });

  await step('a service shows its changed parameters and the event chart', async () => {
    const services = await page.$$('#cadeira tbody tr');
    await Promise.all([page.waitForSelector('#servico:not([hidden]) .diferenca tbody tr'),
      services[services.length - 1].$eval('a', (a) => a.click())]);
    const groups = await texts('#servico tr.grupo');
    assert.deepEqual(groups.slice(0, 2), ['Motorização', 'Parâmetros']);
    const items = await texts('#servico .diferenca tbody tr:not(.grupo) td:first-child');
    assert.equal(items[0], 'drive_motorizacao');
    assert.ok(items.some((item) => item.startsWith('drive_param_')), items.join());
    const bars = await page.$$eval('#servico .grafico svg', (charts) => charts.map((chart) =>
      [...chart.querySelectorAll('rect.barra')].map((bar) => Number(bar.getAttribute('height')))));
    assert.deepEqual(bars.map((chart) => chart.length), [22, 30]);
    assert.ok(bars[1].some((height) => height > 0));
    const download = await page.$eval('#servico a.json', (a) => a.href);
    const reports = await page.evaluate(async (url) => (await fetch(url)).json(), download);
    assert.equal(reports.reports.length, 2);
    if (shots) await page.screenshot({ path: path.join(shots, 'viewer-service.png'), fullPage: true });
  });

  await step('signing out ends the session', async () => {
    await Promise.all([page.waitForNavigation(), page.click('#sair button')]);
    await page.waitForSelector('#entrar:not([hidden])');
    assert.equal(await apiStatus(), 401);
    assert.deepEqual(await page.cookies(), []);
  });
} finally {
  await browser.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
