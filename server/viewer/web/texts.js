// How stored texts and report keys are shown. Stored texts are anyone's input.

const timeFormat = new Intl.DateTimeFormat('pt-BR', { dateStyle: 'short', timeStyle: 'medium' });

// A stored time in the staff's time zone; as it is when it is no time.
export function when(iso) {
  const time = new Date(iso);
  return Number.isNaN(time.getTime()) ? iso : timeFormat.format(time);
}

// Invisible controls and format characters (a right-to-left override above all) would reorder or
// hide what stands around them, so each shows as its code point. The zero-width joiners stay: they
// join emoji and the letters of some scripts.
const invisible = /(?![\u200c\u200d])[\p{Cc}\p{Cf}\p{Zl}\p{Zp}]/gu;

export function visible(value) {
  const text = String(value);
  const shown = document.createDocumentFragment();
  let from = 0;
  for (const found of text.matchAll(invisible)) {
    const mark = document.createElement('span');
    mark.className = 'invisivel';
    mark.textContent = `<U+${found[0].codePointAt(0).toString(16).toUpperCase().padStart(4, '0')}>`;
    shown.append(text.slice(from, found.index), mark);
    from = found.index + found[0].length;
  }
  shown.append(text.slice(from));
  return shown;
}

const itemNames = {
  drive_motorizacao: 'Motorização', nome: 'Nome', email: 'E-mail', telefone: 'Telefone', cep: 'CEP',
  cpf: 'CPF', cnpj: 'CNPJ', cabo_comunicacao: 'Cabo de comunicação', painel_serial: 'Serial do painel',
  painel_versao_fw: 'Firmware do painel', painel_versao_hw: 'Hardware do painel',
  drive_serial: 'Serial do drive', drive_versao_fw: 'Firmware do drive', drive_versao_hw: 'Hardware do drive',
};
const numbered = /^(painel|drive)_(param|event)_(0x[0-9A-F]{2})$/;

// A report key as the staff read it: drive_param_0x0F is "Parâmetro 0x0F", under its device's heading.
export function itemName(key) {
  const [, , kind, number] = numbered.exec(key) || [];
  if (number) return `${kind === 'param' ? 'Parâmetro' : 'Evento'} ${number}`;
  return itemNames[key] || key;
}

const groupNames = {
  motorizacao: 'Motorização', parametro: 'Parâmetros', evento: 'Eventos', outro: 'Outros itens',
};

export function groupName(group, key) {
  const [, device] = numbered.exec(key) || [];
  const name = groupNames[group] || group;
  return device ? `${name} do ${device}` : name;
}
