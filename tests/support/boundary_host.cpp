// A host of the throwing module: calls its "guarded" or "unguarded" export in a try block and
// prints "returned N" or "caught WHAT" (or the runtime ends it, where the exception cannot cross).
#include <cstdio>
#include <cstring>
#include <exception>

extern "C" int ProbeFailUnguarded();
extern "C" int ProbeFailGuarded();

int main(int argc, char **argv) {
  const bool guarded = argc > 1 && std::strcmp(argv[1], "guarded") == 0;
  try {
    const int result = guarded ? ProbeFailGuarded() : ProbeFailUnguarded();
    std::printf("returned %d\n", result);
  } catch (const std::exception &e) {
    std::printf("caught %s\n", e.what());
  }
  return 0;
}
