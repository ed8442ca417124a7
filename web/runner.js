// Runs: a worker per run, which reports what the program printed and where it stands, and
// which Stop ends at once.
export class Run {
  // `onReport` hears each report ({ done, text, dropped, line, offset, statements, ms }) and
  // `onError` a failure of the worker; neither hears anything once the run is stopped.
  constructor(module, text, { onReport, onError }) {
    this.text = text;
    this.started = performance.now();
    this.last = { line: -1, offset: -1, statements: 0 };
    this.worker = new Worker(new URL('worker.js', import.meta.url), { type: 'module' });
    this.worker.onmessage = ({ data }) => {
      this.last = data;
      if (data.done) this.end();
      onReport(data);
    };
    this.worker.onerror = (event) => {
      this.end();
      onError(event.message ?? 'the worker failed');
    };
    this.worker.postMessage({ module, text });
  }

  get running() {
    return this.worker !== null;
  }

  // Ends the run at once; returns the last report, with the time the run took.
  stop() {
    this.end();
    return { ...this.last, ms: performance.now() - this.started };
  }

  end() {
    this.worker?.terminate();
    this.worker = null;
  }
}
