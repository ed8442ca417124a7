/* linebasic: an interpreter for a minimal line-numbered BASIC, as a library.
 *
 * One machine holds one program and one run of it: its position, its GOSUB and FOR stacks and
 * its 26 variables a to z (signed 8-bit values). A host makes a machine, loads a program text,
 * says where what the program prints should go, and runs it, all at once or a slice at a time:
 * to a breakpoint, one line, or a number of steps. Between slices the host may read and set the
 * variables. Nothing outside the text steers a run: the same text always prints the same.
 *
 * Promises that hold for every function:
 * - The library writes nothing behind the host's back: what a program prints goes to the output
 *   function (standard output until one is set), failures come back as status codes with a
 *   message to fetch with linebasic_error_message.
 * - A machine may be used by one thread at a time; distinct machines share nothing and may run in
 *   distinct threads. linebasic_request_stop alone may be called from any thread or a signal
 *   handler while another thread runs the machine.
 * - Texts are bytes: any bytes are accepted, and a text ends at its first NUL byte or at its
 *   length, whichever comes first. A line ends at a line-feed.
 * - Lines are named two ways: a line number is the number a BASIC line starts with (10, 20, ...);
 *   a text line is a line of the text, counted from 1. Where numbers repeat or a line has none,
 *   only the text line says which line is meant.
 *
 * This header is valid C99 and C++; it includes only the C standard library.
 */
#ifndef LINEBASIC_LINEBASIC_H
#define LINEBASIC_LINEBASIC_H

#include <stddef.h>
#include <stdint.h>

#define LINEBASIC_VERSION_MAJOR 0
#define LINEBASIC_VERSION_MINOR 3
#define LINEBASIC_VERSION_PATCH 0
#define LINEBASIC_VERSION "0.3.0"

#if defined(LINEBASIC_BUILDING) && (defined(__GNUC__) || defined(__clang__))
#define LINEBASIC_API __attribute__((visibility("default")))
#else
#define LINEBASIC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One program and one run of it. Made by linebasic_new, ended by linebasic_delete. */
typedef struct linebasic_machine linebasic_machine;

/* How a call ended. A run or step returns one of the first six; other calls return LINEBASIC_OK
 * or a failure, whose message linebasic_error_message gives. */
typedef enum linebasic_status {
  LINEBASIC_ENDED = 0,         /* the run is over: END ran, or the text is exhausted */
  LINEBASIC_BREAKPOINT = 1,    /* the run reached a line that has a breakpoint */
  LINEBASIC_STEPPED = 2,       /* linebasic_step ran one line and reached the next */
  LINEBASIC_STEP_BOUND = 3,    /* the call ran as many steps as it was allowed */
  LINEBASIC_INTERRUPTED = 4,   /* linebasic_request_stop asked the run to stop */
  LINEBASIC_TIME_BOUND = 5,    /* the call ran as long as linebasic_set_time_limit allows */
  LINEBASIC_OK = 6,            /* the call did what it was asked */
  LINEBASIC_WATCHED = 7,       /* a statement changed a watched variable (linebasic_watch) */
  LINEBASIC_BAD_ARGUMENT = -1, /* a null pointer, a name outside a to z, no such line ... */
  LINEBASIC_TOO_LARGE = -2,    /* a text longer than linebasic_set_text_limit allows */
  LINEBASIC_NO_MEMORY = -3,    /* memory ran out before the call could finish */
  LINEBASIC_NO_PROGRAM = -4,   /* a run was asked of a machine that never loaded a program */
  LINEBASIC_REFUSED = -5       /* an edit would change what the run does (linebasic_renumber) */
} linebasic_status;

/* No bound on steps: a run goes on until it ends, stops or is stopped. */
#define LINEBASIC_UNBOUNDED UINT64_MAX

/* "0.3.0": the version of the library linked, which may be newer than this header's. */
LINEBASIC_API const char* linebasic_version(void);

