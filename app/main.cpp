// unpacker.exe: the stub that self-extracting archives are built on.
#include "app/unpacker.h"
#include "platform/host.h"

int main() {
  // First of all: installers are run from download folders, where a library
  // planted beside them must not be loaded in place of the system's.
  stowaway::RestrictLibrarySearch();
  return stowaway::RunUnpacker(stowaway::NativeWindowSystem());
}
