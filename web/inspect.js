// What a stopped run shows beside its variables: the subroutine calls and loops open in it, the
// timeline of its steps, on which any step of its past can be chosen, and a chart of a
// variable over its past.

// Shows `frames` (as the engine gives them, innermost first; null while no run is stopped) in
// the list `list`, each naming its line by `name(textLine)`.
export function showStack(list, frames, name) {
  const items = frames === null || frames === undefined ? []
    : frames.length === 0 ? ['no gosub or for is active']
    : frames.map(({ gosub, line, variable, limit }) => {
      const to = line === 0 ? 'the end of the text' : name(line);
      return gosub ? `gosub, returning to ${to}` : `for ${variable} to ${limit}, looping to ${to}`;
    });
  list.replaceChildren(...items.map((text) => Object.assign(document.createElement('li'), { textContent: text })));
}

// Sets the timeline `slider` at the step the run stands on, out of the furthest it reached,
// and says it in `label` (`moved` false: the slider stays); `report` null sets it at 0. It
// moves only while `enabled`.
export function showTimeline(slider, label, report, enabled, moved = true) {
  const [at, furthest] = report === null ? [0, 0] : [report.statements, report.furthest];
  slider.max = String(furthest);
  if (moved) slider.value = String(at);
  slider.disabled = !enabled;
  const text = `step ${at.toLocaleString('en')} of ${furthest.toLocaleString('en')}`;
  slider.setAttribute('aria-valuetext', text);
  label.textContent = report === null ? '' : text;
}

// Draws `values` (at `steps`) of variable `name` in `figure` (an SVG line, scaled to the
// values, and a caption that says what it shows); null `values` hides it.
export function showChart(figure, name, steps, values) {
  figure.hidden = values === null;
  if (values === null) return;
  const [low, high] = [Math.min(...values), Math.max(...values)];
  const chart = figure.querySelector('svg');
  chart.setAttribute('viewBox', `0 0 ${values.length - 1} ${Math.max(high - low, 1)}`);
  chart.firstElementChild.setAttribute('points', values.map((value, i) => `${i},${high - value}`).join(' '));
  figure.querySelector('figcaption').textContent = `${name} over steps 0 to ${steps.at(-1).toLocaleString('en')}: ` +
    `from ${values[0]} to ${values.at(-1)}, lowest ${low}, highest ${high}`;
}