/* A new machine with no program loaded, its output going to standard output, no time limit and
 * a text limit of 16 MiB. NULL when memory ran out. */
LINEBASIC_API linebasic_machine* linebasic_new(void);

/* Ends `machine` and frees what it holds; NULL is ignored. Not while a call on it runs. */
LINEBASIC_API void linebasic_delete(linebasic_machine* machine);

/* The message of the last failure on `machine` ("" when none yet), valid until the next call
 * on it. Safe with NULL (it then says so). */
LINEBASIC_API const char* linebasic_error_message(const linebasic_machine* machine);

/* Makes the `length` bytes at `text` the program, as a copy (the host may free or change its
 * text at once), and sets a new run at its top: both stacks empty, every variable 0, no
 * breakpoints, the step count 0, a pending stop request dropped. A NUL byte ends the text early,
 * as it ends any run. LINEBASIC_TOO_LARGE when `length` passes the text limit; then, and on a
 * bad argument, the program and run loaded before stay as they were (after LINEBASIC_NO_MEMORY,
 * load again before running). */
LINEBASIC_API linebasic_status linebasic_load(linebasic_machine* machine, const char* text,
                                              size_t length);

/* As linebasic_load, but the variables keep their values: for a host that runs several
 * programs over the same variables, as an interactive prompt does. */
LINEBASIC_API linebasic_status linebasic_load_keeping_variables(linebasic_machine* machine,
                                                                const char* text, size_t length);

/* Sets the run back at the top of the loaded program, as linebasic_load does (every variable
 * 0, stacks empty, step count 0); the breakpoints stay. LINEBASIC_NO_PROGRAM before a load. */
LINEBASIC_API linebasic_status linebasic_restart(linebasic_machine* machine);

/* Receives what a program prints, piece by piece: a number's digits, a literal, " " for a
 * comma, "\n" at the end of a PRINT. `text` is not NUL-terminated and is valid only during the
 * call. The function must not call back into the same machine (linebasic_request_stop and
 * linebasic_cancel_stop excepted), nor unwind (longjmp, throw) through the library. */
typedef void (*linebasic_write_fn)(void* context, const char* text, size_t length);

/* Sends what the program prints to `write`, with `context` passed back; a NULL `write` sends it
 * to standard output again. */
LINEBASIC_API void linebasic_set_output(linebasic_machine* machine, linebasic_write_fn write,
                                        void* context);

/* Bounds for untrusted programs, beside the step bound each run takes. A step bound alone does
 * not bound time: every jump reads the text again from its top, so a step on a large text takes
 * longer than one on a small one, and an output function may take any time.
 * - Time: a run or step that has run `milliseconds` returns LINEBASIC_TIME_BOUND (0: no limit,
 *   the default). The clock is read after each piece of output, and between slices of steps
 *   sized so that a slice reads about 4 MB of text: on a 64 KiB text a run stops within about
 *   5 ms of its limit, on a 16 MiB text within about 20 ms. A step (linebasic_step) is not cut
 *   in slices: only its output and its step bound bound it.
 * - Text: linebasic_load refuses a text longer than `bytes` (default 16 MiB). Loading takes time
 *   linear in the text's length (about 15 ms a megabyte), which no limit bounds. */
LINEBASIC_API void linebasic_set_time_limit(linebasic_machine* machine, uint32_t milliseconds);
LINEBASIC_API void linebasic_set_text_limit(linebasic_machine* machine, size_t bytes);

/* Runs until the run ends, reaches a breakpoint, has run `max_steps` steps, is stopped by
 * linebasic_request_stop or passes the time limit. A step is one turn of the run loop: one
 * statement, or one token that starts none (a line's number, a line-feed) skipped.
 * LINEBASIC_UNBOUNDED sets no bound. Once the run has ended, it stays ended: linebasic_restart
 * or linebasic_load starts another. A stop at a breakpoint is before the line runs; the next
 * call runs that line. Returns LINEBASIC_NO_PROGRAM before a load. */
