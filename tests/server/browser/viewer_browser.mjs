// The viewer page in headless chromium as the maker's staff use it, stopping at the first failed
// check, on the chairs test_viewer.py posts (their serials in VIEWER_*_SERIAL). With
// VIEWER_SCREENSHOTS set, saves the pages there.
import assert from 'node:assert/strict';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const { VIEWER_URL: base, VIEWER_SERIAL: serial, VIEWER_HOSTILE_SERIAL: hostile,
  VIEWER_LONG_SERIAL: long, VIEWER_BIDI_SERIAL: bidi, VIEWER_STATES_SERIAL: states,
  VIEWER_TITULAR: titular } = process.env;
// A user of each role, as name:one-time password.
const [[reader, readerOnce], [admin, adminOnce]] = [process.env.VIEWER_READER, process.env.VIEWER_ADMIN]
  .map((user) => user.split(':'));
const shot = (page, name, options = {}) => process.env.VIEWER_SCREENSHOTS
  && page.screenshot({ path: path.join(process.env.VIEWER_SCREENSHOTS, name), ...options });

const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--lang=pt-BR'], defaultViewport: { width: 1280, height: 900 } });
try {
  const page = await browser.newPage();
  const dialogs = [];
  page.on('dialog', async (dialog) => { dialogs.push(dialog.message()); await dialog.dismiss(); });
  const texts = (selector) => page.$$eval(selector, (all) => all.map((element) => element.textContent));
  const apiStatus = (api = 'chairs') => page.evaluate(async (api) => (await fetch(`/viewer/api/${api}`)).status, api);
  async function signIn(name, password, fresh) {
    await page.goto(`${base}/viewer/`);
    await page.waitForSelector('#entrar:not([hidden])');
    assert.equal(await page.$eval('#conta', (account) => account.checkVisibility()), false);
    await shot(page, 'viewer-sign-in.png');
    await page.type('#usuario', name);
    await page.type('#senha', password);
    await Promise.all([page.waitForNavigation(), page.click('#entrar button')]);
    if (!fresh) return;
    // The one-time password opens nothing until it is changed.
    await page.waitForSelector('#trocar:not([hidden]) .provisoria:not([hidden])');
    assert.equal(await apiStatus(), 403);
    await page.type('#atual', password);
    await page.type('#nova', fresh);
    await Promise.all([page.waitForNavigation(), page.click('#trocar button')]);
  }
  const shows = (first) => page.waitForFunction((s) =>
    document.querySelector('#cadeiras tbody td')?.textContent === s, {}, first);
  async function search(term, first) {
    await page.$eval('#termo', (input) => { input.value = ''; });
    await page.type('#termo', term);
    await page.click('#busca button');
    await shows(first);
  }
  const buttons = () => page.$$eval('#cadeiras .paginas button', (all) => all.map((one) => one.checkVisibility()));
  // Nothing leaves the window, not even the last column; no cell but the free text's takes two lines.
  const fitsWindow = (section, free) => page.$eval(section, (shown, free) => {
    const range = new Range();
    const lines = (td) => (range.selectNodeContents(td), new Set([...range.getClientRects()].map((b) => b.y)).size);
    const { clientWidth, scrollWidth } = document.documentElement;
    const last = [...shown.querySelectorAll('th')].pop()?.getBoundingClientRect().right ?? 0;
    const oneLine = [...shown.querySelectorAll(`td:not(:nth-child(${free}))`)].every((td) => lines(td) === 1);
    return [scrollWidth <= clientWidth, last <= clientWidth, oneLine];
  }, free);

  // Each chart's labels and bars stay inside it, no two labels overlap: [inside, apart, last x
  // label, the values written].
  const chartLabels = (section) => page.$$eval(`${section} .grafico svg`, (charts) => charts.map((chart) => {
    const frame = chart.getBoundingClientRect(), box = (drawn) => drawn.getBoundingClientRect();
    const boxes = [...chart.querySelectorAll('text')].map(box);
    const inside = [...chart.querySelectorAll('text, rect')].map(box).every((b) => b.left >= frame.left
      && b.right <= frame.right && b.top >= frame.top && b.bottom <= frame.bottom);
    const apart = boxes.every((a, i) => boxes.slice(i + 1).every((b) => a.right <= b.left || b.right <= a.left
      || a.bottom <= b.top || b.bottom <= a.top));
    const values = new Set([...chart.querySelectorAll('.valor')].map((value) => value.textContent));
    return [inside, apart, chart.lastChild.textContent, [...values].join()];
  }));

  // A wrong password is refused.
  await signIn(reader, `wrong-${readerOnce}`);
  await page.waitForSelector('#recusado:not([hidden])');
  assert.equal(await page.$eval('#recusado', (refused) => refused.textContent), 'Usuário ou senha recusados.');
  assert.equal(await page.$eval('#cadeiras', (element) => element.hidden), true);
  assert.equal(await apiStatus(), 401);

  // A reader signs in with a cookie that scripts cannot read, and not through the address; the
  // audit is not theirs.
  await signIn(reader, readerOnce, 'leitura-nova-1');
  await page.waitForSelector('#cadeiras:not([hidden]) tbody tr');
  assert.deepEqual([await page.$eval('#link-auditoria', (link) => link.hidden), await apiStatus('auditoria'),
    await apiStatus('usuarios'), await page.$eval('#link-titular', (link) => link.hidden),
    await apiStatus('titular?q=11144477735')], [true, 403, 403, true, 403]);
  const [cookie] = await page.cookies();
  assert.deepEqual([cookie.httpOnly, cookie.sameSite], [true, 'Strict']);
  assert.equal(await page.evaluate(() => document.cookie), '');
  assert.ok(!page.url().includes('leitura-nova-1'));
  await shot(page, 'viewer-chairs.png');
  assert.deepEqual(await fitsWindow('#cadeiras', 3), [true, true, true]);

  // Paging buttons show only towards another page, and the address keeps the page.
  const firstPage = await texts('#cadeiras tbody .serial');
  assert.deepEqual(await buttons(), [false, true]);
  await page.click('#cadeiras .seguinte');
  await page.reload();
  await page.waitForSelector('#cadeiras:not([hidden]) tbody tr');
  const secondPage = await texts('#cadeiras tbody .serial');
  assert.deepEqual([secondPage.length > 0, secondPage.some((s) => firstPage.includes(s)), await buttons()],
    [true, false, [true, false]]);
  await page.click('#cadeiras .anterior');
  await shows(firstPage[0]);

  // A right-to-left override in a name shows as its code point: the name and the next cell keep their order.
  await search(bidi, bidi);
  assert.deepEqual(await page.$$eval('#cadeiras tbody td:nth-child(3), #cadeiras tbody td:nth-child(4)', (cells) => {
    const range = new Range();
    const x = (text, at) => (range.setStart(text, at), range.setEnd(text, at + 1), range.getBoundingClientRect().x);
    return [cells[0].textContent.includes('<U+202E>'), ...cells.map(({ lastChild: text }) =>
      x(text, 1) < x(text, text.length - 1))];
  }), [true, true, true]);

  // A customer name holding markup shows as text.
  await search(hostile, hostile);
  assert.match((await texts('#cadeiras tbody tr td:nth-child(3)'))[0], /<script>/);
  assert.equal(await page.$$eval('main script, main img', (found) => found.length), 0);
  assert.deepEqual(dialogs, []);

  // A chair is found by the start of its serial and shows its services.
  await search(serial.slice(0, 8), serial);
  await page.reload();
  await page.waitForSelector('#cadeiras:not([hidden]) tbody tr');
  assert.deepEqual([await page.$eval('#termo', (input) => input.value), await texts('#cadeiras tbody .serial'),
    await buttons()], [serial.slice(0, 8), [serial], [false, false]]);
  await page.goBack();
  await shows(hostile);
  await page.goForward();
  await shows(serial);
  await Promise.all([page.waitForSelector('#cadeira:not([hidden]) tbody tr'),
    page.click(`#cadeiras tbody a[href="#cadeira/${encodeURIComponent(serial)}"]`)]);
  assert.equal(await page.$eval('#cadeira .serial', (element) => element.textContent), serial);
  const situations = await texts('#cadeira tbody tr td:last-child');
  assert.ok(situations.length >= 2 && situations.includes('Concluído'), situations.join());
  await shot(page, 'viewer-chair.png');

  // The first service shows its changed parameters and the event chart.
  const services = await page.$$('#cadeira tbody tr');
  await Promise.all([page.waitForSelector('#servico:not([hidden]) .diferenca tbody tr'),
    services[services.length - 1].$eval('a', (a) => a.click())]);
  assert.deepEqual((await texts('#servico tr.grupo')).slice(0, 2), ['Motorização', 'Parâmetros do drive']);
  const items = await texts('#servico .diferenca tbody tr:not(.grupo) td:first-child');
  assert.ok(items[0] === 'Motorização' && items.some((item) => /^Parâmetro 0x[0-9A-F]{2}$/.test(item))
    && (await texts('#servico .diferenca td.seta')).every((arrow) => arrow === '→'), items.join());
  const bars = await page.$$eval('#servico .grafico svg', (charts) => charts.map((chart) =>
    [...chart.querySelectorAll('rect.barra')].map((bar) => Number(bar.getAttribute('height')))));
  assert.deepEqual(bars.map((chart) => chart.length), [22, 30]);
  assert.ok(bars[1].some((height) => height > 0));
  const scales = await page.$$eval('#servico .grafico svg', (charts) => charts.map((chart) =>
    [...chart.querySelectorAll('text.escala')].map((tick) => tick.textContent).join()));
  assert.ok(scales[0] === scales[1] && !(await page.$('#servico rect.alem')), scales.join(' / '));
  await shot(page, 'viewer-service.png', { fullPage: true });

  // The service of a 2,000-character name and counts of 255 and 99,999: the page fits, its labels
  // and bars neither overlap nor leave their chart, and read as the counts.
  await page.goto(`${base}/viewer/#cadeira/${long}`);
  await page.waitForSelector('#cadeira:not([hidden])');
  await Promise.all([page.waitForSelector('#servico:not([hidden])'), page.click('#cadeira tbody a')]);
  assert.deepEqual(await fitsWindow('#servico', 0), [true, true, true]);
  assert.deepEqual(await chartLabels('#servico'), [[true, true, '0x22', '255'], [true, true, '0x33', '99.999,255']]);
  const end = await page.$eval('#servico .graficos', (charts) => charts.getBoundingClientRect().bottom + scrollY);
  await shot(page, 'viewer-service-long.png', { clip: { x: 0, y: 0, width: 1280, height: end + 16 } });

  // The fleet: its tables, the months and one chart a device and motorization, readable; the
  // filter is in the address.
  await page.click('#conta a[href="#frota"]');
  await page.waitForSelector('#frota:not([hidden]) .por-motorizacao tbody tr');
  const fleet = await chartLabels('#frota');
  const month = new Date().toISOString().slice(2, 7).split('-').reverse().join('/');
  assert.deepEqual([fleet.length >= 5, fleet[0].slice(0, 3), fleet.every(([inside, apart]) => inside && apart)],
    [true, [true, true, month], true], JSON.stringify(fleet));
  assert.ok(await page.$('#frota rect.alem'), 'a mean count of 99,999s drawn to the top');
  assert.deepEqual(await fitsWindow('#frota', 1), [true, true, true]);
  await shot(page, 'viewer-fleet.png', { fullPage: true });
  await page.select('#frota-firmware', '0');
  await page.$eval('#frota-de', (input) => { input.value = '2026-01'; });
  await page.click('#filtro-frota button');
  await page.waitForFunction(() => location.hash === '#frota?de=2026-01&firmware=0');
  await page.reload();
  await page.waitForSelector('#frota:not([hidden]) .por-motorizacao tbody tr');
  assert.deepEqual([await page.$eval('#frota-de', (input) => input.value), await page.$eval('#frota-firmware',
    (select) => select.value), await page.$eval('#frota a[data-tabela="eventos"]', (a) => a.href)],
  ['2026-01', '0', `${base}/viewer/api/fleet/eventos.csv?de=2026-01&firmware=0`]);

  // Each run says how it ended, and a report made over a minute before it came shows both times.
  await page.goto(`${base}/viewer/#cadeira/${states}`);
  await page.waitForSelector('#cadeira:not([hidden]) tbody tr');
  const ended = ['Só o relatório depois', 'Só o relatório antes', 'Interrompido', 'Concluído'];
  assert.deepEqual(await texts('#cadeira tbody td:last-child'), ended);
  const made = /^nº \d+, feito em \d.+ \/ recebido em \d/, one = /^nº \d+, \d/;
  for (const [row, name, before, after, changes] of [[3, 'concluido', one, made, true],
    [2, 'interrompido', one, one, true], [1, 'so-antes', one, /^—$/, false], [0, 'so-depois', /^—$/, one, false]]) {
    await page.goto(`${base}/viewer/#cadeira/${states}`);
    await page.waitForSelector('#cadeira:not([hidden]) tbody tr');
    await Promise.all([page.waitForSelector('#servico:not([hidden])'),
      page.$$eval('#cadeira tbody a', (links, row) => links[row].click(), row)]);
    const facts = await texts('#servico .resumo dd');
    assert.deepEqual([facts[4], before.test(facts[5]), after.test(facts[6]), await page.$eval('#servico .mudancas',
      (shown) => !shown.hidden && shown.querySelectorAll('tbody tr').length > 0)],
    [ended[row], true, true, changes], facts.join(' | '));
    await shot(page, `viewer-${name}.png`);
  }

  // A request that fails says so in place of the page.
  await page.goto(`${base}/viewer/#servico/999999999`);
  await page.waitForSelector('#falha:not([hidden])');
  assert.deepEqual([await page.$eval('#falha .erro', (falha) => falha.textContent),
    await page.$$eval('main > section:not([hidden])', (shown) => shown.length)], ['Serviço não encontrado.', 1]);

  // An expired session asks to sign in again, and signing in comes back to the same place.
  await page.deleteCookie(...await page.cookies());
  await page.goto(`${base}/viewer/#cadeira/${long}`);
  await page.waitForSelector('#recusado:not([hidden])');
  assert.equal(await page.$eval('#recusado', (refused) => refused.textContent), 'Sessão expirada: entre de novo.');
  await page.type('#usuario', reader);
  await page.type('#senha', 'leitura-nova-1');
  await Promise.all([page.waitForNavigation(), page.click('#entrar button')]);
  await page.waitForSelector('#cadeira:not([hidden]) tbody tr');

  // Signing out ends the session: a copy of its cookie no longer opens anything.
  const copy = await page.cookies();
  await Promise.all([page.waitForNavigation(), page.click('#sair button')]);
  await page.waitForSelector('#entrar:not([hidden])');
  assert.equal(await apiStatus(), 401);
  assert.deepEqual(await page.cookies(), []);
  await page.setCookie(...copy);
  assert.equal(await apiStatus(), 401);

  // An admin sees the audit: the reader's search with its query, filtered by user, and as CSV.
  await signIn(admin, adminOnce, 'admin-nova-123');
  await page.waitForSelector('#cadeiras:not([hidden])');
  await page.click('#link-auditoria');
  await page.waitForSelector('#auditoria:not([hidden]) tbody tr');
  await page.select('#filtro select', reader);
  await Promise.all([page.waitForFunction(() => location.hash.includes('usuario=')), page.click('#filtro button')]);
  await page.waitForFunction((name) => [...document.querySelectorAll('#auditoria tbody tr')]
    .every((row) => row.cells[1].textContent === name), {}, reader);
  const rows = await page.$$eval('#auditoria tbody tr', (all) => all.map((row) => [...row.cells].map((td) => td.textContent)));
  assert.ok(rows.some(([, , , action, subject]) => action === 'Busca' && subject === serial.slice(0, 8)), rows.join('\n'));
  assert.equal(await page.$eval('#auditoria .csv', (link) => link.getAttribute('href')),
    `/viewer/api/auditoria.csv?usuario=${reader}`);
  await shot(page, 'viewer-audit.png');

  // A person's reports, found by their CPF typed without its punctuation, exported whole, and
  // anonymized once the staff confirm how many change.
  // The page empties its field as it shows itself: type only once it is shown.
  await Promise.all([page.waitForSelector('#titular:not([hidden])'), page.click('#link-titular')]);
  await page.type('#titular-termo', titular);
  await page.click('#titular-busca button');
  await page.waitForSelector('#titular .achados:not([hidden])');
  assert.deepEqual(await texts('#titular tbody td:nth-child(7)'), ['111.444.777-35', '111.444.777-35']);
  const exported = await page.$eval('#titular .exportar', (a) => fetch(a.href).then((answer) => answer.json()));
  assert.deepEqual(exported.reports.map((report) => report.items.length), [141, 141]);
  await page.click('#titular .anonimizar');
  assert.match(await page.$eval('#titular .pergunta', (question) => question.textContent), /^Anonimizar 2 relatórios\?/);
  await shot(page, 'viewer-titular.png');
  await page.click('#titular .sim');
  await page.waitForSelector('#titular .resultado:not([hidden])');
  assert.deepEqual([...await texts('#titular .resultado'), await page.$eval('#titular .vazio', (none) => none.hidden)],
    ['2 relatórios anonimizados.', false]);
} finally {
  await browser.close();
}
