// The maker's view of the service reports. Everything shown comes from the receiver's API and is
// put in the page as text, never as markup: customer names are anyone's input.
'use strict';

const $ = (selector, root = document) => root.querySelector(selector);
const timeFormat = new Intl.DateTimeFormat('pt-BR', { dateStyle: 'short', timeStyle: 'medium' });
const svgSpace = 'http://www.w3.org/2000/svg';

class Refused extends Error {}

async function api(path, params = {}) {
  const url = new URL('/viewer/api/' + path, location.origin);
  for (const [name, value] of Object.entries(params)) {
    if (value !== undefined && value !== null && value !== '') url.searchParams.set(name, value);
  }
  const answer = await fetch(url, { credentials: 'same-origin' });
  if (answer.status === 401) throw new Refused();
  if (!answer.ok) throw new Error(`O servidor respondeu ${answer.status}.`);
  return answer.json();
}

function when(iso) {
  const time = new Date(iso);
  return Number.isNaN(time.getTime()) ? iso : timeFormat.format(time);
}

function show(id) {
  for (const section of document.querySelectorAll('main > section')) section.hidden = section.id !== id;
  $('#sair').hidden = id === 'entrar';
  $('#falha').hidden = true;
}

function cell(row, content, className) {
  const td = row.insertCell();
  if (content instanceof Node) td.append(content);
  else td.textContent = content;
  if (className) td.className = className;
  return td;
}

function link(href, text) {
  const a = document.createElement('a');
  a.href = href;
  a.textContent = text;
  return a;
}

function fill(section, rows, addRow) {
  const body = $('tbody', section);
  body.replaceChildren();
  for (const row of rows) addRow(body.insertRow(), row);
  $('.vazio', section).hidden = rows.length > 0;
}

// Newest first, a page at a time: the cursors of the pages seen, to go back.
class Pages {
  constructor(section, load) {
    this.load = load;
    this.cursors = [null];
    this.next = null;
    this.earlier = $('.anterior', section);
    this.later = $('.seguinte', section);
    this.earlier.addEventListener('click', () => { this.cursors.pop(); this.show().catch(failed); });
    this.later.addEventListener('click', () => { this.cursors.push(this.next); this.show().catch(failed); });
  }
  restart() { this.cursors = [null]; return this.show(); }
  async show() {
    this.next = await this.load(this.cursors[this.cursors.length - 1]);
    this.earlier.disabled = this.cursors.length < 2;
    this.later.disabled = !this.next;
  }
}

const chairHref = (serial) => '#cadeira/' + encodeURIComponent(serial);
const serviceHref = (id) => '#servico/' + id;

let search = '';
const chairPages = new Pages($('#cadeiras'), async (before) => {
  const page = await api('chairs', { q: search, before });
  fill($('#cadeiras'), page.chairs, (row, chair) => {
    cell(row, link(chairHref(chair.serial), chair.serial), 'serial');
    cell(row, when(chair.last_service));
    cell(row, chair.customer);
    cell(row, chair.taxpayer);
    cell(row, chair.motorization);
    cell(row, String(chair.services), 'numero');
  });
  return page.next;
});

let chairSerial = '';
const servicePages = new Pages($('#cadeira'), async (before) => {
  const page = await api('services', { serial: chairSerial, before });
  fill($('#cadeira'), page.services, (row, service) => {
    cell(row, link(serviceHref(service.id), when(service.received)));
    cell(row, service.customer);
    cell(row, service.taxpayer);
    cell(row, service.client);
    cell(row, service.after ? `${service.motorization} → ${service.after.motorization}`
      : service.motorization);
    cell(row, String(service.drive_events), 'numero');
    cell(row, service.after ? 'Serviço concluído' : 'Relatório avulso');
  });
  return page.next;
});

const groupNames = {
  motorizacao: 'Motorização', parametro: 'Parâmetros', evento: 'Eventos', outro: 'Outros itens',
};