LINEBASIC_API linebasic_status linebasic_run(linebasic_machine* machine, uint64_t max_steps);

/* Runs one line: until the run reaches a line again (LINEBASIC_STEPPED), or any stop of
 * linebasic_run. A line is reached when a statement starts on it. */
LINEBASIC_API linebasic_status linebasic_step(linebasic_machine* machine, uint64_t max_steps);

/* Back in time: a run keeps its past (in at most a few megabytes, however long it runs), so
 * that it can go back from any stop, or from its end. linebasic_back undoes the last `lines`
 * lines the run ran (a line begun but not finished counts as one) and stores in `undone` (which
 * may be NULL) how many it undid: fewer at the start of the run. linebasic_back_to_breakpoint
 * goes back to the last time the run reached a line with a breakpoint (LINEBASIC_BREAKPOINT),
 * or to its start (LINEBASIC_STEPPED). Either way the run then stands before that line, with
 * the variables, the stacks and linebasic_printed as they were there; linebasic_run and
 * linebasic_step go forward again as the run did, printing again what it printed. A variable
 * set while the run is stopped is part of its past, and is set again when the run passes that
 * point. LINEBASIC_NO_PROGRAM before a load. */
LINEBASIC_API linebasic_status linebasic_back(linebasic_machine* machine, uint64_t lines,
                                              uint64_t* undone);
LINEBASIC_API linebasic_status linebasic_back_to_breakpoint(linebasic_machine* machine);

/* Runs to the line after the current one at the same depth of GOSUBs or shallower (a GOSUB on
 * the line runs whole), and until the current subroutine has returned (as linebasic_run when
 * no GOSUB is active). Both stop at breakpoints and watches on the way, and return
 * LINEBASIC_STEPPED where they were going. */
LINEBASIC_API linebasic_status linebasic_over(linebasic_machine* machine, uint64_t max_steps);
LINEBASIC_API linebasic_status linebasic_out(linebasic_machine* machine, uint64_t max_steps);

/* Watches: a run (and linebasic_back_to_breakpoint) stops with LINEBASIC_WATCHED after a
 * statement that changed a watched variable; linebasic_watch_hit then tells which, how, and
 * the text line of that statement. LINEBASIC_BAD_ARGUMENT for a name outside a to z. */
typedef struct linebasic_watch_hit {
  char name;
  int32_t before;
  int32_t after;
  int32_t text_line;
} linebasic_watch_hit;
LINEBASIC_API linebasic_status linebasic_watch(linebasic_machine* machine, char name);
LINEBASIC_API linebasic_status linebasic_unwatch(linebasic_machine* machine, char name);
LINEBASIC_API linebasic_status linebasic_watch_hit_of(const linebasic_machine* machine,
                                                      linebasic_watch_hit* hit);

/* A breakpoint on text line `text_line` stops only where `condition`, an expression of the
 * dialect read by the engine's own evaluator ("x > 5", "i = 3"), is not 0; NULL or "" takes
 * the condition away. linebasic_evaluate reads `expression` so with the run's variables. */
LINEBASIC_API linebasic_status linebasic_set_condition(linebasic_machine* machine,
                                                       int32_t text_line, const char* condition);
LINEBASIC_API linebasic_status linebasic_evaluate(const linebasic_machine* machine,
                                                  const char* expression, int32_t* value);

/* The active GOSUBs and FOR loops, innermost first: `report` is called for each (for a GOSUB
 * the text line it returns to; for a FOR its variable, its limit and the text line its body
 * starts on). Returns how many. */
typedef struct linebasic_frame {
  int32_t is_gosub;
  int32_t text_line;
  char variable;
  int32_t limit;
} linebasic_frame;
typedef void (*linebasic_frame_fn)(void* context, const linebasic_frame* frame);
LINEBASIC_API long linebasic_stack(const linebasic_machine* machine, linebasic_frame_fn report,
                                   void* context);

