// The maker's view of the service reports. Everything shown comes from the receiver's API and is
// put in the page as text, never as markup: customer names are anyone's input. Where the staff are
// (the search, the page, the chair or the service) is the address's fragment, so a reload, the back
// button and a copied link all bring it back: '#cadeiras?q=silva&antes=C', '#cadeira/SERIAL',
// '#servico/ID'; an admin's '#auditoria?...' (audit.js), and '#senha' to change one's password.
import { auditView } from './audit.js';
import { barChart, scaleOf } from './chart.js';
import { fleetView } from './fleet.js';
import { groupName, itemName, visible, when } from './texts.js';
import { titularView } from './titular.js';

const $ = (selector, root = document) => root.querySelector(selector);

class Refused extends Error {}

const unreachable = 'O servidor não respondeu. Verifique a conexão e tente de novo.';

function failure(path, status) {
  if (status === 404 && path === 'service') return 'Serviço não encontrado.';
  if (status === 400 || status === 404) return 'Endereço inválido.';
  return `O servidor não conseguiu responder (erro ${status}). Tente de novo.`;
}

let signedIn = false;

async function api(path, params = {}) {
  const url = new URL('/viewer/api/' + path, location.origin);
  for (const [name, value] of Object.entries(params)) {
    if (value !== undefined && value !== null && value !== '') url.searchParams.set(name, value);
  }
  const answer = await fetch(url, { credentials: 'same-origin' }).catch(() => null);
  if (!answer) throw new Error(unreachable);
  if (answer.status === 401) throw new Refused();
  if (answer.status === 403) throw new Error('Sem permissão para esta página.');
  if (!answer.ok) throw new Error(failure(path, answer.status));
  signedIn = true;
  return answer.json();
}

// A report's time; with when the tool made it, when that was over a minute before it came.
function times(head) {
  return head.made ? `feito em ${when(head.made)} / recebido em ${when(head.received)}` : when(head.received);
}

const closes = (head) => head.stage === 'after' || head.stage === 'interrupted';

// What a service's reports tell of it. A lone report naming no run may be either of a run's.
function state(first, after) {
  if (after) return after.stage === 'interrupted' ? 'Interrompido' : 'Concluído';
  if (closes(first)) return 'Só o relatório depois';
  return first.stage === 'before' ? 'Só o relatório antes' : 'Relatório avulso';
}

function show(id) {
  for (const section of document.querySelectorAll('main > section')) section.hidden = section.id !== id;
  $('#conta').hidden = id === 'entrar';
}

// Who is signed in, asked once a page load: the header names them, and only admins see the audit.
let me = null;

async function signedInAs() {
  me = me || await api('eu');
  $('#quem').textContent = `${me.name} (${me.role})`;
  $('#link-auditoria').hidden = me.role !== 'admin';
  $('#link-titular').hidden = me.role !== 'admin';
  return me;
}

// A one-time password is changed before anything else; a refused change says so.
function passwordView() {
  return () => {
    const asked = new URLSearchParams(location.search);
    $('#trocar .provisoria').hidden = !me.must_change;
    $('#trocar .erro').hidden = !asked.has('recusada');
    show('trocar');
    $('#atual').focus();
  };
}

function cell(row, content, className) {
  const td = row.insertCell();
  td.append(content instanceof Node ? content : visible(content));
  if (className) td.className = className;
  return td;
}

function link(href, text) {
  const a = document.createElement('a');
  a.href = href;
  a.append(visible(text));
  return a;
}

function fill(section, rows, addRow) {
  const body = $('tbody', section);
  body.replaceChildren();
  for (const row of rows) addRow(body.insertRow(), row);
  $('.vazio', section).hidden = rows.length > 0;
}

// Goes to an address of this page, keeping in its history entry what the address does not hold.
function go(address, state = null) {
  history.pushState(state, '', address);
  route();
}

// Newest first, a page at a time: the address holds the page's cursor, its history entry the
// cursors of the newer pages seen, to go back one. A copied link goes back to the first page.
class Pages {
  constructor(section) {
    this.newer = $('.anterior', section);
    this.older = $('.seguinte', section);
    this.newer.addEventListener('click', () => {
      const seen = history.state?.seen || [];
      go(this.address(seen[seen.length - 1]), { seen: seen.slice(0, -1) });
    });
    this.older.addEventListener('click', () =>
      go(this.address(this.next), { seen: [...(history.state?.seen || []), this.cursor] }));
  }
  address(cursor) {
    const [path, query = ''] = location.hash.slice(1).split('?');
    const params = new URLSearchParams(query);
    if (cursor) params.set('antes', cursor);
    else params.delete('antes');
    const rest = String(params);
    return `#${path}${rest ? '?' + rest : ''}`;
  }
  set(cursor, next) {
    this.cursor = cursor;
    this.next = next;
    this.newer.hidden = !cursor;
    this.older.hidden = !next;
  }
}

const chairHref = (serial) => '#cadeira/' + encodeURIComponent(serial);
const serviceHref = (id) => '#servico/' + id;
const chairPages = new Pages($('#cadeiras'));
const servicePages = new Pages($('#cadeira'));
let chairsAddress = '#';

// Each view loads what it shows, then returns how to put it in the page.
async function chairsView(params) {
  const search = params.get('q') || '';
  const cursor = params.get('antes');
  const page = await api('chairs', { q: search, before: cursor });
  return () => {
    chairsAddress = location.hash || '#';
    $('#termo').value = search;
    fill($('#cadeiras'), page.chairs, (row, chair) => {
      cell(row, link(chairHref(chair.serial), chair.serial), 'serial');
      cell(row, when(chair.last_service), 'data');
      cell(row, chair.customer);
      cell(row, chair.taxpayer, 'documento');
      cell(row, chair.motorization);
      cell(row, chair.services, 'numero');
    });
    chairPages.set(cursor, page.next);
    show('cadeiras');
  };
}

