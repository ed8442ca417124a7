// Runs: a worker per run, which reports what the program printed, where it stands and its
// variables. A run is 'running', 'paused' (at a breakpoint or after a step, until Step or
// Continue) or 'ended'; Stop ends it at once.
export class Run {
  // `onReport` hears each report ({ state, reason, text, dropped, line, number, ran,
  // statements, ms, variables, before }) and `onError` a failure of the worker; neither hears
  // anything once the run is stopped. `stepping` starts the run with a step.
  constructor(module, text, { breakpoints, stepping }, { onReport, onError }) {
    this.text = text;
    this.state = 'running';
    this.last = { line: -1, number: -1, statements: 0, ms: 0, variables: null };
    this.worker = new Worker(new URL('worker.js', import.meta.url), { type: 'module' });
    this.worker.onmessage = ({ data }) => {
      this.last = data;
      this.state = data.state;
      if (data.state === 'ended') this.end();
      onReport(data);
    };
    this.worker.onerror = (event) => {
      this.end();
      onError(event.message ?? 'the worker failed');
    };
    this.worker.postMessage({ module, text, breakpoints, stepping });
  }

  // Going on or paused: not ended.
  get running() {
    return this.worker !== null;
  }

  get paused() {
    return this.running && this.state === 'paused';
  }

  setBreakpoints(breakpoints) {
    this.worker?.postMessage({ breakpoints });
  }

  // Goes on from a pause ('continue' or 'step'); a step asked while the run goes on stops it
  // at the next line it reaches.
  goOn(how) {
    if (this.state === 'paused') this.state = 'running';
    this.worker?.postMessage({ go: how });
  }

  // Ends the run at once; returns the last report.
  stop() {
    this.end();
    return this.last;
  }

  end() {
    this.worker?.terminate();
    this.worker = null;
    this.state = 'ended';
  }
}
