// "Frota": the whole fleet at a glance, as the receiver adds it up (/viewer/api/fleet). The
// address holds the filter: '#frota?de=2026-01&ate=2026-06&firmware=2.4'.
import { barChart, scaleOf } from './chart.js';
import { visible } from './texts.js';

const $ = (selector, root = document) => root.querySelector(selector);
const section = $('#frota');
const whole = new Intl.NumberFormat('pt-BR', { maximumFractionDigits: 0 });
const tenths = new Intl.NumberFormat('pt-BR', { maximumFractionDigits: 1 });
const devices = { drive: 'Drive', painel: 'Painel' };
const filters = ['de', 'ate', 'firmware'];

// Up to five steps of 1, 2 or 5 times a power of ten, reaching the highest value.
function scaleTo(highest) {
  const power = 10 ** Math.floor(Math.log10(Math.max(1, highest) / 5));
  const step = [1, 2, 5, 10].map((size) => size * power).find((size) => highest / size <= 5);
  return { step, top: Math.max(1, Math.ceil(highest / step)) * step };
}

function rows(table, groups, name) {
  const body = $('tbody', table);
  body.replaceChildren();
  for (const group of groups) {
    const row = body.insertRow();
    for (const [value, className] of [[group[name]], [group.chairs, 'numero'], [group.services, 'numero']]) {
      const td = row.insertCell();
      td.append(visible(value));
      if (className) td.className = className;
    }
  }
}

function eventCharts(events) {
  const means = scaleOf(...events.map((group) => group.counters.map(({ code, mean }) => [code, mean])));
  return events.map((group) => {
    const figure = document.createElement('figure');
    const caption = document.createElement('figcaption');
    caption.append(`${devices[group.device] || group.device} · `, visible(group.motorization),
      ` (${whole.format(group.services)} serviços)`);
    const key = (code) => `${group.device}_event_${code}`;
    const charts = [['Cadeiras com o contador acima de 0 (%)', { step: 20, top: 100 },
      group.counters.map((counter) => [key(counter.code), 100 * counter.share]), whole],
    ['Contagem média antes da limpeza', means,
      group.counters.map((counter) => [key(counter.code), counter.mean]), tenths]];
    figure.append(caption, ...charts.map(([title, scale, counters, format]) => {
      const chart = document.createElement('div');
      chart.className = 'grafico';
      const heading = document.createElement('p');
      heading.textContent = title;
      barChart(chart, counters, scale, { format: (value) => format.format(value) });
      chart.prepend(heading);
      return chart;
    }));
    return figure;
  });
}

// Loads the figures the address asks for; returns how to put them in the page.
export async function fleetView(api, params) {
  const query = Object.fromEntries(filters.map((name) => [name, params.get(name) || '']));
  const fleet = await api('fleet', query);
  return () => {
    $('#frota-de').value = query.de;
    $('#frota-ate').value = query.ate;
    const firmware = $('#frota-firmware');
    firmware.replaceChildren(new Option('Todos', ''), ...fleet.firmwares.map((name) => new Option(name, name)));
    firmware.value = query.firmware;
    rows($('.por-motorizacao', section), fleet.by_motorization, 'motorization');
    rows($('.por-firmware', section), fleet.by_firmware, 'firmware');
    const months = fleet.months.map(({ month, services }) => [month, services]);
    barChart($('.meses', section), months, scaleTo(Math.max(0, ...fleet.months.map((m) => m.services))),
      { label: (month) => `${month.slice(5)}/${month.slice(2, 4)}` });
    $('.eventos', section).replaceChildren(...eventCharts(fleet.events));
    $('.eventos-vazio', section).hidden = fleet.events.length > 0;
    const chosen = new URLSearchParams(Object.entries(query).filter(([, value]) => value));
    for (const link of section.querySelectorAll('a[data-tabela]')) {
      link.href = `/viewer/api/fleet/${link.dataset.tabela}.csv?${chosen}`;
    }
  };
}

// The filter goes to the address, so a reload, the back button and a copied link keep it.
$('#filtro-frota').addEventListener('submit', (event) => {
  event.preventDefault();
  const chosen = new URLSearchParams();
  for (const name of filters) {
    const value = $(`#frota-${name}`).value;
    if (value) chosen.set(name, value);
  }
  location.hash = `#frota${String(chosen) ? '?' + chosen : ''}`;
});