/* Sets the run where it stood after `steps` steps of its past (a timeline's point), or at the
 * furthest point it reached when `steps` is beyond it. LINEBASIC_STEPPED. */
LINEBASIC_API linebasic_status linebasic_go_to_step(linebasic_machine* machine, uint64_t steps);

/* The bytes the run has printed from its start up to where it stands: after going back, a
 * host that shows the output cuts it to this length. */
LINEBASIC_API uint64_t linebasic_printed(const linebasic_machine* machine);

/* Asks the run going on in another thread (or the next run, when none is going on) to stop
 * before its next step with LINEBASIC_INTERRUPTED; the request is used up by that stop.
 * Async-signal-safe and thread-safe: with linebasic_cancel_stop, the one call that may be made
 * while another thread runs the machine. linebasic_load and linebasic_restart drop a request
 * not yet used, and so does linebasic_cancel_stop (a watchdog whose run ended first calls it). */
LINEBASIC_API void linebasic_request_stop(linebasic_machine* machine);
LINEBASIC_API void linebasic_cancel_stop(linebasic_machine* machine);

/* Where a run stands: the line it will run next, or after it ended, the line of the statement
 * that ended it. */
typedef struct linebasic_place {
  int32_t number;    /* the line's number; -1 when the line starts with none */
  int32_t text_line; /* the line of the text, from 1 */
} linebasic_place;

/* Fills `place` with where the run stands. LINEBASIC_OK; LINEBASIC_ENDED when the run has ended
 * (with `place` that of the statement that ended it, or {-1, 0} when no statement ran);
 * LINEBASIC_NO_PROGRAM before a load. */
LINEBASIC_API linebasic_status linebasic_where(linebasic_machine* machine, linebasic_place* place);

/* When the run ended at a GOTO or GOSUB to a line no line has, why: "no line is numbered 75";
 * otherwise "". Valid until the next call on the machine. */
LINEBASIC_API const char* linebasic_missed_jump(linebasic_machine* machine);

/* Steps run since the load or restart (what max_steps counts), and statements among them (a
 * line's number, a line-feed or another skipped token is no statement). */
LINEBASIC_API uint64_t linebasic_steps(const linebasic_machine* machine);
LINEBASIC_API uint64_t linebasic_statements(const linebasic_machine* machine);

/* Breakpoints: a run stops before it runs a line that has one. By number, on every line that
 * starts with `number` (a line inside a literal that runs on over a line's end starts with none:
 * no run stops there); by text line, on that line alone. Setting fails with
 * LINEBASIC_BAD_ARGUMENT when no line of the loaded program has that number or text line.
 * Clearing returns LINEBASIC_BAD_ARGUMENT when there was no such breakpoint. A load clears them. */
LINEBASIC_API linebasic_status linebasic_set_breakpoint(linebasic_machine* machine, int32_t number);
LINEBASIC_API linebasic_status linebasic_clear_breakpoint(linebasic_machine* machine,
                                                          int32_t number);
LINEBASIC_API linebasic_status linebasic_set_text_breakpoint(linebasic_machine* machine,
                                                             int32_t text_line);
LINEBASIC_API linebasic_status linebasic_clear_text_breakpoint(linebasic_machine* machine,
                                                               int32_t text_line);
LINEBASIC_API void linebasic_clear_breakpoints(linebasic_machine* machine);

/* The variable `name` ('a' to 'z'), widened with its sign: -128 to 127. 0 for any other name,
 * as a program reads it. */
LINEBASIC_API int32_t linebasic_get_variable(const linebasic_machine* machine, char name);

/* Sets the variable `name` to the low 8 bits of `value`, as a program's assignment does (200
 * reads back as -56). LINEBASIC_BAD_ARGUMENT for a name outside 'a' to 'z'. */
