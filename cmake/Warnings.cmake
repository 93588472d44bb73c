# Warnings every target of the project is built with.
add_library(stowaway_warnings INTERFACE)
target_compile_options(stowaway_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
