// The variables panel: a to z, each with its value. A value that is not 0 stands out; one
// that changed at the last stop also says what it was, so that the change is not shown by
// colour alone.
const kNames = 'abcdefghijklmnopqrstuvwxyz';

// Shows `values` (26 numbers) in the list `list`; `before` (the values when the run last went
// on) marks the changed ones, or nothing when it is null.
export function showVariables(list, values, before = null) {
  const shown = `${values}|${before}`;
  if (list.dataset.shown === shown) return;  // a run's reports come 20 times a second
  list.dataset.shown = shown;
  list.replaceChildren(...values.map((value, i) => {
    const item = document.createElement('li');
    const changed = before !== null && before[i] !== value;
    item.className = `${value === 0 ? 'zero' : 'set'}${changed ? ' changed' : ''}`;
    item.append(Object.assign(document.createElement('span'), { className: 'name', textContent: kNames[i] }),
                ` = ${value}`);
    if (changed) {
      const was = Object.assign(document.createElement('span'), { className: 'was', textContent: ` was ${before[i]}` });
      item.append(was);
    }
    return item;
  }));
}