LINEBASIC_API linebasic_status linebasic_set_variable(linebasic_machine* machine, char name,
                                                      int32_t value);

/* One warning of the checker: where the run of a text will do something else than the text most
 * likely means. The strings are valid only during the callback. Where the advice has one
 * evident meaning, it comes as an edit too: `fix_text` replaces the `fix_length` bytes from
 * `fix_offset` (0 inserts); the run of the text so mended does what it evidently meant. The fix
 * fields came in 0.3: a host built against an older header reads the fields before them only. */
typedef struct linebasic_warning {
  int32_t text_line;    /* the line of the text, from 1 */
  int32_t column;       /* from 1, in bytes */
  const char* name;     /* stable, such as "keyword-case" */
  const char* message;  /* what the run will do, and what to write instead */
  const char* fix_text; /* what the fix writes, NUL-terminated; NULL: the warning has no fix */
  size_t fix_offset;    /* where the bytes it replaces start, from the start of the text */
  size_t fix_length;    /* how many bytes it replaces */
} linebasic_warning;

typedef void (*linebasic_warning_fn)(void* context, const linebasic_warning* warning);

/* Checks the `length` bytes at `text` without running them and calls `report` (which may be
 * NULL) for each warning, in text order. Returns the number of warnings; -1 when `text` is NULL
 * with a length, or memory ran out. */
LINEBASIC_API long linebasic_check(const char* text, size_t length, linebasic_warning_fn report,
                                   void* context);

/* Applies the fix of every warning that has one and calls `write` (not NULL) once with the
 * mended text, `text` itself when no warning has a fix, and `report` (which may be NULL) for
 * each warning mended, in the order mended, with its place and fix in the text its round read:
 * a fix can bring to light a warning that an earlier one hid, so fixing goes round until no
 * warning has a fix (16 rounds at most). The mended text is valid only during the call to
 * `write`. Returns the number of warnings mended; -1 when `text` is NULL with a length, `write`
 * is NULL, or memory ran out (then `write` is not called). */
LINEBASIC_API long linebasic_fix(const char* text, size_t length, linebasic_write_fn write,
                                 linebasic_warning_fn report, void* context);

/* Why linebasic_renumber refused: the place in the text that keeps it from renumbering, and
 * what the run does there and what to write instead. The message is valid only during the
 * callback. */
typedef struct linebasic_refusal {
  int32_t text_line;   /* from 1; 0 when the numbers asked for are out of range */
  int32_t column;      /* from 1, in bytes; 0 with text_line 0 */
  const char* message; /* such as "no line is numbered 75: the run ends at this goto, ..." */
} linebasic_refusal;

typedef void (*linebasic_refusal_fn)(void* context, const linebasic_refusal* refusal);

/* Renumbers the lines whose numbers lie in first..last (0 and 9999 for all), in text order,
 * start, start + step, ..., and rewrites the target of every GOTO and GOSUB that names one of
 * them; every other byte stays as it was. The run of the new text does what the run of the
 * old one does, step for step; where that cannot be promised (a target that is not one plain
 * number, a target no line has, a line number that a statement reads as a value, a number
 * inside a literal, numbers past 9999 or out of order against the lines outside the range,
 * a number used twice) it refuses.
 * LINEBASIC_OK: `write` (not NULL) was called once with the new text, valid during that call.
 * LINEBASIC_REFUSED: `refused` (which may be NULL) was called once with the first place in the
 * text that keeps it from renumbering. LINEBASIC_BAD_ARGUMENT when `text` is NULL with a length
 * or `write` is NULL; LINEBASIC_NO_MEMORY when memory ran out. No callback is made then. */
LINEBASIC_API linebasic_status linebasic_renumber(const char* text, size_t length, int32_t start,
                                                  int32_t step, int32_t first, int32_t last,
                                                  linebasic_write_fn write,
                                                  linebasic_refusal_fn refused, void* context);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LINEBASIC_LINEBASIC_H */
