#pragma once

namespace core {

// The module whose internal resources the "Resource" file system serves: the
// one the core start-up was given, or else the running program.
void* CoreInstance();
void SetCoreInstance(void* instance);

}  // namespace core
