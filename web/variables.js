// The variables panel: a to z, each with its value. A value that is not 0 stands out; one
// that changed at the last stop also says what it was, so that the change is not shown by
// colour alone. While a run is stopped each value is a field that sets it; a box beside each
// watches it (a run stops where it changes). The items are made once and changed in place, so
// that a field keeps the focus as the run answers.
const kNames = 'abcdefghijklmnopqrstuvwxyz';

// `onSet(name, text)` hears a value typed in a field (on Enter or leaving it), and returns
// false to put the value back; `onWatch(name, on)` hears a box ticked or cleared.
export function makeVariables(list, { onSet, onWatch }) {
  list.replaceChildren(...[...kNames].map((name) => {
    const item = document.createElement('li');
    const field = Object.assign(document.createElement('input'), { className: 'field', hidden: true, autocomplete: 'off' });
    field.setAttribute('aria-label', name);
    field.addEventListener('change', () => onSet(name, field.value) || (field.value = item.querySelector('.value').textContent));
    const box = Object.assign(document.createElement('input'), { type: 'checkbox', title: `Watch ${name}: a run stops where it changes` });
    box.setAttribute('aria-label', `Watch ${name}`);
    box.addEventListener('change', () => onWatch(name, box.checked));
    item.append(Object.assign(document.createElement('span'), { className: 'name', textContent: name }), ' = ',
                Object.assign(document.createElement('span'), { className: 'value' }), field,
                Object.assign(document.createElement('span'), { className: 'was' }), box);
    return item;
  }));
}

// Shows `values` (26 numbers) in the list `list`; `before` (the values when the run last went
// on) marks the changed ones, or nothing when it is null. `editable`: the values are fields.
export function showVariables(list, values, before = null, editable = false) {
  const shown = `${values}|${before}|${editable}`;
  if (list.dataset.shown === shown) return;  // a run's reports come 20 times a second
  list.dataset.shown = shown;
  values.forEach((value, i) => {
    const item = list.children[i];
    const [, , valueText, field, was] = item.childNodes;
    const changed = before !== null && before[i] !== value;
    item.classList.toggle('zero', value === 0);
    item.classList.toggle('set', value !== 0);
    item.classList.toggle('changed', changed);
    valueText.textContent = String(value);
    valueText.hidden = editable;
    field.value = String(value);
    field.hidden = !editable;
    was.textContent = changed ? ` was ${before[i]}` : '';
  });
}
