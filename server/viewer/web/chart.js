// Bar charts of event counters, one bar per counter, with a y axis.
import { itemName } from './texts.js';

const svgSpace = 'http://www.w3.org/2000/svg';
// An event counter holds 0 to 255: a larger value (another sender's) must not flatten the rest.
const counterRange = 255;
const steps = [1, 2, 5, 10, 20, 25, 50, 100];
// A slot holds "0x1D" and a three-digit count side by side with room between them.
const slot = 30, barWidth = 20, plot = 120, above = 16, below = 22, axis = 34, right = 6;
const number = new Intl.NumberFormat('pt-BR', { maximumFractionDigits: 0 });
const huge = new Intl.NumberFormat('pt-BR', { notation: 'scientific', maximumFractionDigits: 1 });
const longestLabel = 15;

const count = (value) => Math.max(0, Number(value) || 0);
const label = (value) => (number.format(value).length > longestLabel ? huge : number).format(value);

function svg(name, attributes, parent) {
  const element = document.createElementNS(svgSpace, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  parent.append(element);
  return element;
}

// One scale for every chart shown together: up to five steps of 1, 2 or 5 times a power of ten,
// reaching the highest count within the counter's range.
export function scaleOf(...charts) {
  const counts = charts.flat().map(([, value]) => count(value));
  const highest = Math.min(counterRange, Math.max(1, ...counts));
  const step = steps.find((size) => highest / size <= 5);
  return { step, top: Math.ceil(highest / step) * step };
}

// options: label, an x label of a key (its last four characters: '0x1D'); format, a value's text.
export function barChart(container, counters, { step, top }, options = {}) {
  const { label: xLabel = (key) => key.slice(-4), format = label } = options;
  const width = axis + counters.length * slot + right, base = above + plot;
  container.replaceChildren();
  const drawing = svg('svg', { width, height: base + below, role: 'img' }, container);
  const y = (value) => base - Math.round((plot * Math.min(value, top)) / top);
  for (let tick = 0; tick <= top; tick += step) {
    const line = y(tick) + 0.5;
    svg('line', { class: tick ? 'grade' : 'eixo', x1: axis, x2: width - right, y1: line, y2: line }, drawing);
    svg('text', { class: 'escala', x: axis - 5, y: line + 3.5, 'text-anchor': 'end' }, drawing)
      .textContent = number.format(tick);
  }
  counters.forEach(([key, value], index) => {
    const shown = count(value), middle = axis + index * slot + slot / 2, left = middle - barWidth / 2;
    const beyond = shown > top;
    const bar = svg('rect', { class: beyond ? 'barra alem' : 'barra', x: left, y: y(shown), width: barWidth,
      height: base - y(shown) }, drawing);
    svg('title', {}, bar).textContent = `${itemName(key)}: ${value}`;
    if (beyond) {
      // Drawn to the scale's top, cut by a break, its value written down the bar.
      svg('path', { class: 'corte', d: `M${left} ${above + 6}l${barWidth / 2} -4l${barWidth / 2} 4` }, drawing);
      const start = above + 12;
      svg('text', { class: 'valor alem', x: middle, y: start, 'text-anchor': 'end', 'dominant-baseline': 'central',
        transform: `rotate(-90 ${middle} ${start})` }, drawing).textContent = format(shown);
    } else if (shown > 0) {
      svg('text', { class: 'valor', x: middle, y: y(shown) - 4, 'text-anchor': 'middle' }, drawing)
        .textContent = format(shown);
    }
    svg('text', { x: middle, y: base + 15, 'text-anchor': 'middle' }, drawing).textContent = xLabel(key);
  });
}
