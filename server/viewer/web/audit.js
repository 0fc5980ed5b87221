// The admins' page "Auditoria": who read or changed what, newest first, filtered by the person
// it concerns, the user and the days. The filters and the page's cursor are the address's:
// '#auditoria?pessoa=529.982&usuario=ana&desde=2026-12-01&ate=2026-12-07&antes=ID'.
import { visible } from './texts.js';

const $ = (selector) => document.querySelector(`#auditoria ${selector}`);
const timeFormat = new Intl.DateTimeFormat('pt-BR', { dateStyle: 'short', timeStyle: 'medium' });
const filters = ['pessoa', 'usuario', 'desde', 'ate'];

const actions = {
  cadeiras: 'Lista de cadeiras', busca: 'Busca', cadeira: 'Cadeira', servico: 'Serviço',
  download: 'Download', relatorios: 'Relatórios (API)', entrada: 'Entrada', saida: 'Saída',
  senha: 'Troca de senha', auditoria: 'Auditoria',
};

function row(body, entry) {
  const tr = body.insertRow();
  for (const text of [timeFormat.format(new Date(entry.at)), entry.who, entry.address,
    actions[entry.action] || entry.action, entry.subject, entry.result]) {
    tr.insertCell().append(visible(text));
  }
}

// Loads the page params asks for through api; returns how to show it.
export async function auditView(params, api) {
  const asked = Object.fromEntries(filters.map((name) => [name, params.get(name) || '']));
  const [page, { users }] = await Promise.all([
    api('auditoria', { ...asked, antes: params.get('antes') }), api('usuarios')]);
  return () => {
    const form = document.getElementById('filtro');
    form.usuario.replaceChildren(form.usuario.options[0], ...users.map(({ name }) => new Option(name, name)));
    for (const name of filters) form[name].value = asked[name];
    const body = $('tbody');
    body.replaceChildren();
    for (const entry of page.entries) row(body, entry);
    $('.vazio').hidden = page.entries.length > 0;
    const query = new URLSearchParams(Object.entries(asked).filter(([, value]) => value));
    $('.csv').href = `/viewer/api/auditoria.csv?${query}`;
    $('.anterior').href = `#auditoria?${query}`;
    $('.anterior').hidden = !params.get('antes');
    $('.seguinte').hidden = !page.next;
    query.set('antes', page.next);
    $('.seguinte').href = `#auditoria?${query}`;
  };
}

document.getElementById('filtro').addEventListener('submit', (event) => {
  event.preventDefault();
  const form = event.target;
  const query = new URLSearchParams(filters.map((name) => [name, form[name].value.trim()])
    .filter(([, value]) => value));
  location.hash = `#auditoria?${query}`;
});