function motorizations(service) {
  if (!service.after) return visible(service.motorization);
  const both = document.createDocumentFragment();
  both.append(visible(service.motorization), ' → ', visible(service.after.motorization));
  return both;
}

async function chairView(serial, params) {
  const cursor = params.get('antes');
  const page = await api('services', { serial, before: cursor });
  return () => {
    $('#cadeira .voltar').href = chairsAddress;
    $('#cadeira .serial').replaceChildren(visible(serial));
    fill($('#cadeira'), page.services, (row, service) => {
      cell(row, link(serviceHref(service.id), when(service.received)), 'data');
      cell(row, service.customer);
      cell(row, service.taxpayer, 'documento');
      cell(row, service.client);
      cell(row, motorizations(service));
      cell(row, service.drive_events, 'numero');
      cell(row, state(service, service.after));
    });
    servicePages.set(cursor, page.next);
    show('cadeira');
  };
}

async function serviceView(id) {
  let service = await api('service', { id });
  const changes = [...service.changes];
  while (service.next) {
    service = await api('service', { id, offset: service.next });
    changes.push(...service.changes);
  }
  return () => {
    const section = $('#servico');
    $('.voltar', section).href = chairHref(service.serial);
    $('.quando', section).textContent = when(service.before.received);
    const { before, after } = service;
    const report = (head) => (head ? `nº ${head.id}, ${times(head)}` : '—');
    const facts = [
      ['Cadeira', service.serial], ['Cliente', before.customer],
      ['CPF/CNPJ', before.taxpayer], ['Enviado de', before.client],
      ['Situação', state(before, after)],
      ['Relatório antes', report(!closes(before) && before)],
      ['Relatório depois', report(after || (closes(before) && before))],
    ];
    $('.resumo', section).replaceChildren(...facts.flatMap(([term, value]) => {
      const dt = document.createElement('dt');
      dt.textContent = term;
      const dd = document.createElement('dd');
      dd.append(visible(value));
      return [dt, dd];
    }));
    $('.avulso', section).hidden = Boolean(after || before.stage);
    $('.mudancas', section).hidden = !service.after;
    let heading = '';
    fill(section, changes, (row, change) => {
      if (groupName(change.group, change.item) !== heading) {
        heading = groupName(change.group, change.item);
        const group = row.parentNode.insertBefore(document.createElement('tr'), row);
        group.className = 'grupo';
        cell(group, heading).colSpan = 4;
      }
      cell(row, itemName(change.item));
      cell(row, change.before, 'antes');
      cell(row, '→', 'seta');
      cell(row, change.after, 'depois');
    });
    const { painel, drive } = service.events;
    const scale = scaleOf(painel, drive);
    barChart($('.grafico.painel', section), painel, scale);
    barChart($('.grafico.drive', section), drive, scale);
    $('a.json', section).href = `/viewer/api/service.json?id=${service.id}`;
    $('a.csv', section).href = `/viewer/api/service.csv?id=${service.id}`;
    show('servico');
  };
}

async function frotaView(params) {
  const put = await fleetView(api, params);
  return () => {
    put();
    show('frota');
  };
}

// A failure shows in place of the page's content, never over what an earlier address showed.
function failed(failure) {
  if (failure instanceof Refused) {
    me = null;
    const asked = new URLSearchParams(location.search);
    const refused = asked.has('recusado') || asked.has('aguarde');
    $('#recusado').textContent = asked.has('aguarde')
      ? `Muitas tentativas: tente de novo em ${asked.get('aguarde')} s.`
      : refused ? 'Usuário ou senha recusados.' : 'Sessão expirada: entre de novo.';
    $('#recusado').hidden = !refused && !signedIn;
    // Signing in comes back to this address: the redirect keeps the form's fragment.
    $('#entrar form').action = '/viewer/entrar' + location.hash;
    show('entrar');
    $('#usuario').focus();
  } else {
    $('#falha p').textContent = failure instanceof URIError ? 'Endereço inválido.' : failure.message;
    show('falha');
  }
}

// Only the latest address is shown when an earlier one answers after it.
let routes = 0;

async function route() {
  const turn = ++routes;
  try {
    const [path, query = ''] = location.hash.slice(1).split('?');
    const [page, argument = ''] = path.split('/');
    const params = new URLSearchParams(query);
    const { must_change: mustChange } = await signedInAs();
    const audit = async () => {
      const render = await auditView(params, api);
      return () => { render(); show('auditoria'); };
    };
    const view = mustChange || page === 'senha' ? passwordView()
      : page === 'auditoria' ? await audit()
        : page === 'titular' ? await titularView(params, api, show)
          : page === 'frota' ? await frotaView(params)
          : page === 'cadeira' ? await chairView(decodeURIComponent(argument), params)
            : page === 'servico' ? await serviceView(Number(argument)) : await chairsView(params);
    if (turn === routes) view();
  } catch (failure) {
    if (turn === routes) failed(failure);
  }
}

$('#busca').addEventListener('submit', (event) => {
  event.preventDefault();
  const search = $('#termo').value.trim();
  go(search ? '#cadeiras?' + new URLSearchParams({ q: search }) : '#cadeiras');
});
window.addEventListener('hashchange', route);
route();
