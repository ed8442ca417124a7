/* A C host: runs a program, takes what it prints, stops an endless one by a bound and from
 * another thread, and reads a variable. */
#include <linebasic/linebasic.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static void print_to(void* context, const char* text, size_t length) {
  fwrite(text, 1, length, (FILE*)context);
}

static void* stop_soon(void* machine) {
  struct timespec pause = {0, 50 * 1000 * 1000};
  nanosleep(&pause, NULL);
  linebasic_request_stop((linebasic_machine*)machine);
  return NULL;
}

int main(void) {
  const char* program = "10 for i = 1 to 3\n20 print \"line \"; i\n30 next i\n";
  const char* endless = "10 x = x + 1\n20 goto 10\n";
  linebasic_machine* machine = linebasic_new();
  pthread_t watchdog;
  if (machine == NULL) return 1;
  linebasic_set_output(machine, print_to, stdout);

  if (linebasic_load(machine, program, strlen(program)) != LINEBASIC_OK ||
      linebasic_run(machine, LINEBASIC_UNBOUNDED) != LINEBASIC_ENDED) {
    fprintf(stderr, "%s\n", linebasic_error_message(machine));
    return 1;
  }
  printf("i = %d\n", (int)linebasic_get_variable(machine, 'i'));

  linebasic_load(machine, endless, strlen(endless));
  if (linebasic_run(machine, 1000) == LINEBASIC_STEP_BOUND)
    printf("stopped after %llu steps\n", (unsigned long long)linebasic_steps(machine));
  pthread_create(&watchdog, NULL, stop_soon, machine);
  if (linebasic_run(machine, LINEBASIC_UNBOUNDED) == LINEBASIC_INTERRUPTED)
    printf("stopped by another thread\n");
  pthread_join(watchdog, NULL);

  linebasic_delete(machine);
  return 0;
}
