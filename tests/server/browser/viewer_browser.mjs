// The viewer page in headless chromium as the maker's staff use it, stopping at the first failed
// check. Needs a chair serviced twice, the first run paired (VIEWER_SERIAL), and one whose customer
// name is markup (VIEWER_HOSTILE_SERIAL). With VIEWER_SCREENSHOTS set, saves the three pages there.
import assert from 'node:assert/strict';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const { VIEWER_URL: base, VIEWER_TOKEN: token, VIEWER_SERIAL: serial, VIEWER_HOSTILE_SERIAL: hostile } = process.env;
const shot = (page, name, fullPage = false) => process.env.VIEWER_SCREENSHOTS
  && page.screenshot({ path: path.join(process.env.VIEWER_SCREENSHOTS, name), fullPage });

const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--lang=pt-BR'], defaultViewport: { width: 1180, height: 860 } });
try {
  const page = await browser.newPage();
  const dialogs = [];
  page.on('dialog', async (dialog) => { dialogs.push(dialog.message()); await dialog.dismiss(); });
  const texts = (selector) => page.$$eval(selector, (all) => all.map((element) => element.textContent));
  const apiStatus = () => page.evaluate(async () => (await fetch('/viewer/api/chairs')).status);
  async function signIn(key) {
    await page.goto(`${base}/viewer/`);
    await page.waitForSelector('#entrar:not([hidden])');
    await page.type('#chave', key);
    await Promise.all([page.waitForNavigation(), page.click('#entrar button')]);
  }
  async function search(term, first) {
    await page.$eval('#termo', (input) => { input.value = ''; });
    await page.type('#termo', term);
    await page.click('#busca button');
    await page.waitForFunction((s) => document.querySelector('#cadeiras tbody td')?.textContent === s, {}, first);
  }

  // A wrong token is refused.
  await signIn(`wrong-${token}`);
  await page.waitForSelector('#recusado:not([hidden])');
  assert.equal(await page.$eval('#cadeiras', (element) => element.hidden), true);
  assert.equal(await apiStatus(), 401);

  // The token signs in with a cookie that scripts cannot read, and not through the address.
  await signIn(token);
  await page.waitForSelector('#cadeiras:not([hidden]) tbody tr');
  const [cookie] = await page.cookies();
  assert.deepEqual([cookie.httpOnly, cookie.sameSite], [true, 'Strict']);
  assert.equal(await page.evaluate(() => document.cookie), '');
  assert.ok(!page.url().includes(token));
  await shot(page, 'viewer-chairs.png');

  // A customer name holding markup shows as text.
  await search(hostile, hostile);
  assert.match((await texts('#cadeiras tbody tr td:nth-child(3)'))[0], /<script>/);
  assert.equal(await page.$$eval('main script, main img', (found) => found.length), 0);
  assert.deepEqual(dialogs, []);

  // A chair is found by the start of its serial and shows its services.
  await search(serial.slice(0, 8), serial);
  await Promise.all([page.waitForSelector('#cadeira:not([hidden]) tbody tr'),
    page.click(`#cadeiras tbody a[href="#cadeira/${encodeURIComponent(serial)}"]`)]);
  assert.equal(await page.$eval('#cadeira .serial', (element) => element.textContent), serial);
  const situations = await texts('#cadeira tbody tr td:last-child');
  assert.ok(situations.length >= 2 && situations.includes('Serviço concluído'), situations.join());
  await shot(page, 'viewer-chair.png');

  // The first service shows its changed parameters and the event chart.
  const services = await page.$$('#cadeira tbody tr');
  await Promise.all([page.waitForSelector('#servico:not([hidden]) .diferenca tbody tr'),
    services[services.length - 1].$eval('a', (a) => a.click())]);
  assert.deepEqual((await texts('#servico tr.grupo')).slice(0, 2), ['Motorização', 'Parâmetros']);
  const items = await texts('#servico .diferenca tbody tr:not(.grupo) td:first-child');
  assert.ok(items[0] === 'drive_motorizacao' && items.some((item) => item.startsWith('drive_param_')), items.join());
  const bars = await page.$$eval('#servico .grafico svg', (charts) => charts.map((chart) =>
    [...chart.querySelectorAll('rect.barra')].map((bar) => Number(bar.getAttribute('height')))));
  assert.deepEqual(bars.map((chart) => chart.length), [22, 30]);
  assert.ok(bars[1].some((height) => height > 0));
  await shot(page, 'viewer-service.png', true);

  // Signing out ends the session.
  await Promise.all([page.waitForNavigation(), page.click('#sair button')]);
  await page.waitForSelector('#entrar:not([hidden])');
  assert.equal(await apiStatus(), 401);
  assert.deepEqual(await page.cookies(), []);
} finally {
  await browser.close();
}
