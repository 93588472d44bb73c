// unpacker.exe: the stub that self-extracting archives are built on.
#include "app/unpacker.h"

int main() { return stowaway::RunUnpacker(stowaway::NativeWindowSystem()); }
