// A library that a planted-library attack would put beside an installer,
// under the name of one the system loads on the program's behalf. All it
// does is say that it was loaded: it appends a line to the file that
// PLANTED_LOG names.
#include <cstdio>
#include <cstdlib>

namespace {

constexpr unsigned long ProcessAttach = 1;

}  // namespace

extern "C" __attribute__((stdcall)) int DllMain(void*, unsigned long reason, void*) {
  const char* log = std::getenv("PLANTED_LOG");
  if (reason != ProcessAttach || log == nullptr) return 1;
  if (std::FILE* file = std::fopen(log, "a")) {
    std::fputs("loaded\n", file);
    std::fclose(file);
  }
  return 1;
}
