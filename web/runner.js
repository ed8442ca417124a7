// Runs: a worker per run, which reports what the program printed, where it stands and its
// variables. A run is 'running', 'paused' (at a breakpoint, a watch or after a step, until it
// goes on) or 'ended'; an ended run keeps its worker, so that it can go back in time. Stop
// ends the worker at once.
export class Run {
  // `onReport` hears each report ({ state, reason, text, dropped, replace, line, number, ran,
  // statements, furthest, ms, variables, before, stack, watch, undone, set }), `onAnswer`
  // each expression's value ({ evaluated, expression }) and chart ({ chart, steps, values }),
  // and `onError` a failure of the worker; none hears anything once the run is stopped.
  // `stepping` starts the run with a step.
  constructor(module, text, { breakpoints, watches, stepping }, { onReport, onAnswer, onError }) {
    this.text = text;
    this.state = 'running';
    this.last = { line: -1, number: -1, statements: 0, ms: 0, variables: null };
    this.worker = new Worker(new URL('worker.js', import.meta.url), { type: 'module' });
    this.worker.onmessage = ({ data }) => {
      if (data.evaluated !== undefined || data.chart !== undefined) {
        onAnswer(data);
        return;
      }
      this.last = data;
      this.state = data.state;
      onReport(data);
    };
    this.worker.onerror = (event) => {
      this.stop();
      onError(event.message ?? 'the worker failed');
    };
    this.worker.postMessage({ module, text, breakpoints, watches, stepping });
  }

  // Going on or paused: not ended.
  get running() {
    return this.worker !== null && this.state !== 'ended';
  }

  get paused() {
    return this.running && this.state === 'paused';
  }

  // Stopped or ended with its worker kept: it can go back in time.
  get stopped() {
    return this.worker !== null && this.state !== 'running';
  }

  setBreakpoints(breakpoints) {
    this.tell({ breakpoints });
  }

  // Messages for the run's worker: watches, variables, expressions.
  tell(message) {
    this.worker?.postMessage(message);
  }

  // Goes on from a stop ('continue', 'step', 'over' or 'out'), or back in time ('back' a
  // line, 'rewind' to the last breakpoint, 'to' a step); a step asked while the run goes on
  // stops it at the next line it reaches.
  goOn(how, fields = {}) {
    if (this.stopped && !['back', 'rewind', 'to'].includes(how)) this.state = 'running';
    this.tell({ go: how, ...fields });
  }

  // Ends the run at once; returns the last report.
  stop() {
    this.worker?.terminate();
    this.worker = null;
    this.state = 'ended';
    return this.last;
  }
}
