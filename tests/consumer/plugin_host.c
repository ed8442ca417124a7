/* Loads the plugin, which carries linebasic inside it. */
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char** argv) {
  void* plugin = argc > 1 ? dlopen(argv[1], RTLD_NOW) : NULL;
  int (*sum)(int) = NULL;
  if (plugin == NULL) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  *(void**)&sum = dlsym(plugin, "plugin_sum");
  printf("%d\n", sum == NULL ? -1 : sum(1000));
  return dlclose(plugin);
}
