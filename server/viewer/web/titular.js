// The page of one person's data ("Titular"): the reports that hold a CPF, CNPJ or e-mail, their
// export as one file, and their anonymization once the staff have confirmed how many reports
// change. The query is in the address's fragment ('#titular?q=...'), like the chairs' search.
import { visible, when } from './texts.js';

const section = document.querySelector('#titular');
const $ = (selector) => section.querySelector(selector);
const reports = (count) => (count === 1 ? '1 relatório' : `${count} relatórios`);

// What is shown: the query and how many reports held it, which the anonymization must confirm.
let shown = { query: '', count: 0 };
let reload = async () => {};

function say(text) {
  $('.resultado').textContent = text;
  $('.resultado').hidden = false;
}

// Loads the reports of the address's query, then returns how to put them in the page.
export async function titularView(params, api, show) {
  const query = params.get('q') || '';
  const page = query ? await api('titular', { q: query }) : { count: 0, reports: [] };
  reload = async () => (await titularView(params, api, show))();
  return () => {
    shown = { query, count: page.count };
    $('#titular-termo').value = query;
    const body = $('tbody');
    body.replaceChildren();
    for (const report of page.reports) {
      const row = body.insertRow();
      for (const value of [report.id, when(report.received), report.serial, report.nome, report.email,
        report.telefone, report.cpf, report.cnpj, report.cep]) row.insertCell().append(visible(value));
    }
    $('.achados').hidden = page.count === 0;
    $('.vazio').hidden = !query || page.count > 0;
    $('.quantos').textContent = `${reports(page.count)} com este dado.`;
    $('.exportar').href = '/viewer/api/titular.json?' + new URLSearchParams({ q: query });
    $('.confirmar').hidden = true;
    $('.resultado').hidden = true;
    show('titular');
  };
}

async function anonymize() {
  const body = new URLSearchParams({ q: shown.query, count: shown.count });
  const answer = await fetch('/viewer/api/titular/anonimizar', { method: 'POST', body, credentials: 'same-origin' })
    .catch(() => null);
  const done = answer?.ok && (await answer.json()).anonymized;
  await reload().catch(() => {});
  if (!answer) say('O servidor não respondeu. Verifique a conexão e tente de novo.');
  else if (answer.ok) say(done === 1 ? '1 relatório anonimizado.' : `${done} relatórios anonimizados.`);
  else if (answer.status === 409) say('Os relatórios com este dado mudaram desde a busca: confira a lista e confirme de novo.');
  else say(`O servidor não conseguiu anonimizar (erro ${answer.status}). Tente de novo.`);
}

$('#titular-busca').addEventListener('submit', (event) => {
  event.preventDefault();
  location.hash = '#titular?' + new URLSearchParams({ q: $('#titular-termo').value.trim() });
});
$('.anonimizar').addEventListener('click', () => {
  $('.pergunta').textContent = `Anonimizar ${reports(shown.count)}? Nome, e-mail, telefone, CPF, CNPJ e CEP`
    + ' passam a "anonimizado"; seriais, parâmetros e eventos ficam. Não há como desfazer.';
  $('.confirmar').hidden = false;
  $('.nao').focus();
});
$('.nao').addEventListener('click', () => { $('.confirmar').hidden = true; });
$('.sim').addEventListener('click', anonymize);
