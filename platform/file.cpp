#include "platform/file.h"

namespace stowaway {
namespace {
FileSystem* current_files = nullptr;
}  // namespace

FileSystem& Files() { return current_files ? *current_files : NativeFileSystem(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& replacement) : previous_(current_files) {
  current_files = &replacement;
}

ScopedFileSystem::~ScopedFileSystem() { current_files = previous_; }

}  // namespace stowaway