function svg(name, attributes, parent) {
  const element = document.createElementNS(svgSpace, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  parent.append(element);
  return element;
}

// One bar per event counter, its number (the key's last two digits) below it.
function chart(container, counters) {
  const barWidth = 18, gap = 4, height = 150, top = 16, bottom = 20, left = 6;
  const highest = Math.max(1, ...counters.map(([, value]) => Number(value) || 0));
  const width = left * 2 + counters.length * (barWidth + gap);
  const drawing = document.createElementNS(svgSpace, 'svg');
  drawing.setAttribute('width', width);
  drawing.setAttribute('height', height);
  drawing.setAttribute('role', 'img');
  const base = height - bottom;
  counters.forEach(([key, value], index) => {
    const count = Number(value) || 0;
    const x = left + index * (barWidth + gap);
    const barHeight = Math.round((base - top) * count / highest);
    const bar = svg('rect', { class: 'barra', x, y: base - barHeight, width: barWidth, height: barHeight }, drawing);
    svg('title', {}, bar).textContent = `${key}: ${value}`;
    if (count > 0) {
      svg('text', { class: 'valor', x: x + barWidth / 2, y: base - barHeight - 3, 'text-anchor': 'middle' }, drawing)
        .textContent = String(count);
    }
    svg('text', { x: x + barWidth / 2, y: height - 6, 'text-anchor': 'middle' }, drawing)
      .textContent = key.slice(-2);
  });
  svg('line', { class: 'eixo', x1: left, x2: width - left, y1: base + 0.5, y2: base + 0.5 }, drawing);
  container.replaceChildren(drawing);
}

async function showService(id) {
  let service = await api('service', { id });
  const changes = [...service.changes];
  while (service.next) {
    service = await api('service', { id, offset: service.next });
    changes.push(...service.changes);
  }
  const section = $('#servico');
  $('.voltar', section).href = chairHref(service.serial);
  $('.quando', section).textContent = when(service.before.received);
  const summary = $('.resumo', section);
  summary.replaceChildren();
  const facts = [
    ['Cadeira', service.serial], ['Cliente', service.before.customer],
    ['CPF/CNPJ', service.before.taxpayer], ['Enviado de', service.before.client],
    ['Relatório antes', `nº ${service.before.id}, ${when(service.before.received)}`],
    ['Relatório depois', service.after ? `nº ${service.after.id}, ${when(service.after.received)}` : '—'],
  ];
  for (const [term, value] of facts) {
    const dt = document.createElement('dt');
    dt.textContent = term;
    const dd = document.createElement('dd');
    dd.textContent = value;
    summary.append(dt, dd);
  }
  $('.avulso', section).hidden = Boolean(service.after);
  $('.mudancas', section).hidden = !service.after;
  let group = '';
  fill(section, changes, (row, change) => {
    if (change.group !== group) {
      group = change.group;
      const heading = row.parentNode.insertBefore(document.createElement('tr'), row);
      heading.className = 'grupo';
      cell(heading, groupNames[group] || group).colSpan = 3;
    }
    cell(row, change.item);
    cell(row, change.before, 'antes');
    cell(row, change.after, 'depois');
  });
  chart($('.grafico.painel', section), service.events.painel);
  chart($('.grafico.drive', section), service.events.drive);
  $('a.json', section).href = `/viewer/api/service.json?id=${service.id}`;
  $('a.csv', section).href = `/viewer/api/service.csv?id=${service.id}`;
}

async function route() {
  const [page, argument] = location.hash.slice(1).split('/');
  try {
    if (page === 'cadeira') {
      chairSerial = decodeURIComponent(argument || '');
      $('#cadeira .serial').textContent = chairSerial;
      await servicePages.restart();
      show('cadeira');
    } else if (page === 'servico') {
      await showService(Number(argument));
      show('servico');
    } else {
      await chairPages.show();
      show('cadeiras');
    }
  } catch (failure) {
    failed(failure);
  }
}

function failed(failure) {
  if (failure instanceof Refused) {
    show('entrar');
    $('#recusado').hidden = !new URLSearchParams(location.search).has('recusado');
    $('#chave').focus();
  } else {
    $('#falha').textContent = failure instanceof URIError ? 'Endereço inválido.' : failure.message;
    $('#falha').hidden = false;
  }
}

$('#busca').addEventListener('submit', (event) => {
  event.preventDefault();
  search = $('#termo').value.trim();
  chairPages.restart().catch(failed);
});
window.addEventListener('hashchange', route);
route();
