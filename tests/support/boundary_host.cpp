// A host of the throwing module: calls one of its exports ("guarded" or "unguarded") inside
// a try block and prints what came back, "returned N" or "caught WHAT". When the exception
// cannot cross from the module into this program, the runtime ends the program instead.
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
